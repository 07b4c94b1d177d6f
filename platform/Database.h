#pragma once

#include "TableDef.h"
#include "TableDefCollection.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class Recordset;
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

    // Runs the update statement of the language import (see UpdateStatement): every
    // row of the target table whose key equals the Val() of a source row's key gets
    // that row's value, Null included. Source rows with a Null key are ignored.
    // Fails with 3129 for any other statement, 3078 when a table is missing, 3061
    // when a column is missing; on failure nothing has changed.
    void Execute(const QString& statement);
    // What the last Execute changed: the number of rows and their row ids.
    int64_t RecordsAffected() const { return static_cast<int64_t>(changedRows_.size()); }
    const std::vector<int64_t>& ChangedRows() const { return changedRows_; }

    // An updatable cursor over all rows of a table, or over the given rows only.
    std::unique_ptr<Recordset> OpenRecordset(const QString& table);
    std::unique_ptr<Recordset> OpenRecordset(const QString& table, std::vector<int64_t> rows);

    // One transaction around several changes; it waits for other writers' locks.
    void BeginTrans();
    void CommitTrans();
    void Rollback();

    void Close();

    SqliteConnection& Connection() const;

  private:
    // The name a table is stored under; fails with 3011 when there is none.
    QString StoredTableName(const QString& table) const;

    std::unique_ptr<SqliteConnection> connection_;
    QString name_;
    TableDefCollection tableDefs_;
    std::vector<int64_t> changedRows_;
    bool inTransaction_ = false;
};
