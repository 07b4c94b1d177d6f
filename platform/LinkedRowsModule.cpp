#include "LinkedRowsModule.h"

#include "RuntimeError.h"
#include "SqliteStatement.h"
#include "Val.h"

#include <sqlite3.h>

#include <algorithm>
#include <bit>
#include <optional>
#include <unordered_map>
#include <vector>

namespace LinkedRowsModule {

// What the rows of one key have counted into the tally: the counts of the row
// that holds the key now (its value is the one that stays), so that a later row
// with the key can take them back when it replaces that row.
// What the rows of one key have counted into the tally: the counts of the row
// that holds the key now (its value is the one that stays), so that a later row
// with the key can take them back when it replaces that row. Eight bytes, as a
// source may have millions of keys: row places in 32 bits (no translation table
// has two thousand million rows) and counts that stop at 255 (one project row
// per ID in all but odd projects).
struct KeyCounts {
    int32_t lastRow = 0;  // the last row read with this key
    uint8_t matched = 0;
    uint8_t changed = 0;
    uint8_t unchanged = 0;
    uint8_t setToNull = 0;
};

namespace {

// The keys read so far. Sources mostly come in ascending order of their keys:
// those keys are appended to a sorted array and cost no look-up; a key that is not
// above all before it is searched there and otherwise kept in an open-addressed
// array by the bits of its number. Entries stay where they are until the next call.
class KeyTable {
  public:
    // Room for that many keys in order, so that the array need not grow (and be
    // held twice while it does).
    void Reserve(int64_t keys) { sorted_.reserve(static_cast<size_t>(std::max<int64_t>(keys, 0))); }

    // The entry of the key and whether it was added now.
    std::pair<KeyCounts*, bool> Insert(double key) {
        if (key == 0.0) key = 0.0;  // -0 is 0
        if (sorted_.empty() || key > sorted_.back().key) {
            sorted_.push_back({key, {}});
            return {&sorted_.back().counts, true};
        }
        if (KeyCounts* found = FindSorted(key)) return {found, false};
        return InsertOther(key);
    }
    const KeyCounts* Find(double key) {
        if (key == 0.0) key = 0.0;
        if (KeyCounts* found = FindSorted(key)) return found;
        if (others_.empty()) return nullptr;
        const uint64_t bits = std::bit_cast<uint64_t>(key);
        for (size_t i = Home(bits);; i = (i + 1) & (others_.size() - 1)) {
            if (!others_[i].used) return nullptr;
            if (others_[i].entry.key == key) return &others_[i].entry.counts;
        }
    }

  private:
    struct Entry {
        double key;
        KeyCounts counts;
    };
    struct Other {
        bool used = false;
        Entry entry{};
    };

    KeyCounts* FindSorted(double key) {
        auto at = std::lower_bound(sorted_.begin(), sorted_.end(), key,
                                   [](const Entry& e, double k) { return e.key < k; });
        return at != sorted_.end() && at->key == key ? &at->counts : nullptr;
    }
    std::pair<KeyCounts*, bool> InsertOther(double key) {
        if ((count_ + 1) * 2 > others_.size()) Grow();
        const uint64_t bits = std::bit_cast<uint64_t>(key);
        for (size_t i = Home(bits);; i = (i + 1) & (others_.size() - 1)) {
            Other& other = others_[i];
            if (!other.used) {
                other = Other{true, {key, {}}};
                ++count_;
                return {&other.entry.counts, true};
            }
            if (other.entry.key == key) return {&other.entry.counts, false};
        }
    }
    size_t Home(uint64_t bits) const {
        return static_cast<size_t>((bits * 0x9E3779B97F4A7C15ull) >> shift_);
    }
    void Grow() {
        std::vector<Other> old = std::move(others_);
        const size_t capacity = old.empty() ? 1024 : old.size() * 2;
        others_.assign(capacity, Other{});
        shift_ = 64 - std::countr_zero(capacity);
        for (const Other& other : old) {
            if (!other.used) continue;
            const uint64_t bits = std::bit_cast<uint64_t>(other.entry.key);
            size_t i = Home(bits);
            while (others_[i].used) i = (i + 1) & (capacity - 1);
            others_[i] = other;
        }
    }

