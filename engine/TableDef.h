#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// A table definition: a table of the database, or a link to a table of another
// file (Connect and SourceTableName set). A new definition is not part of the
// database until it is appended to the database's TableDefs; one that the
// collection hands out knows how to read its columns.
class TableDef {
  public:
    using FieldReader = std::function<QStringList()>;

    explicit TableDef(QString name, FieldReader fields = {})
        : name_(std::move(name)), fields_(std::move(fields)) {}

    const QString& Name() const { return name_; }
    const QString& Connect() const { return connect_; }
    void SetConnect(const QString& connect) { connect_ = connect; }
    const QString& SourceTableName() const { return sourceTableName_; }
    void SetSourceTableName(const QString& name) { sourceTableName_ = name; }
    bool IsLink() const { return !connect_.isEmpty(); }

    // The column names in table order (for a link, read from its source); none for
    // a definition that is not part of a database yet.
    QStringList Fields() const { return fields_ ? fields_() : QStringList(); }

  private:
    QString name_;
    QString connect_;
    QString sourceTableName_;
    FieldReader fields_;
};
