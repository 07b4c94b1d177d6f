#include "CsvFile.h"

#include "CellText.h"
#include "RuntimeError.h"
#include "SourceFile.h"
#include "TextFileEncoding.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <string>

namespace CsvFile {
namespace {

// A text file larger than this is not a list of texts for translators.
constexpr qint64 kMaxFileSize = qint64{256} << 20;
constexpr size_t kMaxColumns = 16384;

[[noreturn]] void Fail(const QString& name, int64_t line, const QString& reason) {
    throw RuntimeError::SourceDamaged(kNoun, name,
                                      QStringLiteral("Zeile %1: %2").arg(line).arg(reason));
}

// The delimiter the first row holds most often outside quotes; comma when it holds none.
char Delimiter(const char* text, size_t size) {
    int counts[3] = {0, 0, 0};
    const char candidates[3] = {',', ';', '\t'};
    bool quoted = false;
    for (size_t i = 0; i < size; ++i) {
        const char c = text[i];
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        if (c == '\n' || c == '\r') break;
        for (int k = 0; k < 3; ++k)
            if (c == candidates[k]) ++counts[k];
    }
    const int best = static_cast<int>(std::max_element(counts, counts + 3) - counts);
    return counts[best] > 0 ? candidates[best] : ',';
}

// Splits UTF-8 text into records of fields, keeping the line it stands in for
// the messages.
class Splitter {
  public:
    Splitter(const char* text, size_t size, const QString& name)
        : text_(text), size_(size), name_(name), delimiter_(Delimiter(text, size)) {}

    std::vector<std::vector<Variant>> Records() {
        for (size_t i = 0; i < size_;) {
            const char c = text_[i];
            if (c == '"' && !started_) {
                i = QuotedField(i + 1);
            } else if (c == delimiter_) {
                EndField();
                ++i;
            } else if (c == '\r' || c == '\n') {
                i += c == '\r' && i + 1 < size_ && text_[i + 1] == '\n' ? 2 : 1;
                EndRecord();
                recordLine_ = ++line_;
            } else {
                i = PlainRun(i);
            }
        }
        if (started_ || !record_.empty()) EndRecord();
        return std::move(records_);
    }

  private:
    // A quoted field from after its opening quote up to the quote not followed
    // by another one; returns the place after it.
    size_t QuotedField(size_t i) {
        quoted_ = started_ = true;
        const int64_t opened = line_;
        for (;;) {
            const char* quote = static_cast<const char*>(std::memchr(text_ + i, '"', size_ - i));
            if (!quote)
                Fail(name_, opened, QStringLiteral("ein Anführungszeichen wird nicht geschlossen"));
            const auto at = static_cast<size_t>(quote - text_);
            line_ += std::count(text_ + i, quote, '\n');
            Append(text_ + i, at - i);
            i = at + 1;
            if (i >= size_ || text_[i] != '"') return i;
            Append("\"", 1);
            ++i;
        }
    }

    // Up to the next delimiter or line break; a quote inside is a character.
    size_t PlainRun(size_t i) {
        size_t end = i;
        while (end < size_ && text_[end] != delimiter_ && text_[end] != '\r' && text_[end] != '\n')
            ++end;
        Append(text_ + i, end - i);
        started_ = true;
        return end;
    }

    // Appends to the field; one longer than a cell holds is refused as soon as it
    // certainly is (a UTF-16 unit takes at most three bytes of UTF-8), before it
    // is held.
    void Append(const char* bytes, size_t size) {
        if (field_.size() + size > 3 * static_cast<size_t>(kMaxCellCharacters)) TooLong();
        field_.append(bytes, size);
    }

    // The field in UTF-16 units, as a cell counts them: every byte that begins a
    // character, and once more for those beyond the BMP (four bytes of UTF-8).
    qsizetype Units() const {
        qsizetype units = 0;
        for (const char c : field_) {
            const auto byte = static_cast<unsigned char>(c);
            units += (byte & 0xC0) != 0x80;
            units += byte >= 0xF0;
        }
        return units;
    }

