#include "LinkedRowsModule.h"

#include "RuntimeError.h"
#include "SqliteStatement.h"
#include "Val.h"

#include <sqlite3.h>

#include <algorithm>
#include <optional>
#include <unordered_map>

namespace LinkedRowsModule {
namespace {

struct Table : sqlite3_vtab {
    Slot* slot;
};

// The source reads last row first, so the first row seen with a key is the one
// that wins; earlier rows with that key are recorded as duplicates and left out.
// Rows are numbered from the end while reading (0 = the last row) and turned into
// source order when the table has been read to its end.
struct Cursor : sqlite3_vtab_cursor {
    Slot* slot = nullptr;
    sqlite3_stmt* select = nullptr;
    size_t remaining = 0;  // rows in memory not yet read: the current row is remaining
    bool atEnd = true;
    int64_t read = 0;  // rows read so far

    // The current row, shown to the statement.
    double key = 0;
    int64_t fromEnd = 0;
    std::optional<QString> writtenId;  // a text ID as written; numbers are their shortest form
    bool noNumber = false;

    // Keys shown so far: where the shown row is, and its entry in the tally's duplicates.
    struct Seen {
        int64_t fromEnd = 0;
        int32_t duplicate = -1;
    };
    std::unordered_map<double, Seen> seen;
    // The written IDs of shown rows whose text differs from the shortest form of their key.
    std::unordered_map<double, QString> oddIds;
    QByteArray text;

    ~Cursor() { sqlite3_finalize(select); }

    UpdateTally& Tally() { return *slot->tally; }

    QString IdOf(const std::optional<QString>& written, double k) const {
        return written ? *written : ShortestDecimal(k);
    }

    // Reads the next row of the source (backwards); false at the end or on an error (rc).
    bool ReadRow(int& rc, bool& keyIsNull) {
        rc = SQLITE_OK;
        if (!select) {
            if (!slot->table || remaining == 0) return false;
            --remaining;
            const Variant& id = slot->table->rows[remaining][slot->key];
            keyIsNull = id.IsNull();
            if (!keyIsNull) {
                key = id.ToNumber();
                writtenId = id.IsText() ? std::optional<QString>(id.Text()) : std::nullopt;
            }
            return true;
        }
        rc = sqlite3_step(select);
        if (rc != SQLITE_ROW) {
            if (rc == SQLITE_DONE) rc = SQLITE_OK;
            return false;
        }
        rc = SQLITE_OK;
        keyIsNull = sqlite3_column_type(select, 0) == SQLITE_NULL;
        if (keyIsNull) return true;
        switch (sqlite3_column_type(select, 0)) {
            case SQLITE_INTEGER:
                key = static_cast<double>(sqlite3_column_int64(select, 0));
                writtenId.reset();
                break;
            case SQLITE_FLOAT:
                key = sqlite3_column_double(select, 0);
                writtenId.reset();
                break;
            default: {
                writtenId =
                    QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(select, 0)),
                                      sqlite3_column_bytes(select, 0));
                key = Val(*writtenId);
                break;
            }
        }
        return true;
    }

    // Counts the row just shown: matched or not, and where an ID without a number went.
    void FinishShownRow() {
        if (atEnd) return;
        UpdateTally& tally = Tally();
        if (!slot->rowMatched) tally.unmatched.push_back({fromEnd, IdOf(writtenId, key)});
        if (noNumber) tally.noNumber.push_back({{fromEnd, *writtenId}, slot->rowMatched});
    }

