#include "AccessReader.h"
#include "CodePage.h"
#include "DBEngine.h"
#include "MLanguageTransfer.h"
#include "RuntimeError.h"
#include "TestSupport.h"

#include <QFile>

#include <gtest/gtest.h>
#include <cstdlib>

namespace {

using MLanguageTransfer::TransferLanguage;

Variant Txt(const char16_t* text) { return Variant(QString::fromUtf16(text)); }
QString Ansi(const char16_t* text, int codePage) {
    return CodePage::Decode(CodePage::Encode(QString::fromUtf16(text), codePage), 1252);
}

// Imports from real Access (Jet 4) files written by another program.
class AccessSourceTest : public testing::Test {
  protected:
    void SetUp() override {
        CodePage::SetSystemAnsiCodePage(1252);
        project = folder.Path(QStringLiteral("Demo.qrp"));
        std::vector<ProjectRow> rows;
        for (int64_t id : {0, 1, 2, 3, 4, 5, 6, 7, 12, 31, 100000}) {
            const QString old = QStringLiteral("alt %1").arg(id);
            rows.push_back({id, old, old, old});
        }
        WriteProject(project, rows);
    }
    void TearDown() override {
        CodePage::SetSystemAnsiCodePage(std::nullopt);
        unsetenv("QUORVIN_ACCESS_READER");
        AccessReader::SetTimeLimit(60000);
    }
    // A stand-in for the reader program: a shell script with the given body.
    void FakeReader(const QByteArray& body) {
        const QString script = folder.Path(QStringLiteral("reader.sh"));
        QFile file(script);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + body + "\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        setenv("QUORVIN_ACCESS_READER", QFile::encodeName(script).constData(), 1);
    }

