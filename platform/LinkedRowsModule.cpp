#include "LinkedRowsModule.h"

#include "RuntimeError.h"

#include <sqlite3.h>

namespace LinkedRowsModule {
namespace {

struct Table : sqlite3_vtab {
    const Slot* slot;
};

struct Cursor : sqlite3_vtab_cursor {
    Slot source;
    size_t row = 0;
    QByteArray text;
    void SkipNullKeys() {
        while (source.table && row < source.table->rows.size() &&
               source.table->rows[row][source.key].IsNull())
            ++row;
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
    const double rows = source.table ? static_cast<double>(source.table->rows.size()) : 0.0;
    info->estimatedCost = rows + 1;
    info->estimatedRows = static_cast<sqlite3_int64>(rows);
    return SQLITE_OK;
}

int Open(sqlite3_vtab* vtab, sqlite3_vtab_cursor** out) {
    auto* cursor = new Cursor{};
    cursor->source = *static_cast<Table*>(vtab)->slot;
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
    cursor->SkipNullKeys();
    return SQLITE_OK;
}

int Next(sqlite3_vtab_cursor* base) {
    auto* cursor = static_cast<Cursor*>(base);
    ++cursor->row;
    cursor->SkipNullKeys();
    return SQLITE_OK;
}

int Eof(sqlite3_vtab_cursor* base) {
    auto* cursor = static_cast<Cursor*>(base);
    return !cursor->source.table || cursor->row >= cursor->source.table->rows.size();
}

int Column(sqlite3_vtab_cursor* base, sqlite3_context* context, int column) {
    auto* cursor = static_cast<Cursor*>(base);
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
        throw RuntimeError(
            ErrorNumber::ReservedError,
            QStringLiteral("Verknüpfte Tabellen können nicht bereitgestellt werden: %1")
                .arg(QString::fromUtf8(sqlite3_errstr(rc))));
}

Scope::Scope(Slot& slot, const SourceTable& table, int keyColumn, int valueColumn) : slot_(slot) {
    slot_ = Slot{&table, static_cast<size_t>(keyColumn), static_cast<size_t>(valueColumn)};
}

}  // namespace LinkedRowsModule
