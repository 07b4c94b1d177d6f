#include "XlsxWorkbook.h"

#include "CellGrid.h"
#include "CellText.h"
#include "Gsf.h"
#include "RuntimeError.h"
#include "TextFileEncoding.h"

#include <QHash>
#include <QXmlStreamReader>

#include <gsf/gsf-infile-zip.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input.h>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

// What a part may inflate to. A worksheet of a million rows of texts fits; a
// ZIP bomb does not get far.
constexpr qint64 kMaxSheetPart = qint64{512} << 20;
constexpr qint64 kMaxStringsPart = qint64{256} << 20;
constexpr qint64 kMaxOtherPart = qint64{16} << 20;
// Excel's own limits.
constexpr uint32_t kMaxRows = 1048576;
constexpr uint32_t kMaxColumns = 16384;
// The cells a sheet's table may span: a million texts in two dozen languages.
constexpr uint64_t kMaxCells = uint64_t{24} << 20;
constexpr qsizetype kMaxCellText = 32767 * 2;
// More distinct texts than a sheet of Excel's size could show.
constexpr size_t kMaxSharedStrings = size_t{16} << 20;

// A part of the container read as XML, in pieces of 64 KiB. A part in UTF-8
// (every part Excel and LibreOffice write) is checked to be UTF-8 as it comes.
// Nothing is ever fetched from outside, and a DTD is refused: no workbook has one.
class XmlPart {
  public:
    XmlPart(GsfInput* input, const QString& name, qint64 limit)
        : input_(input), name_(name), limit_(limit) {
        if (gsf_input_size(input) > limit) TooLarge();
    }

    // The next token; more of the part is inflated whenever the reader needs it.
    QXmlStreamReader::TokenType Next() {
        for (;;) {
            const auto token = xml_.readNext();
            if (xml_.error() == QXmlStreamReader::PrematureEndOfDocumentError && Feed()) continue;
            if (xml_.hasError()) {
                if (xml_.error() == QXmlStreamReader::PrematureEndOfDocumentError)
                    Fail(QStringLiteral("der Teil endet mitten im XML"));
                Fail(QStringLiteral("fehlerhaftes XML"));
            }
            if (token == QXmlStreamReader::DTD) Fail(QStringLiteral("eine DTD ist nicht erlaubt"));
            return token;
        }
    }
    bool AtEnd() const { return xml_.atEnd() && !xml_.hasError(); }
    QXmlStreamReader& Xml() { return xml_; }

    [[noreturn]] void Fail(const QString& reason) const {
        throw FileDamaged{
            QStringLiteral("Teil %1, Zeile %2: %3").arg(name_).arg(xml_.lineNumber()).arg(reason)};
    }

    // The text of the current element up to its end, elements inside it included.
    QString ElementText() {
        QString text;
        for (int depth = 1; depth > 0;) {
            const auto token = Next();
            if (token == QXmlStreamReader::StartElement) ++depth;
            if (token == QXmlStreamReader::EndElement) --depth;
            if (token == QXmlStreamReader::EndDocument)
                Fail(QStringLiteral("ein Element endet nicht"));
            if (token == QXmlStreamReader::Characters) {
                // Mostly one piece of text: take it whole instead of appending.
                if (text.isEmpty())
                    text = xml_.text().toString();
                else
                    text += xml_.text();
            }
            if (text.size() > kMaxCellText) Fail(QStringLiteral("ein Text ist zu lang"));
        }
        return text;
    }

    // Skips to the end of the current element.
    void Skip() {
        for (int depth = 1; depth > 0;) {
            const auto token = Next();
            if (token == QXmlStreamReader::StartElement) ++depth;
            if (token == QXmlStreamReader::EndElement) --depth;
            if (token == QXmlStreamReader::EndDocument)
                Fail(QStringLiteral("ein Element endet nicht"));
        }
    }

  private:
    [[noreturn]] void TooLarge() const {
        throw FileDamaged{
            QStringLiteral("Teil %1: entpackt größer als %2 MiB").arg(name_).arg(limit_ >> 20)};
    }

