#include "LinkedRowsModule.h"

#include "RuntimeError.h"
#include "SqliteStatement.h"
#include "Val.h"

#include <sqlite3.h>

namespace LinkedRowsModule {
namespace {

struct Table : sqlite3_vtab {
    const Slot* slot;
};

// Walks the rows of the slot: the rows in memory, or a statement on the other file.
struct Cursor : sqlite3_vtab_cursor {
    Slot source;
    size_t row = 0;
    sqlite3_stmt* select = nullptr;
    bool hasRow = false;
    QByteArray text;

    ~Cursor() { sqlite3_finalize(select); }

    bool KeyIsNull() const {
        if (select) return sqlite3_column_type(select, 0) == SQLITE_NULL;
        return source.table->rows[row][source.key].IsNull();
    }
    // Moves to the next row with a key; a failing read of the other file is an error.
    int Advance(bool first) {
        if (!select) {
            if (!first) ++row;
            while (source.table && row < source.table->rows.size() && KeyIsNull()) ++row;
            return SQLITE_OK;
        }
        if (first) sqlite3_reset(select);
        do {
            const int rc = sqlite3_step(select);
            hasRow = rc == SQLITE_ROW;
            if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
                // Keep the other file's own message for the statement's error.
                pVtab->zErrMsg =
                    sqlite3_mprintf("'%s': %s", sqlite3_db_filename(source.database, "main"),
                                    sqlite3_errmsg(source.database));
                return rc;
            }
        } while (hasRow && KeyIsNull());
        return SQLITE_OK;
    }
    bool AtEnd() const {
        if (select) return !hasRow;
        return !source.table || row >= source.table->rows.size();
    }
};

int Connect(sqlite3* db, void* slot, int, const char* const*, sqlite3_vtab** out, char**) {
    int rc = sqlite3_declare_vtab(db, "CREATE TABLE x(k REAL, v TEXT)");
    if (rc != SQLITE_OK) return rc;
    auto* table = new Table{};
    table->slot = static_cast<const Slot*>(slot);
    *out = table;
    return SQLITE_OK;
}

int Disconnect(sqlite3_vtab* table) {
    delete static_cast<Table*>(table);
    return SQLITE_OK;
}

int BestIndex(sqlite3_vtab* vtab, sqlite3_index_info* info) {
    const Slot& source = *static_cast<Table*>(vtab)->slot;
    const double rows = source.table ? static_cast<double>(source.table->rows.size()) : 100000.0;
    info->estimatedCost = rows + 1;
    info->estimatedRows = static_cast<sqlite3_int64>(rows);
    return SQLITE_OK;
}

int Open(sqlite3_vtab* vtab, sqlite3_vtab_cursor** out) {
    auto* cursor = new Cursor{};
    cursor->source = *static_cast<Table*>(vtab)->slot;
    if (cursor->source.database &&
        sqlite3_prepare_v2(cursor->source.database, cursor->source.select.constData(), -1,
                           &cursor->select, nullptr) != SQLITE_OK) {
        vtab->zErrMsg = sqlite3_mprintf("%s", sqlite3_errmsg(cursor->source.database));
        delete cursor;
        return SQLITE_ERROR;
    }
    *out = cursor;
    return SQLITE_OK;
}

int Close(sqlite3_vtab_cursor* cursor) {
    delete static_cast<Cursor*>(cursor);
    return SQLITE_OK;
}

int Filter(sqlite3_vtab_cursor* base, int, const char*, int, sqlite3_value**) {
    auto* cursor = static_cast<Cursor*>(base);
    cursor->row = 0;
    return cursor->Advance(true);
}

int Next(sqlite3_vtab_cursor* base) { return static_cast<Cursor*>(base)->Advance(false); }

int Eof(sqlite3_vtab_cursor* base) { return static_cast<Cursor*>(base)->AtEnd(); }

// A value of the other file as the project's text column takes it.
void ResultFromSource(sqlite3_context* context, sqlite3_stmt* select, int column) {
    switch (sqlite3_column_type(select, column)) {
        case SQLITE_NULL:
            sqlite3_result_null(context);
            break;
        case SQLITE_FLOAT: {
            const QByteArray text =
                ShortestDecimal(sqlite3_column_double(select, column)).toLatin1();
            sqlite3_result_text(context, text.constData(), static_cast<int>(text.size()),
                                SQLITE_TRANSIENT);
            break;
        }
        default:  // integers and texts as their text; SQLite writes integers in their shortest form
            sqlite3_result_text(context,
                                reinterpret_cast<const char*>(sqlite3_column_text(select, column)),
                                sqlite3_column_bytes(select, column), SQLITE_TRANSIENT);
            break;
    }
}

double KeyFromSource(sqlite3_stmt* select) {
    switch (sqlite3_column_type(select, 0)) {
        case SQLITE_INTEGER:
            return static_cast<double>(sqlite3_column_int64(select, 0));
        case SQLITE_FLOAT:
            return sqlite3_column_double(select, 0);
        default:
            return Val(
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(select, 0)),
                                  sqlite3_column_bytes(select, 0)));
    }
}

