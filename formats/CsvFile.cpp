#include "CsvFile.h"

#include "CellText.h"
#include "RuntimeError.h"
#include "SourceFile.h"
#include "TextFileEncoding.h"
#include "Utf8Writer.h"

#include <QBuffer>
#include <QFile>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

namespace CsvFile {
namespace {

// A text file larger than this is not a list of texts for translators. It is
// read a piece at a time, its rows kept in a temporary file: the bound is on
// time, not on memory.
constexpr qint64 kMaxFileSize = qint64{1} << 30;
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

// Splits UTF-8 text, given a piece at a time, into records of fields, keeping
// the line each stands in for the messages. A piece may end anywhere: inside a
// quoted field, between a quote and the one that doubles it, between CR and LF.
class Splitter {
  public:
    using RecordSink = std::function<void(std::vector<Variant>& record)>;

    Splitter(const QString& name, RecordSink sink) : name_(name), sink_(std::move(sink)) {}

    void Feed(const char* text, size_t size) {
        if (size == 0) return;
        text_ = text;
        size_ = size;
        if (!delimiter_) delimiter_ = Delimiter(text, size);
        size_t i = Resume();
        while (i < size_) {
            const char c = text_[i];
            if (c == '"' && !started_) {
                quoted_ = started_ = inQuotes_ = true;
                opened_ = line_;
                i = QuotedField(i + 1);
            } else if (c == delimiter_) {
                EndField();
                ++i;
            } else if (c == '\r' || c == '\n') {
                ++i;
                if (c == '\r') {
                    if (i == size_) crPending_ = true;
                    if (i < size_ && text_[i] == '\n') ++i;
                }
                EndRecord();
                recordLine_ = ++line_;
            } else {
                i = PlainRun(i);
            }
        }
    }

    void Finish() {
        if (quotePending_) inQuotes_ = quotePending_ = false;  // the last quote closed the field
        if (inQuotes_)
            Fail(name_, opened_, QStringLiteral("ein Anführungszeichen wird nicht geschlossen"));
        if (started_ || !record_.empty()) EndRecord();
    }

  private:
    // Goes on with what the piece before left open; returns where the piece's
    // own reading begins.
    size_t Resume() {
        size_t i = 0;
        if (crPending_) {
            crPending_ = false;
            if (text_[0] == '\n') ++i;
        }
        if (quotePending_) {
            quotePending_ = false;
            if (text_[i] != '"') {
                inQuotes_ = false;  // the quote closed the field
                return i;
            }
            Append("\"", 1);
            ++i;
        }
        return inQuotes_ ? QuotedField(i) : i;
    }

    // A quoted field from after its opening quote up to the quote not followed
    // by another one; returns the place after it. At the piece's end the field
    // stays open.
    size_t QuotedField(size_t i) {
        for (;;) {
            const char* quote = static_cast<const char*>(std::memchr(text_ + i, '"', size_ - i));
            const size_t at = quote ? static_cast<size_t>(quote - text_) : size_;
            line_ += std::count(text_ + i, text_ + at, '\n');
            Append(text_ + i, at - i);
            if (!quote) return size_;
            i = at + 1;
            if (i == size_) {
                quotePending_ = true;  // closing, or the first of two
                return size_;
            }
            if (text_[i] != '"') {
                inQuotes_ = false;
                return i;
            }
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

    // The field in UTF-16 units, as a cell counts them.
    qsizetype Units() const { return Utf16Units(field_); }

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
        if (!(record_.size() == 1 && record_[0].IsNull())) sink_(record_);
        record_.clear();
    }

    const QString& name_;
    RecordSink sink_;
    const char* text_ = nullptr;
    size_t size_ = 0;
    char delimiter_ = 0;  // found in the first piece
    std::vector<Variant> record_;
    std::string field_;
    bool quoted_ = false, started_ = false;
    bool inQuotes_ = false;      // a quoted field goes on in the next piece
    bool quotePending_ = false;  // the piece ended with a quote inside a quoted field
    bool crPending_ = false;     // the piece ended with CR: an LF at the next one's start is its
    int64_t line_ = 1;           // the line the reading stands in
    int64_t recordLine_ = 1;     // the line the current record began in
    int64_t opened_ = 1;         // the line the open quoted field began in
};

// The records become the table's rows as they come; the first names the
// columns when there is a header. The columns are as many as the widest row has.
SourceTable ReadText(QIODevice& device, const QString& name, bool header,
                     const Encoding& encoding) {
    const int ansi = encoding.ansiCodePage > 0 ? encoding.ansiCodePage : 1252;
    TextFileEncoding::Stream text(device, encoding.codePage, ansi);
    SourceTable table;
    table.fileName = name;
    table.place = QStringLiteral("in der %1 '%2'").arg(kNoun, name);
    std::vector<Variant> names;
    bool any = false;
    size_t width = 0;
    Splitter splitter(name, [&](std::vector<Variant>& record) {
        width = std::max(width, record.size());
        if (header && !any)
            names = std::move(record);
        else
            table.rows.push_back(std::move(record));
        any = true;
    });
    QByteArray piece;
    while (text.Next(piece)) splitter.Feed(piece.constData(), static_cast<size_t>(piece.size()));
    splitter.Finish();
    if (!any) throw RuntimeError::SourceEmpty(kNoun, name);
    table.reading = text.TakeReading();
    for (size_t c = 0; c < width; ++c) {
        QString column = c < names.size() ? names[c].ToText() : QString();
        // Columns without a heading get the names the engine gives them.
        if (column.isEmpty()) column = QStringLiteral("F%1").arg(c + 1);
        table.columns.append(column);
    }
    table.rows.SetShape(0, width);
    return table;
}

}  // namespace

SourceTable Parse(QByteArray contents, const QString& name, bool header, const Encoding& encoding) {
    QBuffer buffer(&contents);
    buffer.open(QIODevice::ReadOnly);
    return ReadText(buffer, name, header, encoding);
}

SourceTable Read(const QString& path, bool header, const Encoding& encoding) {
    const std::unique_ptr<QFile> file = OpenSourceFile(path, kNoun, kMaxFileSize);
    SourceTable table = ReadText(*file, path, header, encoding);
    if (file->error() != QFileDevice::NoError) throw RuntimeError::FileUnreadable(path);
    return table;
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