    std::vector<Entry> sorted_;
    std::vector<Other> others_;
    size_t count_ = 0;
    int shift_ = 64;
};

// Whether a text ID reads exactly as the shortest form of its number ("12", not
// " 12", "012" or "12abc"): then the number alone keeps it. Plain integers are
// checked without formatting the number.
bool IsShortestForm(const QString& id, double key) {
    const qsizetype size = id.size();
    qsizetype i = size > 0 && id[0] == u'-' ? 1 : 0;
    if (size - i >= 1 && size - i <= 15) {
        bool digits = true;
        for (qsizetype j = i; j < size && digits; ++j) digits = id[j] >= u'0' && id[j] <= u'9';
        if (digits) return (id[i] != u'0' || size - i == 1) && !(i == 1 && key == 0.0);
    }
    return id == ShortestDecimal(key);
}

constexpr int64_t kProgressRows = 4096;

// Takes what a key's earlier row counted out of the tally.
void TakeBack(UpdateTally& tally, KeyCounts& counts) {
    tally.matched -= counts.matched;
    tally.changed -= counts.changed;
    tally.unchanged -= counts.unchanged;
    tally.setToNull -= counts.setToNull;
    counts = KeyCounts{counts.lastRow};
}

struct Table : sqlite3_vtab {
    Slot* slot;
};

// Walks the rows of the slot in the source's order: the rows in memory, or a
// statement on the other file. Rows are numbered from 1 as read.
struct Cursor : sqlite3_vtab_cursor {
    Slot* slot = nullptr;
    sqlite3_stmt* select = nullptr;
    size_t next = 0;  // the next row in memory to read
    bool atEnd = true;

    // The current row, shown to the statement.
    double key = 0;
    std::optional<QString> writtenId;  // a text ID as written; numbers are their shortest form
    bool noNumber = false;

    KeyTable keys;
    // The keys that several rows have: their entry in the tally's duplicates.
    std::unordered_map<double, size_t> duplicateOf;
    // The written IDs of rows whose text differs from the shortest form of their key,
    // for the first row of each key (a duplicate's list starts with it).
    std::unordered_map<double, QString> oddIds;
    // The rows whose ID has no number, with whether they matched a row.
    std::vector<UpdateTally::NoNumber> noNumbers;
    QByteArray text;

    ~Cursor() { sqlite3_finalize(select); }

    UpdateTally& Tally() { return *slot->tally; }
    QString CurrentId() const { return writtenId ? *writtenId : ShortestDecimal(key); }
    const Variant& Cell(size_t column) const { return slot->table->rows[next - 1][column]; }

    // Reads the next row of the source; false at the end or on an error (rc).
    bool ReadRow(int& rc, bool& keyIsNull) {
        rc = SQLITE_OK;
        if (!select) {
            if (!slot->table || next >= slot->table->rows.size()) return false;
            ++next;
            const Variant& id = Cell(slot->key);
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
        switch (sqlite3_column_type(select, 0)) {
            case SQLITE_NULL:
                keyIsNull = true;
                break;
            case SQLITE_INTEGER:
                keyIsNull = false;
                key = static_cast<double>(sqlite3_column_int64(select, 0));
                writtenId.reset();
                break;
            case SQLITE_FLOAT:
                keyIsNull = false;
                key = sqlite3_column_double(select, 0);
                writtenId.reset();
                break;
            default:
                keyIsNull = false;
                writtenId =
                    QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(select, 0)),
                                      sqlite3_column_bytes(select, 0));
                key = Val(*writtenId);
                break;
        }
        return true;
    }

    // Counts the row just shown: whether it matched, and where an ID without a number went.
    void FinishShownRow() {
        if (atEnd) return;
        if (!slot->rowMatched) Tally().unmatched.push_back({slot->row, CurrentId()});
        if (noNumber) noNumbers.push_back({{slot->row, *writtenId}, slot->rowMatched});
    }

