#include "XliffFile.h"

#include "CodePage.h"
#include "FileDamaged.h"
#include "RuntimeError.h"
#include "SourceFile.h"
#include "Val.h"
#include "XmlReader.h"

#include <QFile>

#include <string>

namespace XliffFile {
namespace {

// What a file may hold: a million units of long texts fit.
constexpr qint64 kMaxFileSize = qint64{1} << 30;
constexpr size_t kMaxText = size_t{4} << 20;  // bytes of one unit's text
constexpr qsizetype kPiece = 1 << 16;

const std::string_view kNamespace1 = "urn:oasis:names:tc:xliff:document:1.";
const std::string_view kNamespace2 = "urn:oasis:names:tc:xliff:document:2.0";

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A text being read: a target, or the source of a 2.x ignorable.
struct Capture {
    std::string text;
    bool present = false;
    bool codes = false;
};

// The events of an XLIFF document, turned into the units' rows. Elements a unit
// does not need (sources, notes, alternatives, headers) are skipped whole.
class UnitReader : public XmlReader::Handler {
  public:
    UnitReader(const QString& name, int32_t lcid) : name_(name), lcid_(lcid) {
        table_.fileName = name;
        table_.tableName = QStringLiteral("TidxTexts");
        table_.columns = {QStringLiteral("ID"), QStringLiteral("L%1").arg(lcid)};
        table_.place = QStringLiteral("in der %1 '%2'").arg(kNoun, name);
    }
    void SetReader(XmlReader* reader) { reader_ = reader; }
    bool Started() const { return rootSeen_; }
    SourceTable Table() && { return std::move(table_); }

    void StartElement(std::string_view name, std::string_view ns, const XmlReader::Attribute* a,
                      size_t n) override {
        if (!rootSeen_) return Root(name, ns, a, n);
        if (skip_ > 0) {
            ++skip_;
        } else if (text_) {
            Inline(name, a, n);
        } else if (version2_) {
            Element2(name, a, n);
        } else {
            Element1(name, a, n);
        }
    }

    void EndElement(std::string_view name) override {
        if (skip_ > 0) {
            --skip_;
        } else if (text_) {
            if (--textDepth_ == 0) text_ = nullptr;
        } else if (!version2_ && name == "trans-unit" && inUnit_) {
            Add(target_, notTranslated_);
        } else if (version2_ && inPart_ && (name == "segment" || name == "ignorable")) {
            EndPart(name == "segment");
        } else if (version2_ && name == "unit" && inUnit_) {
            Add(unit_, !anySegment_);
        }
    }

    void Text(std::string_view utf8) override {
        if (!text_ || skip_ > 0) return;
        if (text_->text.size() + utf8.size() > kMaxText)
            reader_->Fail(QStringLiteral("ein Text ist länger als 4 MiB"));
        text_->text.append(utf8);
    }

  private:
    // The root <xliff>: its version, from the namespace (2.1 names itself in
    // "version" within the namespace of 2.0).
    void Root(std::string_view name, std::string_view ns, const XmlReader::Attribute* a, size_t n) {
        rootSeen_ = true;
        if (name != "xliff")
            reader_->Fail(
                QStringLiteral("keine XLIFF-Datei (das Wurzelelement ist <%1>)").arg(Q(name)));
        const std::string_view version = XmlReader::Value(a, n, "version");
        if (ns.substr(0, kNamespace1.size()) == kNamespace1 &&
            (ns.ends_with("1.1") || ns.ends_with("1.2")))
            version2_ = false;
        else if (ns.empty() && version == "1.0")
            version2_ = false;
        else if (ns == kNamespace2 && (version == "2.0" || version == "2.1"))
            version2_ = true;
        else
            throw RuntimeError::XliffVersionUnknown(name_, Q(version.empty() ? ns : version));
        if (version2_) CheckLanguage(XmlReader::Value(a, n, "trgLang"));
    }

    void Element1(std::string_view name, const XmlReader::Attribute* a, size_t n) {
        if (name == "file") {
            CheckLanguage(XmlReader::Value(a, n, "target-language"));
        } else if (name == "trans-unit") {
            BeginUnit(XmlReader::Value(a, n, "id"), XmlReader::Value(a, n, "resname"));
            target_ = {};
            notTranslated_ = false;
        } else if (inUnit_ && name == "target") {
            const std::string_view state = XmlReader::Value(a, n, "state");
            notTranslated_ = state == "new" || state == "needs-translation";
            target_.present = true;
            BeginText(target_);
        } else if (inUnit_ || name == "header" || name == "bin-unit") {
            skip_ = 1;  // source, seg-source, alt-trans (with targets of its own), note, ...
        }
    }

    void Element2(std::string_view name, const XmlReader::Attribute* a, size_t n) {
        if (name == "unit") {
            BeginUnit(XmlReader::Value(a, n, "id"), XmlReader::Value(a, n, "name"));
            unit_ = {};
            unit_.present = true;
            anySegment_ = false;
        } else if (inUnit_ && !inPart_ && (name == "segment" || name == "ignorable")) {
            inPart_ = true;
            partSource_ = {};
            partTarget_ = {};
        } else if (inPart_ && name == "target") {
            partTarget_.present = true;
            BeginText(partTarget_);
        } else if (inPart_ && name == "source") {
            BeginText(partSource_);
        } else if (inUnit_ || name == "notes") {
            skip_ = 1;  // notes, originalData, ...
        }
    }

