#include "SourceRowsCopy.h"

#include <sqlite3.h>

namespace {

// Binds a cell: as a key (its number unless a text or Null) or as a value (its text unless a
// number or Null).
void Bind(sqlite3_stmt* insert, int index, const Variant& cell, bool key, QByteArray& utf8) {
    if (cell.IsNull()) {
        sqlite3_bind_null(insert, index);
    } else if (cell.IsNumber() || (key && cell.IsBoolean())) {
        sqlite3_bind_double(insert, index, cell.ToNumber());
    } else {
        const QByteArray& text = cell.ToUtf8(utf8);
        sqlite3_bind_text(insert, index, text.constData(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    }
}

}  // namespace

SourceRowsCopy::SourceRowsCopy(const SourceTable& table, size_t keyColumn, size_t valueColumn) {
    db_.Exec("CREATE TABLE rows(k, v); BEGIN");
    sqlite3_stmt* insert = nullptr;
    db_.Check(sqlite3_prepare_v2(db_.Handle(), "INSERT INTO rows(rowid, k, v) VALUES (?, ?, ?)", -1,
                                 &insert, nullptr));
    QByteArray key, value;
    int rc = SQLITE_DONE;
    int64_t place = 0;
    for (SourceRows::Reader reader(table.rows); rc == SQLITE_DONE && reader.Next();) {
        sqlite3_bind_int64(insert, 1, ++place);
        Bind(insert, 2, reader.Cell(keyColumn), true, key);
        Bind(insert, 3, reader.Cell(valueColumn), false, value);
        rc = sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    db_.Check(rc);
    db_.Exec("COMMIT");
}
