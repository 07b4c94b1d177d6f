#include "MLanguageTransfer.h"
#include "RuntimeError.h"
#include "TestSupport.h"
#include "XliffFile.h"

#include <gtest/gtest.h>

#include <map>

namespace {

// The rows of a table as ID -> text.
std::map<QString, QString> Texts(const SourceTable& table) {
    std::map<QString, QString> texts;
    for (const auto& row : table.rows) texts[row[0].ToText()] = row[1].ToText();
    return texts;
}

std::vector<QString> Ids(const std::vector<SkippedUnit>& units) {
    std::vector<QString> ids;
    for (const auto& unit : units) ids.push_back(unit.id);
    return ids;
}

TEST(XliffFileTest, SegmentsIgnorablesStatesAndCodesOfVersion2) {
    const SourceTable table = XliffFile::Read(TestData(u"xliff/segments-2.0.xlf"_qs), 1049);
    EXPECT_EQ(table.columns, (QStringList{u"ID"_qs, u"L1049"_qs}));
    EXPECT_EQ(Texts(table), (std::map<QString, QString>{{u"1"_qs, u"Файл"_qs},
                                                        {u"2"_qs, u"Строка один. Строка два."_qs},
                                                        {u"6"_qs, u"АB!"_qs},
                                                        {u"7"_qs, u"Черновик"_qs},
                                                        {u"8"_qs, u"Звонок\u0007"_qs},
                                                        {u"9"_qs, u"Конец"_qs}}));
    EXPECT_EQ(Ids(table.reading.untranslated), std::vector<QString>{u"3"_qs});
    EXPECT_EQ(Ids(table.reading.withCodes), (std::vector<QString>{u"4"_qs, u"5"_qs}));
    EXPECT_EQ(table.reading.withCodes[0].row, 4) << "the unit's place in the file";
}

TEST(XliffFileTest, WhatTradosAndLconvertWrite) {
    const SourceTable trados = XliffFile::Read(TestData(u"xliff/trados-1.2.xlf"_qs), 1049);
    EXPECT_EQ(Texts(trados),
              (std::map<QString, QString>{{u"1"_qs, u"Файл"_qs}, {u"2"_qs, u"Открыть сейчас"_qs}}))
        << "seg-source, mrk and g count as their text; alt-trans is no target";
    EXPECT_EQ(Ids(trados.reading.untranslated), (std::vector<QString>{u"3"_qs, u"5"_qs}));
    EXPECT_EQ(Ids(trados.reading.withCodes), std::vector<QString>{u"4"_qs});

    const SourceTable qt = XliffFile::Read(TestData(u"xliff/messages-lconvert.xlf"_qs), 1049);
    EXPECT_EQ(Texts(qt), (std::map<QString, QString>{{u"101"_qs, u"Файл"_qs},
                                                     {u"102"_qs, u"Строка 1\nСтрока 2"_qs},
                                                     {u"104"_qs, u"Черновик"_qs},
                                                     {u"105"_qs, u"&Выход"_qs}}))
        << "needs-review-translation is imported";
    EXPECT_EQ(Ids(qt.reading.untranslated), std::vector<QString>{u"103"_qs});
}

TEST(XliffFileTest, VersionsAreFoundFromTheNamespace) {
    auto unit = [](const QByteArray& root, const QByteArray& body) {
        return "<?xml version=\"1.0\"?>" + root + body + "</xliff>";
    };
    const QByteArray one =
        "<file source-language=\"de\" target-language=\"ru\"><body><trans-unit "
        "id=\"7\"><source>a</source><target>б</target></trans-unit></body></file>";
    const QByteArray two =
        "<file id=\"f\"><unit id=\"7\"><segment><source>a</source><target>б</target>"
        "</segment></unit></file>";
    const std::vector<std::pair<QByteArray, QByteArray>> readable{
        {"<xliff version=\"1.0\">", one},
        {"<xliff version=\"1.1\" xmlns=\"urn:oasis:names:tc:xliff:document:1.1\">", one},
        {"<xliff version=\"1.2\" xmlns=\"urn:oasis:names:tc:xliff:document:1.2\">", one},
        {"<xliff version=\"2.0\" xmlns=\"urn:oasis:names:tc:xliff:document:2.0\" srcLang=\"de\" "
         "trgLang=\"ru\">",
         two},
        {"<xliff version=\"2.1\" xmlns=\"urn:oasis:names:tc:xliff:document:2.0\" srcLang=\"de\">",
         two},
    };
    for (const auto& [root, body] : readable)
        EXPECT_EQ(Texts(XliffFile::Parse(unit(root, body), u"v.xlf"_qs, 1049)),
                  (std::map<QString, QString>{{u"7"_qs, u"б"_qs}}))
            << root.toStdString();
    const std::vector<std::pair<QByteArray, QString>> unknown{
        {"<xliff version=\"3.0\" xmlns=\"urn:oasis:names:tc:xliff:document:3.0\">", u"3.0"_qs},
        {"<xliff version=\"2.2\" xmlns=\"urn:oasis:names:tc:xliff:document:2.0\">", u"2.2"_qs},
        {"<xliff xmlns=\"urn:example\">", u"urn:example"_qs},
    };
    for (const auto& [root, version] : unknown)
        EXPECT_EQ(ErrorText([&] { XliffFile::Parse(unit(root, one), u"/x/v.xlf"_qs, 1049); }),
                  u"3274 Die XLIFF-Datei '/x/v.xlf' hat die Version „%1“, die sich nicht lesen "
                  "lässt; gelesen werden XLIFF 1.0, 1.1, 1.2, 2.0 und 2.1."_qs.arg(version));
    EXPECT_EQ(
        ErrorText([&] { XliffFile::Parse(unit(readable[2].first, one), u"/x/v.xlf"_qs, 1033); }),
        u"5 Die XLIFF-Datei '/x/v.xlf' enthält Übersetzungen in „ru“, importiert werden soll "
        "aber L1033 („en-US“); nichts wurde geändert."_qs);
}

TEST(XliffFileTest, ReferencesInAttributesAreRead) {
    const QByteArray file =
        "<?xml version=\"1.0\"?><xliff version=\"1.2\" "
        "xmlns=\"urn:oasis:names:tc:xliff:document:1.2\"><file target-language=\"ru\"><body>"
        "<trans-unit id=\"Datei &amp; Men&#xFC; &#38; &lt;\"><source>a</source></trans-unit>"
        "</body></file></xliff>";
    EXPECT_EQ(Ids(XliffFile::Parse(file, u"a.xlf"_qs, 1049).reading.untranslated),
              std::vector<QString>{u"Datei & Menü & <"_qs});
}

TEST(XliffFileTest, HostileAndDamagedFilesAreRefusedClearly) {
    const QByteArray head =
        "<xliff version=\"1.2\" xmlns=\"urn:oasis:names:tc:xliff:document:1.2\">";
    QByteArray deep = head + "<file><body>";
    for (int i = 0; i < 100; ++i) deep += "<group>";
    const std::vector<std::pair<QByteArray, QString>> hostile{
        // A billion laughs: entities that expand to gigabytes.
        {"<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b "
         "\"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]>" +
             head +
             "<file><body><trans-unit "
             "id=\"1\"><target>&c;</target></trans-unit></body></file></xliff>",
         u"Zeile 1: eine DTD ist nicht erlaubt (sie könnte Entitäten nachladen)"_qs},
        // An external entity that would read a file of the machine into the project.
        {"<?xml version=\"1.0\"?>\n<!DOCTYPE x [<!ENTITY secret SYSTEM "
         "\"file:///etc/passwd\">]>\n" +
             head +
             "<file><body><trans-unit "
             "id=\"1\"><target>&secret;</target></trans-unit></body></file></xliff>",
         u"Zeile 2: eine DTD ist nicht erlaubt (sie könnte Entitäten nachladen)"_qs},
        {head + "<file><body><trans-unit "
                "id=\"1\"><target>&secret;</target></trans-unit></body></file></xliff>",
         u"Zeile 1: eine unbekannte Entität"_qs},
        {deep, u"Zeile 1: mehr als 64 Ebenen geschachtelt"_qs},
        {head + "<file><body><trans-unit id=\"1\"><target>abgeschnit",
         u"Zeile 1: die Datei endet mitten im XML"_qs},
        {"<html><body/></html>", u"Zeile 1: keine XLIFF-Datei (das Wurzelelement ist <html>)"_qs},
    };
    for (const auto& [bytes, where] : hostile) {
        const QString text = ErrorText([&] { XliffFile::Parse(bytes, u"/x/h.xlf"_qs, 1049); });
        EXPECT_EQ(text, u"3274 Die XLIFF-Datei '/x/h.xlf' ist fehlerhaft: %1."_qs.arg(where));
        EXPECT_FALSE(text.contains(u"root:"_qs)) << "nothing of /etc/passwd";
    }
    EXPECT_EQ(ErrorText([] { XliffFile::Parse({}, u"/x/leer.xlf"_qs, 1049); }),
              u"3274 Die XLIFF-Datei '/x/leer.xlf' ist leer."_qs);
}

TEST(XliffFileTest, ImportsTheTranslatedUnitsAndReportsTheOthers) {
    TempFolder folder;
    MessageRecorder messages;
    const QString project = folder.Path(u"Demo.qrp"_qs);
    WriteProject(project, {{1, "Datei", {}, "alt"},
                           {2, "Zeilen", {}, "alt"},
                           {3, "Offen", {}, "alt"},
                           {4, "Öffnen", {}, "alt"},
                           {9, "Ende", {}, "alt"}});
    const QString source = TestData(u"xliff/segments-2.0.xlf"_qs);
    const ImportReport report = MLanguageTransfer::ImportLanguage(project, 1049, source);
    const auto texts = ReadColumn(project, u"L1049"_qs);
    EXPECT_EQ(texts.at(1), Variant(u"Ôàéë"_qs)) << "in the code-page form";
    EXPECT_EQ(texts.at(3), Variant(u"alt"_qs)) << "not translated: left alone";
    EXPECT_EQ(texts.at(4), Variant(u"alt"_qs)) << "a placeholder code: left alone";
    EXPECT_EQ(report.rows.changed, 3);
    EXPECT_TRUE(report.HasFindings()) << "units with codes are findings";
    EXPECT_TRUE(report.Summary().contains(
        u"1 Einheit ohne Übersetzung übergangen, 2 Einheiten mit Platzhalter-Codes nicht importiert"_qs))
        << report.Summary().toStdString();
    EXPECT_TRUE(report.Details().contains(
        u"Einheiten mit Platzhalter-Codes, nicht importiert (2):\n  Einheit 4: ID „4“\n  Einheit 5: ID „5“"_qs))
        << report.Details().toStdString();
}

}  // namespace
