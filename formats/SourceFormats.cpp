#include "SourceFormats.h"

#include "CsvFile.h"
#include "RuntimeError.h"
#include "XlsWorkbook.h"
#include "XlsxWorkbook.h"

#include <QFileInfo>

namespace SourceFormats {
namespace {

// A workbook's sheet, the table "<sheet>$" of its link.
template <typename Workbook>
SourceTable ReadSheet(const QString& path, const QString& table, const ReadOptions& options) {
    Workbook workbook(path);
    QString sheet = table;
    if (sheet.endsWith(QLatin1Char('$'))) sheet.chop(1);
    if (!workbook.HasSheet(sheet)) throw RuntimeError::SheetNotFound(sheet, path);
    SourceTable rows = workbook.ReadSheet(sheet, options.header);
    rows.tableName = table;
    return rows;
}

SourceTable ReadTextFile(const QString& path, const QString& table, const ReadOptions& options) {
    CsvFile::Encoding encoding;
    encoding.codePage = options.characterSet;
    if (options.defaultCharacterSet > 0) encoding.ansiCodePage = options.defaultCharacterSet;
    SourceTable rows = CsvFile::Read(path, options.header, encoding);
    rows.tableName = table;
    return rows;
}

}  // namespace

const std::vector<Format>& All() {
    static const std::vector<Format> formats{
        {QStringLiteral("qrp"),
         QStringLiteral("eine Projektdatei"),
         QStringLiteral("QuorvinStudio-Projektdateien"),
         Linking::DatabaseFile,
         {QString()},
         false,
         nullptr},
        {QStringLiteral("mdb"),
         QStringLiteral("eine Datenbank"),
         QStringLiteral("Datenbankdateien"),
         Linking::DatabaseFile,
         {QString()},
         true,
         nullptr},
        {QStringLiteral("xls"),
         QStringLiteral("eine Excel-Arbeitsmappe"),
         QStringLiteral("Excel-Dateien"),
         Linking::Sheet,
         {QStringLiteral("Excel 5.0"), QStringLiteral("Excel 8.0")},
         true,
         ReadSheet<XlsWorkbook>},
        {QStringLiteral("xlsx"),
         QStringLiteral("eine Excel-Arbeitsmappe"),
         QString(),
         Linking::Sheet,
         {QStringLiteral("Excel 12.0 Xml")},
         true,
         ReadSheet<XlsxWorkbook>},
        {QStringLiteral("csv"),
         QStringLiteral("eine Textdatei"),
         QString(),
         Linking::FileInFolder,
         {QStringLiteral("Text")},
         true,
         ReadTextFile},
    };
    return formats;
}

const Format* ForExtension(const QString& extension) {
    for (const Format& format : All())
        if (format.extension == extension) return &format;
    return nullptr;
}

const Format* ForLinkType(const QString& type) {
    for (const Format& format : All())
        for (const QString& linkType : format.linkTypes)
            if (linkType.compare(type, Qt::CaseInsensitive) == 0) return &format;
    return nullptr;
}

QString Connect(const Format& format, const QString& path, const ReadOptions& options) {
    const QString& type = format.linkTypes.first();
    switch (format.linking) {
        case Linking::DatabaseFile:
            return type + QStringLiteral(";DATABASE=") + path;
        case Linking::Sheet:
            return type + QStringLiteral(";HDR=YES;IMEX=2;DATABASE=") + path;
        case Linking::FileInFolder:
            break;
    }
    QString connect = type + QStringLiteral(";HDR=YES;FMT=Delimited;");
    if (options.defaultCharacterSet > 0)
        connect += QStringLiteral("DefaultCharacterSet=%1;").arg(options.defaultCharacterSet);
    if (options.characterSet > 0)
        connect += QStringLiteral("CharacterSet=%1;").arg(options.characterSet);
    return connect + QStringLiteral("DATABASE=") + QFileInfo(path).absolutePath();
}

QString SourceTableName(const Format& format, const QString& path) {
    switch (format.linking) {
        case Linking::DatabaseFile:
            return QStringLiteral("TidxTexts");
        case Linking::Sheet:
            return QStringLiteral("TidxTexts$");
        case Linking::FileInFolder:
            break;
    }
    // The text driver names a file of its folder with "#" for the dot of its extension.
    QString table = QFileInfo(path).fileName();
    table[table.lastIndexOf(QLatin1Char('.'))] = QLatin1Char('#');
    return table;
}

QString Extensions() {
    QStringList extensions;
    for (const Format& format : All()) extensions << QLatin1Char('.') + format.extension;
    return extensions.join(QStringLiteral(", "));
}

QString Described() {
    QStringList kinds;
    for (size_t i = 0; i < All().size();) {
        const QString& description = All()[i].description;
        QStringList extensions;
        for (; i < All().size() && All()[i].description == description; ++i)
            extensions << QLatin1Char('.') + All()[i].extension;
        kinds << QStringLiteral("%1 (%2)").arg(description, extensions.join(QStringLiteral(", ")));
    }
    const QString last = kinds.takeLast();
    return kinds.isEmpty() ? last
                           : kinds.join(QStringLiteral(", ")) + QStringLiteral(" oder ") + last;
}

QString WindowFilter() {
    QString filter;
    for (const Format& format : All())
        if (!format.windowFilter.isEmpty())
            filter += QStringLiteral("%1 (*.%2)|*.%2|").arg(format.windowFilter, format.extension);
    return filter + QStringLiteral("Alle Dateien (*.*)|*.*");
}

}  // namespace SourceFormats
