#pragma once

#include <QString>

#include <cstddef>
#include <memory>
#include <string_view>

// XML read as a stream of events with libxml2's push parser, fed in pieces of
// any size: elements with their attributes, and text, all in UTF-8 (a document
// in UTF-16 or another declared encoding is turned into it). Plain XML only: a
// document type declaration is refused before anything of it takes effect, so
// no entity but the five of XML and character references is expanded and
// nothing is ever fetched from outside; elements nest at most a bound deep.
// Every fault is thrown as FileDamaged, naming the line.
class XmlReader {
  public:
    struct Attribute {
        std::string_view name;  // local name
        std::string_view value;
    };

    class Handler {
      public:
        virtual ~Handler() = default;
        // ns is the element's namespace URI, empty for none.
        virtual void StartElement(std::string_view name, std::string_view ns,
                                  const Attribute* attributes, size_t count) = 0;
        virtual void EndElement(std::string_view name) = 0;
        // Text of the current element; one text may come in several pieces.
        virtual void Text(std::string_view utf8) = 0;
    };

    // The value of the attribute of that local name, or empty.
    static std::string_view Value(const Attribute* attributes, size_t count, std::string_view name);

    // How faults of the document as a whole are worded: "die Datei endet mitten
    // im XML", "eine DTD ist nicht erlaubt (…)".
    struct Wording {
        QString endsEarly = QStringLiteral("die Datei endet mitten im XML");
        QString dtd = QStringLiteral("eine DTD ist nicht erlaubt (sie könnte Entitäten nachladen)");
    };

    // maxDepth: how deep elements may nest.
    explicit XmlReader(Handler& handler, int maxDepth = 64);
    XmlReader(Handler& handler, int maxDepth, Wording wording);
    ~XmlReader();
    XmlReader(const XmlReader&) = delete;
    XmlReader& operator=(const XmlReader&) = delete;

    void Feed(const char* data, size_t size);
    // The document has ended: it must be complete.
    void Finish();
    int Line() const;

    // A fault found by the handler, thrown with the reader's line: "Zeile 3: ...".
    [[noreturn]] void Fail(const QString& reason) const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};