int Column(sqlite3_vtab_cursor* base, sqlite3_context* context, int column) {
    auto* cursor = static_cast<Cursor*>(base);
    if (cursor->select) {
        if (column == 0)
            sqlite3_result_double(context, KeyFromSource(cursor->select));
        else
            ResultFromSource(context, cursor->select, 1);
        return SQLITE_OK;
    }
    const auto& row = cursor->source.table->rows[cursor->row];
    if (column == 0) {
        sqlite3_result_double(context, row[cursor->source.key].ToNumber());
        return SQLITE_OK;
    }
    const Variant& value = row[cursor->source.value];
    if (value.IsNull()) {
        sqlite3_result_null(context);
        return SQLITE_OK;
    }
    cursor->text = value.ToText().toUtf8();
    sqlite3_result_text(context, cursor->text.constData(), static_cast<int>(cursor->text.size()),
                        SQLITE_STATIC);
    return SQLITE_OK;
}

int RowId(sqlite3_vtab_cursor* base, sqlite3_int64* rowid) {
    *rowid = static_cast<sqlite3_int64>(static_cast<Cursor*>(base)->row);
    return SQLITE_OK;
}

sqlite3_module MakeModule() {
    sqlite3_module module{};
    module.iVersion = 1;
    module.xCreate = nullptr;  // eponymous only: the table exists without CREATE VIRTUAL TABLE
    module.xConnect = Connect;
    module.xBestIndex = BestIndex;
    module.xDisconnect = Disconnect;
    module.xOpen = Open;
    module.xClose = Close;
    module.xFilter = Filter;
    module.xNext = Next;
    module.xEof = Eof;
    module.xColumn = Column;
    module.xRowid = RowId;
    return module;
}

const sqlite3_module kModule = MakeModule();

}  // namespace

void Register(sqlite3* db, Slot* slot) {
    int rc = sqlite3_create_module_v2(db, "linked_rows", &kModule, slot, nullptr);
    if (rc != SQLITE_OK)
        throw RuntimeError::LinkedTablesUnavailable(QString::fromUtf8(sqlite3_errstr(rc)));
}

Scope::Scope(Slot& slot, const SourceTable& table, int keyColumn, int valueColumn) : slot_(slot) {
    slot_ = Slot{};
    slot_.table = &table;
    slot_.key = static_cast<size_t>(keyColumn);
    slot_.value = static_cast<size_t>(valueColumn);
}

Scope::Scope(Slot& slot, sqlite3* database, const QString& table, const QString& keyColumn,
             const QString& valueColumn)
    : slot_(slot) {
    slot_ = Slot{};
    slot_.database = database;
    slot_.select =
        QStringLiteral("SELECT %1, %2 FROM %3")
            .arg(QuoteIdentifier(keyColumn), QuoteIdentifier(valueColumn), QuoteIdentifier(table))
            .toUtf8();
}

}  // namespace LinkedRowsModule
