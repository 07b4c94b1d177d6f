#include "CodePage.h"
#include "ExportWriter.h"
#include "RuntimeError.h"
#include "Variant.h"

#include <QFile>
#include <QXmlStreamWriter>

namespace {

const QString kXliff12 = QStringLiteral("urn:oasis:names:tc:xliff:document:1.2");

// Whether XML 1.0 can hold every character of the text: no control characters
// but tab, line feed and carriage return, no surrogate without its partner.
bool XmlCanHold(const QString& text) {
    const auto* units = reinterpret_cast<const char16_t*>(text.utf16());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = units[i];
        if (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') return false;
        if (c == 0xFFFE || c == 0xFFFF) return false;
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 >= text.size() || !QChar::isLowSurrogate(units[i + 1])) return false;
            ++i;
        } else if (QChar::isLowSurrogate(c)) {
            return false;
        }
    }
    return true;
}

// An XLIFF 1.2 document for translation tools: one <file> of the project, its
// source the reference language, its target the language exported, one
// <trans-unit> per text. Written as the rows come, whatever their number.
class XliffExportWriter : public ExportWriter {
  public:
    bool NeedsReference() const override { return true; }

    void Begin(const QString& path, const QString& name, const Layout& layout) override {
        name_ = name;
        file_.setFileName(path);
        if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw RuntimeError::NotWritable(name);
        xml_.setDevice(&file_);
        xml_.setAutoFormatting(true);
        xml_.setAutoFormattingIndent(2);
        xml_.writeStartDocument();
        xml_.writeDefaultNamespace(kXliff12);
        xml_.writeStartElement(kXliff12, QStringLiteral("xliff"));
        xml_.writeAttribute(QStringLiteral("version"), QStringLiteral("1.2"));
        xml_.writeStartElement(kXliff12, QStringLiteral("file"));
        xml_.writeAttribute(QStringLiteral("original"), layout.project);
        xml_.writeAttribute(QStringLiteral("datatype"), QStringLiteral("plaintext"));
        for (const Column& column : layout.columns) {
            if (column.lcid == 0) continue;
            xml_.writeAttribute(column.reference ? QStringLiteral("source-language")
                                                 : QStringLiteral("target-language"),
                                CodePage::LanguageTag(column.lcid).value_or(column.name));
        }
        xml_.writeStartElement(kXliff12, QStringLiteral("body"));
        Check();
    }

    // texts: the reference's, then the language's.
    void Row(double id, const std::vector<std::optional<QString>>& texts) override {
        const QString key = ShortestDecimal(id);
        const std::optional<QString>& source = texts.front();
        const std::optional<QString>& target = texts.back();
        xml_.writeStartElement(kXliff12, QStringLiteral("trans-unit"));
        xml_.writeAttribute(QStringLiteral("id"), key);
        xml_.writeAttribute(QStringLiteral("resname"), key);
        // Blanks, tabs and line breaks of the texts are theirs: no tool may fold them.
        xml_.writeAttribute(QStringLiteral("http://www.w3.org/XML/1998/namespace"),
                            QStringLiteral("space"), QStringLiteral("preserve"));
        xml_.writeTextElement(kXliff12, QStringLiteral("source"),
                              source && XmlCanHold(*source) ? *source : QString());
        const bool translated = target && !target->isEmpty() && XmlCanHold(*target);
        if (target && !XmlCanHold(*target)) omitted_.push_back(id);
        xml_.writeStartElement(kXliff12, QStringLiteral("target"));
        xml_.writeAttribute(QStringLiteral("state"), translated
                                                         ? QStringLiteral("translated")
                                                         : QStringLiteral("needs-translation"));
        if (translated) xml_.writeCharacters(*target);
        xml_.writeEndElement();
        xml_.writeEndElement();
        Check();
    }

    void Finish() override {
        xml_.writeEndDocument();
        Check();
        if (!file_.flush()) Fail();
        file_.close();
    }

    std::vector<double> Omitted() const override { return omitted_; }

  private:
    void Check() {
        if (xml_.hasError() || file_.error() != QFileDevice::NoError) Fail();
    }
    [[noreturn]] void Fail() { throw RuntimeError::ExportNotWritten(name_, file_.errorString()); }

    QString name_;  // the file as the user named it
    QFile file_;
    QXmlStreamWriter xml_;
    std::vector<double> omitted_;
};

}  // namespace

std::unique_ptr<ExportWriter> MakeXliffWriter() { return std::make_unique<XliffExportWriter>(); }
