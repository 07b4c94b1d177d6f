#pragma once

#include <QString>
#include <optional>

// The one statement the engine runs: an update of a table's column from a joined
// table, matched on the key's Val() value:
//   UPDATE [SELECT T.c, S.c FROM T INNER JOIN S ON T.ID = Val(S.ID)]. AS X SET T.c = S.c;
// Keywords and names compare without regard to case; blanks between words are free.
struct UpdateStatement {
    QString targetTable;
    QString targetKey;
    QString targetColumn;
    QString sourceTable;
    QString sourceKey;
    QString sourceColumn;

    // The statement's parts, or nothing when the text is not of this form.
    static std::optional<UpdateStatement> Parse(const QString& text);
};
