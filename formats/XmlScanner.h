#pragma once

#include "XmlReader.h"

#include <QString>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// XML in UTF-8 read as XmlReader reads it, with the same events and the same
// faults, several times faster: for the large parts of a workbook, whose sheet
// of a million cells libxml2 takes longer to parse than the import takes to
// store. Elements and attributes are told by their local names only; the
// namespace handed on is always empty (declarations are taken as attributes
// that are not handed on). The document's well-formedness is checked as
// libxml2 checks it: names, nesting, quoting, references, the characters XML
// allows, one root; a document type declaration is refused, and no markup may
// grow beyond 10 MB (libxml2's own bound).
class XmlScanner {
  public:
    XmlScanner(XmlReader::Handler& handler, int maxDepth, XmlReader::Wording wording);

    // Whether a document that begins so is one the scanner reads: UTF-8, with
    // or without its byte-order mark, declared as such or not declared.
    // `beginning` holds the whole declaration, or all the document has.
    static bool Reads(std::string_view beginning);

    void Feed(const char* data, size_t size);
    // The document has ended: it must be complete.
    void Finish();
    int Line() const;

    // A fault found by the handler, thrown with the scanner's line: "Zeile 3: ...".
    [[noreturn]] void Fail(const QString& reason) const;

  private:
    struct RawAttribute {
        std::string_view name, value;  // as the tag holds them
        bool plain = true;   // the value has nothing to read: no reference, no white space to blank
        bool colon = false;  // the name holds one
    };
    struct Span {  // a value read into scratch_
        size_t attribute = 0, value = 0, valueSize = 0;
    };

    // Reads what the bytes hold in whole; returns how many it took.
    size_t Scan(const char* begin, const char* end, bool last);
    // Each returns where it ended, or nullptr when the bytes end before the markup does.
    void Declaration(const char* p, const char* end) const;
    const char* StartTag(const char* p, const char* end);
    // The attributes after an element's name up to the end of its tag, as they
    // stand, into raws_; `empty` when the tag ends in "/>".
    const char* Attributes(const char* p, const char* end, bool& empty);
    // One attribute: its name, '=' and its quoted value; where it ends, or
    // nullptr when the bytes end first.
    const char* Attribute(const char* p, const char* end, RawAttribute& attribute) const;
    // raws_ read into attributes_.
    void ReadAttributes();
    void AttributeValue(std::string_view value);
    // The innermost open element ends.
    void Close(std::string_view local);
    // Where the innermost open element's name begins in open_.
    size_t InnermostFrom() const;
    const char* EndTag(const char* p, const char* end);
    const char* Special(const char* p, const char* end);
    const char* ProcessingInstruction(const char* p, const char* end);
    // Text up to `end`, none of it markup; returns how much of it was taken
    // (the rest, a reference or a line end cut short, waits for more).
    size_t Text(const char* p, const char* end, bool last);
    void Characters(const char* p, const char* end, bool attribute);
    const char* Reference(const char* p, const char* end, std::string& out);
    // A name's end: p when none begins there, nullptr when the bytes end in it;
    // colon tells whether it holds one.
    const char* Name(const char* p, const char* end, bool& colon) const;
    // The same for a name that must stand there.
    const char* RequiredName(const char* p, const char* end, bool& colon) const;
    // The name without its prefix; one without a colon is its own local name.
    std::string_view LocalName(const char* begin, const char* end, bool colon) const;
    std::string_view LocalName(const char* begin, const char* end) const;
    void CheckCharacters(const char* begin, const char* end) const;
    void EndDocument();

    [[noreturn]] void Malformed() const;
    [[noreturn]] void BadCharacter() const;

    XmlReader::Handler& handler_;
    int maxDepth_;
    XmlReader::Wording wording_;

    std::string pending_;  // bytes fed but not yet read in whole
    size_t retryAt_ = 0;   // the size pending_ must reach before markup cut short is read again
    const char* at_ = nullptr;        // where the reading stands, for Line()
    const char* lineFrom_ = nullptr;  // the start of the bytes at_ points into
    int lines_ = 0;                   // line ends before lineFrom_
    bool started_ = false;  // the first bytes were seen (the byte-order mark, the declaration)
    bool rootEnded_ = false;
    std::string open_;                // the names of the open elements, one after the other
    std::vector<size_t> openEnds_;    // where each ends in open_
    std::string scratch_;             // names and values of the tag being read, text being decoded
    std::vector<RawAttribute> raws_;  // the first rawCount_ are the tag's
    size_t rawCount_ = 0;
    std::vector<Span> spans_;
    std::vector<XmlReader::Attribute> attributes_;  // the first attributeCount_ are handed on
    size_t attributeCount_ = 0;
};
