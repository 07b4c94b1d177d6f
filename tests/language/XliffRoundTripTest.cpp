// The XLIFF export read by translation tools, and what they write back imported:
// OASIS' strict schema (xmllint), Qt's lconvert, translate-toolkit's xliff2po.
#include "CliRun.h"
#include "CodePage.h"
#include "TestSupport.h"
#include "UndoStore.h"

#include <QFile>
#include <QJsonArray>
#include <QLibraryInfo>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

// A program of the machine, run to its end: exit code and what it printed.
std::pair<int, QString> RunProgram(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000)) return {-1, u"did not end"_qs};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAll())};
}

QString Lconvert() { return QLibraryInfo::path(QLibraryInfo::BinariesPath) + u"/lconvert"_qs; }

QString Schemas() {
    const QString chosen = qEnvironmentVariable("QUORVIN_XLIFF_SCHEMAS");
    return chosen.isEmpty() ? u"/usr/local/share/xliff-schemas"_qs : chosen;
}

QString StoredForm(const QString& text, int32_t lcid) {
    return CodePage::Decode(CodePage::Encode(text, CodePage::DefaultAnsiCodePage(lcid)), 1252);
}

QString Text(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return QString::fromUtf8(file.readAll());
}

void Write(const QString& path, const QString& text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toUtf8());
}

// German and Russian texts with what a file format can do to them; 6 untranslated.
const std::vector<std::tuple<int, QString, std::optional<QString>>> kTexts{
    {1, u"Datei"_qs, u"Файл"_qs},
    {2, u"Größe: 5 € & „mehr“ <b>"_qs, u"Размер: 5 € & «ещё» <b>"_qs},
    {3, u"Zeile 1\nZeile 2"_qs, u"Строка 1\nСтрока 2"_qs},
    {4, u"  Rand  "_qs, u"  Край  "_qs},
    {5, u"%1 von %2"_qs, u"%1 из %2"_qs},
    {6, u"Noch offen"_qs, std::nullopt},
    {100000, u"Letzter Text"_qs, u"Ёлка"_qs},
};

class XliffRoundTripTest : public testing::Test {
  protected:
    void SetUp() override {
        project = folder.Path(u"Demo.qrp"_qs);
        QString sql = u"CREATE TABLE TidxTexts(ID INTEGER PRIMARY KEY, L1031 TEXT, L1049 TEXT);"_qs;
        for (const auto& [id, german, russian] : kTexts)
            sql += u"INSERT INTO TidxTexts VALUES (%1, %2, %3);"_qs.arg(id).arg(
                Sql(german), russian ? Sql(StoredForm(*russian, 1049)) : u"NULL"_qs);
        RunSql(project, sql);
        exported = folder.Path(u"ru.xlf"_qs);
        const CliRun run = Cli({u"export"_qs, project, u"1049"_qs, exported});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    }
    static QString Sql(const QString& text) {
        return u"'"_qs + QString(text).replace(u"'"_qs, u"''"_qs) + u"'"_qs;
    }

    TempFolder folder;
    QString project, exported;
};

TEST_F(XliffRoundTripTest, TheExportIsStrictXliff12) {
    const auto [code, output] =
        RunProgram(u"xmllint"_qs, {u"--nonet"_qs, u"--noout"_qs, u"--schema"_qs,
                                   Schemas() + u"/xliff-core-1.2-strict.xsd"_qs, exported});
    EXPECT_EQ(code, 0) << output.toStdString();
    const QString xml = Text(exported);
    EXPECT_TRUE(
        xml.contains(u"<file original=\"Demo\" datatype=\"plaintext\" "
                     "source-language=\"de-DE\" target-language=\"ru-RU\">"_qs));
    EXPECT_TRUE(
        xml.contains(u"<trans-unit id=\"6\" resname=\"6\" xml:space=\"preserve\">\n"
                     "        <source>Noch offen</source>\n"
                     "        <target state=\"needs-translation\"/>"_qs))
        << xml.toStdString();
    EXPECT_TRUE(xml.contains(
        u"<target state=\"translated\">Размер: 5 € &amp; «ещё» &lt;b&gt;</target>"_qs));
    EXPECT_LT(xml.indexOf(u"id=\"5\""_qs), xml.indexOf(u"id=\"100000\""_qs)) << "in ID order";
}

