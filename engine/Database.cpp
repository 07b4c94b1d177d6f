#include "Database.h"

#include "LinkedRowsModule.h"
#include "LinkedSource.h"
#include "RuntimeError.h"
#include "SheetReading.h"
#include "SourceRowsCopy.h"
#include "SqliteConnection.h"
#include "SqliteStatement.h"
#include "TemporaryDatabase.h"
#include "UpdateStatement.h"

#include <QRegularExpression>

#include <sqlite3.h>

#include <algorithm>
#include <optional>
#include <vector>

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

// What an update reads and writes, worked out before it runs.
struct Database::UpdatePlan {
    QString sql;  // the update, or for a preview the same join read
    // The source: rows in memory, or a table of a database file read as the update runs.
    const SourceTable* rows = nullptr;
    sqlite3* database = nullptr;
    QString table, file;
    QStringList columns;
    int key = 0, value = 0;  // the source's key and value columns
    int64_t total = 0;       // the rows of a database file, for the progress
    // A sheet still being read, its rows streamed: key and value are its
    // columns in the sheet until the rows are planned (PlanRows) once it is read.
    SheetReading* reading = nullptr;
    QString keyName, valueName;
};

namespace {

// The column of the sheet whose heading is name, the first of several: the one
// the table read whole gives the name to. Nothing where the table might name
// another column so (the names it gives columns without a heading, "F1", ...).
std::optional<int> HeaderColumn(const SheetStream::Cells& header, const QString& name) {
    static const QRegularExpression given(QStringLiteral("^F\\d+$"),
                                          QRegularExpression::CaseInsensitiveOption);
    if (given.match(name).hasMatch()) return std::nullopt;
    for (size_t c = 0; c < header.size(); ++c)
        if (!header[c].IsNull() && header[c].ToText().compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(c);
    return std::nullopt;
}

}  // namespace

// The key and value columns of rows read whole, and the check of the cells of
// them that could not be read.
void Database::PlanRows(UpdatePlan& plan) const {
    auto column = [&](const QString& name) {
        for (qsizetype i = 0; i < plan.columns.size(); ++i)
            if (plan.columns[i].compare(name, Qt::CaseInsensitive) == 0) return static_cast<int>(i);
        if (plan.rows && !plan.rows->place.isEmpty())
            throw RuntimeError::ColumnMissingIn(name, plan.rows->place);
        throw RuntimeError::ColumnMissing(name, plan.table, plan.file);
    };
    plan.key = column(plan.keyName);
    plan.value = column(plan.valueName);
    // A cell the reader could not read matters only in a column the update reads.
    if (plan.rows)
        for (const UnreadableCell& cell : plan.rows->unreadable)
            if (cell.column == static_cast<size_t>(plan.key) ||
                cell.column == static_cast<size_t>(plan.value))
                throw cell.error;
}

// A sheet that was streamed, read whole now: its rows planned as any others'.
void Database::TakeWholeSheet(UpdatePlan& plan) const {
    if (!plan.reading) return;
    plan.rows = &plan.reading->Table();
    plan.columns = plan.rows->columns;
    plan.reading = nullptr;
    PlanRows(plan);
}

QString Database::TargetTable(const UpdateStatement& parsed) const {
    const SqliteConnection& c = Connection();
    auto target = c.FindTable(parsed.targetTable);
    if (!target) throw RuntimeError::TableNotFound(parsed.targetTable, name_);
    const QStringList targetColumns = c.Columns(*target);
    for (const QString& column : {parsed.targetKey, parsed.targetColumn})
        if (!targetColumns.contains(column, Qt::CaseInsensitive))
            throw RuntimeError::ColumnMissing(column, *target, name_);
    return *target;
}

// The source: a linked table, or a table of this database; its key and value
// columns, and in memory the cells of them that could not be read.
void Database::PlanSource(const UpdateStatement& parsed, UpdatePlan& plan) {
    SqliteConnection& c = Connection();
    const LinkedSource::LinkedTable* linked = nullptr;
    if (auto link = tableDefs_.Find(parsed.sourceTable); link && link->IsLink())
        linked = &tableDefs_.Linked(*link);
    plan.file = linked ? linked->fileName : name_;
    plan.database = linked && linked->database ? linked->database->Handle() : c.Handle();
    plan.keyName = parsed.sourceKey;
    plan.valueName = parsed.sourceColumn;
    if (linked && linked->reading) {
        // The sheet's rows are streamed while it is read: by the columns of their headings.
        plan.table = linked->tableName;
        const SheetStream::Cells& header = *linked->reading->Header();
        const auto key = HeaderColumn(header, plan.keyName);
        const auto value = HeaderColumn(header, plan.valueName);
        plan.reading = linked->reading.get();
        if (key && value) {
            plan.key = *key;
            plan.value = *value;
            return;
        }
        TakeWholeSheet(plan);
        return;
    }
    if (linked) {
        plan.table = linked->tableName;
        plan.columns = linked->columns;
        plan.rows = linked->Table();
    } else {
        const auto stored = c.FindTable(parsed.sourceTable);
        if (!stored) throw RuntimeError::TableNotFound(parsed.sourceTable, name_);
        plan.table = *stored;
        plan.columns = c.Columns(plan.table);
    }
    PlanRows(plan);
}

Database::UpdatePlan Database::Plan(const QString& statement, const Hooks& hooks, bool write) {
    auto parsed = UpdateStatement::Parse(statement);
    if (!parsed) throw RuntimeError::InvalidStatement(statement);
    const QString target = TargetTable(*parsed);
    UpdatePlan plan;
    PlanSource(*parsed, plan);
    // The rows to read of a database file, for the progress; counting them is
    // cheap beside the update. Rows in memory are counted as they are.
    if (!plan.rows && !plan.reading && hooks.progress) {
        SqliteStatement count(
            plan.database,
            QStringLiteral("SELECT count(*) FROM %1").arg(QuoteIdentifier(plan.table)), plan.file);
        if (count.Step()) plan.total = count.ColumnInt64(0);
    }
    // One statement: SQLite applies it whole or not at all, and writes only the
    // rows whose value changes. The preview reads the same join with the source
    // as its outer loop, as the update does.
    const QString table = QuoteIdentifier(target);
    QString changes = QStringLiteral("import_changes(%1.rowid, %1.%2, s.k, s.v")
                          .arg(table, QuoteIdentifier(parsed->targetColumn));
    if (!hooks.alsoRead.isEmpty())
        changes += QStringLiteral(", %1.%2").arg(table, QuoteIdentifier(hooks.alsoRead));
    changes += QLatin1Char(')');
    const QString key = QuoteIdentifier(parsed->targetKey);
    plan.sql = write ? QStringLiteral(
                           "UPDATE main.%1 SET %2 = import_text() FROM linked_rows AS s "
                           "WHERE %1.%3 = s.k AND %4")
                           .arg(table, QuoteIdentifier(parsed->targetColumn), key, changes)
                     : QStringLiteral(
                           "SELECT %1 FROM linked_rows AS s CROSS JOIN main.%2 ON "
                           "%2.%3 = s.k")
                           .arg(changes, table, key);
    return plan;
}

Database::Pass Database::RunPass(UpdatePlan& plan, const Hooks& hooks, bool ordered,
                                 UpdateTally& tally) {
    SqliteConnection& c = Connection();
    std::optional<LinkedRowsModule::Scope> scope;
    // Rows of a source table are read as the reader gave them; ordered by key,
    // from a copy that SQLite sorts.
    std::optional<SourceRowsCopy> copy;
    if (ordered) TakeWholeSheet(plan);
    if (plan.rows && ordered) copy.emplace(*plan.rows, plan.key, plan.value);
    if (plan.reading)
        scope.emplace(c.LinkedRows(), plan.reading->Stream(), plan.key, plan.value, tally, hooks);
    else if (plan.rows && !ordered)
        scope.emplace(c.LinkedRows(), *plan.rows, plan.key, plan.value, tally, hooks);
    else if (copy)
        scope.emplace(c.LinkedRows(), copy->Handle(), SourceRowsCopy::kTable, SourceRowsCopy::kKey,
                      SourceRowsCopy::kValue, static_cast<int64_t>(plan.rows->rows.size()), tally,
                      hooks);
    else
        scope.emplace(c.LinkedRows(), plan.database, plan.table, plan.columns[plan.key],
                      plan.columns[plan.value], plan.total, tally, hooks);
    LinkedRowsModule::Slot& slot = c.LinkedRows();
    slot.ordered = ordered;
    c.Exec(QStringLiteral("SAVEPOINT import_update"));
    sqlite3_stmt* run = nullptr;
    const QByteArray sql = plan.sql.toUtf8();
    int rc = sqlite3_prepare_v2(c.Handle(), sql.constData(), -1, &run, nullptr);
    while (rc == SQLITE_OK && (rc = sqlite3_step(run)) == SQLITE_ROW) rc = SQLITE_OK;
    sqlite3_finalize(run);
    if (rc == SQLITE_DONE) {
        try {
            // A streamed sheet is whole now: what its reading found late counts too.
            TakeWholeSheet(plan);
        } catch (...) {
            sqlite3_exec(c.Handle(), "ROLLBACK TO import_update; RELEASE import_update", nullptr,
                         nullptr, nullptr);
            throw;
        }
        c.Exec(QStringLiteral("RELEASE import_update"));
        return Pass::Done;
    }
    // Keep the connection's message before the rollback replaces it.
    const QString message = QString::fromUtf8(sqlite3_errmsg(c.Handle()));
    sqlite3_exec(c.Handle(), "ROLLBACK TO import_update; RELEASE import_update", nullptr, nullptr,
                 nullptr);
    if (slot.cancelled) throw RuntimeError::Cancelled();
    if (auto failure = slot.failure) std::rethrow_exception(failure);
    if (slot.outOfOrder && !ordered) return Pass::OutOfOrder;
    ThrowSqliteError(rc, message, name_);
}

namespace {

// Sorts a list held in memory (ties as listed); false when it is longer than
// what a SpillList keeps there.
template <typename T, typename Less>
bool SortInMemory(SpillList<T>& list, Less less) {
    if (list.size() > SpillList<T>::kBatch) return false;
    std::vector<T> sorted(list.begin(), list.end());
    std::stable_sort(sorted.begin(), sorted.end(), less);
    list.clear();
    for (auto& entry : sorted) list.push_back(std::move(entry));
    return true;
}

// Source rows sorted by SQLite's sorter in a temporary database, so that a
// million of them cost no memory: each added with the number it is sorted by (ties
// as added) and the key of its ID, then read back in that order.
class RowSort {
  public:
    RowSort() : insert_(Prepare()) {}
    void Add(int64_t sortKey, double key, const UpdateTally::SourceId& row) {
        insert_.BindInt64(1, sortKey);
        insert_.BindDouble(2, key);
        insert_.BindInt64(3, row.row);
        insert_.BindText(4, row.id);
        insert_.Step();
        insert_.Reset();
    }
    // Calls read(sortKey, key, row) for every row, in order.
    template <typename Read>
    void ReadSorted(Read read) {
        db_.Exec("COMMIT");
        SqliteStatement select(
            db_.Handle(),
            QStringLiteral("SELECT sortKey, key, place, id FROM r ORDER BY sortKey, rowid"),
            TemporaryDatabase::kName);
        while (select.Step())
            read(select.ColumnInt64(0), select.Column(1).ToNumber(),
                 UpdateTally::SourceId{select.ColumnInt64(2), select.Column(3).ToText()});
    }