    bool Feed() {
        const gsf_off_t left = gsf_input_remaining(input_);
        if (left <= 0) {
            if (checkUtf8_ && !utf8_.Finish()) Fail(QStringLiteral("ungültiges UTF-8"));
            return false;
        }
        const size_t size = static_cast<size_t>(std::min<gsf_off_t>(left, 65536));
        QByteArray chunk(static_cast<qsizetype>(size), Qt::Uninitialized);
        if (!gsf_input_read(input_, size, reinterpret_cast<guint8*>(chunk.data())))
            throw FileDamaged{QStringLiteral("Teil %1: lässt sich nicht entpacken").arg(name_)};
        if (read_ == 0)  // UTF-16 begins with a byte-order mark or a zero byte
            checkUtf8_ = !(chunk.startsWith("\xFF\xFE") || chunk.startsWith("\xFE\xFF") ||
                           (chunk.size() > 1 && chunk[1] == '\0'));
        read_ += static_cast<qint64>(size);
        if (read_ > limit_) TooLarge();
        if (checkUtf8_ && !utf8_.Feed(chunk)) Fail(QStringLiteral("ungültiges UTF-8"));
        xml_.addData(chunk);
        return true;
    }

    GsfInput* input_;
    QString name_;
    qint64 limit_;
    qint64 read_ = 0;
    bool checkUtf8_ = true;
    TextFileEncoding::Utf8Check utf8_;
    QXmlStreamReader xml_;
};

// OOXML writes characters XML cannot hold as "_xHHHH_" (and a literal "_x" as "_x005F_x").
QString Unescape(const QString& text) {
    qsizetype at = text.indexOf(QLatin1String("_x"));
    if (at < 0) return text;
    auto hex = [](QChar c) { return c.isDigit() || (c.toLower() >= u'a' && c.toLower() <= u'f'); };
    QString out;
    out.reserve(text.size());
    qsizetype from = 0;
    for (; at >= 0 && at + 7 <= text.size(); at = text.indexOf(QLatin1String("_x"), at)) {
        const QStringView digits = QStringView(text).mid(at + 2, 4);
        if (text[at + 6] != u'_' || !std::all_of(digits.begin(), digits.end(), hex)) {
            at += 2;
            continue;
        }
        out += QStringView(text).mid(from, at - from);
        out += QChar(static_cast<char16_t>(digits.toUInt(nullptr, 16)));
        at += 7;
        from = at;
    }
    out += QStringView(text).mid(from);
    return out;
}

// The text of a string item (<si> or <is>): its <t>, or the <t> of its runs;
// phonetic hints (<rPh>) are not part of the text.
QString StringItem(XmlPart& part) {
    QString text;
    for (int depth = 1; depth > 0;) {
        const auto token = part.Next();
        if (token == QXmlStreamReader::EndDocument)
            part.Fail(QStringLiteral("ein Element endet nicht"));
        if (token == QXmlStreamReader::EndElement) --depth;
        if (token != QXmlStreamReader::StartElement) continue;
        const auto name = part.Xml().name();
        if (name == QLatin1String("t")) {
            text += part.ElementText();
            if (text.size() > kMaxCellText) part.Fail(QStringLiteral("ein Text ist zu lang"));
        } else if (name == QLatin1String("rPh") || name == QLatin1String("rPr")) {
            part.Skip();
        } else {
            ++depth;
        }
    }
    return Unescape(text);
}

// "B12" as zero-based column and one-based row; nothing when it is not a cell reference.
std::optional<std::pair<uint32_t, uint32_t>> CellReference(QStringView reference) {
    uint32_t col = 0, row = 0;
    qsizetype i = 0;
    for (; i < reference.size() && reference[i].isLetter(); ++i) {
        const char16_t c = reference[i].toUpper().unicode();
        if (c < u'A' || c > u'Z') return std::nullopt;
        col = col * 26 + (c - u'A' + 1);
        if (col > kMaxColumns) return std::nullopt;
    }
    if (i == 0 || i == reference.size()) return std::nullopt;
    for (; i < reference.size(); ++i) {
        if (!reference[i].isDigit()) return std::nullopt;
        row = row * 10 + static_cast<uint32_t>(reference[i].digitValue());
        if (row > kMaxRows) return std::nullopt;
    }
    if (row == 0) return std::nullopt;
    return std::pair{col - 1, row};
}

// A part's name from a relationship's target, relative to the folder of the
// part the relationship belongs to ("worksheets/sheet1.xml" from "xl/") or absolute.
QString ResolveTarget(const QString& folder, const QString& target) {
    QStringList parts = target.startsWith(QLatin1Char('/'))
                            ? QStringList()
                            : folder.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& piece : target.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (piece == QLatin1String(".")) continue;
        if (piece == QLatin1String("..")) {
            if (!parts.isEmpty()) parts.removeLast();
            continue;
        }
        parts.append(piece);
    }
    return parts.join(QLatin1Char('/'));
}