TEST_F(XliffRoundTripTest, LconvertReadsItAndItsFileComesBack) {
    const QString ts = folder.Path(u"ru.ts"_qs), back = folder.Path(u"back.xlf"_qs);
    auto [code, output] = RunProgram(Lconvert(), {u"-i"_qs, exported, u"-o"_qs, ts});
    ASSERT_EQ(code, 0) << output.toStdString();
    // Every ID and text arrived in Qt Linguist's file.
    QString messages = Text(ts);
    for (const auto& [id, german, russian] : kTexts) {
        EXPECT_TRUE(messages.contains(u"<message id=\"%1\">"_qs.arg(id))) << id;
        if (russian) {
            EXPECT_TRUE(messages.contains(
                QString(*russian).toHtmlEscaped().replace(u"&quot;"_qs, u"\""_qs)))
                << id;
        }
    }
    // The translator changes three texts and sends the file back as XLIFF.
    const std::vector<std::pair<QString, QString>> changes{
        {u"Файл"_qs, u"Файлы"_qs},
        {u"Строка 1\nСтрока 2"_qs, u"Строка один\nСтрока два"_qs},
        {u"Ёлка"_qs, u"Последний текст"_qs}};
    for (const auto& [before, after] : changes) {
        ASSERT_TRUE(messages.contains(u">"_qs + before + u"<"_qs)) << before.toStdString();
        messages.replace(u">"_qs + before + u"<"_qs, u">"_qs + after + u"<"_qs);
    }
    Write(ts, messages);
    std::tie(code, output) = RunProgram(Lconvert(), {u"-i"_qs, ts, u"-o"_qs, back});
    ASSERT_EQ(code, 0) << output.toStdString();

    const auto before = ReadColumn(project, u"L1049"_qs);
    const CliRun import = Cli({u"import"_qs, project, u"1049"_qs, back, u"--json"_qs});
    EXPECT_EQ(import.exitCode, 0) << import.out.toStdString();
    const QJsonObject report = import.Json();
    EXPECT_EQ(report[u"counts"_qs][u"changed"_qs].toInt(), 3);
    EXPECT_EQ(report[u"counts"_qs][u"untranslated"_qs].toInt(), 1) << "ID 6 has no translation";
    const auto after = ReadColumn(project, u"L1049"_qs);
    EXPECT_EQ(after.at(1), Variant(StoredForm(u"Файлы"_qs, 1049)));
    EXPECT_EQ(after.at(3), Variant(StoredForm(u"Строка один\nСтрока два"_qs, 1049)));
    EXPECT_EQ(after.at(100000), Variant(StoredForm(u"Последний текст"_qs, 1049)));
    for (const int id : {2, 4, 5, 6}) EXPECT_EQ(after.at(id), before.at(id)) << id;

    ASSERT_EQ(Cli({u"undo"_qs, project}).exitCode, 0);
    EXPECT_EQ(ReadColumn(project, u"L1049"_qs), before) << "the column as it was, Null included";
}

TEST_F(XliffRoundTripTest, TranslateToolkitReadsEveryUnit) {
    const QString po = folder.Path(u"ru.po"_qs);
    const auto [code, output] = RunProgram(u"xliff2po"_qs, {exported, po});
    ASSERT_EQ(code, 0) << output.toStdString();
    const QString text = Text(po);
    for (const auto& [id, german, russian] : kTexts) {
        EXPECT_TRUE(text.contains(u"#: %1\n"_qs.arg(id))) << id;
        if (russian && !russian->contains(u'\n')) {
            EXPECT_TRUE(text.contains(
                u"msgstr \"%1\""_qs.arg(QString(*russian).replace(u"\""_qs, u"\\\""_qs))))
                << id;
        }
    }
}