  private:
    SqliteStatement Prepare() {
        db_.Exec("CREATE TABLE r(sortKey, key, place, id); BEGIN");
        return SqliteStatement(db_.Handle(), QStringLiteral("INSERT INTO r VALUES (?, ?, ?, ?)"),
                               TemporaryDatabase::kName);
    }

    TemporaryDatabase db_;
    SqliteStatement insert_;
};

// Puts the unmatched rows of a pass that read the source ordered by key back
// into the source's order (ties as listed).
void PutInSourceOrder(SpillList<UpdateTally::SourceId>& list) {
    if (SortInMemory(list, [](const auto& a, const auto& b) { return a.row < b.row; })) return;
    RowSort sort;
    for (const auto& row : list) sort.Add(row.row, 0, row);
    SpillList<UpdateTally::SourceId> ordered;
    sort.ReadSorted(
        [&](int64_t, double, UpdateTally::SourceId row) { ordered.push_back(std::move(row)); });
    list = std::move(ordered);
}

// Puts the repeated IDs of a pass that read the source ordered by key into the
// order of their first rows; the rows of each are in the source's order already.
void PutInSourceOrder(SpillList<UpdateTally::Duplicate>& list) {
    if (SortInMemory(list, [](const auto& a, const auto& b) {
            return a.rows.front().row < b.rows.front().row;
        }))
        return;
    // Every row goes by its ID's first row; a row is of one ID only, so a new
    // first row begins the next ID.
    RowSort sort;
    for (const auto& duplicate : list) {
        const int64_t first = duplicate.rows.front().row;
        for (const auto& row : duplicate.rows) sort.Add(first, duplicate.key, row);
    }
    SpillList<UpdateTally::Duplicate> ordered;
    std::optional<UpdateTally::Duplicate> current;
    int64_t currentFirst = 0;
    sort.ReadSorted([&](int64_t first, double key, UpdateTally::SourceId row) {
        if (!current || first != currentFirst) {
            if (current) ordered.push_back(std::move(*current));
            current.emplace();
            current->key = key;
            currentFirst = first;
        }
        current->rows.push_back(std::move(row));
    });
    if (current) ordered.push_back(std::move(*current));
    list = std::move(ordered);
}

}  // namespace

void Database::Run(const QString& statement, const Hooks& hooks, bool write) {
    tally_ = UpdateTally{};
    UpdatePlan plan = Plan(statement, hooks, write);
    // First in the source's order; when its keys do not ascend, once more with the
    // rows ordered by key, everything of the first pass rolled back.
    for (const bool ordered : {false, true}) {
        UpdateTally tally;
        if (RunPass(plan, hooks, ordered, tally) == Pass::OutOfOrder) {
            if (hooks.changes) hooks.changes->Restart();
            if (hooks.restarted) hooks.restarted();
            continue;
        }
        // Read in the source's order, the unmatched rows are in it already.
        if (ordered) {
            PutInSourceOrder(tally.unmatched);
            PutInSourceOrder(tally.duplicates);
        }
        if (plan.rows) tally.reading = plan.rows->reading;
        tally_ = std::move(tally);
        return;
    }
}
