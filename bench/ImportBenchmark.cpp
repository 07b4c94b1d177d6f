// Measures the language import on generated data and prints its figures:
// a project of 100,000 texts in three languages, imported with re-encoding
// (Russian, LCID 1049) from a project file, a database file and a workbook,
// each against the floor of one plain UPDATE ... FROM of the same rows in SQLite
// (with the same conversion for the converting imports);
// then the preview of two of them against their import. Every import counts
// what it does as it runs (the import report), so its figures include that.

#include "AccessReader.h"
#ifdef CHOOSER_ON_SCREEN
#include "ChooserOnScreen.h"
#endif
#include "CodePage.h"
#include "CodePageRecoder.h"
#include "FProjectOpen.h"
#include "LanguageExport.h"
#include "MLanguageTransfer.h"
#include "MessageBox.h"
#include "WorkbookWriter.h"
#include "XlsWorkbook.h"
#include "ZipWriter.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <QFileInfo>

#include <spawn.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <stdexcept>

namespace {

constexpr int kProjectRows = 100000;
constexpr int kWorkbookRows = 65000;
constexpr int kXlsRows = 65535;     // the most rows an .xls holds below its header
constexpr int kAccessRows = 20000;  // the rows of the Access sample file
constexpr int kRuns = 5;
constexpr int kLargeRows = 1000000;

void Exec(sqlite3* db, const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::string message = error ? error : "sql";
        sqlite3_free(error);
        throw std::runtime_error(message);
    }
}

sqlite3* Open(const QString& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK)
        throw std::runtime_error("open");
    return db;
}

// A database file whose table TidxTexts, made by create, holds a row for each
// number i from 1 to rows, its values chosen by select ("SELECT i, ...").
void MakeNumberedTable(const QString& path, const char* create, int rows, const char* select) {
    sqlite3* db = Open(path);
    const std::string sql =
        std::string(create) +
        "; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
        std::to_string(rows) + ") INSERT INTO TidxTexts " + select + " FROM n;";
    Exec(db, sql.c_str());
    sqlite3_close(db);
}

constexpr const char* kProjectTable =
    "CREATE TABLE TidxTexts(ID INTEGER PRIMARY KEY, L1031 TEXT, L1033 TEXT, L1049 TEXT)";
constexpr const char* kProjectValues =
    "SELECT i, 'Text Nummer ' || i, 'Text number ' || i, 'старый текст ' || i";
// A source's IDs, every second one stored as text.
constexpr const char* kSourceTable = "CREATE TABLE TidxTexts(ID, L1031 TEXT, L1049 TEXT)";
constexpr const char* kSourceValues =
    "SELECT CASE WHEN i % 2 THEN CAST(i AS TEXT) ELSE i END, 'Übersetzung ' || i, "
    "'Текст номер ' || i";

void MakeProject(const QString& path) {
    MakeNumberedTable(path, kProjectTable, 100000, kProjectValues);
}

// A database source with the same IDs, every second one stored as text.
void MakeDatabaseSource(const QString& path) {
    MakeNumberedTable(path, kSourceTable, 100000, kSourceValues);
}

// The same IDs with German texts left in the Russian column, as real projects have
// them: every text holds characters the Russian code page lacks ("ö" best fit, "ß" lost).
void MakeLossySource(const QString& path, int rows) {
    MakeNumberedTable(
        path, kSourceTable, rows,
        "SELECT CASE WHEN i % 2 THEN CAST(i AS TEXT) ELSE i END, 'Übersetzung ' || i, "
        "'Größe ' || i || ' ß'");
}

void MakeWorkbookSource(const QString& path) {
    using namespace Biff;
    QStringList strings = {QStringLiteral("ID"), QStringLiteral("L1049")};
    QByteArray cells = LabelSst(0, 0, 0) + LabelSst(0, 1, 1);
    for (int i = 1; i <= kWorkbookRows; ++i) {
        strings.append(QStringLiteral("Текст номер %1").arg(i));
        cells += Number(static_cast<uint16_t>(i), 0, i) +
                 LabelSst(static_cast<uint16_t>(i), 1, static_cast<uint32_t>(strings.size() - 1));
    }
    WriteCompoundFile(
        path, WorkbookStream(8, SharedStrings(strings), {{QStringLiteral("TidxTexts"), cells}}), 8);
}

// A plain SQLite table with the IDs 1..rows and a Russian text each.
void MakeFloorSource(const QString& path, int rows) {
    MakeNumberedTable(path, "CREATE TABLE TidxTexts(ID INTEGER, L1049 TEXT)", rows,
                      "SELECT i, 'Текст номер ' || i");
}