    // Records a row whose key an earlier row had.
    void RecordDuplicate(const KeyCounts& counts) {
        UpdateTally& tally = Tally();
        auto [entry, first] = duplicateOf.try_emplace(key, tally.duplicates.size());
        if (first) {
            auto odd = oddIds.find(key);
            UpdateTally::Duplicate duplicate;
            duplicate.key = key;
            duplicate.rows.push_back(
                {counts.lastRow, odd == oddIds.end() ? ShortestDecimal(key) : odd->second});
            tally.duplicates.push_back(std::move(duplicate));
        }
        tally.duplicates[entry->second].rows.push_back({slot->row, CurrentId()});
    }

    // Moves to the next row with a key; a failing read of the other file is an error.
    int Advance() {
        FinishShownRow();
        UpdateTally& tally = Tally();
        int rc = SQLITE_OK;
        bool keyIsNull = false;
        while (ReadRow(rc, keyIsNull)) {
            slot->row = ++tally.sourceRows;
            if (slot->progress && slot->row % kProgressRows == 0 &&
                !(*slot->progress)(slot->row, std::max(slot->total, slot->row))) {
                slot->cancelled = true;
                atEnd = true;
                pVtab->zErrMsg = sqlite3_mprintf("cancelled");
                return SQLITE_INTERRUPT;
            }
            if (keyIsNull) {
                ++tally.nullKeys;
                continue;
            }
            noNumber = writtenId && !BeginsWithNumber(*writtenId);
            auto [counts, first] = keys.Insert(key);
            if (first) {
                if (writtenId && !IsShortestForm(*writtenId, key)) oddIds.emplace(key, *writtenId);
            } else {
                RecordDuplicate(*counts);
                // This row replaces the earlier one: what that one counted goes.
                TakeBack(tally, *counts);
            }
            counts->lastRow = static_cast<int32_t>(slot->row);
            slot->counts = counts;
            slot->rowMatched = false;
            atEnd = false;
            return SQLITE_OK;
        }
        atEnd = true;
        slot->counts = nullptr;
        if (rc != SQLITE_OK) {
            // Keep the other file's own message for the statement's error.
            pVtab->zErrMsg =
                sqlite3_mprintf("'%s': %s", sqlite3_db_filename(slot->database, "main"),
                                sqlite3_errmsg(slot->database));
            return rc;
        }
        Conclude();
        return SQLITE_OK;
    }