QString FolderOf(const QString& part) {
    const qsizetype slash = part.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : part.left(slash);
}

QString RelationshipsOf(const QString& part) {
    const QString folder = FolderOf(part);
    return (folder.isEmpty() ? QString() : folder + QLatin1Char('/')) + QStringLiteral("_rels/") +
           part.mid(folder.isEmpty() ? 0 : folder.size() + 1) + QStringLiteral(".rels");
}

// A part of the container by its name; nothing when there is none.
GPtr<GsfInput> OpenPart(GsfInfile* container, const QString& name) {
    QList<QByteArray> pieces;
    for (const QString& piece : name.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        pieces.append(piece.toUtf8());
    std::vector<const char*> names;
    for (const QByteArray& piece : pieces) names.push_back(piece.constData());
    names.push_back(nullptr);
    if (names.size() == 1) return nullptr;
    return GPtr<GsfInput>(gsf_infile_child_by_aname(container, names.data()));
}

using Relationship = XlsxWorkbook::Relationship;

QHash<QString, Relationship> ReadRelationships(GsfInfile* container, const QString& part) {
    QHash<QString, Relationship> relationships;
    GPtr<GsfInput> input = OpenPart(container, RelationshipsOf(part));
    if (!input) return relationships;
    XmlPart xml(input.get(), RelationshipsOf(part), kMaxOtherPart);
    while (!xml.AtEnd()) {
        if (xml.Next() != QXmlStreamReader::StartElement ||
            xml.Xml().name() != QLatin1String("Relationship"))
            continue;
        const auto attributes = xml.Xml().attributes();
        if (attributes.value(QLatin1String("TargetMode")) == QLatin1String("External")) continue;
        const QString type = attributes.value(QLatin1String("Type")).toString();
        relationships.insert(
            attributes.value(QLatin1String("Id")).toString(),
            {type.mid(type.lastIndexOf(QLatin1Char('/')) + 1),
             ResolveTarget(FolderOf(part), attributes.value(QLatin1String("Target")).toString())});
        if (relationships.size() > 100000) xml.Fail(QStringLiteral("zu viele Beziehungen"));
    }
    return relationships;
}

// Where the reading of a sheet stands: the row of the last <row>, the column
// the next cell without a reference takes.
struct SheetPosition {
    uint32_t row = 0;  // from 1
    uint32_t col = 0;  // from 0
};

// A cell as the sheet part writes it.
struct CellXml {
    QString type;  // the attribute t: "s", "str", "inlineStr", "b", "e", "n" or none
    std::optional<QString> value, inlineText, formula;
};

void ReadRowStart(XmlPart& xml, SheetPosition& at) {
    const auto number = xml.Xml().attributes().value(QLatin1String("r"));
    uint32_t next = at.row + 1;
    if (!number.isEmpty()) {
        bool ok = false;
        next = number.toUInt(&ok);
        if (!ok || next == 0) xml.Fail(QStringLiteral("ungültige Zeilennummer"));
    }
    if (next <= at.row || next > kMaxRows) xml.Fail(QStringLiteral("ungültige Zeilennummer"));
    at.row = next;
    at.col = 0;
}

// Reads a <c> element up to its end; at.col becomes the cell's column.
CellXml ReadCellXml(XmlPart& xml, SheetPosition& at) {
    if (at.row == 0) xml.Fail(QStringLiteral("Zelle außerhalb einer Zeile"));
    const auto attributes = xml.Xml().attributes();
    const auto reference = attributes.value(QLatin1String("r"));
    if (!reference.isEmpty()) {
        const auto cell = CellReference(reference);
        if (!cell || cell->second != at.row) xml.Fail(QStringLiteral("ungültiger Zellbezug"));
        at.col = cell->first;
    }
    CellXml cell;
    cell.type = attributes.value(QLatin1String("t")).toString();
    for (int depth = 1; depth > 0;) {
        const auto token = xml.Next();
        if (token == QXmlStreamReader::EndDocument)
            xml.Fail(QStringLiteral("ein Element endet nicht"));
        if (token == QXmlStreamReader::EndElement) --depth;
        if (token != QXmlStreamReader::StartElement) continue;
        const auto inner = xml.Xml().name();
        if (inner == QLatin1String("v"))
            cell.value = xml.ElementText();
        else if (inner == QLatin1String("is"))
            cell.inlineText = StringItem(xml);
        else if (inner == QLatin1String("f"))
            cell.formula = xml.ElementText();
        else
            xml.Skip();
    }
    return cell;
}

// The value of a cell, or why it has none that can be read.
struct CellValue {
    Variant value;
    QString unreadable;
    bool tooLong = false;  // a text longer than a cell holds
};

CellValue ValueOf(const CellXml& cell, const XlsxWorkbook::SharedStrings& sharedStrings) {
    const QString& type = cell.type;
    // The formula ="" is the empty text, whatever result a program cached for it.
    if (cell.formula && cell.formula->trimmed() == QLatin1String("\"\"")) return {QString(), {}};
    if (type == QLatin1String("inlineStr"))
        return {cell.inlineText ? Variant(*cell.inlineText) : Variant(), {}};
    if (!cell.value) return {};
    const QString value = cell.value->trimmed();
    // A formula that was never calculated has no result: an empty cell.
    if (cell.formula && cell.value->isEmpty()) return {};
    if (type == QLatin1String("s")) {
        bool ok = false;
        const uint index = value.toUInt(&ok);
        if (!ok || index >= sharedStrings.texts.size())
            return {{}, QStringLiteral("Verweis auf einen fehlenden Text")};
        if (sharedStrings.tooLong.contains(index)) return {{}, {}, true};
        return {sharedStrings.texts[index], {}};
    }
    if (type == QLatin1String("str") || type == QLatin1String("d"))
        return {Unescape(*cell.value), {}};
    if (type == QLatin1String("b"))
        return {Variant::Boolean(value == QLatin1String("1") || value == QLatin1String("true")),
                {}};
    if (type.isEmpty() || type == QLatin1String("n")) {
        if (value.isEmpty()) return {};
        bool ok = false;
        const double number = value.toDouble(&ok);
        if (!ok || !std::isfinite(number)) return {{}, QStringLiteral("ungültige Zahl")};
        return {number, {}};
    }
    return {};  // "e": an error value reads as Null, as in .xls
}

}  // namespace

