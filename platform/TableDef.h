#pragma once

#include <QString>
#include <QStringList>

class Database;

// A table definition: a table of the database, or a link to a table of another
// file (Connect and SourceTableName set). A new definition is not part of the
// database until it is appended to the database's TableDefs.
class TableDef {
  public:
    explicit TableDef(QString name) : name_(std::move(name)) {}

    const QString& Name() const { return name_; }
    const QString& Connect() const { return connect_; }
    void SetConnect(const QString& connect) { connect_ = connect; }
    const QString& SourceTableName() const { return sourceTableName_; }
    void SetSourceTableName(const QString& name) { sourceTableName_ = name; }
    bool IsLink() const { return !connect_.isEmpty(); }

    // The column names in table order. For a link they are read from its source.
    QStringList Fields() const;

  private:
    friend class TableDefCollection;
    QString name_;
    QString connect_;
    QString sourceTableName_;
    Database* database_ = nullptr;  // set once the definition belongs to a database
};
