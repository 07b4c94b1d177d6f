#include "XlsxWorkbook.h"

#include "CellGrid.h"
#include "CellText.h"
#include "Gsf.h"
#include "RuntimeError.h"
#include "SparePool.h"
#include "TextFileEncoding.h"
#include "VectorRegisters.h"
#include "WorkerThread.h"
#include "XmlReader.h"
#include "XmlScanner.h"

#include <QHash>
#include <QXmlStreamReader>

#include <gsf/gsf-infile-zip.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>

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
// The longest text a cell's XML may hold while it is read, in bytes of UTF-8;
// longer ones are refused as damage before they are held (a text longer than a
// cell holds but within this is an unreadable cell).
constexpr size_t kMaxCellXmlText = size_t{3} * 32767 * 2;
// More distinct texts than a sheet of Excel's size could show.
constexpr size_t kMaxSharedStrings = size_t{16} << 20;
// A sheet part larger than this has its cells made into values beside its reading.
constexpr gsf_off_t kCellsBeside = gsf_off_t{1} << 20;

// The bytes of a part as they inflate, in pieces of 64 KiB, held to a limit on
// what the part inflates to. A part in UTF-8 (every part Excel and LibreOffice
// write; UTF-16 begins with a byte-order mark or a zero byte) is checked to be
// UTF-8 as it comes.
class PartInput {
  public:
    PartInput(GsfInput* input, const QString& name, qint64 limit)
        : input_(input), name_(name), limit_(limit) {}

    // The next piece (valid until the next call); false at the end. Fails
    // (FileDamaged, naming the part) when the part does not inflate or inflates
    // beyond the limit.
    bool Next(QByteArrayView& piece) {
        if (read_ == 0 && gsf_input_size(input_) > limit_) TooLarge();
        const gsf_off_t left = gsf_input_remaining(input_);
        if (left <= 0) {
            utf8Ok_ = utf8Ok_ && (!checkUtf8_ || utf8_.Finish());
            return false;
        }
        const size_t size = static_cast<size_t>(std::min<gsf_off_t>(left, 65536));
        if (!gsf_input_read(input_, size, reinterpret_cast<guint8*>(chunk_.data())))
            throw FileDamaged{QStringLiteral("Teil %1: lässt sich nicht entpacken").arg(name_)};
        piece = QByteArrayView(chunk_.data(), static_cast<qsizetype>(size));
        if (read_ == 0)
            checkUtf8_ = !(piece.startsWith("\xFF\xFE") || piece.startsWith("\xFE\xFF") ||
                           (piece.size() > 1 && piece[1] == '\0'));
        read_ += static_cast<qint64>(size);
        if (read_ > limit_) TooLarge();
        utf8Ok_ = utf8Ok_ && (!checkUtf8_ || utf8_.Feed(piece));
        return true;
    }
    // False once the bytes read so far, or the part as it ended, are no UTF-8.
    bool Utf8Ok() const { return utf8Ok_; }

  private:
    [[noreturn]] void TooLarge() const {
        throw FileDamaged{
            QStringLiteral("Teil %1: entpackt größer als %2 MiB").arg(name_).arg(limit_ >> 20)};
    }

    GsfInput* input_;
    QString name_;
    qint64 limit_;
    std::array<char, 65536> chunk_{};
    qint64 read_ = 0;
    bool checkUtf8_ = true;
    bool utf8Ok_ = true;
    TextFileEncoding::Utf8Check utf8_;
};

// A part of the container read as XML, in pieces of 64 KiB. A part in UTF-8
// (every part Excel and LibreOffice write) is checked to be UTF-8 as it comes.
// Nothing is ever fetched from outside, and a DTD is refused: no workbook has one.
class XmlPart {
  public:
    XmlPart(GsfInput* input, const QString& name, qint64 limit)
        : input_(input, name, limit), name_(name) {}

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

