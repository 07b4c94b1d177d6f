#include "LinkedSource.h"

#include "AccessReader.h"
#include "CsvFile.h"
#include "RuntimeError.h"
#include "SqliteConnection.h"
#include "XlsWorkbook.h"
#include "XlsxWorkbook.h"

#include <QFile>
#include <QFileInfo>

namespace LinkedSource {

LinkedTable::LinkedTable() = default;
LinkedTable::LinkedTable(LinkedTable&&) noexcept = default;
LinkedTable::~LinkedTable() = default;

namespace {

const QString kDatabaseKey = QStringLiteral("DATABASE=");

enum class FileKind { Missing, Unreadable, Sqlite, Access, Other };

FileKind Sniff(const QString& path) {
    QFileInfo info(path);
    if (!info.exists() || !info.isFile()) return FileKind::Missing;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return FileKind::Unreadable;
    QByteArray head = file.read(32);
    if (head.startsWith(QByteArray("SQLite format 3\0", 16))) return FileKind::Sqlite;
    if (head.mid(4, 15) == "Standard Jet DB" || head.mid(4, 15) == "Standard ACE DB")
        return FileKind::Access;
    return FileKind::Other;
}

LinkedTable FromRows(SourceTable rows) {
    LinkedTable linked;
    linked.fileName = rows.fileName;
    linked.tableName = rows.tableName;
    linked.columns = rows.columns;
    linked.rows = std::move(rows);
    return linked;
}

LinkedTable OpenDatabase(const Link& link, const QString& sourceTable, int lockTimeoutMs) {
    switch (Sniff(link.path)) {
        case FileKind::Missing:
            throw RuntimeError::FileNotFound(link.path);
        case FileKind::Unreadable:
            throw RuntimeError::FileUnreadable(link.path);
        case FileKind::Access:
            return FromRows(AccessReader::ReadTable(link.path, sourceTable));
        case FileKind::Other:
            throw RuntimeError::UnrecognizedDatabase(link.path);
        case FileKind::Sqlite:
            break;
    }
    LinkedTable linked;
    linked.database = std::make_unique<SqliteConnection>(
        link.path, SqliteConnection::Mode::ReadOnly, lockTimeoutMs);
    const auto stored = linked.database->FindTable(sourceTable);
    if (!stored) throw RuntimeError::TableNotInFile(sourceTable, link.path);
    linked.fileName = link.path;
    linked.tableName = *stored;
    linked.columns = linked.database->Columns(*stored);
    return linked;
}

template <typename Workbook>
LinkedTable OpenWorkbook(const Link& link, const QString& sourceTable) {
    Workbook workbook(link.path);
    QString sheet = sourceTable;
    if (sheet.endsWith(QLatin1Char('$'))) sheet.chop(1);
    if (!workbook.HasSheet(sheet)) throw RuntimeError::SheetNotFound(sheet, link.path);
    SourceTable table = workbook.ReadSheet(sheet, link.header);
    table.tableName = sourceTable;
    return FromRows(std::move(table));
}

// The text driver names a file of its folder with "#" for the dot of its extension.
LinkedTable OpenText(const Link& link, const QString& sourceTable) {
    QString name = sourceTable;
    const qsizetype hash = name.lastIndexOf(QLatin1Char('#'));
    if (hash >= 0) name[hash] = QLatin1Char('.');
    if (name.contains(QLatin1Char('/')) || name == QLatin1String("..") ||
        name == QLatin1String("."))
        throw RuntimeError::TableNotInFile(sourceTable, link.path);
    QString folder = link.path;
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    CsvFile::Encoding encoding;
    encoding.codePage = link.characterSet;
    if (link.defaultCharacterSet > 0) encoding.ansiCodePage = link.defaultCharacterSet;
    SourceTable table = CsvFile::Read(folder + name, link.header, encoding);
    table.tableName = sourceTable;
    return FromRows(std::move(table));
}

}  // namespace

Link Parse(const QString& connect) {
    if (connect.isEmpty()) throw RuntimeError::NoLink(QString());
    qsizetype at = connect.indexOf(kDatabaseKey, 0, Qt::CaseInsensitive);
    if (at < 0) throw RuntimeError::LinkNamesNoFile(connect);
    Link link;
    link.path = connect.mid(at + kDatabaseKey.size());
    const QStringList parts = connect.left(at).split(QLatin1Char(';'));
    const QString type = parts.value(0).trimmed();
    if (type.isEmpty()) {
        link.kind = Link::Kind::Database;
    } else if (type.compare(QLatin1String("Excel 5.0"), Qt::CaseInsensitive) == 0 ||
               type.compare(QLatin1String("Excel 8.0"), Qt::CaseInsensitive) == 0) {
        link.kind = Link::Kind::Excel;
    } else if (type.compare(QLatin1String("Excel 12.0 Xml"), Qt::CaseInsensitive) == 0) {
        link.kind = Link::Kind::ExcelXml;
    } else if (type.compare(QLatin1String("Text"), Qt::CaseInsensitive) == 0) {
        link.kind = Link::Kind::Text;
    } else {
        throw RuntimeError::IsamNotFound(type);
    }
    for (const QString& part : parts.mid(1)) {
        QString option = part.trimmed();
        if (option.compare(QLatin1String("HDR=NO"), Qt::CaseInsensitive) == 0) link.header = false;
        const qsizetype equals = option.indexOf(QLatin1Char('='));
        const QString key = option.left(equals).trimmed();
        const int number = option.mid(equals + 1).trimmed().toInt();
        if (equals < 0 || number <= 0) continue;
        if (key.compare(QLatin1String("CharacterSet"), Qt::CaseInsensitive) == 0)
            link.characterSet = number;
        if (key.compare(QLatin1String("DefaultCharacterSet"), Qt::CaseInsensitive) == 0)
            link.defaultCharacterSet = number;
    }
    if (link.path.isEmpty()) throw RuntimeError::LinkNamesNoFile(connect);
    return link;
}

LinkedTable Open(const QString& connect, const QString& sourceTable, int lockTimeoutMs) {
    Link link = Parse(connect);
    if (sourceTable.isEmpty()) throw RuntimeError::LinkNamesNoTable(link.path);
    switch (link.kind) {
        case Link::Kind::Excel:
            return OpenWorkbook<XlsWorkbook>(link, sourceTable);
        case Link::Kind::ExcelXml:
            return OpenWorkbook<XlsxWorkbook>(link, sourceTable);
        case Link::Kind::Text:
            return OpenText(link, sourceTable);
        case Link::Kind::Database:
            break;
    }
    return OpenDatabase(link, sourceTable, lockTimeoutMs);
}

}  // namespace LinkedSource