TEST_F(XliffRoundTripTest, FilesLconvertMadeFromMessagesImport) {
    // A Qt Linguist file with message ids, an unfinished translation and line breaks,
    // converted by lconvert (see the data folder's README).
    RunSql(project,
           u"INSERT INTO TidxTexts VALUES (101, 'Datei', NULL), (102, 'Zeile 1' || "
           "char(10) || 'Zeile 2', NULL), (103, 'Noch offen', NULL), (104, 'Entwurf', NULL), "
           "(105, '&Beenden', NULL)"_qs);
    const CliRun run = Cli({u"import"_qs, project, u"1049"_qs,
                            TestData(u"xliff/messages-lconvert.xlf"_qs), u"--json"_qs});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject report = run.Json();
    EXPECT_EQ(report[u"counts"_qs][u"changed"_qs].toInt(), 4);
    EXPECT_EQ(report[u"untranslated"_qs].toArray().size(), 1);
    EXPECT_EQ(report[u"untranslated"_qs][0][u"id"_qs].toString(), u"103"_qs);
    const auto texts = ReadColumn(project, u"L1049"_qs);
    EXPECT_EQ(texts.at(102), Variant(StoredForm(u"Строка 1\nСтрока 2"_qs, 1049)));
    EXPECT_EQ(texts.at(105), Variant(StoredForm(u"&Выход"_qs, 1049)));
    EXPECT_TRUE(texts.at(103).IsNull());
}

TEST_F(XliffRoundTripTest, TheSourceLanguageIsChosenOrMissing) {
    // Without German the first other language is the source.
    const QString other = folder.Path(u"Andere.qrp"_qs);
    RunSql(other,
           u"CREATE TABLE TidxTexts(ID INTEGER PRIMARY KEY, L1049 TEXT, L1033 TEXT, L1032 "
           "TEXT); INSERT INTO TidxTexts VALUES (1, 'Äà', 'Yes', NULL)"_qs);
    const QString file = folder.Path(u"el.xlf"_qs);
    const CliRun chosen = Cli({u"export"_qs, other, u"1032"_qs, file, u"--json"_qs});
    EXPECT_EQ(chosen.exitCode, 0) << chosen.err.toStdString();
    EXPECT_EQ(chosen.Json()[u"reference"_qs].toString(), u"L1049"_qs);
    EXPECT_TRUE(Text(file).contains(u"source-language=\"ru-RU\" target-language=\"el-GR\""_qs));
    EXPECT_TRUE(Text(file).contains(u"<source>Да</source>"_qs)) << "the source in real characters";
    // A project of one language has nothing to translate from.
    const QString alone = folder.Path(u"Allein.qrp"_qs);
    RunSql(alone, u"CREATE TABLE TidxTexts(ID INTEGER PRIMARY KEY, L1031 TEXT)"_qs);
    const CliRun none = Cli({u"export"_qs, alone, u"1031"_qs, folder.Path(u"de.xliff"_qs)});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.err.contains(u"Ausgangssprache"_qs)) << none.err.toStdString();
    EXPECT_FALSE(QFile::exists(folder.Path(u"de.xliff"_qs)));
    // A text XML cannot hold is left out and named.
    RunSql(project, u"UPDATE TidxTexts SET L1049 = 'Звонок' || char(7) WHERE ID = 1"_qs);
    const CliRun control = Cli({u"export"_qs, project, u"1049"_qs, exported});
    EXPECT_EQ(control.exitCode, 3);
    EXPECT_TRUE(
        control.out.contains(u"1 Text enthält Steuerzeichen, die XML nicht fasst, und fehlt "
                             "in der Datei: ID 1"_qs))
        << control.out.toStdString();
}

}  // namespace