// The rows of a table read from another file, as a SQLite table of the same name and columns.
void CopyToSqlite(const SourceTable& table, const QString& path) {
    sqlite3* db = Open(path);
    QStringList columns, parameters;
    for (const QString& column : table.columns) {
        columns.append(QStringLiteral("\"%1\"").arg(column));
        parameters.append(QStringLiteral("?"));
    }
    Exec(db, ("CREATE TABLE TidxTexts(" + columns.join(u',').toStdString() + ")").c_str());
    Exec(db, "BEGIN");
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(
        db, ("INSERT INTO TidxTexts VALUES (" + parameters.join(u',').toStdString() + ")").c_str(),
        -1, &insert, nullptr);
    for (const auto& row : table.rows) {
        for (size_t i = 0; i < row.size(); ++i) {
            const int index = static_cast<int>(i) + 1;
            if (row[i].IsText()) {
                const QByteArray text = row[i].Text().toUtf8();
                sqlite3_bind_text(insert, index, text.constData(), static_cast<int>(text.size()),
                                  SQLITE_TRANSIENT);
            } else if (row[i].IsNumber()) {
                sqlite3_bind_double(insert, index, row[i].Number());
            } else {
                sqlite3_bind_null(insert, index);
            }
        }
        if (sqlite3_step(insert) != SQLITE_DONE) throw std::runtime_error("insert");
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    Exec(db, "COMMIT");
    sqlite3_close(db);
}

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// recode(text): the conversion of the import (the code page of Russian, read as the
// system's), for the floor of converting imports; the import's own character
// tables, without its bookkeeping.
void Recode(sqlite3_context* context, int, sqlite3_value** args) {
    static const std::unique_ptr<CodePageRecoder> recoder = CodePageRecoder::For(1251, 1252);
    static QByteArray converted;
    if (sqlite3_value_type(args[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(args[0]));
    recoder->Recode(text, static_cast<size_t>(sqlite3_value_bytes(args[0])), converted);
    sqlite3_result_text(context, converted.constData(), static_cast<int>(converted.size()),
                        SQLITE_TRANSIENT);
}

// The floor: the same rows copied by one UPDATE ... FROM in plain SQLite, through
// the same conversion for the converting imports.
double FloorSeconds(const QString& project, const QString& source, const char* sourceId,
                    bool recode) {
    sqlite3* db = Open(project);
    sqlite3_create_function_v2(db, "recode", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, Recode,
                               nullptr, nullptr, nullptr);
    Exec(db, ("ATTACH '" + QFile::encodeName(source).toStdString() + "' AS src").c_str());
    const std::string update = std::string("UPDATE TidxTexts SET L1049 = ") +
                               (recode ? "recode(s.L1049)" : "s.L1049") +
                               " FROM src.TidxTexts AS s WHERE TidxTexts.ID = " + sourceId;
    auto start = std::chrono::steady_clock::now();
    Exec(db, update.c_str());
    double seconds = Seconds(std::chrono::steady_clock::now() - start);
    sqlite3_close(db);
    return seconds;
}

struct Figures {
    double best = 1e9;
    double floor = 1e9;
};

Figures Measure(const QString& folder, const QString& project, const QString& source,
                const QString& floorSource, const char* floorId, bool recode,
                const MLanguageTransfer::ImportOptions& options = {}) {
    Figures figures;
    for (int run = 0; run < kRuns; ++run) {
        const QString copy = folder + QStringLiteral("/run.qrp");
        QFile::remove(copy);
        QFile::copy(project, copy);
        auto start = std::chrono::steady_clock::now();
        if (!MLanguageTransfer::TransferLanguage(copy, 1049, source, nullptr, {}, options))
            throw std::runtime_error("import failed");
        figures.best = std::min(figures.best, Seconds(std::chrono::steady_clock::now() - start));

        QFile::remove(copy);
        QFile::copy(project, copy);
        figures.floor = std::min(figures.floor, FloorSeconds(copy, floorSource, floorId, recode));
    }
    return figures;
}

// The best time of the import of a source into a fresh copy of the project.
double ImportSeconds(const QString& folder, const QString& project, const QString& source,
                     int runs = kRuns) {
    double best = 1e9;
    const QString copy = folder + QStringLiteral("/run.qrp");
    for (int run = 0; run < runs; ++run) {
        QFile::remove(copy);
        QFile::copy(project, copy);
        const auto start = std::chrono::steady_clock::now();
        if (!MLanguageTransfer::TransferLanguage(copy, 1049, source))
            throw std::runtime_error("import failed");
        best = std::min(best, Seconds(std::chrono::steady_clock::now() - start));
    }
    return best;
}

// The cost of the translation checks: the import with and without them, in
// turns, the best of each.
void PrintChecksCost(const char* name, const QString& folder, const QString& project,
                     const QString& source) {
    MLanguageTransfer::ImportOptions unchecked;
    unchecked.checkTranslations = false;
    double with = 1e9, without = 1e9;
    for (int run = 0; run < 2 * kRuns; ++run) {
        const QString copy = folder + QStringLiteral("/run.qrp");
        for (const bool checks : {true, false}) {
            QFile::remove(copy);
            QFile::copy(project, copy);
            const auto start = std::chrono::steady_clock::now();
            if (!MLanguageTransfer::TransferLanguage(
                    copy, 1049, source, nullptr, {},
                    checks ? MLanguageTransfer::ImportOptions{} : unchecked))
                throw std::runtime_error("import failed");
            double& best = checks ? with : without;
            best = std::min(best, Seconds(std::chrono::steady_clock::now() - start));
        }
    }
    std::printf("%-26s %7d rows  %7.3f s with the checks, %7.3f s without: they add %4.1f %%\n",
                name, kProjectRows, with, without, 100.0 * (with - without) / without);
}

// A copy of the project whose Russian texts are translated ("Текст номер <ID>",
// stored as the import stores them), with its rows up to maxId only when given.
void MakeTranslatedCopy(const QString& project, const QString& copy, int maxId = 0) {
    QFile::copy(project, copy);
    sqlite3* db = Open(copy);
    sqlite3_create_function_v2(db, "recode", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, Recode,
                               nullptr, nullptr, nullptr);
    if (maxId > 0) Exec(db, ("DELETE FROM TidxTexts WHERE ID > " + std::to_string(maxId)).c_str());
    Exec(db, "UPDATE TidxTexts SET L1049 = recode('Текст номер ' || ID)");
    sqlite3_close(db);
}

// A workbook as LibreOffice saves it, against the same rows as .xls: the 65,535
// texts of the stored .xlsx (the most rows an .xls holds, saved by LibreOffice
// from this program's .xls export), and this program's .xls export of a project
// holding the same texts, each imported into the project.
void PrintLibreOfficeWorkbook(const QString& folder, const QString& project) {
    const QString holder = folder + QStringLiteral("/Klein.qrp");
    MakeTranslatedCopy(project, holder, kXlsRows);
    const QString xls = folder + QStringLiteral("/Klein.xls");
    LanguageExport::Export(holder, 1049, xls);
    // In turns, the best of each: the machine's speed drifts from minute to minute.
    double fromXls = 1e9, fromXlsx = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        fromXls = std::min(fromXls, ImportSeconds(folder, project, xls, 1));
        fromXlsx = std::min(
            fromXlsx, ImportSeconds(folder, project, QStringLiteral(LIBREOFFICE_WORKBOOK), 1));
    }
    std::printf("%-26s %7d rows  %7.3f s  %9.0f rows/s   .xls import  %6.3f s      ratio %4.2f\n",
                ".xlsx saved by LibreOffice", kXlsRows, fromXlsx, kXlsRows / fromXlsx, fromXls,
                fromXlsx / fromXls);
}

// Translation files of 100,000 texts: the export into XLIFF against the export
// into a workbook, the import of XLIFF against the import of the same texts
// from a text file (both converted, both checked against German).
void PrintTranslationFiles(const QString& folder, const QString& project) {
    const QString translated = folder + QStringLiteral("/Uebersetzt.qrp");
    MakeTranslatedCopy(project, translated);
    LanguageExport::Options options;
    options.reference = 1031;
    std::map<QString, double> exported;
    for (const char* extension : {"xlsx", "xlf", "csv"}) {
        const QString file = folder + QStringLiteral("/Texte.") + QLatin1String(extension);
        double best = 1e9;
        for (int run = 0; run < kRuns; ++run) {
            const auto start = std::chrono::steady_clock::now();
            LanguageExport::Export(translated, 1049, file, options);
            best = std::min(best, Seconds(std::chrono::steady_clock::now() - start));
        }
        exported[QLatin1String(extension)] = best;
    }
    std::printf("%-26s %7d rows  %7.3f s  %9.0f rows/s   .xlsx export %6.3f s      ratio %4.2f\n",
                "XLIFF export", kProjectRows, exported[u"xlf"_qs],
                kProjectRows / exported[u"xlf"_qs], exported[u"xlsx"_qs],
                exported[u"xlf"_qs] / exported[u"xlsx"_qs]);
    const QString xlf = folder + QStringLiteral("/Texte.xlf"),
                  csv = folder + QStringLiteral("/Texte.csv");
    const double fromXliff = ImportSeconds(folder, project, xlf);
    const double fromCsv = ImportSeconds(folder, project, csv);
    std::printf("%-26s %7d rows  %7.3f s  %9.0f rows/s   .csv import  %6.3f s      ratio %4.2f\n",
                "XLIFF import (converted)", kProjectRows, fromXliff, kProjectRows / fromXliff,
                fromCsv, fromXliff / fromCsv);
}

// The preview of the same import: it reads and counts as the import does and writes nothing.
void PrintPreview(const char* name, int rows, const QString& project, const QString& source,
                  double importSeconds) {
    double best = 1e9;
    ImportReport report;
    for (int run = 0; run < kRuns; ++run) {
        auto start = std::chrono::steady_clock::now();
        report = MLanguageTransfer::PreviewLanguage(project, 1049, source);
        best = std::min(best, Seconds(std::chrono::steady_clock::now() - start));
    }
    std::printf("%-26s %7d rows  %7.3f s  %9.0f rows/s   import %6.3f s            ratio %4.2f\n",
                name, rows, best, rows / best, importSeconds, best / importSeconds);
    std::printf("  %s\n", report.Summary().toLocal8Bit().constData());
}

void Print(const char* name, int rows, const Figures& f) {
    std::printf(
        "%-26s %7d rows  %7.3f s  %9.0f rows/s   floor %7.3f s  %9.0f rows/s   ratio %4.2f\n", name,
        rows, f.best, rows / f.best, f.floor, rows / f.floor, f.best / f.floor);
}

// Reading the workbook's sheet alone, as the import does before its update: the
// part of the import that its floor, which reads a ready SQLite table, does not have.
double WorkbookReadSeconds(const QString& path) {
    double best = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        auto start = std::chrono::steady_clock::now();
        const SourceTable table = XlsWorkbook(path).ReadSheet(QStringLiteral("TidxTexts"));
        if (table.rows.size() != static_cast<size_t>(kWorkbookRows))
            throw std::runtime_error("workbook");
        best = std::min(best, Seconds(std::chrono::steady_clock::now() - start));
    }
    return best;
}

// A configuration folder (XDG_CONFIG_HOME) with that many registered projects.
QString RegisterProjects(const QString& folder, int projects) {
    const QString config = folder + QStringLiteral("/config%1").arg(projects);
    QDir().mkpath(config + QStringLiteral("/QuorvinStudio"));
    QByteArray registry;
    for (int i = 0; i < projects; ++i) {
        const QString directory = folder + QStringLiteral("/Projekte/P%1").arg(i);
        QDir().mkpath(directory);
        QFile(directory + QStringLiteral("/P%1.qrp").arg(i)).open(QIODevice::WriteOnly);
        registry += QStringLiteral(
                        "[Software\\KALMIRO GmbH\\Quorvin\\4.0\\Projects\\P%1]\n"
                        "ProjectType=Single\nPath=%2\n\n")
                        .arg(i)
                        .arg(directory)
                        .toUtf8();
    }
    QFile store(config + QStringLiteral("/QuorvinStudio/HKEY_LOCAL_MACHINE.ini"));
    store.open(QIODevice::WriteOnly);
    store.write(registry);
    store.close();
    return config;
}

// The project chooser with that many registered projects: from the reading of
// the chosen name (a click on the binoculars) until the dialog shows.
double ChooserSeconds(const QString& folder, int projects) {
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(RegisterProjects(folder, projects)));
    double best = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = std::chrono::steady_clock::now();
        double shown = 0;
        QTimer::singleShot(0, [&] {
            shown = Seconds(std::chrono::steady_clock::now() - start);
            if (QWidget* dialog = QApplication::activeModalWidget()) dialog->close();
        });
        FProjectOpen::Instance().ProjectName();
        best = std::min(best, shown);
    }
    return best;
}

