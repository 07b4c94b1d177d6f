#pragma once

#include "LinkedRowsModule.h"
#include "TableDef.h"
#include "TableDefCollection.h"
#include "UpdateStatement.h"
#include "UpdateTally.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class SqliteConnection;

// An open project database. Closing it (or destroying it) rolls back a transaction
// that was not committed.
class Database {
  public:
    // Takes over an open connection (see DBEngine::OpenDatabase).
    explicit Database(std::unique_ptr<SqliteConnection> connection);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const QString& Name() const;

    TableDefCollection& TableDefs() { return tableDefs_; }
    TableDef CreateTableDef(const QString& name) const { return TableDef(name); }

    // What the update does beside copying: the conversion of the texts, who is
    // told of the changes, the progress (see LinkedRowsModule).
    using Hooks = LinkedRowsModule::Hooks;

    // Runs the update statement of the language import (see UpdateStatement): every
    // row of the target table whose key equals the Val() of a source row's key gets
    // that row's value, Null included, through the hooks' conversion. Source
    // rows with a Null key are ignored; of several source rows with the same key the
    // last one in the source's order wins. Fails with 3129 for any other statement,
    // 3078 when a table is missing, 3061 when a column is missing, 3059 when the
    // progress cancels it; on failure nothing has changed.
    void Execute(const QString& statement, const Hooks& hooks = {});
    // Runs the statement as Execute does, counting the same, but changes nothing.
    void Preview(const QString& statement, const Hooks& hooks = {});
    // What the last Execute or Preview did (see UpdateTally).
    const UpdateTally& LastTally() const { return tally_; }
    int64_t RecordsAffected() const { return tally_.matched; }

    // One transaction around several changes; it waits for other writers' locks.
    void BeginTrans();
    void CommitTrans();
    void Rollback();

    void Close();

    SqliteConnection& Connection() const;

  private:
    struct UpdatePlan;
    enum class Pass { Done, OutOfOrder };
    QString TargetTable(const UpdateStatement& parsed) const;
    void PlanSource(const UpdateStatement& parsed, UpdatePlan& plan);
    void PlanRows(UpdatePlan& plan) const;
    void TakeWholeSheet(UpdatePlan& plan) const;
    UpdatePlan Plan(const QString& statement, const Hooks& hooks, bool write);
    // Runs the update once, in the source's order or ordered by key; a pass that
    // finds the source out of order is rolled back and says so.
    Pass RunPass(UpdatePlan& plan, const Hooks& hooks, bool ordered, UpdateTally& tally);
    void Run(const QString& statement, const Hooks& hooks, bool write);

    std::unique_ptr<SqliteConnection> connection_;
    QString name_;
    TableDefCollection tableDefs_;
    UpdateTally tally_;
    bool inTransaction_ = false;
};
