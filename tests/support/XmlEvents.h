#pragma once

// A document's XML events written down one per line, as XmlReader (libxml2)
// and XmlScanner read it, so that the two can be held side by side: an
// element's start with its attributes, its end, and its text with the pieces
// of one text joined.
#include "FileDamaged.h"
#include "XmlReader.h"
#include "XmlScanner.h"

#include <algorithm>
#include <string>
#include <string_view>

struct XmlEvents {
    std::string log;
    bool failed = false;
    QString fault;  // "Zeile N: ..." when it failed
};

class XmlEventLog : public XmlReader::Handler {
  public:
    void StartElement(std::string_view name, std::string_view, const XmlReader::Attribute* a,
                      size_t count) override {
        EndText();
        log += "<" + std::string(name);
        for (size_t i = 0; i < count; ++i)
            log += " " + std::string(a[i].name) + "=[" + std::string(a[i].value) + "]";
        log += ">\n";
    }
    void EndElement(std::string_view name) override {
        EndText();
        log += "</" + std::string(name) + ">\n";
    }
    void Text(std::string_view utf8) override { text += utf8; }
    void EndText() {
        if (!text.empty()) log += "text[" + text + "]\n";
        text.clear();
    }

    std::string log, text;
};

// The document fed in pieces of `piece` bytes to a reader of the given kind.
template <typename Reader>
XmlEvents ReadXmlEvents(std::string_view document, size_t piece, int maxDepth = 64) {
    XmlEventLog handler;
    XmlEvents events;
    try {
        Reader reader(handler, maxDepth, XmlReader::Wording());
        for (size_t at = 0; at < document.size(); at += piece)
            reader.Feed(document.data() + at, std::min(piece, document.size() - at));
        reader.Finish();
    } catch (const FileDamaged& damaged) {
        events.failed = true;
        events.fault = damaged.what;
    }
    handler.EndText();
    events.log = handler.log;
    return events;
}