// The chooser measured as its user meets it (see ChooserOnScreen): the import
// window's process clicked on its binoculars until the list shows on the screen.
void PrintChooserOnScreen(const QString& folder) {
#ifdef CHOOSER_ON_SCREEN
    const QString window =
        QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).absolutePath() +
        QStringLiteral("/quorvin-language-import");
    for (int projects : {3, 1000, 10000}) {
        QString why;
        const auto seconds =
            ChooserOnScreen::Measure(window, RegisterProjects(folder, projects), kRuns, why);
        if (!seconds) {
            std::printf("%-26s %7d projects  not measured: %s\n", "chooser on screen", projects,
                        qPrintable(why));
            return;
        }
        std::vector<double> sorted = *seconds;
        std::sort(sorted.begin(), sorted.end());
        std::printf("%-26s %7d projects  %7.3f s  (median %5.3f s, slowest %5.3f s of %d clicks)\n",
                    "chooser on screen", projects, sorted.front(), sorted[sorted.size() / 2],
                    sorted.back(), kRuns);
    }
#else
    (void)folder;
    std::printf("chooser on screen: not built (no Xlib)\n");
#endif
}

}  // namespace

// A project and a source of a million rows, as MakeProject and MakeDatabaseSource make them.
void MakeLarge(const QString& project, const QString& source, int rows) {
    MakeNumberedTable(project, kProjectTable, rows, kProjectValues);
    MakeNumberedTable(source, kSourceTable, rows, kSourceValues);
}