    // At the end: an ID without a number went to row 0 when its row was the last with key 0.
    void Conclude() {
        UpdateTally& tally = Tally();
        const KeyCounts* zero = keys.Find(0.0);
        for (auto& row : noNumbers) {
            row.applied = row.applied && zero && zero->lastRow == row.source.row;
            tally.noNumber.push_back(std::move(row));
        }
        noNumbers.clear();
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
    // The table is read once, whole, in its order, as the outer loop: it uses no
    // constraint, and reading it costs so much that a plan reading it again for
    // every row of another table costs more than any other.
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
    if (slot->database && sqlite3_prepare_v2(slot->database, slot->select.constData(), -1,
                                             &cursor->select, nullptr) != SQLITE_OK) {
        vtab->zErrMsg = sqlite3_mprintf("%s", sqlite3_errmsg(slot->database));
        delete cursor;
        return SQLITE_ERROR;
    }
    *out = cursor;
    return SQLITE_OK;
}

int Close(sqlite3_vtab_cursor* cursor) {
    auto* closing = static_cast<Cursor*>(cursor);
    closing->slot->counts = nullptr;
    delete closing;
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
    cursor->keys.Reserve(slot.total);
    cursor->next = 0;
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
    const Variant& value = cursor->Cell(cursor->slot->value);
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
    *rowid = static_cast<sqlite3_int64>(static_cast<Cursor*>(base)->slot->row);
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

// Moves what the counts hold into the tally (sign 1) or out of it (sign -1).
// Adds to a key's count; it stops at its largest value.
void Add(uint8_t& count, uint8_t more) {
    count = static_cast<uint8_t>(std::min<int>(count + more, UINT8_MAX));
}

// import_value(row, old, k, v): the new text of target row "row", counted into the
// tally and, when it differs from the old value, handed to the change sink.
void ImportValue(sqlite3_context* context, int, sqlite3_value** args) {
    auto* slot = static_cast<Slot*>(sqlite3_user_data(context));
    if (!slot->tally || !slot->counts) {
        sqlite3_result_error(context, "import_value outside an import", -1);
        return;
    }
    sqlite3_value* old = args[1];
    UpdateTally& tally = *slot->tally;
    KeyCounts& counts = *slot->counts;
    slot->rowMatched = true;
    KeyCounts now{};
    now.matched = 1;  // as the tally counts it below
    QByteArray text;
    const int oldType = sqlite3_value_type(old);
    const bool oldIsNull = oldType == SQLITE_NULL;
    const bool newIsNull = sqlite3_value_type(args[3]) == SQLITE_NULL;
    bool differs = false;  // in type or bytes: what the project stores changes
    if (newIsNull) {
        (oldIsNull ? now.unchanged : now.changed) = 1;
        now.setToNull = oldIsNull ? 0 : 1;
        differs = !oldIsNull;
    } else {
        text = QByteArray(reinterpret_cast<const char*>(sqlite3_value_text(args[3])),
                          sqlite3_value_bytes(args[3]));
        try {
            if (slot->convert && *slot->convert && !text.isEmpty())
                text = (*slot->convert)(sqlite3_value_double(args[2]), slot->row,
                                        QString::fromUtf8(text))
                           .toUtf8();
        } catch (...) {
            // The statement fails; the one who runs it rethrows the error itself.
            slot->failure = std::current_exception();
            sqlite3_result_error(context, "conversion failed", -1);
            return;
        }
        const bool same = !oldIsNull && SameText(old, text);
        (same ? now.unchanged : now.changed) = 1;
        differs = !same || oldType != SQLITE_TEXT;
    }
    if (differs && slot->changes) {
        try {
            slot->changes->Changed(sqlite3_value_int64(args[0]), sqlite3_value_double(args[2]), old,
                                   newIsNull ? nullptr : &text);
        } catch (...) {
            slot->failure = std::current_exception();
            sqlite3_result_error(context, "recording the change failed", -1);
            return;
        }
    }
    Add(counts.matched, now.matched);
    Add(counts.changed, now.changed);
    Add(counts.unchanged, now.unchanged);
    Add(counts.setToNull, now.setToNull);
    tally.matched += now.matched;
    tally.changed += now.changed;
    tally.unchanged += now.unchanged;
    tally.setToNull += now.setToNull;
    if (newIsNull)
        sqlite3_result_null(context);
    else
        sqlite3_result_text(context, text.constData(), static_cast<int>(text.size()),
                            SQLITE_TRANSIENT);
}

}  // namespace

void Register(sqlite3* db, Slot* slot) {
    int rc = sqlite3_create_module_v2(db, "linked_rows", &kModule, slot, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "import_value", 4, SQLITE_UTF8 | SQLITE_DIRECTONLY,
                                        slot, ImportValue, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw RuntimeError::LinkedTablesUnavailable(QString::fromUtf8(sqlite3_errstr(rc)));
}

namespace {

void SetHooks(Slot& slot, UpdateTally& tally, const Hooks& hooks) {
    slot.tally = &tally;
    slot.convert = &hooks.convert;
    slot.changes = hooks.changes;
    slot.progress = hooks.progress ? &hooks.progress : nullptr;
}

}  // namespace

Scope::Scope(Slot& slot, const SourceTable& table, int keyColumn, int valueColumn,
             UpdateTally& tally, const Hooks& hooks)
    : slot_(slot) {
    slot_ = Slot{};
    SetHooks(slot_, tally, hooks);
    slot_.total = static_cast<int64_t>(table.rows.size());
    slot_.table = &table;
    slot_.key = static_cast<size_t>(keyColumn);
    slot_.value = static_cast<size_t>(valueColumn);
}

Scope::Scope(Slot& slot, sqlite3* database, const QString& table, const QString& keyColumn,
             const QString& valueColumn, int64_t total, UpdateTally& tally, const Hooks& hooks)
    : slot_(slot) {
    slot_ = Slot{};
    SetHooks(slot_, tally, hooks);
    slot_.total = total;
    slot_.database = database;
    slot_.select =
        QStringLiteral("SELECT %1, %2 FROM %3")
            .arg(QuoteIdentifier(keyColumn), QuoteIdentifier(valueColumn), QuoteIdentifier(table))
            .toUtf8();
}

}  // namespace LinkedRowsModule
