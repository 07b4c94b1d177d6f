#include "XlsxWorkbook.h"

#include "CellGrid.h"
#include "Gsf.h"
#include "RuntimeError.h"

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

struct Damaged {
    QString what;
};

// A part of the container read as XML, in pieces of 64 KiB.
class XmlPart {
  public:
    XmlPart(GsfInput* input, qint64 limit) : input_(input), limit_(limit) {
        if (gsf_input_size(input) > limit) throw Damaged{QStringLiteral("ein Teil ist zu groß")};
        // Entities are never read from outside; their expansion stays bounded.
        xml_.setEntityExpansionLimit(1024);
    }

    // The next token; more of the part is inflated whenever the reader needs it.
    QXmlStreamReader::TokenType Next() {
        for (;;) {
            const auto token = xml_.readNext();
            if (xml_.error() == QXmlStreamReader::PrematureEndOfDocumentError && Feed()) continue;
            if (xml_.hasError()) throw Damaged{QStringLiteral("fehlerhaftes XML")};
            return token;
        }
    }
    bool AtEnd() const { return xml_.atEnd() && !xml_.hasError(); }
    QXmlStreamReader& Xml() { return xml_; }

    // The text of the current element up to its end, elements inside it included.
    QString ElementText() {
        QString text;
        for (int depth = 1; depth > 0;) {
            const auto token = Next();
            if (token == QXmlStreamReader::StartElement) ++depth;
            if (token == QXmlStreamReader::EndElement) --depth;
            if (token == QXmlStreamReader::EndDocument) throw Damaged{QStringLiteral("Ende fehlt")};
            if (token == QXmlStreamReader::Characters) {
                // Mostly one piece of text: take it whole instead of appending.
                if (text.isEmpty())
                    text = xml_.text().toString();
                else
                    text += xml_.text();
            }
            if (text.size() > kMaxCellText) throw Damaged{QStringLiteral("Text zu lang")};
        }
        return text;
    }

    // Skips to the end of the current element.
    void Skip() {
        for (int depth = 1; depth > 0;) {
            const auto token = Next();
            if (token == QXmlStreamReader::StartElement) ++depth;
            if (token == QXmlStreamReader::EndElement) --depth;
            if (token == QXmlStreamReader::EndDocument) throw Damaged{QStringLiteral("Ende fehlt")};
        }
    }

  private:
    bool Feed() {
        const gsf_off_t left = gsf_input_remaining(input_);
        if (left <= 0) return false;
        const size_t size = static_cast<size_t>(std::min<gsf_off_t>(left, 65536));
        QByteArray chunk(static_cast<qsizetype>(size), Qt::Uninitialized);
        if (!gsf_input_read(input_, size, reinterpret_cast<guint8*>(chunk.data())))
            throw Damaged{QStringLiteral("ein Teil lässt sich nicht entpacken")};
        read_ += static_cast<qint64>(size);
        if (read_ > limit_) throw Damaged{QStringLiteral("ein Teil ist zu groß")};
        xml_.addData(chunk);
        return true;
    }

    GsfInput* input_;
    qint64 limit_;
    qint64 read_ = 0;
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
        if (token == QXmlStreamReader::EndDocument) throw Damaged{QStringLiteral("Ende fehlt")};
        if (token == QXmlStreamReader::EndElement) --depth;
        if (token != QXmlStreamReader::StartElement) continue;
        const auto name = part.Xml().name();
        if (name == QLatin1String("t")) {
            text += part.ElementText();
            if (text.size() > kMaxCellText) throw Damaged{QStringLiteral("Text zu lang")};
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

struct Relationship {
    QString type;  // the last piece of the type URI: "officeDocument", "worksheet", ...
    QString target;
};

QHash<QString, Relationship> ReadRelationships(GsfInfile* container, const QString& part) {
    QHash<QString, Relationship> relationships;
    GPtr<GsfInput> input = OpenPart(container, RelationshipsOf(part));
    if (!input) return relationships;
    XmlPart xml(input.get(), kMaxOtherPart);
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
        if (relationships.size() > 100000) throw Damaged{QStringLiteral("zu viele Beziehungen")};
    }
    return relationships;
}

}  // namespace

XlsxWorkbook::XlsxWorkbook(const QString& path) : path_(path) { Open(Gsf::OpenFile(path).get()); }

XlsxWorkbook::XlsxWorkbook(const QByteArray& contents, const QString& name) : path_(name) {
    GPtr<GsfInput> input = Gsf::OpenBytes(contents);
    if (!input) Fail(QStringLiteral("leere Datei"));
    Open(input.get());
}

XlsxWorkbook::~XlsxWorkbook() = default;

void XlsxWorkbook::Fail(const QString& detail) const {
    throw RuntimeError::WorkbookDamaged(path_, detail);
}