constexpr int kLargeRuns = 3;

// An import in a process of its own (this program, "import PROJECT LCID SOURCE")
// on a fresh copy of the project, started; wait with Finish.
struct Child {
    pid_t pid = 0;
    std::chrono::steady_clock::time_point start;
    QString peakFile;  // where it writes its peak memory
    QString state;     // its undo stores
};

// Each import in a process of its own keeps its undo data in a state folder of
// its own, so that the stores of earlier imports (and their bound) do not
// weigh on it.
Child StartImport(const QString& project, const QString& copy, const QString& source) {
    static int count = 0;
    const QString state = QFileInfo(copy).absolutePath() + QStringLiteral("/state-%1").arg(++count);
    qputenv("XDG_STATE_HOME", QFile::encodeName(state));
    const QByteArray self =
        QFile::encodeName(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget());
    Child child;
    child.state = state;
    child.peakFile = copy + QStringLiteral(".peak");
    const QByteArray projectArg = QFile::encodeName(copy), sourceArg = QFile::encodeName(source),
                     peakArg = QFile::encodeName(child.peakFile);
    char* arguments[] = {const_cast<char*>(self.constData()),
                         const_cast<char*>("import"),
                         const_cast<char*>(projectArg.constData()),
                         const_cast<char*>("1049"),
                         const_cast<char*>(sourceArg.constData()),
                         const_cast<char*>(peakArg.constData()),
                         nullptr};
    QFile::remove(copy);
    QFile::remove(child.peakFile);
    QFile::copy(project, copy);
    child.start = std::chrono::steady_clock::now();
    const int spawned =
        posix_spawn(&child.pid, self.constData(), nullptr, nullptr, arguments, environ);
    qputenv("XDG_STATE_HOME",
            QFile::encodeName(QFileInfo(copy).absolutePath() + QStringLiteral("/state")));
    if (spawned != 0) throw std::runtime_error("spawn");
    return child;
}

