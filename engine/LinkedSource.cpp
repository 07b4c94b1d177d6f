#include "LinkedSource.h"

#include "AccessReader.h"
#include "RuntimeError.h"
#include "SheetReading.h"
#include "SqliteConnection.h"

#include <QFile>
#include <QFileInfo>

namespace LinkedSource {

LinkedTable::LinkedTable() = default;
LinkedTable::LinkedTable(LinkedTable&&) noexcept = default;
LinkedTable::~LinkedTable() = default;

const SourceTable* LinkedTable::Table() const {
    if (reading) return &reading->Table();
    return rows ? &*rows : nullptr;
}

const QStringList& LinkedTable::Columns() const {
    if (reading) return reading->Table().columns;
    return columns;
}

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

// A table read whole by the format's reader: a workbook's sheet, or a text file
// of the folder the link names ("#" standing for the dot of its extension).
LinkedTable ReadWhole(const Link& link, const QString& sourceTable) {
    if (link.format->streamsRows) {
        auto reading =
            std::make_unique<SheetReading>(*link.format, link.path, sourceTable, link.options);
        if (!reading->Header()) return FromRows(reading->Take());
        LinkedTable linked;
        linked.fileName = link.path;
        linked.tableName = sourceTable;
        linked.reading = std::move(reading);
        return linked;
    }
    if (link.format->linking != SourceFormats::Linking::FileInFolder)
        return FromRows(link.format->read(link.path, sourceTable, link.options));
    QString name = sourceTable;
    const qsizetype hash = name.lastIndexOf(QLatin1Char('#'));
    if (hash >= 0) name[hash] = QLatin1Char('.');
    if (name.contains(QLatin1Char('/')) || name == QLatin1String("..") ||
        name == QLatin1String("."))
        throw RuntimeError::TableNotInFile(sourceTable, link.path);
    QString folder = link.path;
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    return FromRows(link.format->read(folder + name, sourceTable, link.options));
}

}  // namespace

// The options of a link string after its type: HDR=NO, CharacterSet=,
// DefaultCharacterSet=, LANGUAGE=; others are the engine's and change nothing here.
void ReadOption(const QString& part, SourceFormats::ReadOptions& options) {
    const QString option = part.trimmed();
    if (option.compare(QLatin1String("HDR=NO"), Qt::CaseInsensitive) == 0) options.header = false;
    const qsizetype equals = option.indexOf(QLatin1Char('='));
    const QString key = option.left(equals).trimmed();
    const int number = option.mid(equals + 1).trimmed().toInt();
    if (equals < 0 || number <= 0) return;
    if (key.compare(QLatin1String("CharacterSet"), Qt::CaseInsensitive) == 0)
        options.characterSet = number;
    if (key.compare(QLatin1String("DefaultCharacterSet"), Qt::CaseInsensitive) == 0)
        options.defaultCharacterSet = number;
    if (key.compare(QLatin1String("LANGUAGE"), Qt::CaseInsensitive) == 0) options.language = number;
}

Link Parse(const QString& connect) {
    if (connect.isEmpty()) throw RuntimeError::NoLink(QString());
    qsizetype at = connect.indexOf(kDatabaseKey, 0, Qt::CaseInsensitive);
    if (at < 0) throw RuntimeError::LinkNamesNoFile(connect);
    Link link;
    link.path = connect.mid(at + kDatabaseKey.size());
    const QStringList parts = connect.left(at).split(QLatin1Char(';'));
    const QString type = parts.value(0).trimmed();
    link.format = SourceFormats::ForLinkType(type);
    if (!link.format) throw RuntimeError::IsamNotFound(type);
    for (const QString& part : parts.mid(1)) ReadOption(part, link.options);
    if (link.path.isEmpty()) throw RuntimeError::LinkNamesNoFile(connect);
    return link;
}

LinkedTable Open(const QString& connect, const QString& sourceTable, int lockTimeoutMs) {
    Link link = Parse(connect);
    if (sourceTable.isEmpty()) throw RuntimeError::LinkNamesNoTable(link.path);
    if (link.format->linking == SourceFormats::Linking::DatabaseFile)
        return OpenDatabase(link, sourceTable, lockTimeoutMs);
    return ReadWhole(link, sourceTable);
}

}  // namespace LinkedSource
