#include "Database.h"

#include "LinkedRowsModule.h"
#include "LinkedSource.h"
#include "RuntimeError.h"
#include "SqliteConnection.h"
#include "SqliteStatement.h"
#include "UpdateStatement.h"

#include <sqlite3.h>

#include <optional>

Database::Database(std::unique_ptr<SqliteConnection> connection)
    : connection_(std::move(connection)),
      name_(connection_->Path()),
      tableDefs_(connection_, name_) {}

Database::~Database() { Close(); }

const QString& Database::Name() const { return name_; }

SqliteConnection& Database::Connection() const {
    if (!connection_) throw RuntimeError::DatabaseClosed(name_);
    return *connection_;
}

void Database::Close() {
    if (!connection_) return;
    if (inTransaction_) {
        sqlite3_exec(connection_->Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        inTransaction_ = false;
    }
    tableDefs_.ReleaseLinks();
    connection_.reset();
}

void Database::BeginTrans() {
    // IMMEDIATE takes the write lock now, waiting for other writers up to the lock
    // timeout, so that a locked project fails before anything is changed.
    Connection().Exec(QStringLiteral("BEGIN IMMEDIATE"));
    inTransaction_ = true;
}

void Database::CommitTrans() {
    Connection().Exec(QStringLiteral("COMMIT"));
    inTransaction_ = false;
}

void Database::Rollback() {
    if (!inTransaction_) return;
    inTransaction_ = false;
    Connection().Exec(QStringLiteral("ROLLBACK"));
}

void Database::Execute(const QString& statement, const Hooks& hooks) {
    Run(statement, hooks, true);
}

void Database::Preview(const QString& statement, const Hooks& hooks) {
    Hooks reading = hooks;
    reading.changes = nullptr;
    Run(statement, reading, false);
}

void Database::Run(const QString& statement, const Hooks& hooks, bool write) {
    tally_ = UpdateTally{};
    SqliteConnection& c = Connection();
    auto parsed = UpdateStatement::Parse(statement);
    if (!parsed) throw RuntimeError::InvalidStatement(statement);

    auto target = c.FindTable(parsed->targetTable);
    if (!target) throw RuntimeError::TableNotFound(parsed->targetTable, name_);
    const QStringList targetColumns = c.Columns(*target);
    for (const QString& column : {parsed->targetKey, parsed->targetColumn})
        if (!targetColumns.contains(column, Qt::CaseInsensitive))
            throw RuntimeError::ColumnMissing(column, *target, name_);

    // The source: a linked table, or a table of this database.
    const LinkedSource::LinkedTable* linked = nullptr;
    if (auto link = tableDefs_.Find(parsed->sourceTable); link && link->IsLink())
        linked = &tableDefs_.Linked(*link);
    QString sourceFile = name_, sourceTable;
    QStringList sourceColumns;
    if (linked) {
        sourceFile = linked->fileName;
        sourceTable = linked->tableName;
        sourceColumns = linked->columns;
    } else {
        const auto stored = c.FindTable(parsed->sourceTable);
        if (!stored) throw RuntimeError::TableNotFound(parsed->sourceTable, name_);
        sourceTable = *stored;
        sourceColumns = c.Columns(sourceTable);
    }
    const SourceTable* inMemory = linked && linked->rows ? &*linked->rows : nullptr;
    auto sourceColumn = [&](const QString& name) {
        for (qsizetype i = 0; i < sourceColumns.size(); ++i)
            if (sourceColumns[i].compare(name, Qt::CaseInsensitive) == 0)
                return static_cast<int>(i);
        if (inMemory && !inMemory->place.isEmpty())
            throw RuntimeError::ColumnMissingIn(name, inMemory->place);
        throw RuntimeError::ColumnMissing(name, sourceTable, sourceFile);
    };
    const int keyIndex = sourceColumn(parsed->sourceKey);
    const int valueIndex = sourceColumn(parsed->sourceColumn);
    // A cell the reader could not read matters only in a column the update reads.
    if (inMemory)
        for (const UnreadableCell& cell : inMemory->unreadable)
            if (cell.column == static_cast<size_t>(keyIndex) ||
                cell.column == static_cast<size_t>(valueIndex))
                throw cell.error;

    // One statement: SQLite applies it whole or not at all.
    const QString table = QuoteIdentifier(*target);
    const QString column = QuoteIdentifier(parsed->targetColumn);
    const QString key = QuoteIdentifier(parsed->targetKey);
    // Rows in memory are shown as they are; a database file's table is read as the update runs.
    // The rows to read of a database file, for the progress; counting them is cheap
    // beside the update.
    sqlite3* source = linked && linked->database ? linked->database->Handle() : c.Handle();
    int64_t total = 0;
    if (!(linked && linked->rows) && hooks.progress) {
        SqliteStatement count(
            source, QStringLiteral("SELECT count(*) FROM %1").arg(QuoteIdentifier(sourceTable)),
            sourceFile);
        if (count.Step()) total = count.ColumnInt64(0);
    }
    // One statement: SQLite applies it whole or not at all. The preview reads the
    // same join with the source as its outer loop, as the update does.
    const QString sql =
        (write ? QStringLiteral("UPDATE main.%1 SET %2 = import_text() FROM linked_rows AS s "
                                "WHERE %1.%3 = s.k AND import_changes(%1.rowid, %1.%2, s.k, s.v)")
               : QStringLiteral("SELECT import_changes(%1.rowid, %1.%2, s.k, s.v) FROM linked_rows "
                                "AS s CROSS JOIN main.%1 ON %1.%3 = s.k"))
            .arg(table, column, key);
    // First in the source's order; when its keys do not ascend, once more with the
    // rows ordered by key, everything of the first run rolled back to the savepoint.
    for (const bool ordered : {false, true}) {
        UpdateTally tally;
        std::optional<LinkedRowsModule::Scope> rows;
        if (linked && linked->rows)
            rows.emplace(c.LinkedRows(), *linked->rows, keyIndex, valueIndex, tally, hooks);
        else
            rows.emplace(c.LinkedRows(), source, sourceTable, sourceColumns[keyIndex],
                         sourceColumns[valueIndex], total, tally, hooks);
        LinkedRowsModule::Slot& slot = c.LinkedRows();
        slot.ordered = ordered;
        c.Exec(QStringLiteral("SAVEPOINT import_update"));
        try {
            SqliteStatement run(c.Handle(), sql, name_);
            while (run.Step()) {
            }
        } catch (...) {
            sqlite3_exec(c.Handle(), "ROLLBACK TO import_update; RELEASE import_update", nullptr,
                         nullptr, nullptr);
            if (slot.cancelled) throw RuntimeError::Cancelled();
            if (auto failure = slot.failure) std::rethrow_exception(failure);
            if (!slot.outOfOrder || ordered) throw;
            if (hooks.changes) hooks.changes->Restart();
            if (hooks.restarted) hooks.restarted();
            continue;
        }
        c.Exec(QStringLiteral("RELEASE import_update"));
        if (inMemory) tally.reading = inMemory->reading;
        tally_ = std::move(tally);
        return;
    }
}