    TempFolder folder;
    QString project;
    MessageRecorder messages;
};

TEST_F(AccessSourceTest, NullStaysNullAndEmptyStaysEmpty) {
    const QString source = folder.Copy(QStringLiteral("access/texts-jet4.mdb"));
    ASSERT_TRUE(TransferLanguage(project, 1031, source));
    EXPECT_TRUE(messages.messages.empty());
    auto texts = ReadColumn(project, QStringLiteral("L1031"));
    EXPECT_EQ(texts[1], Txt(u"Datei"));
    EXPECT_EQ(texts[3], Txt(u"Grüße aus Köln"));
    EXPECT_EQ(texts[4], Variant()) << "Null in the source";
    EXPECT_EQ(texts[5], Txt(u"")) << "the empty text in the source";
    EXPECT_EQ(texts[7], Txt(u"Größe: 5 €"));
    EXPECT_EQ(texts[100000], Txt(u"Letzter Text"));
    EXPECT_EQ(texts[6], Txt(u"alt 6")) << "not in the source";
}

TEST_F(AccessSourceTest, CyrillicMemoIsReencoded) {
    const QString source = folder.Copy(QStringLiteral("access/texts-jet4.mdb"));
    ASSERT_TRUE(TransferLanguage(project, 1049, source));
    auto texts = ReadColumn(project, QStringLiteral("L1049"));
    EXPECT_EQ(texts[1], Variant(Ansi(u"Файл", 1251)));
    EXPECT_EQ(texts[7], Variant(Ansi(u"Размер: 5 €", 1251))) << "€ is 0x88 in code page 1251";
    EXPECT_EQ(texts[100000], Variant(Ansi(u"Ёлка", 1251)));
    EXPECT_EQ(texts[4], Variant());
    EXPECT_EQ(texts[5], Txt(u""));
}

TEST_F(AccessSourceTest, TextIdsMatchByVal) {
    const QString source = folder.Copy(QStringLiteral("access/texts-text-ids.mdb"));
    ASSERT_TRUE(TransferLanguage(project, 1031, source));
    auto texts = ReadColumn(project, QStringLiteral("L1031"));
    EXPECT_EQ(texts[1], Txt(u"eins"));
    EXPECT_EQ(texts[2], Txt(u"zwei")) << "\"  2\"";
    EXPECT_EQ(texts[3], Txt(u"drei")) << "\"3abc\"";
    EXPECT_EQ(texts[0], Txt(u"null")) << "\"abc\" matches ID 0";
    EXPECT_EQ(texts[31], Txt(u"einunddreißig")) << "\"&H1F\"";
    EXPECT_EQ(texts[12], Txt(u"zwölf")) << "\"1 2\"";
    EXPECT_EQ(texts[4], Txt(u"alt 4"));
}

TEST_F(AccessSourceTest, AccessFileNamedAsProjectFileIsReadAlike) {
    const QString source =
        folder.Copy(QStringLiteral("access/texts-jet4.mdb"), QStringLiteral("Quelle.qrp"));
    ASSERT_TRUE(TransferLanguage(project, 1049, source));
    EXPECT_EQ(ReadColumn(project, QStringLiteral("L1049"))[1], Txt(u"Файл"))
        << "project sources are not re-encoded";
}

TEST_F(AccessSourceTest, FailuresNameTheFileAndChangeNothing) {
    const QByteArray before = FileBytes(project);
    const QString noTable = folder.Copy(QStringLiteral("access/no-texts-table.mdb"));
    EXPECT_FALSE(TransferLanguage(project, 1031, noTable));
    EXPECT_EQ(messages.FailureNumber(), ErrorNumber::ObjectNotFound);
    EXPECT_TRUE(messages.messages[0].text.contains(noTable));
    EXPECT_EQ(FileBytes(project), before);

    // A damaged copy: the first pages only.
    const QString truncated = folder.Path(QStringLiteral("kaputt.mdb"));
    QFile out(truncated);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(FileBytes(folder.Copy(QStringLiteral("access/texts-jet4.mdb"))).left(3 * 4096 + 100));
    out.close();
    messages.messages.clear();
    EXPECT_FALSE(TransferLanguage(project, 1031, truncated));
    EXPECT_NE(messages.FailureNumber(), 0);
    EXPECT_TRUE(messages.messages[0].text.contains(truncated))
        << messages.messages[0].text.toStdString();
    EXPECT_EQ(FileBytes(project), before);
}

TEST_F(AccessSourceTest, AMisbehavingReaderBecomesAClearError) {
    const QString source = folder.Copy(QStringLiteral("access/texts-jet4.mdb"));
    const QByteArray before = FileBytes(project);
    struct Case {
        const char* what;
        QByteArray script;
    };
    const std::vector<Case> cases = {
        {"crash", "kill -SEGV $$"},
        {"garbage", "printf 'QAR1\\377\\377\\377\\377'"},
        {"cut short",
         "printf 'QAR1\\001\\000\\000\\000\\002\\000\\000\\000IDR\\001\\377\\000\\000\\000ab'"},
        {"no answer", "exit 0"},
        {"hang", "sleep 30"},
    };
    AccessReader::SetTimeLimit(1500);
    for (const auto& c : cases) {
        FakeReader(c.script);
        messages.messages.clear();
        EXPECT_FALSE(TransferLanguage(project, 1031, source)) << c.what;
        EXPECT_EQ(messages.FailureNumber(), ErrorNumber::Corrupt) << c.what;
        EXPECT_TRUE(messages.messages[0].text.contains(source)) << c.what;
        EXPECT_EQ(FileBytes(project), before) << c.what;
    }
}

// The rows are read as the reader writes them, whatever pieces the pipe cuts them
// into; what follows the end of the stream is a damaged answer.
TEST_F(AccessSourceTest, TheStreamIsReadAsItArrives) {
    const QString source = folder.Copy(QStringLiteral("access/texts-jet4.mdb"));
    // Columns ID and L1031; rows (2, "zwei") and (12, "zwölf"), cut inside their records.
    const QByteArray header =
        "printf 'QAR1\\002\\000\\000\\000\\002\\000\\000\\000ID\\005\\000\\000\\000L1031'";
    const QByteArray rows =
        "printf 'R\\002\\000\\000\\000\\000\\000\\000'; sleep 0.2; "
        "printf '\\000\\100\\001\\004\\000\\000\\000zw'; sleep 0.2; printf 'ei'; "
        "printf 'R\\002\\000\\000\\000\\000\\000\\000\\050\\100\\001\\006\\000\\000"
        "\\000zw\\303\\266lf'; sleep 0.2; ";
    const QByteArray end = "printf 'Z\\002\\000\\000\\000\\000\\000\\000\\000'";
    FakeReader(header + "; sleep 0.2; " + rows + end);
    ASSERT_TRUE(TransferLanguage(project, 1031, source)) << messages.messages[0].text.toStdString();
    const auto texts = ReadColumn(project, QStringLiteral("L1031"));
    EXPECT_EQ(texts.at(2), Variant(QStringLiteral("zwei")));
    EXPECT_EQ(texts.at(12), Variant(QStringLiteral("zwölf")));
    EXPECT_EQ(texts.at(3), Variant(QStringLiteral("alt 3")));

    const QByteArray before = FileBytes(project);
    FakeReader(header + "; " + rows + end + "; printf 'R'");
    EXPECT_FALSE(TransferLanguage(project, 1031, source));
    EXPECT_EQ(messages.FailureNumber(), ErrorNumber::Corrupt);
    EXPECT_EQ(FileBytes(project), before);
}

}  // namespace