    // Inside a text: <g> and <mrk> (2.x <sm>, <em>) count as their text, <cp> is
    // its character; any other element is a placeholder code.
    void Inline(std::string_view name, const XmlReader::Attribute* a, size_t n) {
        if (name == "g" || name == "mrk" || (version2_ && (name == "sm" || name == "em"))) {
            ++textDepth_;
        } else if (version2_ && name == "cp") {
            bool ok = false;
            const uint code = Q(XmlReader::Value(a, n, "hex")).toUInt(&ok, 16);
            const char32_t character = code;
            if (ok && code > 0 && code <= 0x10FFFF)
                text_->text += QString::fromUcs4(&character, 1).toStdString();
            skip_ = 1;
        } else {
            text_->codes = true;  // x, ph, bx, ex, bpt, ept, it; 2.x ph, pc, sc, ec
            skip_ = 1;
        }
    }

    void BeginText(Capture& capture) {
        text_ = &capture;
        textDepth_ = 1;
    }

    // The ID: id, or where it is no number the other name when that is one.
    void BeginUnit(std::string_view id, std::string_view other) {
        inUnit_ = true;
        id_ = Q(id);
        if (!BeginsWithNumber(id_) && BeginsWithNumber(Q(other))) id_ = Q(other);
    }

    // A segment without a target leaves its unit untranslated; an ignorable without
    // one stands as its source.
    void EndPart(bool segment) {
        inPart_ = false;
        anySegment_ |= segment;
        if (segment && !partTarget_.present) unit_.present = false;
        const Capture& part = partTarget_.present ? partTarget_ : partSource_;
        unit_.text += part.text;
        unit_.codes |= part.codes;
    }

    // The file's target language must be the one imported; none is taken for it.
    void CheckLanguage(std::string_view tag) {
        if (tag.empty() || CodePage::PrimaryLanguage(Q(tag)) == CodePage::PrimaryLanguage(lcid_))
            return;
        throw RuntimeError::XliffWrongLanguage(name_, Q(tag), QStringLiteral("L%1").arg(lcid_),
                                               CodePage::LanguageTag(lcid_).value_or(QString()));
    }

    void Add(const Capture& target, bool notTranslated) {
        inUnit_ = false;
        ++units_;
        if (target.codes) {
            table_.reading.withCodes.push_back({units_, id_});
        } else if (!target.present || target.text.empty() || notTranslated) {
            table_.reading.untranslated.push_back({units_, id_});
        } else {
            table_.rows.push_back(
                {id_.isEmpty() ? Variant() : Variant(id_), Variant(Q(target.text))});
        }
    }

    QString name_;
    int32_t lcid_;
    XmlReader* reader_ = nullptr;
    SourceTable table_;
    bool rootSeen_ = false, version2_ = false;
    int skip_ = 0;             // the depth inside an element skipped whole
    Capture* text_ = nullptr;  // the text being read
    int textDepth_ = 0;        // the depth inside it
    bool inUnit_ = false, inPart_ = false, anySegment_ = false, notTranslated_ = false;
    QString id_;
    Capture target_, unit_, partSource_, partTarget_;
    int64_t units_ = 0;
};

// Reads the document in pieces that next() gives until it gives none.
template <typename Next>
SourceTable ReadDocument(const QString& name, int32_t lcid, Next next) {
    UnitReader units(name, lcid);
    try {
        XmlReader reader(units);
        units.SetReader(&reader);
        for (QByteArray piece = next(); !piece.isEmpty(); piece = next())
            reader.Feed(piece.constData(), static_cast<size_t>(piece.size()));
        if (!units.Started()) throw RuntimeError::SourceEmpty(kNoun, name);
        reader.Finish();
    } catch (const FileDamaged& damaged) {
        throw RuntimeError::SourceDamaged(kNoun, name, damaged.what);
    }
    return std::move(units).Table();
}

}  // namespace

SourceTable Read(const QString& path, int32_t lcid) {
    const std::unique_ptr<QFile> file = OpenSourceFile(path, kNoun, kMaxFileSize);
    if (file->size() == 0) throw RuntimeError::SourceEmpty(kNoun, path);
    return ReadDocument(path, lcid, [&] {
        QByteArray piece = file->read(kPiece);
        if (file->error() != QFileDevice::NoError) throw RuntimeError::FileUnreadable(path);
        return piece;
    });
}

SourceTable Parse(const QByteArray& contents, const QString& name, int32_t lcid) {
    if (contents.isEmpty()) throw RuntimeError::SourceEmpty(kNoun, name);
    qsizetype at = 0;
    return ReadDocument(name, lcid, [&] {
        const QByteArray piece = contents.mid(at, kPiece);
        at += piece.size();
        return piece;
    });
}

}  // namespace XliffFile
