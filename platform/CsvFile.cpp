#include "CsvFile.h"

#include "CodePage.h"
#include "RuntimeError.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>

namespace CsvFile {
namespace {

// A text file larger than this is not a list of texts for translators.
constexpr qint64 kMaxFileSize = qint64{256} << 20;
constexpr qsizetype kMaxColumns = 16384;

QString DecodeText(const QByteArray& bytes) {
    auto decode = [](QStringConverter::Encoding encoding, QByteArrayView data) {
        QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
        return QString(decoder(data));
    };
    const QByteArrayView view(bytes);
    if (view.startsWith("\xEF\xBB\xBF")) return decode(QStringConverter::Utf8, view.sliced(3));
    if (view.startsWith("\xFF\xFE")) return decode(QStringConverter::Utf16LE, view.sliced(2));
    if (view.startsWith("\xFE\xFF")) return decode(QStringConverter::Utf16BE, view.sliced(2));
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8(view);
    if (!utf8.hasError()) return text;
    return CodePage::Decode(bytes, 1252);
}

// The delimiter the first row holds most often outside quotes; comma when it holds none.
QChar Delimiter(const QString& text) {
    int counts[3] = {0, 0, 0};
    const QChar candidates[3] = {u',', u';', u'\t'};
    bool quoted = false;
    for (const QChar c : text) {
        if (c == u'"') quoted = !quoted;
        if (quoted) continue;
        if (c == u'\n' || c == u'\r') break;
        for (int i = 0; i < 3; ++i)
            if (c == candidates[i]) ++counts[i];
    }
    const int best = static_cast<int>(std::max_element(counts, counts + 3) - counts);
    return counts[best] > 0 ? candidates[best] : QChar(u',');
}

}  // namespace

SourceTable Parse(QByteArray contents, const QString& name, bool header) {
    const QString text = DecodeText(contents);
    contents.clear();  // the bytes are not needed once they are characters
    const QChar delimiter = Delimiter(text);
    std::vector<std::vector<Variant>> records;
    std::vector<Variant> record;
    QString field;
    bool fieldQuoted = false, fieldStarted = false;
    auto endField = [&] {
        if (fieldQuoted || !field.isEmpty())
            record.emplace_back(field);
        else
            record.emplace_back();
        if (record.size() > kMaxColumns)
            throw RuntimeError::WorkbookDamaged(name, QStringLiteral("zu viele Spalten"));
        field.clear();
        fieldQuoted = fieldStarted = false;
    };
    auto endRecord = [&] {
        endField();
        // A line with nothing on it is no row.
        if (!(record.size() == 1 && record[0].IsNull())) records.push_back(std::move(record));
        record.clear();
    };
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text[i];
        if (c == u'"' && !fieldStarted) {
            // A quoted field: up to the quote not followed by another one.
            fieldQuoted = fieldStarted = true;
            bool closed = false;
            for (++i; i < size; ++i) {
                if (text[i] != u'"') {
                    field += text[i];
                } else if (i + 1 < size && text[i + 1] == u'"') {
                    field += u'"';
                    ++i;
                } else {
                    closed = true;
                    break;
                }
            }
            if (!closed)
                throw RuntimeError::WorkbookDamaged(
                    name, QStringLiteral("ein Anführungszeichen wird nicht geschlossen"));
            continue;
        }
        if (c == delimiter) {
            endField();
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < size && text[i + 1] == u'\n') ++i;
            endRecord();
        } else {
            field += c;
            fieldStarted = true;
        }
    }
    if (fieldStarted || !record.empty()) endRecord();

    SourceTable table;
    table.fileName = name;
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

SourceTable Read(const QString& path, bool header) {
    QFileInfo info(path);
    if (!info.exists() || !info.isFile()) throw RuntimeError::FileNotFound(path);
    if (info.size() > kMaxFileSize)
        throw RuntimeError::WorkbookDamaged(path, QStringLiteral("die Datei ist zu groß"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw RuntimeError::FileUnreadable(path);
    QByteArray contents = file.readAll();
    if (file.error() != QFileDevice::NoError) throw RuntimeError::FileUnreadable(path);
    return Parse(std::move(contents), path, header);
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