  private:
    bool Feed() {
        QByteArrayView piece;
        const bool more = input_.Next(piece);
        if (!input_.Utf8Ok()) Fail(QStringLiteral("ungültiges UTF-8"));
        if (more) xml_.addData(piece.toByteArray());
        return more;
    }

    PartInput input_;
    QString name_;
    QXmlStreamReader xml_;
};

// "B12" as zero-based column and one-based row; nothing when it is not a cell reference.
std::optional<std::pair<uint32_t, uint32_t>> CellReference(std::string_view reference) {
    uint32_t col = 0, row = 0;
    size_t i = 0;
    for (; i < reference.size() && std::isalpha(static_cast<unsigned char>(reference[i])); ++i) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(reference[i])));
        col = col * 26 + static_cast<uint32_t>(c - 'A' + 1);
        if (col > kMaxColumns) return std::nullopt;
    }
    if (i == 0 || i == reference.size()) return std::nullopt;
    for (; i < reference.size(); ++i) {
        if (reference[i] < '0' || reference[i] > '9') return std::nullopt;
        row = row * 10 + static_cast<uint32_t>(reference[i] - '0');
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

// The ZIP container over input; null when it is none.
std::shared_ptr<GsfInfile> ZipContainer(GsfInput* input) {
    GError* error = nullptr;
    GsfInfile* zip = gsf_infile_zip_new(input, &error);
    if (error) g_error_free(error);
    if (!zip) return nullptr;
    return std::shared_ptr<GsfInfile>(zip, [](GsfInfile* infile) { g_object_unref(infile); });
}

// The part of container that holds the workbook's texts: it must be there.
GPtr<GsfInput> TextsPart(GsfInfile* container, const QString& part) {
    GPtr<GsfInput> input = OpenPart(container, part);
    if (!input)
        throw FileDamaged{QStringLiteral("der Teil %1 (die Texte) fehlt im Container").arg(part)};
    return input;
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

// A cell as the sheet part writes it, in its UTF-8 (valid while the cell is handed on).
struct CellXml {
    std::string_view type;  // the attribute t: "s", "str", "inlineStr", "b", "e", "n" or none
    std::optional<std::string_view> value, formula;
    std::optional<QString> inlineText;
};

// The value of a cell, or why it has none that can be read.
struct CellValue {
    Variant value;
    QString unreadable;
    bool tooLong = false;  // a text longer than a cell holds
};

QString FromUtf8(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// A value without the white space around it, as QString::trimmed() takes it away
// (ASCII, what cells hold, without making a QString of it).
std::string Trimmed(std::string_view text) {
    if (std::any_of(text.begin(), text.end(), [](char c) { return (c & 0x80) != 0; }))
        return FromUtf8(text).trimmed().toStdString();
    auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (!text.empty() && space(text.front())) text.remove_prefix(1);
    while (!text.empty() && space(text.back())) text.remove_suffix(1);
    return std::string(text);
}

// The whole of a trimmed value read as a number of type T, digits as most cells
// hold them here, anything else (a sign, say) as QString reads it; nothing when
// it is none.
template <typename T>
std::optional<T> NumberOf(const std::string& text) {
    T number{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error == std::errc() && end == text.data() + text.size()) return number;
    bool ok = false;
    const QString slow = QString::fromStdString(text);
    if constexpr (std::is_same_v<T, double>)
        number = slow.toDouble(&ok);
    else
        number = slow.toUInt(&ok);
    return ok ? std::optional<T>(number) : std::nullopt;
}

// A fault found while reading a part, named by the part before the reader's
// "Zeile N: ..." unless it names one already.
FileDamaged InPart(const QString& part, const FileDamaged& damaged) {
    if (damaged.what.startsWith(QStringLiteral("Teil "))) return damaged;
    return FileDamaged{QStringLiteral("Teil %1, %2").arg(part, damaged.what)};
}

// Cells as the sheet part writes them, copied for the thread that makes them
// into values: their positions and their texts one after the other.
class CellBatch {
  public:
    void Add(const SheetPosition& at, const CellXml& cell) {
        Cell stored{at, Put(cell.type), {}, {}, -1};
        if (cell.value) stored.value = Put(*cell.value);
        if (cell.formula) stored.formula = Put(*cell.formula);
        if (cell.inlineText) {
            stored.inlineText = static_cast<int>(inlineTexts_.size());
            inlineTexts_.push_back(*cell.inlineText);
            inlineBytes_ += static_cast<size_t>(cell.inlineText->size()) * sizeof(char16_t);
        }
        cells_.push_back(stored);
    }
    bool Empty() const { return cells_.empty(); }
    // A batch of 256 KB of texts at most: a sheet of long texts costs a few of them.
    bool Full() const {
        return cells_.size() >= 2048 || bytes_.size() + inlineBytes_ >= (size_t{256} << 10);
    }
    // Gives each cell as the part wrote it, in order.
    template <typename OnCell>
    void ForEach(const OnCell& onCell) const {
        for (const Cell& stored : cells_) {
            CellXml cell;
            cell.type = View(stored.type);
            if (stored.value) cell.value = View(*stored.value);
            if (stored.formula) cell.formula = View(*stored.formula);
            if (stored.inlineText >= 0)
                cell.inlineText = inlineTexts_[static_cast<size_t>(stored.inlineText)];
            onCell(stored.at, cell);
        }
    }
    void Clear() {
        cells_.clear();
        bytes_.clear();
        inlineTexts_.clear();
        inlineBytes_ = 0;
    }

  private:
    struct Text {
        size_t at = 0, size = 0;
    };
    struct Cell {
        SheetPosition at;
        Text type;
        std::optional<Text> value, formula;
        int inlineText;  // in inlineTexts_, or -1
    };
    Text Put(std::string_view text) {
        const Text put{bytes_.size(), text.size()};
        bytes_.append(text);
        return put;
    }
    std::string_view View(const Text& text) const {
        return std::string_view(bytes_).substr(text.at, text.size);
    }

    std::vector<Cell> cells_;
    std::string bytes_;
    std::vector<QString> inlineTexts_;
    size_t inlineBytes_ = 0;
};

CellValue ValueOf(const CellXml& cell, const SharedStringTable& sharedStrings) {
    const std::string_view type = cell.type;
    // The formula ="" is the empty text, whatever result a program cached for it.
    if (cell.formula && Trimmed(*cell.formula) == "\"\"") return {QString(), {}};
    if (type == "inlineStr") return {cell.inlineText ? Variant(*cell.inlineText) : Variant(), {}};
    if (!cell.value) return {};
    const std::string value = Trimmed(*cell.value);
    // A formula that was never calculated has no result: an empty cell.
    if (cell.formula && cell.value->empty()) return {};
    if (type == "s") {
        const auto index = NumberOf<uint>(value);
        if (!index || !sharedStrings.Has(*index))
            return {{}, QStringLiteral("Verweis auf einen fehlenden Text")};
        std::optional<Variant> text = sharedStrings.At(*index);
        if (!text) return {{}, {}, true};
        return {std::move(*text), {}};
    }
    if (type == "str" || type == "d") return {OoxmlUnescape(FromUtf8(*cell.value)), {}};
    if (type == "b") return {Variant::Boolean(value == "1" || value == "true"), {}};
    if (type.empty() || type == "n") {
        if (value.empty()) return {};
        const auto number = NumberOf<double>(value);
        if (!number || !std::isfinite(*number)) return {{}, QStringLiteral("ungültige Zahl")};
        return {*number, {}};
    }
    return {};  // "e": an error value reads as Null, as in .xls
}

// A part of the container read as XML, fed in pieces of 64 KiB (checked to be
// UTF-8 as they come when the part is in UTF-8): by XmlScanner when it is in
// UTF-8, as every part Excel and LibreOffice write is, by libxml2's reader
// otherwise. Its faults name the part and the line.
class SaxPart {
  public:
    SaxPart(GsfInput* input, const QString& part, qint64 limit, XmlReader::Handler& handler)
        : input_(input, part, limit), part_(part), handler_(handler) {}

    void Read() {
        try {
            while (Feed()) {
            }
            if (!scanner_ && !reader_) Start({});
            if (scanner_)
                scanner_->Finish();
            else
                reader_->Finish();
        } catch (const FileDamaged& damaged) {
            throw InPart(part_, damaged);
        }
    }

    // A fault the handler found, at the reader's line.
    [[noreturn]] void Fail(const QString& reason) const {
        if (scanner_) scanner_->Fail(reason);
        reader_->Fail(reason);
    }

  private:
    // The reader for a part that begins so.
    void Start(std::string_view beginning) {
        const XmlReader::Wording wording{QStringLiteral("der Teil endet mitten im XML"),
                                         QStringLiteral("eine DTD ist nicht erlaubt")};
        if (XmlScanner::Reads(beginning))
            scanner_.emplace(handler_, kMaxDepth, wording);
        else
            reader_.emplace(handler_, kMaxDepth, wording);
    }

    bool Feed() {
        QByteArrayView piece;
        const bool more = input_.Next(piece);
        if (!input_.Utf8Ok()) NoUtf8();
        if (!more) return false;
        const auto size = static_cast<size_t>(piece.size());
        if (!scanner_ && !reader_) Start(std::string_view(piece.data(), size));
        if (scanner_)
            scanner_->Feed(piece.data(), size);
        else
            reader_->Feed(piece.data(), size);
        return true;
    }

    int Line() const { return scanner_ ? scanner_->Line() : reader_ ? reader_->Line() : 1; }

    [[noreturn]] void NoUtf8() const {
        throw FileDamaged{QStringLiteral("Teil %1, Zeile %2: ungültiges UTF-8")
                              .arg(part_)
                              .arg(std::max(1, Line()))};
    }

    static constexpr int kMaxDepth = 64;
    PartInput input_;
    QString part_;
    XmlReader::Handler& handler_;
    std::optional<XmlScanner> scanner_;
    std::optional<XmlReader> reader_;
};

// The text of a string item (<si>) as its <t> elements hold it, directly or in
// runs; phonetic hints (<rPh>) and run properties are no part of it.
class StringItemText {
  public:
    void Begin() {
        text_.clear();
        depth_ = 1;
        skipFrom_ = target_ = 0;
    }
    // An element inside the item.
    void Start(std::string_view name) {
        ++depth_;
        if (skipFrom_ != 0) return;
        if (name == "rPh" || name == "rPr")
            skipFrom_ = depth_;
        else if (name == "t")
            target_ = depth_;
    }
    // Whether the item itself ended.
    bool End() {
        if (depth_ == skipFrom_) skipFrom_ = 0;
        if (depth_ == target_) target_ = 0;
        return --depth_ == 0;
    }
    void Text(std::string_view utf8, const SaxPart& part) {
        if (target_ == 0 || skipFrom_ != 0) return;
        if (text_.size() + utf8.size() > kMaxCellXmlText)
            part.Fail(QStringLiteral("ein Text ist zu lang"));
        text_.append(utf8);
    }
    bool Active() const { return depth_ > 0; }
    std::string_view Utf8() const { return text_; }
    // The item's text, its escapes of characters XML cannot hold read.
    QString Text() const { return OoxmlUnescape(FromUtf8(text_)); }

  private:
    std::string text_;
    int depth_ = 0, skipFrom_ = 0, target_ = 0;
};

// The workbook's table of texts, item by item.
class SharedStringsReader : public XmlReader::Handler {
  public:
    SharedStringsReader(GsfInput* input, const QString& part, SharedStringTable& strings)
        : part_(input, part, kMaxStringsPart, *this), strings_(strings) {}
    void Read() { part_.Read(); }

    void StartElement(std::string_view name, std::string_view, const XmlReader::Attribute*,
                      size_t) override {
        if (item_.Active())
            item_.Start(name);
        else if (name == "si")
            item_.Begin();
    }
    void EndElement(std::string_view) override {
        if (!item_.Active() || !item_.End()) return;
        strings_.Add(item_.Utf8());
        if (strings_.size() > kMaxSharedStrings) part_.Fail(QStringLiteral("zu viele Texte"));
    }
    void Text(std::string_view utf8) override { item_.Text(utf8, part_); }

  private:
    SaxPart part_;
    SharedStringTable& strings_;
    StringItemText item_;
};

// A worksheet part, each cell handed on as it ends: its <v>, <f> and <is> (the
// text of a string item), anything else inside a cell skipped.
class SheetReader : public XmlReader::Handler {
  public:
    using OnCell = std::function<void(const SheetPosition&, const CellXml&)>;

    SheetReader(GsfInput* input, const QString& part, OnCell onCell)
        : part_(input, part, kMaxSheetPart, *this), onCell_(std::move(onCell)) {}

    void Read() { part_.Read(); }

    void StartElement(std::string_view name, std::string_view, const XmlReader::Attribute* a,
                      size_t count) override {
        if (inCell_) {
            CellChild(name);
            return;
        }
        if (name == "row") {
            RowStart(XmlReader::Value(a, count, "r"));
        } else if (name == "c") {
            CellStart(XmlReader::Value(a, count, "r"), XmlReader::Value(a, count, "t"));
        }
    }

    void EndElement(std::string_view) override {
        if (!inCell_) return;
        if (inline_.Active()) {
            if (inline_.End()) hasInline_ = true;
            --depth_;
            return;
        }
        if (--depth_ > 0) {
            if (depth_ < skipFrom_) skipFrom_ = kNoSkip;
            if (depth_ == 1) target_ = nullptr;
            return;
        }
        inCell_ = false;
        onCell_(at_, Cell());
        ++at_.col;
    }

    void Text(std::string_view utf8) override {
        if (inline_.Active()) {
            inline_.Text(utf8, part_);
            return;
        }
        if (!target_ || skipFrom_ != kNoSkip) return;
        if (target_->size() + utf8.size() > kMaxCellXmlText)
            part_.Fail(QStringLiteral("ein Text ist zu lang"));
        target_->append(utf8);
    }

  private:
    static constexpr int kNoSkip = 1 << 30;

    void RowStart(std::string_view number) {
        uint32_t next = at_.row + 1;
        if (!number.empty()) {
            // Plain digits as every writer writes them; anything else as Qt reads a number.
            const auto [end, error] =
                std::from_chars(number.data(), number.data() + number.size(), next);
            bool ok = error == std::errc() && end == number.data() + number.size();
            if (!ok)
                next = QLatin1StringView(number.data(), static_cast<qsizetype>(number.size()))
                           .toUInt(&ok);
            if (!ok || next == 0) part_.Fail(QStringLiteral("ungültige Zeilennummer"));
        }
        if (next <= at_.row || next > kMaxRows)
            part_.Fail(QStringLiteral("ungültige Zeilennummer"));
        at_.row = next;
        at_.col = 0;
    }

    void CellStart(std::string_view reference, std::string_view type) {
        if (at_.row == 0) part_.Fail(QStringLiteral("Zelle außerhalb einer Zeile"));
        if (!reference.empty()) {
            const auto cell = CellReference(reference);
            if (!cell || cell->second != at_.row)
                part_.Fail(QStringLiteral("ungültiger Zellbezug"));
            at_.col = cell->first;
        }
        inCell_ = true;
        depth_ = 1;
        type_.assign(type);
        value_.reset();
        formula_.reset();
        hasInline_ = false;
        target_ = nullptr;
        skipFrom_ = kNoSkip;
    }

    // An element inside the cell: what its text is for, or skipped whole. An
    // inline string (<is>) is a string item, as in the table of texts.
    void CellChild(std::string_view name) {
        ++depth_;
        if (inline_.Active()) {
            inline_.Start(name);
            return;
        }
        if (skipFrom_ != kNoSkip) return;
        if (depth_ == 2 && name == "v") {
            target_ = &value_.emplace();
        } else if (depth_ == 2 && name == "f") {
            target_ = &formula_.emplace();
        } else if (depth_ == 2 && name == "is") {
            inline_.Begin();
        } else {
            skipFrom_ = depth_;
        }
    }

    CellXml Cell() const {
        CellXml cell;
        cell.type = type_;
        if (value_) cell.value = *value_;
        if (formula_) cell.formula = *formula_;
        if (hasInline_) cell.inlineText = inline_.Text();
        return cell;
    }

    SaxPart part_;
    OnCell onCell_;

    SheetPosition at_;
    bool inCell_ = false, hasInline_ = false;
    int depth_ = 0;                  // inside the cell: 1 the <c> itself
    int skipFrom_ = kNoSkip;         // the depth of an element skipped whole
    std::string* target_ = nullptr;  // where the text goes
    std::string type_;
    std::optional<std::string> value_, formula_;
    StringItemText inline_;
};

}  // namespace

XlsxWorkbook::XlsxWorkbook(const QString& path, Texts texts) : path_(path), texts_(texts) {
    Open(Gsf::OpenFile(path).get());
}

XlsxWorkbook::XlsxWorkbook(const QByteArray& contents, const QString& name, Texts texts)
    : path_(name), contents_(contents), texts_(texts) {
    // libgsf reads the bytes without a copy whenever a part is read: they stay
    // with the workbook (a reference, no copy) whatever the caller does with its own.
    GPtr<GsfInput> input = Gsf::OpenBytes(contents_);
    if (!input) throw RuntimeError::SourceEmpty(kNoun, path_);
    Open(input.get());
}

XlsxWorkbook::~XlsxWorkbook() {
    if (!textsReading_.joinable()) return;
    sharedStrings_.Abandon();
    textsReading_.join();
}

void XlsxWorkbook::Fail(const QString& where) const {
    throw RuntimeError::SourceDamaged(kNoun, path_, where);
}

void XlsxWorkbook::Open(GsfInput* input) {
    if (gsf_input_size(input) == 0) throw RuntimeError::SourceEmpty(kNoun, path_);
    container_ = ZipContainer(input);
    if (!container_)
        Fail(QStringLiteral("kein ZIP-Container, also keine Excel-Arbeitsmappe ab Excel 2007"));
    GsfInfile* zip = container_.get();
    try {
        QString workbookPart = QStringLiteral("xl/workbook.xml");
        for (const auto& relationship : ReadRelationships(zip, QString()))
            if (relationship.type == QLatin1String("officeDocument"))
                workbookPart = relationship.target;
        GPtr<GsfInput> workbook = OpenPart(zip, workbookPart);
        if (!workbook) Fail(QStringLiteral("der Teil %1 fehlt im Container").arg(workbookPart));
        const auto relationships = ReadRelationships(zip, workbookPart);
        ReadSheetList(workbook.get(), workbookPart, relationships);
        QStringList texts;
        for (const auto& relationship : relationships)
            if (relationship.type == QLatin1String("sharedStrings"))
                texts.append(relationship.target);
        if (texts_ == Texts::BesideTheSheet && texts.size() == 1) {
            ReadSharedStringsBeside(texts.front());
            return;
        }
        for (const QString& part : texts) ReadSharedStrings(zip, part);
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

static_assert(kMaxStringsPart < (qint64{1} << 32), "the texts' ends are kept in 32 bits");

void XlsxWorkbook::ReadSharedStrings(GsfInfile* container, const QString& part) {
    SharedStringsReader(TextsPart(container, part).get(), part, sharedStrings_).Read();
    sharedStrings_.Finish();
}

// The texts from a container of their own: libgsf reads the parts of one
// container through one input, which the sheet's reading uses meanwhile.
void XlsxWorkbook::ReadSharedStringsBeside(const QString& part) {
    TextsPart(container_.get(), part);  // missing, it fails the opening
    GPtr<GsfInput> file = contents_.isNull() ? Gsf::OpenFile(path_) : Gsf::OpenBytes(contents_);
    std::shared_ptr<GsfInfile> container = file ? ZipContainer(file.get()) : nullptr;
    if (!container) {
        ReadSharedStrings(container_.get(), part);
        return;
    }
    sharedStrings_.FillBeside();
    const auto read = [this, container, part] {
        VectorRegisters::ClearUpperHalves();
        try {
            ReadSharedStrings(container.get(), part);
        } catch (...) {
            sharedStrings_.Fail(std::current_exception());
        }
    };
    try {
        textsReading_ = std::thread(read);
    } catch (const std::system_error&) {
        read();  // no thread to be had: the texts now
    }
}

void XlsxWorkbook::WaitForTexts() const {
    if (textsReading_.joinable()) sharedStrings_.Has(SIZE_MAX);
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
    const QString where = QStringLiteral("Tabelle %1, Zelle %2");
    const auto setCell = [&](const SheetPosition& at, const CellXml& xml) {
        CellValue cell = ValueOf(xml, sharedStrings_);
        if (cell.tooLong || LongerThanACell(cell.value))
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
    };
    if (gsf_input_size(input.get()) < kCellsBeside) {
        SheetReader(input.get(), sheet.part, setCell).Read();
        return;
    }
    ReadCellsBeside(input.get(), sheet.part, setCell);
}

// A large sheet's cells are made into values and stored on a thread beside
// the one that reads its XML, a batch at a time in their order: reading the
// XML takes the most, and the import that uses the rows leaves a core half idle.
template <typename SetCell>
void XlsxWorkbook::ReadCellsBeside(_GsfInput* input, const QString& part,
                                   const SetCell& setCell) const {
    SparePool<CellBatch> spare;
    CellBatch batch;
    WorkerThread cells(2);
    // A fault of the cells is named by the part, as if found while reading it.
    const auto hand = [&] {
        try {
            cells.Post([&setCell, &spare, handed = std::move(batch)]() mutable {
                handed.ForEach(setCell);
                handed.Clear();
                spare.Give(std::move(handed));
            });
        } catch (const FileDamaged& damaged) {
            throw InPart(part, damaged);
        }
        batch = spare.Take();
    };
    // The cells read before the end, or before a fault: a fault among them
    // comes first in the part, and is the one to tell.
    const auto finishCells = [&] {
        if (!batch.Empty()) hand();
        try {
            cells.Wait();
        } catch (const FileDamaged& damaged) {
            throw InPart(part, damaged);
        }
    };
    try {
        SheetReader(input, part, [&](const SheetPosition& at, const CellXml& cell) {
            batch.Add(at, cell);
            if (batch.Full()) hand();
        }).Read();
    } catch (...) {
        finishCells();
        throw;
    }
    finishCells();
}

SourceTable XlsxWorkbook::ReadSheet(const QString& name, bool header, SheetStream* stream) const {
    const Sheet* sheet = FindSheet(name);
    if (!sheet) throw RuntimeError::SheetNotFound(name, path_);
    try {
        CellGrid grid(name, kMaxColumns, kMaxCells, header);
        grid.StreamTo(stream);
        ReadCells(*sheet, grid);
        WaitForTexts();
        SourceTable table = std::move(grid).Table(path_, name);
        table.place = QStringLiteral("im Tabellenblatt '%1' der %2 '%3'").arg(name, kNoun, path_);
        return table;
    } catch (const FileDamaged& damaged) {
        Fail(damaged.what);
    }
}