    // Moves to the next row to show; a failing read of the other file is an error.
    int Advance() {
        FinishShownRow();
        UpdateTally& tally = Tally();
        int rc = SQLITE_OK;
        bool keyIsNull = false;
        while (ReadRow(rc, keyIsNull)) {
            fromEnd = read++;
            ++tally.sourceRows;
            if (keyIsNull) {
                ++tally.nullKeys;
                continue;
            }
            noNumber = writtenId && !BeginsWithNumber(*writtenId);
            auto [entry, first] = seen.try_emplace(key, Seen{fromEnd, -1});
            if (first) {
                if (writtenId && *writtenId != ShortestDecimal(key))
                    oddIds.emplace(key, *writtenId);
                slot->rowMatched = false;
                atEnd = false;
                return SQLITE_OK;
            }
            // A row before the one shown for this key: it loses.
            if (entry->second.duplicate < 0) {
                entry->second.duplicate = static_cast<int32_t>(tally.duplicates.size());
                auto odd = oddIds.find(key);
                UpdateTally::Duplicate duplicate;
                duplicate.key = key;
                duplicate.rows.push_back({entry->second.fromEnd, odd == oddIds.end()
                                                                     ? ShortestDecimal(key)
                                                                     : odd->second});
                tally.duplicates.push_back(std::move(duplicate));
            }
            const QString id = IdOf(writtenId, key);
            tally.duplicates[static_cast<size_t>(entry->second.duplicate)].rows.push_back(
                {fromEnd, id});
            if (noNumber) tally.noNumber.push_back({{fromEnd, id}, false});
        }
        atEnd = true;
        if (rc != SQLITE_OK) {
            // Keep the other file's own message for the statement's error.
            pVtab->zErrMsg =
                sqlite3_mprintf("'%s': %s", sqlite3_db_filename(slot->database, "main"),
                                sqlite3_errmsg(slot->database));
            return rc;
        }
        PutIntoSourceOrder();
        return SQLITE_OK;
    }

    void PutIntoSourceOrder() {
        UpdateTally& tally = Tally();
        const int64_t total = tally.sourceRows;
        auto place = [total](UpdateTally::SourceId& row) { row.row = total - row.row; };
        std::reverse(tally.unmatched.begin(), tally.unmatched.end());
        for (auto& row : tally.unmatched) place(row);
        std::reverse(tally.noNumber.begin(), tally.noNumber.end());
        for (auto& row : tally.noNumber) place(row.source);
        for (auto& duplicate : tally.duplicates) {
            // Read winner first, then the earlier rows backwards.
            std::reverse(duplicate.rows.begin(), duplicate.rows.end());
            for (auto& row : duplicate.rows) place(row);
        }
        std::sort(
            tally.duplicates.begin(), tally.duplicates.end(),
            [](const auto& a, const auto& b) { return a.rows.front().row < b.rows.front().row; });
    }
};

int Connect(sqlite3* db, void* slot, int, const char* const*, sqlite3_vtab** out, char**) {
    int rc = sqlite3_declare_vtab(db, "CREATE TABLE x(k REAL, v TEXT)");
    if (rc != SQLITE_OK) return rc;
    auto* table = new Table{};
    table->slot = static_cast<Slot*>(slot);
    *out = table;
    return SQLITE_OK;
}

int Disconnect(sqlite3_vtab* table) {
    delete static_cast<Table*>(table);
    return SQLITE_OK;
}

int BestIndex(sqlite3_vtab* vtab, sqlite3_index_info* info) {
    // The table is read once, whole, as the outer loop: it uses no constraint, and
    // reading it costs so much that a plan reading it again for every row of
    // another table costs more than any other.
    const Slot& source = *static_cast<Table*>(vtab)->slot;
    const double rows = source.table ? static_cast<double>(source.table->rows.size()) : 100000.0;
    info->estimatedCost = 1e12 + rows;
    info->estimatedRows = static_cast<sqlite3_int64>(rows);
    return SQLITE_OK;
}

