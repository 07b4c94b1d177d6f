#include "LinkedSource.h"

#include "AccessReader.h"
#include "DBEngine.h"
#include "RuntimeError.h"
#include "SqliteConnection.h"
#include "XlsWorkbook.h"

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

LinkedTable OpenDatabase(const Link& link, const QString& sourceTable) {
    switch (Sniff(link.path)) {
        case FileKind::Missing:
            throw RuntimeError(
                ErrorNumber::FileNotFound,
                QStringLiteral("Die Datei '%1' wurde nicht gefunden.").arg(link.path));
        case FileKind::Unreadable:
            throw RuntimeError(
                ErrorNumber::CannotOpen,
                QStringLiteral("Die Datei '%1' kann nicht gelesen werden.").arg(link.path));
        case FileKind::Access:
            return FromRows(AccessReader::ReadTable(link.path, sourceTable));
        case FileKind::Other:
            throw RuntimeError(
                ErrorNumber::UnrecognizedFormat,
                QStringLiteral("Nicht erkanntes Datenbankformat '%1'.").arg(link.path));
        case FileKind::Sqlite:
            break;
    }
    LinkedTable linked;
    linked.database = std::make_unique<SqliteConnection>(
        link.path, SqliteConnection::Mode::ReadOnly, DBEngine::Instance().LockTimeout());
    const auto stored = linked.database->FindTable(sourceTable);
    if (!stored)
        throw RuntimeError(
            ErrorNumber::ObjectNotFound,
            QStringLiteral("Die Tabelle '%1' wurde in der Datei '%2' nicht gefunden.")
                .arg(sourceTable, link.path));
    linked.fileName = link.path;
    linked.tableName = *stored;
    linked.columns = linked.database->Columns(*stored);
    return linked;
}

LinkedTable OpenWorkbook(const Link& link, const QString& sourceTable) {
    XlsWorkbook workbook(link.path);
    QString sheet = sourceTable;
    if (sheet.endsWith(QLatin1Char('$'))) sheet.chop(1);
    if (!workbook.HasSheet(sheet))
        throw RuntimeError(
            ErrorNumber::ObjectNotFound,
            QStringLiteral("Das Tabellenblatt '%1' wurde in der Arbeitsmappe '%2' nicht gefunden.")
                .arg(sheet, link.path));
    SourceTable table = workbook.ReadSheet(sheet, link.header);
    table.tableName = sourceTable;
    return FromRows(std::move(table));
}

}  // namespace

Link Parse(const QString& connect) {
    if (connect.isEmpty())
        throw RuntimeError(
            ErrorNumber::NoLink,
            QStringLiteral("Die Tabellendefinition hat keine Verknüpfung und keine Felder; "
                           "sie kann nicht angefügt werden."));
    qsizetype at = connect.indexOf(kDatabaseKey, 0, Qt::CaseInsensitive);
    if (at < 0)
        throw RuntimeError(ErrorNumber::FileNotFound,
                           QStringLiteral("Die Verknüpfung '%1' nennt keine Datei.").arg(connect));
    Link link;
    link.path = connect.mid(at + kDatabaseKey.size());
    const QStringList parts = connect.left(at).split(QLatin1Char(';'));
    const QString type = parts.value(0).trimmed();
    if (type.isEmpty()) {
        link.kind = Link::Kind::Database;
    } else if (type.compare(QLatin1String("Excel 5.0"), Qt::CaseInsensitive) == 0 ||
               type.compare(QLatin1String("Excel 8.0"), Qt::CaseInsensitive) == 0) {
        link.kind = Link::Kind::Excel;
    } else {
        throw RuntimeError(
            ErrorNumber::IsamNotFound,
            QStringLiteral("Installierbares ISAM für '%1' nicht gefunden.").arg(type));
    }
    for (const QString& part : parts.mid(1)) {
        QString option = part.trimmed();
        if (option.compare(QLatin1String("HDR=NO"), Qt::CaseInsensitive) == 0) link.header = false;
    }
    if (link.path.isEmpty())
        throw RuntimeError(ErrorNumber::FileNotFound,
                           QStringLiteral("Die Verknüpfung '%1' nennt keine Datei.").arg(connect));
    return link;
}

LinkedTable Open(const QString& connect, const QString& sourceTable) {
    Link link = Parse(connect);
    if (sourceTable.isEmpty())
        throw RuntimeError(
            ErrorNumber::NoLink,
            QStringLiteral("Die Verknüpfung mit '%1' nennt keine Quelltabelle.").arg(link.path));
    return link.kind == Link::Kind::Excel ? OpenWorkbook(link, sourceTable)
                                          : OpenDatabase(link, sourceTable);
}

}  // namespace LinkedSource
