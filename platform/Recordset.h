#pragma once

#include "SourceTable.h"
#include "Variant.h"

#include <QString>

#include <cstdint>
#include <map>
#include <vector>

class SqliteConnection;

// An updatable cursor over rows of a table, in row order. Updated rows are
// written together, in one statement per column, when the recordset is closed
// (or before a column is read from the table); reads through the recordset see
// them at once. A recordset destroyed without Close still writes them, but
// cannot report a failure then.
class Recordset {
  public:
    // A cursor over the rows of the table of an open connection; databaseName
    // stands for the database in messages.
    Recordset(SqliteConnection& connection, QString databaseName, const QString& table,
              std::vector<int64_t> rows);
    ~Recordset();

    // Fails with 3021 when there is no row.
    void MoveFirst();
    void MoveNext();
    // True past the last row. (Called Eof: EOF is a C macro.)
    bool Eof() const { return position_ >= rows_.size(); }

    // The value of a column of the current row; fails with 3265 for an unknown column.
    // The first read of a column reads it for all rows of the recordset at once.
    Variant Value(const QString& column);
    // Edit, set values, Update: the row's new values.
    void Edit();
    void SetValue(const QString& column, const Variant& value);
    void Update();
    // Writes what Update left and closes. Fails with the engine's error.
    void Close();

  private:
    const QString& Column(const QString& name);
    void RequireCurrent() const;

    SqliteConnection& connection_;
    QString databaseName_;
    QString table_;
    std::vector<int64_t> rows_;
    size_t position_ = 0;
    std::vector<QString> columns_;
    void LoadColumn(const QString& column);
    void WriteUpdatedRows();
    std::map<QString, std::vector<Variant>> values_;
    std::map<QString, Variant> pending_;
    // Per column the rows updated and not yet written: row id and new value.
    std::map<QString, SourceTable> unwritten_;
    bool editing_ = false;
};