int Open(sqlite3_vtab* vtab, sqlite3_vtab_cursor** out) {
    auto* cursor = new Cursor{};
    Slot* slot = static_cast<Table*>(vtab)->slot;
    cursor->slot = slot;
    if (slot->database &&
        sqlite3_prepare_v2(slot->database, slot->select.constData(), -1, &cursor->select,
                           nullptr) != SQLITE_OK &&
        sqlite3_prepare_v2(slot->database, slot->unorderedSelect.constData(), -1, &cursor->select,
                           nullptr) != SQLITE_OK) {
        vtab->zErrMsg = sqlite3_mprintf("%s", sqlite3_errmsg(slot->database));
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
    Slot& slot = *cursor->slot;
    if (!slot.tally || slot.scanned) {
        // Counting twice would give a wrong tally; no plan of the import reads it twice.
        base->pVtab->zErrMsg = sqlite3_mprintf("linked_rows is read once per import");
        return SQLITE_ERROR;
    }
    slot.scanned = true;
    cursor->remaining = slot.table ? slot.table->rows.size() : 0;
    cursor->atEnd = true;  // nothing shown yet
    return cursor->Advance();
}

int Next(sqlite3_vtab_cursor* base) { return static_cast<Cursor*>(base)->Advance(); }

int Eof(sqlite3_vtab_cursor* base) { return static_cast<Cursor*>(base)->atEnd; }

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

int Column(sqlite3_vtab_cursor* base, sqlite3_context* context, int column) {
    auto* cursor = static_cast<Cursor*>(base);
    if (column == 0) {
        sqlite3_result_double(context, cursor->key);
        return SQLITE_OK;
    }
    if (cursor->select) {
        ResultFromSource(context, cursor->select, 1);
        return SQLITE_OK;
    }
    const Variant& value = cursor->slot->table->rows[cursor->remaining][cursor->slot->value];
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
    *rowid = static_cast<sqlite3_int64>(static_cast<Cursor*>(base)->fromEnd);
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

bool SameText(sqlite3_value* old, const QByteArray& now) {
    const int size = sqlite3_value_bytes(old);
    if (size != now.size()) return false;
    const auto* bytes = sqlite3_value_text(old);
    return size == 0 || std::equal(now.constData(), now.constData() + size,
                                   reinterpret_cast<const char*>(bytes));
}

// import_value(old, k, v): the new text of a target row, counted into the tally.
void ImportValue(sqlite3_context* context, int, sqlite3_value** args) {
    auto* slot = static_cast<Slot*>(sqlite3_user_data(context));
    if (!slot->tally) {
        sqlite3_result_error(context, "import_value outside an import", -1);
        return;
    }
    UpdateTally& tally = *slot->tally;
    slot->rowMatched = true;
    ++tally.matched;
    const bool oldIsNull = sqlite3_value_type(args[0]) == SQLITE_NULL;
    if (sqlite3_value_type(args[2]) == SQLITE_NULL) {
        ++(oldIsNull ? tally.unchanged : tally.changed);
        if (!oldIsNull) ++tally.setToNull;
        sqlite3_result_null(context);
        return;
    }
    QByteArray now(reinterpret_cast<const char*>(sqlite3_value_text(args[2])),
                   sqlite3_value_bytes(args[2]));
    if (slot->convert && *slot->convert && !now.isEmpty()) {
        try {
            now = (*slot->convert)(sqlite3_value_double(args[1]), QString::fromUtf8(now)).toUtf8();
        } catch (...) {
            // The statement fails; the runner of the statement rethrows the error itself.
            slot->failure = std::current_exception();
            sqlite3_result_error(context, "conversion failed", -1);
            return;
        }
    }
    ++(!oldIsNull && SameText(args[0], now) ? tally.unchanged : tally.changed);
    sqlite3_result_text(context, now.constData(), static_cast<int>(now.size()), SQLITE_TRANSIENT);
}

}  // namespace

void Register(sqlite3* db, Slot* slot) {
    int rc = sqlite3_create_module_v2(db, "linked_rows", &kModule, slot, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "import_value", 3, SQLITE_UTF8 | SQLITE_DIRECTONLY,
                                        slot, ImportValue, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw RuntimeError::LinkedTablesUnavailable(QString::fromUtf8(sqlite3_errstr(rc)));
}

Scope::Scope(Slot& slot, const SourceTable& table, int keyColumn, int valueColumn,
             UpdateTally& tally, const ValueConversion& convert)
    : slot_(slot) {
    slot_ = Slot{};
    slot_.table = &table;
    slot_.key = static_cast<size_t>(keyColumn);
    slot_.value = static_cast<size_t>(valueColumn);
    slot_.tally = &tally;
    slot_.convert = &convert;
}

Scope::Scope(Slot& slot, sqlite3* database, const QString& table, const QString& keyColumn,
             const QString& valueColumn, UpdateTally& tally, const ValueConversion& convert)
    : slot_(slot) {
    slot_ = Slot{};
    slot_.database = database;
    const QString key = QuoteIdentifier(keyColumn), value = QuoteIdentifier(valueColumn),
                  from = QuoteIdentifier(table);
    slot_.select =
        QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY rowid DESC").arg(key, value, from).toUtf8();
    slot_.unorderedSelect =
        QStringLiteral(
            "SELECT k, v FROM (SELECT %1 AS k, %2 AS v, row_number() OVER () AS n "
            "FROM %3) ORDER BY n DESC")
            .arg(key, value, from)
            .toUtf8();
    slot_.tally = &tally;
    slot_.convert = &convert;
}

}  // namespace LinkedRowsModule
