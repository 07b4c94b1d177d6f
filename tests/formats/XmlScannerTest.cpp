// The fast XML reader of workbook parts against libxml2: the same events for
// every well-formed document, however it comes in pieces, and the same faults
// for the broken ones.
#include "XmlEvents.h"

#include <gtest/gtest.h>

namespace {

const size_t kPieces[] = {1, 2, 7, 64, 65536};

struct WellFormed {
    const char* what;
    std::string document;
};

const WellFormed kWellFormed[] = {
    {"a sheet as LibreOffice writes it",
     "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<worksheet "
     "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" xmlns:r=\"urn:r\">"
     "<sheetData><row r=\"1\" spans=\"1:2\"><c r=\"A1\" s=\"1\" t=\"s\"><v>0</v></c>"
     "<c r=\"B1\" t=\"n\"><v>12</v></c></row></sheetData></worksheet>"},
    {"references in text and values",
     "<a b=\"x &amp; y &#x41;&#66; &lt;\" c='&quot;&apos;'> 1 &lt; 2 &gt; 0 &quot;&apos; "
     "&#x1F600;&#228; </a>"},
    {"character data", "<a>x<![CDATA[<not> & markup ]] ] >]]>y</a>"},
    {"line ends as XML reads them", "<a x=\"1\r\n2\t3\n4\">l1\r\nl2\rl3\n</a>\r\n"},
    {"comments and instructions around and inside",
     "<!-- before --><?pi data?>\n<a><!-- in - side --><b/><?x?>t</a><!-- after -->\n"},
    {"prefixed names",
     "<x:sst xmlns:x=\"urn:x\"><x:si x:id=\"1\" xml:space=\"preserve\"><x:t>T</x:t></x:si>"
     "</x:sst>"},
    {"byte-order mark and text beyond ASCII",
     "\xEF\xBB\xBF<a>Gr\xC3\xB6\xC3\x9F"
     "e \xD0\xA2\xD0\xB5\xD0\xBA\xD1\x81\xD1\x82 "
     "\xF0\x9F\x98\x80</a>"},
    {"a root without content, blanks around", "  \n<a/>\n "},
    {"quotes and '>' inside values", "<a b='1>2' c=\"'\" d = \"\" e\n=\t'x'/>"},
    {"blanks as text", "<a><t xml:space=\"preserve\"> </t>\n  <t>\t</t></a>"},
    {"end tags with blanks", "<a><b></b ></a\n>"},
    {"a carriage return by reference stays one", "<a b=\"&#xD;&#10;\">x&#xD;y&#13;\r\nz</a>"},
};

TEST(XmlScannerTest, ReadsWellFormedDocumentsAsLibxml2DoesInAnyPieces) {
    for (const auto& [what, document] : kWellFormed) {
        const XmlEvents expected = ReadXmlEvents<XmlReader>(document, 65536);
        ASSERT_FALSE(expected.failed) << what << ": " << expected.fault.toStdString();
        for (size_t piece : kPieces) {
            const XmlEvents scanned = ReadXmlEvents<XmlScanner>(document, piece);
            EXPECT_FALSE(scanned.failed)
                << what << ", pieces of " << piece << ": " << scanned.fault.toStdString();
            EXPECT_EQ(scanned.log, expected.log) << what << ", pieces of " << piece;
        }
    }
}

struct Broken {
    const char* what;
    std::string document;
    const char* reason;
};

const char* const kMalformed = "fehlerhaftes XML";
const char* const kBadCharacter = "ein Zeichen, das die Kodierung der Datei nicht kennt";
const char* const kEndsEarly = "die Datei endet mitten im XML";

const Broken kBroken[] = {
    {"elements crossed", "<a><b></a></b>", kMalformed},
    {"an element left open", "<a><b></b>", kEndsEarly},
    {"a tag cut short", "<a><b x=\"1", kEndsEarly},
    {"nothing", "", kEndsEarly},
    {"an unknown entity", "<a>&nbsp;</a>", "eine unbekannte Entität"},
    {"an unknown entity in a value", "<a b=\"&foo;\"/>", "eine unbekannte Entität"},
    {"a reference without its end", "<a>&amp</a>", kMalformed},
    {"a lone ampersand", "<a>fish & chips</a>", kMalformed},
    {"a reference to NUL", "<a>&#0;</a>", kBadCharacter},
    {"a control character in text", "<a>\x01</a>", kBadCharacter},
    {"a control character in a value", "<a b=\"\x02\"/>", kBadCharacter},
    {"a control character in a namespace", "<a xmlns=\"u\x1F\"/>", kBadCharacter},
    {"U+FFFE in text", "<a>\xEF\xBF\xBE</a>", kBadCharacter},
    {"a document type", "<!DOCTYPE a><a/>",
     "eine DTD ist nicht erlaubt (sie könnte Entitäten nachladen)"},
    {"an attribute twice", "<a b=\"1\" b=\"2\"/>", kMalformed},
    {"two roots", "<a/><b/>", kMalformed},
    {"text after the root", "<a/>x", kMalformed},
    {"\"]]>\" in text", "<a>]]></a>", kMalformed},
    {"'<' in a value", "<a b=\"<\"/>", kMalformed},
    {"\"--\" in a comment", "<a><!-- x -- y --></a>", kMalformed},
    {"a declaration not at the start", " <?xml version=\"1.0\"?><a/>", kMalformed},
    {"a value without quotes", "<a b=1/>", kMalformed},
    {"attributes run together", "<a b=\"1\"c=\"2\"/>", kMalformed},
    {"a name beginning with a digit", "<1a/>", kMalformed},
    {"an empty prefix", "<:a/>", kMalformed},
    {"a name of two prefixes", "<a:b:c/>", kMalformed},
    {"an attribute's name of two prefixes", "<a x:y:z=\"1\"/>", kMalformed},
    {"an attribute without its local name", "<a b:=\"1\"/>", kMalformed},
    {"an end tag of two prefixes", "<a><b:c></b:c:d></a>", kMalformed},
    {"character data outside the root", "<![CDATA[x]]><a/>", kMalformed},
    {"an unknown declaration", "<a><!ELEMENT a></a>", kMalformed},
    {"a declaration without its version", "<?xml encoding=\"UTF-8\"?><a/>", kMalformed},
    {"a declaration out of order",
     "<?xml version=\"1.0\" standalone=\"yes\" encoding=\"UTF-8\"?><a/>", kMalformed},
    {"standing alone, maybe", "<?xml version=\"1.0\" standalone=\"maybe\"?><a/>", kMalformed},
};

TEST(XmlScannerTest, FailsOnBrokenDocumentsWithLibxml2sReasonsInAnyPieces) {
    for (const auto& [what, document, reason] : kBroken) {
        const XmlEvents expected = ReadXmlEvents<XmlReader>(document, 65536);
        EXPECT_TRUE(expected.failed) << what;
        for (size_t piece : kPieces) {
            const XmlEvents scanned = ReadXmlEvents<XmlScanner>(document, piece);
            ASSERT_TRUE(scanned.failed) << what << ", pieces of " << piece;
            EXPECT_TRUE(scanned.fault.endsWith(QString::fromUtf8(reason)))
                << what << ", pieces of " << piece << ": " << scanned.fault.toStdString();
        }
    }
}

TEST(XmlScannerTest, NamesTheLineOfTheFault) {
    const std::string document = "<a>\n<b>\r\n\n</c></a>";
    const XmlEvents expected = ReadXmlEvents<XmlReader>(document, 65536);
    for (size_t piece : kPieces)
        EXPECT_EQ(ReadXmlEvents<XmlScanner>(document, piece).fault.toStdString(),
                  "Zeile 4: fehlerhaftes XML")
            << "pieces of " << piece << "; libxml2: " << expected.fault.toStdString();
}

TEST(XmlScannerTest, HoldsToTheBoundsOfDepthAndMarkup) {
    std::string deep;
    for (int i = 0; i < 65; ++i) deep += "<a>";
    for (int i = 0; i < 65; ++i) deep += "</a>";
    EXPECT_TRUE(ReadXmlEvents<XmlScanner>(deep, 7).fault.endsWith(
        QStringLiteral("mehr als 64 Ebenen geschachtelt")));
    EXPECT_FALSE(ReadXmlEvents<XmlScanner>(deep, 7, 65).failed);

    // One value beyond 10 MB is refused as libxml2 refuses it; a text of that
    // size is read, in pieces.
    const std::string longValue = "<a b=\"" + std::string(10000001, 'x') + "\"/>";
    EXPECT_TRUE(ReadXmlEvents<XmlReader>(longValue, 65536).failed);
    EXPECT_TRUE(ReadXmlEvents<XmlScanner>(longValue, 65536).failed);
    const std::string longText = "<a>" + std::string(12000000, 'x') + "</a>";
    const XmlEvents text = ReadXmlEvents<XmlScanner>(longText, 65536);
    EXPECT_FALSE(text.failed);
    EXPECT_EQ(text.log.size(), std::string("<a>\ntext[]\n</a>\n").size() + 12000000);
}

TEST(XmlScannerTest, TakesOnlyDocumentsInUtf8) {
    const struct {
        std::string beginning;
        bool reads;
    } cases[] = {
        {"<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<a/>", true},
        {"<?xml version='1.0' encoding = 'utf-8'?><a/>", true},
        {"<a/>", true},
        {"\xEF\xBB\xBF<?xml version=\"1.0\"?><a/>", true},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>", false},
        {std::string("\xFF\xFE<\0a\0/\0>\0", 10), false},
        {std::string("<\0a\0/\0>\0", 8), false},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"", false},  // the rest unseen
    };
    for (const auto& [beginning, reads] : cases)
        EXPECT_EQ(XmlScanner::Reads(beginning), reads) << beginning;
}

}  // namespace
