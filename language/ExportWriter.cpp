#include "ExportWriter.h"

#include "RuntimeError.h"

#include <QFileInfo>

#include <limits>

int64_t ExportWriter::MaxRows() const { return std::numeric_limits<int64_t>::max(); }

const std::vector<ExportWriter::Format>& ExportWriter::Formats() {
    static const std::vector<Format> formats{
        {QStringLiteral("xlsx"), QStringLiteral("Excel-Arbeitsmappe"), MakeXlsxWriter},
        {QStringLiteral("xls"), QStringLiteral("Excel 97-2003-Arbeitsmappe"), MakeXlsWriter},
        {QStringLiteral("csv"), QStringLiteral("CSV UTF-8"), MakeCsvWriter},
        {QStringLiteral("xlf"), QStringLiteral("XLIFF 1.2"), MakeXliffWriter},
        {QStringLiteral("xliff"), QStringLiteral("XLIFF 1.2"), MakeXliffWriter},
    };
    return formats;
}

const ExportWriter::Format* ExportWriter::FormatOf(const QString& path) {
    const QString extension = QFileInfo(path).suffix().toLower();
    for (const Format& format : Formats())
        if (format.extension == extension) return &format;
    return nullptr;
}

QString ExportWriter::Extensions() {
    QStringList extensions;
    for (const Format& format : Formats()) extensions << QLatin1Char('.') + format.extension;
    return extensions.join(QStringLiteral(", "));
}

QString ExportWriter::DialogFilter() {
    QStringList entries;
    const auto& formats = Formats();
    for (size_t i = 0; i < formats.size();) {
        QStringList patterns;
        const QString& description = formats[i].description;
        for (; i < formats.size() && formats[i].description == description; ++i)
            patterns << QStringLiteral("*.") + formats[i].extension;
        const QString joined = patterns.join(QLatin1Char(';'));
        entries << QStringLiteral("%1 (%2)|%2").arg(description, joined);
    }
    return entries.join(QLatin1Char('|'));
}

std::unique_ptr<ExportWriter> ExportWriter::ForFile(const QString& path) {
    if (const Format* format = FormatOf(path)) return format->make();
    throw RuntimeError::UnknownExportKind(path, Extensions());
}

bool ExportWriter::Writes(const QString& path) { return FormatOf(path) != nullptr; }