struct ChildResult {
    double seconds = 0;
    double peakMb = 0;
    bool succeeded = false;
};

ChildResult Finish(const Child& child) {
    int status = 0;
    waitpid(child.pid, &status, 0);
    const double seconds = Seconds(std::chrono::steady_clock::now() - child.start);
    QFile peak(child.peakFile);
    peak.open(QIODevice::ReadOnly);
    const double kb = peak.readAll().split(' ').value(0).toDouble();
    QDir(child.state).removeRecursively();
    return {seconds, kb / 1024.0, WIFEXITED(status) && WEXITSTATUS(status) == 0};
}

// The best time of kLargeRuns imports in processes of their own and the largest
// peak resident memory; an import expected to fail must fail. Returns the time.
double PrintPeak(const char* name, int rows, const QString& folder, const QString& project,
                 const QString& source, bool fails = false) {
    const QString copy = folder + QStringLiteral("/peak.qrp");
    double best = 1e9, peak = 0;
    for (int run = 0; run < kLargeRuns; ++run) {
        const ChildResult result = Finish(StartImport(project, copy, source));
        best = std::min(best, result.seconds);
        peak = std::max(peak, result.peakMb);
        if (result.succeeded == fails) throw std::runtime_error(fails ? "imported" : "failed");
    }
    std::printf("%-26s %7d rows  %7.3f s  %9.0f rows/s   peak memory %6.1f MB%s\n", name, rows,
                best, rows / best, peak, fails ? "  (refused)" : "");
    return best;
}

// A workbook of one sheet TidxTexts with the part given, and the shared texts
// given (none when empty), as a ZIP container of its parts.
void WriteWorkbook(const QString& path, const QByteArray& sheet, const QByteArray& strings) {
    const QByteArray type = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    auto relationships = [&](const std::vector<std::pair<QByteArray, QByteArray>>& targets) {
        QByteArray xml =
            "<Relationships "
            "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
        for (const auto& [kind, target] : targets)
            xml += "<Relationship Id=\"" + kind.left(1) + "\" Type=\"" + type + kind +
                   "\" Target=\"" + target + "\"/>";
        return xml + "</Relationships>";
    };
    std::vector<std::pair<QByteArray, QByteArray>> parts = {{"worksheet", "sheet.xml"}};
    if (!strings.isEmpty()) parts.push_back({"sharedStrings", "strings.xml"});
    std::vector<std::pair<QString, QByteArray>> files = {
        {QStringLiteral("_rels/.rels"), relationships({{"officeDocument", "xl/workbook.xml"}})},
        {QStringLiteral("xl/_rels/workbook.xml.rels"), relationships(parts)},
        {QStringLiteral("xl/workbook.xml"),
         "<workbook xmlns:r=\"" + type.chopped(1) +
             "\"><sheets><sheet name=\"TidxTexts\" sheetId=\"1\" r:id=\"w\"/></sheets></workbook>"},
        {QStringLiteral("xl/sheet.xml"), sheet}};
    if (!strings.isEmpty()) files.push_back({QStringLiteral("xl/strings.xml"), strings});
    QFile book(path);
    book.open(QIODevice::WriteOnly);
    book.write(ZipContainer(files));
}

// A text file of one 100 MB field, and a workbook of 2,000 texts of 65,534
// characters the Russian code page cannot hold: sources built to exhaust memory.
void MakeHostileSources(const QString& csv, const QString& xlsx) {
    QFile file(csv);
    file.open(QIODevice::WriteOnly);
    file.write("ID,L1049\n1,");
    const QByteArray block(1 << 20, 'x');
    for (int i = 0; i < 100; ++i) file.write(block);
    file.close();
    const QByteArray text = QString(65534, QChar(u'\u00E4')).toUtf8();
    QByteArray sheet =
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        "<sheetData><row r=\"1\"><c t=\"inlineStr\"><is><t>ID</t></is></c><c t=\"inlineStr\">"
        "<is><t>L1049</t></is></c></row>";
    for (int i = 1; i <= 2000; ++i)
        sheet += "<row r=\"" + QByteArray::number(i + 1) + "\"><c><v>" + QByteArray::number(i) +
                 "</v></c><c t=\"inlineStr\"><is><t>" + text + "</t></is></c></row>";
    sheet += "</sheetData></worksheet>";
    WriteWorkbook(xlsx, sheet, {});
}

