#include "SourceFormats.h"

#include "CsvFile.h"
#include "RuntimeError.h"
#include "XliffFile.h"
#include "XlsWorkbook.h"
#include "XlsxWorkbook.h"

#include <QFileInfo>

#include <optional>
#include <type_traits>

namespace SourceFormats {
namespace {

// A workbook's sheet, the table "<sheet>$" of its link.
template <typename Workbook>
SourceTable ReadSheet(const QString& path, const QString& table, const ReadOptions& options) {
    // A streamed sheet's first rows need not wait for the whole table of texts.
    std::optional<Workbook> opened;
    if constexpr (std::is_same_v<Workbook, XlsxWorkbook>)
        opened.emplace(path, options.stream ? XlsxWorkbook::Texts::BesideTheSheet
                                            : XlsxWorkbook::Texts::AtOpen);
    else
        opened.emplace(path);
    Workbook& workbook = *opened;
    QString sheet = table;
    if (sheet.endsWith(QLatin1Char('$'))) sheet.chop(1);
    if (!workbook.HasSheet(sheet)) throw RuntimeError::SheetNotFound(sheet, path);
    SourceTable rows = workbook.ReadSheet(sheet, options.header, options.stream);
    rows.tableName = table;
    return rows;
}

SourceTable ReadXliff(const QString& path, const QString&, const ReadOptions& options) {
    return XliffFile::Read(path, options.language);
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
    using L = Linking;
    const QString none;
    // clang-format off
    static const std::vector<Format> formats{
        // extension, description, the window's filter, linking, link types, converts, reader, streams
        {u"qrp"_qs,   u"eine Projektdatei"_qs, u"QuorvinStudio-Projektdateien"_qs, L::DatabaseFile, {none}, false, nullptr},
        {u"mdb"_qs,   u"eine Datenbank"_qs,    u"Datenbankdateien"_qs, L::DatabaseFile, {none},              true, nullptr},
        {u"xls"_qs,   u"eine Excel-Arbeitsmappe"_qs, u"Excel-Dateien"_qs, L::Sheet, {u"Excel 5.0"_qs, u"Excel 8.0"_qs}, true, ReadSheet<XlsWorkbook>, true},
        {u"xlsx"_qs,  u"eine Excel-Arbeitsmappe"_qs, none, L::Sheet,        {u"Excel 12.0 Xml"_qs},     true, ReadSheet<XlsxWorkbook>, true},
        {u"csv"_qs,   u"eine Textdatei"_qs,    none, L::FileInFolder,       {u"Text"_qs},               true, ReadTextFile},
        {u"xlf"_qs,   u"eine XLIFF-Datei"_qs,  none, L::Document,           {u"XLIFF"_qs},              true, ReadXliff},
        {u"xliff"_qs, u"eine XLIFF-Datei"_qs,  none, L::Document,           {u"XLIFF"_qs},              true, ReadXliff},
    };
    // clang-format on
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
        case Linking::Document:
            return type + QStringLiteral(";LANGUAGE=%1;DATABASE=").arg(options.language) + path;
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
        case Linking::Document:
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