void XlsxWorkbook::Open(GsfInput* input) {
    GError* error = nullptr;
    GsfInfile* zip = gsf_infile_zip_new(input, &error);
    if (!zip) {
        if (error) g_error_free(error);
        Fail(QStringLiteral("kein ZIP-Container"));
    }
    container_.reset(zip, [](GsfInfile* infile) { g_object_unref(infile); });
    try {
        QString workbookPart = QStringLiteral("xl/workbook.xml");
        for (const auto& relationship : ReadRelationships(zip, QString()))
            if (relationship.type == QLatin1String("officeDocument"))
                workbookPart = relationship.target;
        GPtr<GsfInput> workbook = OpenPart(zip, workbookPart);
        if (!workbook) Fail(QStringLiteral("keine Arbeitsmappe im Container"));
        const auto relationships = ReadRelationships(zip, workbookPart);
        XmlPart xml(workbook.get(), kMaxOtherPart);
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
            if (relationship == relationships.end() ||
                relationship->type != QLatin1String("worksheet"))
                continue;
            sheets_.push_back(
                {attributes.value(QLatin1String("name")).toString(), relationship->target});
            if (sheets_.size() > 10000) Fail(QStringLiteral("zu viele Tabellenblätter"));
        }
        for (const auto& relationship : relationships)
            if (relationship.type == QLatin1String("sharedStrings"))
                ReadSharedStrings(relationship.target);
    } catch (const Damaged& damaged) {
        Fail(damaged.what);
    }
}

void XlsxWorkbook::ReadSharedStrings(const QString& part) {
    GPtr<GsfInput> input = OpenPart(container_.get(), part);
    if (!input) Fail(QStringLiteral("die Tabelle der Texte fehlt"));
    XmlPart xml(input.get(), kMaxStringsPart);
    while (!xml.AtEnd()) {
        if (xml.Next() != QXmlStreamReader::StartElement || xml.Xml().name() != QLatin1String("si"))
            continue;
        sharedStrings_.push_back(StringItem(xml));
        if (sharedStrings_.size() > kMaxSharedStrings) Fail(QStringLiteral("zu viele Texte"));
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

SourceTable XlsxWorkbook::ReadSheet(const QString& name, bool header) const {
    const Sheet* sheet = FindSheet(name);
    if (!sheet) throw RuntimeError::SheetNotFound(name, path_);
    CellGrid grid(kMaxColumns, kMaxCells);
    try {
        GPtr<GsfInput> input = OpenPart(container_.get(), sheet->part);
        if (!input) Fail(QStringLiteral("das Tabellenblatt fehlt im Container"));
        XmlPart xml(input.get(), kMaxSheetPart);
        uint32_t row = 0, col = 0;
        while (!xml.AtEnd()) {
            if (xml.Next() != QXmlStreamReader::StartElement) continue;
            const auto element = xml.Xml().name();
            const bool isRow = element == QLatin1String("row");
            if (!isRow && element != QLatin1String("c")) continue;
            const auto attributes = xml.Xml().attributes();
            if (isRow) {
                const auto number = attributes.value(QLatin1String("r"));
                uint32_t next = row + 1;
                if (!number.isEmpty()) {
                    bool ok = false;
                    next = number.toUInt(&ok);
                    if (!ok || next == 0) throw Damaged{QStringLiteral("ungültige Zeilennummer")};
                }
                if (next <= row || next > kMaxRows)
                    throw Damaged{QStringLiteral("ungültige Zeilennummer")};
                row = next;
                col = 0;
                continue;
            }
            if (row == 0) throw Damaged{QStringLiteral("Zelle außerhalb einer Zeile")};
            const auto reference = attributes.value(QLatin1String("r"));
            if (!reference.isEmpty()) {
                const auto cell = CellReference(reference);
                if (!cell || cell->second != row)
                    throw Damaged{QStringLiteral("ungültiger Zellbezug")};
                col = cell->first;
            }
            const QStringView type = attributes.value(QLatin1String("t"));
            std::optional<QString> value;
            std::optional<QString> inlineText;
            for (int depth = 1; depth > 0;) {
                const auto token = xml.Next();
                if (token == QXmlStreamReader::EndDocument)
                    throw Damaged{QStringLiteral("Ende fehlt")};
                if (token == QXmlStreamReader::EndElement) --depth;
                if (token != QXmlStreamReader::StartElement) continue;
                const auto inner = xml.Xml().name();
                if (inner == QLatin1String("v"))
                    value = xml.ElementText();
                else if (inner == QLatin1String("is"))
                    inlineText = StringItem(xml);
                else
                    xml.Skip();
            }
            Variant cell;
            if (type == QLatin1String("inlineStr")) {
                if (inlineText) cell = *inlineText;
            } else if (value) {
                if (type == QLatin1String("s")) {
                    bool ok = false;
                    const uint index = value->trimmed().toUInt(&ok);
                    if (!ok || index >= sharedStrings_.size())
                        throw Damaged{QStringLiteral("Verweis auf einen fehlenden Text")};
                    cell = sharedStrings_[index];
                } else if (type == QLatin1String("str") || type == QLatin1String("d")) {
                    cell = Unescape(*value);
                } else if (type == QLatin1String("b")) {
                    cell = Variant::Boolean(value->trimmed() == QLatin1String("1") ||
                                            value->trimmed() == QLatin1String("true"));
                } else if (type.isEmpty() || type == QLatin1String("n")) {
                    bool ok = false;
                    const double number = value->trimmed().toDouble(&ok);
                    if (!ok || !std::isfinite(number))
                        throw Damaged{QStringLiteral("ungültige Zahl")};
                    cell = number;
                }
                // "e": an error value reads as Null, as in .xls.
            }
            if (!cell.IsNull()) grid.Set(row - 1, col, std::move(cell));
            ++col;
        }
    } catch (const Damaged& damaged) {
        Fail(damaged.what);
    } catch (const CellGrid::Damaged& damaged) {
        Fail(QString::fromUtf8(damaged.what));
    }
    try {
        return std::move(grid).Table(path_, name, header);
    } catch (const CellGrid::Damaged& damaged) {
        Fail(QString::fromUtf8(damaged.what));
    }
}