// A workbook whose shared texts inflate to almost 256 MiB of tiny items: a ZIP
// bomb within the reader's limits; its sheet has no column ID.
void MakeStringBomb(const QString& xlsx) {
    const QByteArray item = "<si><t>a</t></si>";
    QByteArray strings = "<sst>" + item.repeated(((qsizetype{256} << 20) - 100) / item.size());
    strings += "</sst>";
    WriteWorkbook(xlsx,
                  "<worksheet><sheetData><row r=\"1\"><c t=\"s\"><v>0</v></c></row></sheetData>"
                  "</worksheet>",
                  strings);
}

// The files built to exhaust memory or time, each refused in a process of its own.
void PrintHostile(const QString& folder, const QString& project) {
    const QString csv = folder + QStringLiteral("/Feindlich.csv");
    const QString xlsx = folder + QStringLiteral("/Feindlich.xlsx");
    MakeHostileSources(csv, xlsx);
    PrintPeak(".csv, one 100 MB field", 1, folder, project, csv, true);
    PrintPeak(".xlsx, 2,000 65,534-char texts", 2000, folder, project, xlsx, true);
    const QString bomb = folder + QStringLiteral("/Bombe.xlsx");
    MakeStringBomb(bomb);
    PrintPeak(".xlsx, 16 M tiny shared texts", 1, folder, project, bomb, true);
}

// A 100,000-row import into one project while a million-row import runs into
// another: the store of one project does not hold up the other.
void PrintSideBySide(const QString& folder, const QString& project, const QString& source,
                     const QString& large, const QString& largeSource, double alone) {
    const Child other = StartImport(large, folder + QStringLiteral("/nebenan.qrp"), largeSource);
    QThread::msleep(200);
    const QString copy = folder + QStringLiteral("/run.qrp");
    QFile::remove(copy);
    QFile::copy(project, copy);
    const auto start = std::chrono::steady_clock::now();
    if (!MLanguageTransfer::TransferLanguage(copy, 1049, source))
        throw std::runtime_error("import failed");
    const double seconds = Seconds(std::chrono::steady_clock::now() - start);
    const ChildResult result = Finish(other);
    std::printf(
        "%-26s %7d rows  %7.3f s  while a million rows go into another project "
        "(%.2f s); alone %.3f s\n",
        ".mdb beside another import", kProjectRows, seconds, result.seconds, alone);
}

// A workbook of the source's rows whose texts all stand in its table of texts,
// each once, the cells pointing at them.
void MakeSharedTextsWorkbook(const QString& path, int rows) {
    QByteArray sheet =
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        "<sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v>"
        "</c></row>";
    QByteArray strings =
        "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><si><t>ID</t>"
        "</si><si><t>L1049</t></si>";
    for (int i = 1; i <= rows; ++i) {
        const QByteArray row = QByteArray::number(i + 1), id = QByteArray::number(i);
        sheet += "<row r=\"" + row + "\"><c r=\"A" + row + "\"><v>" + id + "</v></c><c r=\"B" +
                 row + "\" t=\"s\"><v>" + row + "</v></c></row>";
        strings += "<si><t>" + QStringLiteral("Текст номер %1").arg(i).toUtf8() + "</t></si>";
    }
    WriteWorkbook(path, sheet + "</sheetData></worksheet>", strings + "</sst>");
}

// The same million rows as the export writes them for translators, in ID order
// and shuffled (read ordered by key from a copy).
void PrintTextSources(const QString& folder, const QString& large, const QString& largeSource) {
    const QString largeCsv = folder + QStringLiteral("/GrossQuelle.csv");
    const QString largeXlsx = folder + QStringLiteral("/GrossQuelle.xlsx");
    LanguageExport::Export(largeSource, 1049, largeCsv);
    LanguageExport::Export(largeSource, 1049, largeXlsx);
    const double csv = PrintPeak(".csv source (UTF-8)", kLargeRows, folder, large, largeCsv);
    const double xlsx = PrintPeak(".xlsx source", kLargeRows, folder, large, largeXlsx);
    std::printf("%-26s %7d rows  .xlsx against .csv: ratio %4.2f\n", "", kLargeRows, xlsx / csv);
    // The same rows as Excel and LibreOffice save them: every text in the
    // workbook's table of texts (the export above writes them into the cells).
    const QString sharedXlsx = folder + QStringLiteral("/GrossGeteilt.xlsx");
    MakeSharedTextsWorkbook(sharedXlsx, kLargeRows);
    const double shared = PrintPeak(".xlsx, shared texts", kLargeRows, folder, large, sharedXlsx);
    std::printf("%-26s %7d rows  .xlsx against .csv: ratio %4.2f\n", "", kLargeRows, shared / csv);
    const QString shuffledCsv = folder + QStringLiteral("/GrossGemischt.csv");
    {
        QFile in(largeCsv), out(shuffledCsv);
        in.open(QIODevice::ReadOnly);
        out.open(QIODevice::WriteOnly);
        QList<QByteArray> lines = in.readAll().split('\n');
        if (!lines.isEmpty() && lines.back().isEmpty()) lines.pop_back();
        std::mt19937 random(28);
        std::shuffle(lines.begin() + 1, lines.end(), random);
        for (const QByteArray& line : lines) out.write(line + '\n');
    }
    PrintPeak(".csv, rows shuffled", kLargeRows, folder, large, shuffledCsv);
}