XlsxWorkbook::XlsxWorkbook(const QString& path) : path_(path) { Open(Gsf::OpenFile(path).get()); }

XlsxWorkbook::XlsxWorkbook(const QByteArray& contents, const QString& name) : path_(name) {
    GPtr<GsfInput> input = Gsf::OpenBytes(contents);
    if (!input) throw RuntimeError::SourceEmpty(kNoun, path_);
    Open(input.get());
}

XlsxWorkbook::~XlsxWorkbook() = default;

void XlsxWorkbook::Fail(const QString& where) const {
    throw RuntimeError::SourceDamaged(kNoun, path_, where);
}

void XlsxWorkbook::Open(GsfInput* input) {
    if (gsf_input_size(input) == 0) throw RuntimeError::SourceEmpty(kNoun, path_);
    GError* error = nullptr;
    GsfInfile* zip = gsf_infile_zip_new(input, &error);
    if (!zip) {
        if (error) g_error_free(error);
        Fail(QStringLiteral("kein ZIP-Container, also keine Excel-Arbeitsmappe ab Excel 2007"));
    }
    container_.reset(zip, [](GsfInfile* infile) { g_object_unref(infile); });
    try {
        QString workbookPart = QStringLiteral("xl/workbook.xml");
        for (const auto& relationship : ReadRelationships(zip, QString()))
            if (relationship.type == QLatin1String("officeDocument"))
                workbookPart = relationship.target;
        GPtr<GsfInput> workbook = OpenPart(zip, workbookPart);
        if (!workbook) Fail(QStringLiteral("der Teil %1 fehlt im Container").arg(workbookPart));
        const auto relationships = ReadRelationships(zip, workbookPart);
        ReadSheetList(workbook.get(), workbookPart, relationships);
        for (const auto& relationship : relationships)
            if (relationship.type == QLatin1String("sharedStrings"))
                ReadSharedStrings(relationship.target);
    } catch (const FileDamaged& damaged) {
        Fail(damaged.what);
    }
}

