#include "CsvFile.h"

#include "CodePage.h"
#include "RuntimeError.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <string>

namespace CsvFile {
namespace {

// A text file larger than this is not a list of texts for translators.
constexpr qint64 kMaxFileSize = qint64{256} << 20;
constexpr qsizetype kMaxColumns = 16384;

// True when the bytes are UTF-8 throughout; checked in pieces, so that nothing
// of the size of the file is made for it.
bool IsUtf8(QByteArrayView bytes) {
    QStringDecoder decoder(QStringConverter::Utf8);
    for (qsizetype at = 0; at < bytes.size() && !decoder.hasError(); at += 1 << 20)
        (void)QString(decoder(bytes.sliced(at, std::min<qsizetype>(1 << 20, bytes.size() - at))));
    (void)QString(decoder(QByteArrayView()));
    return !decoder.hasError();
}

// The delimiter the first row holds most often outside quotes; comma when it holds none.
template <typename Unit>
Unit Delimiter(const Unit* text, size_t size) {
    int counts[3] = {0, 0, 0};
    const Unit candidates[3] = {',', ';', '\t'};
    bool quoted = false;
    for (size_t i = 0; i < size; ++i) {
        const Unit c = text[i];
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        if (c == '\n' || c == '\r') break;
        for (int k = 0; k < 3; ++k)
            if (c == candidates[k]) ++counts[k];
    }
    const int best = static_cast<int>(std::max_element(counts, counts + 3) - counts);
    return counts[best] > 0 ? candidates[best] : Unit(',');
}

// The records of the text, units of UTF-8 (char) or UTF-16 (char16_t); makeText
// turns a field's units into its text.
template <typename Unit, typename MakeText>
std::vector<std::vector<Variant>> Records(const Unit* text, size_t size, const QString& name,
                                          MakeText makeText) {
    const Unit delimiter = Delimiter(text, size);
    std::vector<std::vector<Variant>> records;
    std::vector<Variant> record;
    std::basic_string<Unit> field;
    bool quoted = false, started = false;
    auto endField = [&] {
        if (quoted || !field.empty())
            record.emplace_back(makeText(field));
        else
            record.emplace_back();
        if (record.size() > static_cast<size_t>(kMaxColumns))
            throw RuntimeError::WorkbookDamaged(name, QStringLiteral("zu viele Spalten"));
        field.clear();
        quoted = started = false;
    };
    auto endRecord = [&] {
        endField();
        // A line with nothing on it is no row.
        if (!(record.size() == 1 && record[0].IsNull())) records.push_back(std::move(record));
        record.clear();
    };
    for (size_t i = 0; i < size;) {
        const Unit c = text[i];
        if (c == '"' && !started) {
            // A quoted field: up to the quote not followed by another one.
            quoted = started = true;
            for (++i;;) {
                const Unit* quote = std::find(text + i, text + size, Unit('"'));
                if (quote == text + size)
                    throw RuntimeError::WorkbookDamaged(
                        name, QStringLiteral("ein Anführungszeichen wird nicht geschlossen"));
                const auto at = static_cast<size_t>(quote - text);
                field.append(text + i, at - i);
                i = at + 1;
                if (i < size && text[i] == '"') {
                    field += Unit('"');
                    ++i;
                    continue;
                }
                break;
            }
            continue;
        }
        if (c == delimiter) {
            endField();
            ++i;
        } else if (c == '\r' || c == '\n') {
            i += c == '\r' && i + 1 < size && text[i + 1] == '\n' ? 2 : 1;
            endRecord();
        } else {
            // Up to the next delimiter or line break; a quote inside is a character.
            size_t end = i;
            while (end < size && text[end] != delimiter && text[end] != '\r' && text[end] != '\n')
                ++end;
            field.append(text + i, end - i);
            started = true;
            i = end;
        }
    }
    if (started || !record.empty()) endRecord();
    return records;
}

// The file's records: UTF-8 is split as bytes, every other encoding as characters.
std::vector<std::vector<Variant>> Split(QByteArray& contents, const QString& name) {
    QByteArrayView bytes(contents);
    auto fromUtf16 = [](const std::u16string& units) {
        return QString(reinterpret_cast<const QChar*>(units.data()),
                       static_cast<qsizetype>(units.size()));
    };
    auto splitText = [&](const QString& text) {
        contents.clear();  // the bytes are not needed once they are characters
        return Records(reinterpret_cast<const char16_t*>(text.utf16()),
                       static_cast<size_t>(text.size()), name, fromUtf16);
    };
    auto decode = [&](QStringConverter::Encoding encoding, QByteArrayView data) {
        QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
        return QString(decoder(data));
    };
    if (bytes.startsWith("\xFF\xFE"))
        return splitText(decode(QStringConverter::Utf16LE, bytes.sliced(2)));
    if (bytes.startsWith("\xFE\xFF"))
        return splitText(decode(QStringConverter::Utf16BE, bytes.sliced(2)));
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes = bytes.sliced(3);
    if (!IsUtf8(bytes)) return splitText(CodePage::Decode(contents, 1252));
    return Records(bytes.data(), static_cast<size_t>(bytes.size()), name,
                   [](const std::string& units) {
                       return QString::fromUtf8(units.data(), static_cast<qsizetype>(units.size()));
                   });
}

}  // namespace

SourceTable Parse(QByteArray contents, const QString& name, bool header) {
    std::vector<std::vector<Variant>> records = Split(contents, name);
    contents.clear();

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