// "import-benchmark sources": the million-row imports from a database file and
// from the text sources only.
void PrintLargeSources(const QString& folder) {
    const QString large = folder + QStringLiteral("/Gross.qrp");
    const QString largeSource = folder + QStringLiteral("/GrossQuelle.qrp");
    MakeLarge(large, largeSource, kLargeRows);
    const QString largeDatabase = folder + QStringLiteral("/GrossQuelle.mdb");
    QFile::copy(largeSource, largeDatabase);
    PrintPeak(".mdb source (re-encoded)", kLargeRows, folder, large, largeDatabase);
    PrintTextSources(folder, large, largeSource);
}

int main(int argc, char* argv[]) {
    if (argc == 6 && QByteArray(argv[1]) == "import") {
        // The child of StartImport: imports, then writes its own peak memory to
        // the file named last (its parent cannot tell it: a spawned process
        // counts the memory of the one it was spawned from as its own).
        CodePage::SetSystemAnsiCodePage(1252);
        const bool imported = MLanguageTransfer::TransferLanguage(
            QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]), QString::fromLocal8Bit(argv[4]));
        QFile status(QStringLiteral("/proc/self/status"));
        status.open(QIODevice::ReadOnly);
        QFile peak(QString::fromLocal8Bit(argv[5]));
        peak.open(QIODevice::WriteOnly);
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmHWM:")) peak.write(line.mid(6).trimmed());
        return imported ? 0 : 1;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    MessageBox::SetHandler([](const MessageBox::Request& request) {
        std::fprintf(stderr, "%s\n", request.text.toLocal8Bit().constData());
        return MessageBox::Button::Ok;
    });
    CodePage::SetSystemAnsiCodePage(1252);
    QTemporaryDir dir;
    if (std::getenv("BENCH_KEEP"))
        dir.setAutoRemove(false), std::printf("data in %s\n", qPrintable(dir.path()));
    const QString folder = dir.path();
    // "import-benchmark chooser" measures the project chooser only, "import-benchmark
    // imports" the imports of 100,000 rows and fewer only, "import-benchmark
    // hostile" the files built to exhaust memory or time only.
    const bool chooserOnly = argc > 1 && QByteArray(argv[1]) == "chooser";
    const bool importsOnly = argc > 1 && QByteArray(argv[1]) == "imports";
    // The imports keep their undo data beside the generated files, not in the user's store.
    qputenv("XDG_STATE_HOME", QFile::encodeName(folder + QStringLiteral("/state")));
    const QString project = folder + QStringLiteral("/Bench.qrp");
    const QString qrp = folder + QStringLiteral("/Quelle.qrp");
    const QString mdb = folder + QStringLiteral("/Quelle.mdb");
    const QString xls = folder + QStringLiteral("/Quelle.xls");
    const QString xlsFloor = folder + QStringLiteral("/QuelleWieXls.db");

    if (argc > 1 && QByteArray(argv[1]) == "hostile") {
        MakeProject(project);
        PrintHostile(folder, project);
        return 0;
    }
    if (argc > 1 && QByteArray(argv[1]) == "sources") {
        PrintLargeSources(folder);
        return 0;
    }
    if (chooserOnly) {
        for (int projects : {3, 1000, 10000})
            std::printf("%-26s %7d projects  %7.3f s\n", "chooser", projects,
                        ChooserSeconds(folder, projects));
        PrintChooserOnScreen(folder);
        return 0;
    }
    MakeProject(project);
    MakeDatabaseSource(qrp);
    QFile::copy(qrp, mdb);
    MakeWorkbookSource(xls);
    // The workbook's and the Access file's rows as SQLite tables, for their floors.
    const QString accessFloor = folder + QStringLiteral("/QuelleWieAccess.db");
    MakeFloorSource(xlsFloor, kWorkbookRows);
    CopyToSqlite(
        AccessReader::ReadTable(QStringLiteral(ACCESS_SAMPLE), QStringLiteral("TidxTexts")),
        accessFloor);
    const QString accessAsSqlite = folder + QStringLiteral("/QuelleWieAccess.mdb");
    QFile::copy(accessFloor, accessAsSqlite);

    std::printf("language import, best of %d runs, LCID 1049 (re-encoded from .mdb and .xls)\n",
                kRuns);
    const Figures fromProject = Measure(folder, project, qrp, qrp, "s.ID", false);
    Print(".qrp source (no re-encode)", kProjectRows, fromProject);
    const Figures fromDatabase = Measure(folder, project, mdb, mdb, "s.ID", true);
    Print(".mdb source (re-encoded)", kProjectRows, fromDatabase);
    const QString lossy = folder + QStringLiteral("/Verlustig.mdb");
    MakeLossySource(lossy, kProjectRows);
    const Figures fromLossy = Measure(folder, project, lossy, lossy, "s.ID", true);
    Print(".mdb, every text lossy", kProjectRows, fromLossy);
    const Figures workbook = Measure(folder, project, xls, xlsFloor, "s.ID", true);
    Print(".xls source (re-encoded)", kWorkbookRows, workbook);
    const double reading = WorkbookReadSeconds(xls);
    std::printf(
        "%-26s %7d rows  %7.3f s  reading the workbook alone; the rest against the floor: "
        "ratio %4.2f\n",
        "", kWorkbookRows, reading, (workbook.best - reading) / workbook.floor);
    PrintLibreOfficeWorkbook(folder, project);
    const Figures access =
        Measure(folder, project, QStringLiteral(ACCESS_SAMPLE), accessFloor, "s.ID", true);
    Print("Access .mdb (re-encoded)", kAccessRows, access);
    // Against the import of the same rows from a SQLite database file.
    const Figures fromSqlite = Measure(folder, project, accessAsSqlite, accessFloor, "s.ID", true);
    std::printf(
        "%-26s %7d rows  %7.3f s  against the same rows from SQLite %7.3f s   ratio %4.2f\n",
        "Access .mdb", kAccessRows, access.best, fromSqlite.best, access.best / fromSqlite.best);
    // Every import above checks each text against German (the project has it);
    // the same imports without the checks, run in turns with them, show what they cost.
    for (const auto& [name, source] :
         {std::pair{".qrp source", qrp}, std::pair{".mdb source", mdb}})
        PrintChecksCost(name, folder, project, source);
    PrintTranslationFiles(folder, project);
    if (importsOnly) return 0;
    std::printf("preview (reads and counts, writes nothing)\n");
    PrintPreview(".qrp preview", kProjectRows, project, qrp, fromProject.best);
    PrintPreview(".mdb preview (converted)", kProjectRows, project, mdb, fromDatabase.best);
    std::printf("one import in a process of its own, best of %d: time and peak memory\n",
                kLargeRuns);
    const QString large = folder + QStringLiteral("/Gross.qrp");
    const QString largeSource = folder + QStringLiteral("/GrossQuelle.qrp");
    MakeLarge(large, largeSource, kLargeRows);
    const QString largeDatabase = folder + QStringLiteral("/GrossQuelle.mdb");
    QFile::copy(largeSource, largeDatabase);
    const double sorted = PrintPeak(".qrp source", kLargeRows, folder, large, largeSource);
    const double clean =
        PrintPeak(".mdb source (re-encoded)", kLargeRows, folder, large, largeDatabase);
    const QString largeLossy = folder + QStringLiteral("/GrossVerlustig.mdb");
    MakeLossySource(largeLossy, kLargeRows);
    const double lossyLarge =
        PrintPeak(".mdb, every text lossy", kLargeRows, folder, large, largeLossy);
    std::printf("%-26s %7d rows  every text lossy against clean: ratio %4.2f\n", "", kLargeRows,
                lossyLarge / clean);
    PrintTextSources(folder, large, largeSource);
    PrintHostile(folder, project);
    PrintSideBySide(folder, project, mdb, large, largeDatabase, fromDatabase.best);
    // The same rows in random order.
    const QString shuffled = folder + QStringLiteral("/GrossGemischt.qrp");
    {
        sqlite3* db = Open(shuffled);
        Exec(db, ("ATTACH '" + QFile::encodeName(largeSource).toStdString() +
                  "' AS s; CREATE TABLE TidxTexts(ID, L1031 TEXT, L1049 TEXT); INSERT INTO "
                  "TidxTexts SELECT * FROM s.TidxTexts ORDER BY random();")
                     .c_str());
        sqlite3_close(db);
    }
    const double random =
        PrintPeak(".qrp source, random order", kLargeRows, folder, large, shuffled);
    std::printf("%-26s %7d rows  random order against sorted: ratio %4.2f\n", "", kLargeRows,
                random / sorted);
    std::printf("project chooser, from the click until it shows\n");
    for (int projects : {3, 1000, 10000})
        std::printf("%-26s %7d projects  %7.3f s\n", "chooser", projects,
                    ChooserSeconds(folder, projects));
    PrintChooserOnScreen(folder);
    return 0;
}