void XlsxWorkbook::ReadSheetList(_GsfInput* workbook, const QString& part,
                                 const QHash<QString, Relationship>& relationships) {
    XmlPart xml(workbook, part, kMaxOtherPart);
    while (!xml.AtEnd()) {
        if (xml.Next() != QXmlStreamReader::StartElement ||
            xml.Xml().name() != QLatin1String("sheet"))
            continue;
        const auto attributes = xml.Xml().attributes();
        QString id;
        for (const auto& attribute : attributes)
            if (attribute.name() == QLatin1String("id")) id = attribute.value().toString();
        const auto relationship = relationships.find(id);
        // Chart sheets and dialog sheets have other relationship types: no cells.
        if (relationship == relationships.end() || relationship->type != QLatin1String("worksheet"))
            continue;
        sheets_.push_back(
            {attributes.value(QLatin1String("name")).toString(), relationship->target});
        if (sheets_.size() > 10000) xml.Fail(QStringLiteral("mehr als 10.000 Tabellenblätter"));
    }
}

void XlsxWorkbook::ReadSharedStrings(const QString& part) {
    GPtr<GsfInput> input = OpenPart(container_.get(), part);
    if (!input) Fail(QStringLiteral("der Teil %1 (die Texte) fehlt im Container").arg(part));
    XmlPart xml(input.get(), part, kMaxStringsPart);
    while (!xml.AtEnd()) {
        if (xml.Next() != QXmlStreamReader::StartElement || xml.Xml().name() != QLatin1String("si"))
            continue;
        QString text = StringItem(xml);
        // A text longer than a cell holds fails the cells that show it; it is not kept.
        if (text.size() > kMaxCellCharacters) {
            sharedStrings_.tooLong.insert(sharedStrings_.texts.size());
            text.clear();
        }
        sharedStrings_.texts.push_back(std::move(text));
        if (sharedStrings_.texts.size() > kMaxSharedStrings)
            xml.Fail(QStringLiteral("zu viele Texte"));
    }
}

QStringList XlsxWorkbook::SheetNames() const {
    QStringList names;
    for (const auto& sheet : sheets_) names.append(sheet.name);
    return names;
}

const XlsxWorkbook::Sheet* XlsxWorkbook::FindSheet(const QString& name) const {
    for (const auto& sheet : sheets_)
        if (sheet.name.compare(name, Qt::CaseInsensitive) == 0) return &sheet;
    return nullptr;
}

bool XlsxWorkbook::HasSheet(const QString& name) const { return FindSheet(name) != nullptr; }

void XlsxWorkbook::ReadCells(const Sheet& sheet, CellGrid& grid) const {
    GPtr<GsfInput> input = OpenPart(container_.get(), sheet.part);
    if (!input)
        Fail(QStringLiteral("der Teil %1 (Tabelle %2) fehlt im Container")
                 .arg(sheet.part, sheet.name));
    XmlPart xml(input.get(), sheet.part, kMaxSheetPart);
    SheetPosition at;
    while (!xml.AtEnd()) {
        if (xml.Next() != QXmlStreamReader::StartElement) continue;
        const auto element = xml.Xml().name();
        if (element == QLatin1String("row")) {
            ReadRowStart(xml, at);
            continue;
        }
        if (element != QLatin1String("c")) continue;
        CellValue cell = ValueOf(ReadCellXml(xml, at), sharedStrings_);
        const QString where = QStringLiteral("Tabelle %1, Zelle %2");
        if (cell.tooLong || (cell.value.IsText() && cell.value.Text().size() > kMaxCellCharacters))
            grid.SetUnreadable(
                at.row - 1, at.col,
                RuntimeError::TextTooLongInSource(
                    kNoun, path_, where.arg(sheet.name, CellGrid::CellName(at.row - 1, at.col))));
        else if (!cell.unreadable.isEmpty())
            grid.SetUnreadable(at.row - 1, at.col,
                               RuntimeError::SourceDamaged(
                                   kNoun, path_,
                                   where.arg(sheet.name, CellGrid::CellName(at.row - 1, at.col)) +
                                       QStringLiteral(": ") + cell.unreadable));
        else if (!cell.value.IsNull())
            grid.Set(at.row - 1, at.col, std::move(cell.value));
        ++at.col;
    }
}

SourceTable XlsxWorkbook::ReadSheet(const QString& name, bool header) const {
    const Sheet* sheet = FindSheet(name);
    if (!sheet) throw RuntimeError::SheetNotFound(name, path_);
    try {
        CellGrid grid(name, kMaxColumns, kMaxCells);
        ReadCells(*sheet, grid);
        SourceTable table = std::move(grid).Table(path_, name, header);
        table.place = QStringLiteral("im Tabellenblatt '%1' der %2 '%3'").arg(name, kNoun, path_);
        return table;
    } catch (const FileDamaged& damaged) {
        Fail(damaged.what);
    }
}
