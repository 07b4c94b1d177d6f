// Any bytes as the XML of a workbook's part, read by XmlScanner in pieces of a
// size the first byte picks and by libxml2 whole: where libxml2 reads a
// document, the scanner must read it with the same events; where libxml2
// refuses one, the scanner must refuse it too, except for what it does not
// check (namespaces, which characters beyond ASCII a name may hold). A
// difference aborts, as a read outside a buffer does.
#include "TextFileEncoding.h"
#include "XmlEvents.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// The log without its line ends: libxml2's push parser leaves them as they
// stand in character data sections, which the scanner reads as XML says, and
// the log joins a section's text with the text after it ("\r" + "\n" across
// the section's end is two line ends, not one). The tests' table holds the
// scanner's line ends to libxml2's in text.
std::string WithoutLineEnds(std::string log) {
    std::erase_if(log, [](char c) { return c == '\r' || c == '\n'; });
    return log;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t piece = data[0] % 64 + 1;
    const std::string_view document(reinterpret_cast<const char*>(data) + 1, size - 1);
    // The parts come checked as UTF-8, and the scanner takes only those in it.
    TextFileEncoding::Utf8Check utf8;
    if (!utf8.Feed(QByteArrayView(document.data(), static_cast<qsizetype>(document.size()))) ||
        !utf8.Finish() || !XmlScanner::Reads(document))
        return 0;
    const XmlEvents expected = ReadXmlEvents<XmlReader>(document, document.size() + 1);
    const XmlEvents scanned = ReadXmlEvents<XmlScanner>(document, piece);
    const bool lenient = std::any_of(document.begin(), document.end(),
                                     [](char c) { return c == ':' || (c & 0x80) != 0; });
    const bool differ =
        (!expected.failed &&
         (scanned.failed || WithoutLineEnds(scanned.log) != WithoutLineEnds(expected.log))) ||
        (expected.failed && !scanned.failed && !lenient);
    if (differ) {
        std::fprintf(stderr, "libxml2: %s\n%s\nscanner: %s\n%s\n",
                     expected.failed ? qPrintable(expected.fault) : "read", expected.log.c_str(),
                     scanned.failed ? qPrintable(scanned.fault) : "read", scanned.log.c_str());
        std::abort();
    }
    return 0;
}
