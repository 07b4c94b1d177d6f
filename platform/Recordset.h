#pragma once

#include <QString>
#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

#include "Variant.h"

class Database;
class SqliteStatement;

// An updatable cursor over rows of a table, in row order.
class Recordset {
  public:
    Recordset(Database& database, const QString& table, std::vector<int64_t> rows);
    ~Recordset();

    // Fails with 3021 when there is no row.
    void MoveFirst();
    void MoveNext();
    // True past the last row. (Called Eof: EOF is a C macro.)
    bool Eof() const { return position_ >= rows_.size(); }

    // The value of a column of the current row; fails with 3265 for an unknown column.
    // The first read of a column reads it for all rows of the recordset at once.
    Variant Value(const QString& column);
    // Edit, set values, Update: writes the row. Fails with the engine's error.
    void Edit();
    void SetValue(const QString& column, const Variant& value);
    void Update();
    void Close();

  private:
    const QString& Column(const QString& name);
    void RequireCurrent() const;

    Database& database_;
    QString table_;
    std::vector<int64_t> rows_;
    size_t position_ = 0;
    std::vector<QString> columns_;
    void LoadColumn(const QString& column);
    std::map<QString, std::vector<Variant>> values_;
    std::map<QString, std::unique_ptr<SqliteStatement>> writers_;
    std::map<QString, Variant> pending_;
    bool editing_ = false;
};