    [[noreturn]] void TooLong() const {
        throw RuntimeError::TextTooLongInSource(kNoun, name_,
                                                QStringLiteral("Zeile %1").arg(recordLine_));
    }

    void EndField() {
        if (static_cast<qsizetype>(field_.size()) > kMaxCellCharacters &&
            Units() > kMaxCellCharacters)
            TooLong();
        if (quoted_ || !field_.empty())
            record_.emplace_back(
                QString::fromUtf8(field_.data(), static_cast<qsizetype>(field_.size())));
        else
            record_.emplace_back();
        if (record_.size() > kMaxColumns)
            Fail(name_, recordLine_, QStringLiteral("mehr als %1 Spalten").arg(kMaxColumns));
        field_.clear();
        quoted_ = started_ = false;
    }

    void EndRecord() {
        EndField();
        // A line with nothing on it is no row.
        if (!(record_.size() == 1 && record_[0].IsNull())) records_.push_back(std::move(record_));
        record_.clear();
    }

    const char* text_;
    size_t size_;
    const QString& name_;
    char delimiter_;
    std::vector<std::vector<Variant>> records_;
    std::vector<Variant> record_;
    std::string field_;
    bool quoted_ = false, started_ = false;
    int64_t line_ = 1;        // the line the reading stands in
    int64_t recordLine_ = 1;  // the line the current record began in
};

}  // namespace

SourceTable Parse(QByteArray contents, const QString& name, bool header, const Encoding& encoding) {
    const int ansi = encoding.ansiCodePage > 0 ? encoding.ansiCodePage : 1252;
    TextFileEncoding::Decoded decoded =
        TextFileEncoding::Decode(std::move(contents), encoding.codePage, ansi);
    std::vector<std::vector<Variant>> records =
        Splitter(decoded.utf8.constData(), static_cast<size_t>(decoded.utf8.size()), name)
            .Records();
    decoded.utf8.clear();
    if (records.empty()) throw RuntimeError::SourceEmpty(kNoun, name);

    SourceTable table;
    table.fileName = name;
    table.place = QStringLiteral("in der %1 '%2'").arg(kNoun, name);
    table.reading = std::move(decoded.reading);
    size_t width = 0;
    for (const auto& row : records) width = std::max(width, row.size());
    const bool named = header && !records.empty();
    for (size_t c = 0; c < width; ++c) {
        QString column = named && c < records[0].size() ? records[0][c].ToText() : QString();
        // Columns without a heading get the names the engine gives them.
        if (column.isEmpty()) column = QStringLiteral("F%1").arg(c + 1);
        table.columns.append(column);
    }
    table.rows.reserve(records.size());
    for (size_t r = named ? 1 : 0; r < records.size(); ++r) {
        records[r].resize(width);
        table.rows.push_back(std::move(records[r]));
    }
    return table;
}

SourceTable Read(const QString& path, bool header, const Encoding& encoding) {
    const std::unique_ptr<QFile> file = OpenSourceFile(path, kNoun, kMaxFileSize);
    QByteArray contents = file->readAll();
    if (file->error() != QFileDevice::NoError) throw RuntimeError::FileUnreadable(path);
    return Parse(std::move(contents), path, header, encoding);
}

QByteArray Row(const std::vector<Field>& fields) {
    QString line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line += u',';
        const Field& field = fields[i];
        if (field.null) continue;
        const QString& text = field.text;
        const bool quote = text.isEmpty() || text.contains(u',') || text.contains(u'"') ||
                           text.contains(u'\n') || text.contains(u'\r') || text.front().isSpace() ||
                           text.back().isSpace();
        if (!quote) {
            line += text;
            continue;
        }
        line += u'"';
        line += QString(text).replace(QStringLiteral("\""), QStringLiteral("\"\""));
        line += u'"';
    }
    line += QStringLiteral("\r\n");
    return line.toUtf8();
}

}  // namespace CsvFile
