// Writes a ready sample for trying the tool: a registered project "Demo" with
// German, English and Russian texts, a second project, and two import sources (a
// workbook with Russian translations and a project file with revised German texts).
// Usage: XDG_CONFIG_HOME=<folder>/config quorvin-demo-setup <folder>
// It registers the projects only in a registry store inside that folder, never in
// the user's own.

#include "BiffRecords.h"
#include "RegisteredProjects.h"
#include "RegistryStore.h"
#include "RegistryTools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>
#include <cstdio>

namespace {

struct Text {
    int id;
    const char* german;
    const char* english;
    const char* russian;
};

const Text kDemoTexts[] = {
    {1, "Datei", "File", nullptr},
    {2, "Bearbeiten", "Edit", nullptr},
    {3, "Ansicht", "View", nullptr},
    {4, "Größe: 5 €", "Size: 5 €", nullptr},
    {5, "Grüße aus Köln", "Greetings from Cologne", nullptr},
    {6, "Pumpe läuft", "Pump running", nullptr},
    {7, "Störung Füllstand", "Level fault", nullptr},
    // Stored as projects store Russian: "Выход" in its code-page form.
    {8, "Beenden", "Exit", "Âûõîä"},
    {9, "Datei %1 nicht gefunden.", "File %1 not found.", nullptr},
};

bool WriteProject(const QString& path, const std::vector<Text>& texts) {
    QFile::remove(path);
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK) return false;
    bool ok =
        sqlite3_exec(
            db,
            "CREATE TABLE TidxTexts(ID INTEGER PRIMARY KEY, L1031 TEXT, L1033 TEXT, L1049 TEXT)",
            nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_stmt* insert = nullptr;
    ok = ok && sqlite3_prepare_v2(db, "INSERT INTO TidxTexts VALUES (?, ?, ?, ?)", -1, &insert,
                                  nullptr) == SQLITE_OK;
    for (const Text& text : texts) {
        if (!ok) break;
        sqlite3_bind_int(insert, 1, text.id);
        const char* values[] = {text.german, text.english, text.russian};
        for (int i = 0; i < 3; ++i) {
            if (values[i])
                sqlite3_bind_text(insert, i + 2, values[i], -1, SQLITE_STATIC);
            else
                sqlite3_bind_null(insert, i + 2);
        }
        ok = sqlite3_step(insert) == SQLITE_DONE;
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_close(db);
    return ok;
}

void WriteRussianWorkbook(const QString& path) {
    using namespace Biff;
    const std::pair<int, const char*> rows[] = {
        {1, "Файл"},          {2, "Правка"},           {3, "Вид"},
        {4, "Размер: 5 €"},   {5, "Привет из Кёльна"}, {6, "Насос работает"},
        {7, "Ошибка уровня"}, {9, "Файл не найден."}};  // "%1" lost on the way
    QStringList strings = {QStringLiteral("ID"), QStringLiteral("L1049")};
    QByteArray cells = LabelSst(0, 0, 0) + LabelSst(0, 1, 1);
    uint16_t row = 1;
    for (const auto& [id, text] : rows) {
        strings.append(QString::fromUtf8(text));
        cells += Number(row, 0, id) + LabelSst(row, 1, static_cast<uint32_t>(strings.size() - 1));
        ++row;
    }
    WriteCompoundFile(
        path, WorkbookStream(8, SharedStrings(strings), {{QStringLiteral("TidxTexts"), cells}}), 8);
}

}  // namespace

int main(int argc, char* argv[]) {
    const QByteArray argument = argc == 2 ? QByteArray(argv[1]) : QByteArray();
    if (argument == "--help" || argument == "-h") {
        std::printf(
            "Aufruf: XDG_CONFIG_HOME=<Ordner>/config %s <Ordner>\n\n"
            "Legt im Ordner ein Beispiel zum Ausprobieren an: die registrierten Projekte\n"
            "\u201EDemo\u201C und \u201EKl\u00E4ranlage\u201C und zwei Quellen zum Importieren. "
            "Registriert\nwird nur in diesem Ordner, nie in der eigenen Registrierung.\n",
            argv[0]);
        return 0;
    }
    if (argc != 2 || argument.startsWith('-')) {
        std::fprintf(stderr, "Aufruf: XDG_CONFIG_HOME=<Ordner>/config %s <Ordner>\n", argv[0]);
        return 2;
    }
    const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const QString store = RegistryStore::Directory();
    if (qEnvironmentVariableIsEmpty("XDG_CONFIG_HOME") ||
        !QFileInfo(store).absoluteFilePath().startsWith(folder + '/')) {
        std::fprintf(
            stderr,
            "Die Beispieldaten werden nur in einer Registrierung innerhalb von %s angelegt; "
            "setzen Sie XDG_CONFIG_HOME=%s/config.\n",
            qPrintable(folder), qPrintable(folder));
        return 2;
    }
    const QString demo = folder + QStringLiteral("/Projekte/Demo");
    const QString plant = folder + QStringLiteral("/Projekte/Kläranlage");
    const QString sources = folder + QStringLiteral("/Quellen");
    for (const QString& dir : {demo, plant, sources}) QDir().mkpath(dir);

    std::vector<Text> demoTexts(std::begin(kDemoTexts), std::end(kDemoTexts));
    std::vector<Text> revised = {{3, "Darstellung", "View", nullptr},
                                 {6, "Pumpe in Betrieb", "Pump running", nullptr}};
    std::vector<Text> plantTexts = {{1, "Zulauf", "Inlet", nullptr},
                                    {2, "Belebung", "Aeration", nullptr}};
    if (!WriteProject(demo + QStringLiteral("/Demo.qrp"), demoTexts) ||
        !WriteProject(plant + QStringLiteral("/Kläranlage.qrp"), plantTexts) ||
        !WriteProject(sources + QStringLiteral("/Überarbeitet.qrp"), revised)) {
        std::fprintf(stderr, "Die Beispielprojekte konnten nicht geschrieben werden.\n");
        return 1;
    }
    WriteRussianWorkbook(sources + QStringLiteral("/Russisch.xls"));

    RegistryTools registry;
    constexpr uint32_t hklm = RegistryStore::HKEY_LOCAL_MACHINE;
    registry.SetValue(hklm, kProjectsKey + QStringLiteral("\\Demo"), QStringLiteral("ProjectType"),
                      QStringLiteral("Single"));
    registry.SetValue(hklm, kProjectsKey + QStringLiteral("\\Demo"), QStringLiteral("Path"), demo);
    registry.SetValue(hklm, kProjectsKey + QStringLiteral("\\Kläranlage"),
                      QStringLiteral("ProjectType"), QStringLiteral("Terminal Client"));
    registry.SetValue(hklm, kProjectsKey + QStringLiteral("\\Kläranlage"), QStringLiteral("Path"),
                      plant);
    std::printf("Beispiel angelegt in %s\n", qPrintable(folder));
    return 0;
}
