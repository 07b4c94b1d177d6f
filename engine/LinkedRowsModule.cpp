#include "LinkedRowsModule.h"

#include "RuntimeError.h"
#include "SheetStream.h"
#include "SourceRowFeed.h"
#include "SqliteStatement.h"
#include "Val.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

namespace LinkedRowsModule {

// What the rows of one key have counted into the tally: the counts of the row
// that holds the key now (its value is the one that stays), so that a later row
// with the key can take them back when it replaces that row.
struct KeyCounts {
    int64_t lastRow = 0;  // the place of the last row read with this key
    int64_t matched = 0;
    int64_t changed = 0;
    int64_t unchanged = 0;
    int64_t setToNull = 0;
    // A row with this key was written: a later one must be written too, also with
    // the old text, as the last row's value is the one that stays.
    bool written = false;
};

namespace {

constexpr int64_t kProgressRows = 4096;

// Takes what a key's earlier row counted out of the tally.
void TakeBack(UpdateTally& tally, KeyCounts& counts) {
    const bool written = counts.written;
    tally.matched -= counts.matched;
    tally.changed -= counts.changed;
    tally.unchanged -= counts.unchanged;
    tally.setToNull -= counts.setToNull;
    counts = KeyCounts{counts.lastRow};
    counts.written = written;
}

// A source row's ID as the source holds it. Most text IDs are plain digits; they
// are kept as their bytes, without a text of their own, and their key is their
// number (Val() of plain digits).
struct WrittenId {
    enum class Kind { Number, Digits, Text } kind = Kind::Number;
    uint8_t length = 0;
    std::array<char, 15> digits{};  // fewer than 16 digits are exact as a double
    QString text;

    void SetNumber() { kind = Kind::Number; }
    void SetText(const QString& written) {
        kind = Kind::Text;
        text = written;
    }
    // Plain digits, fewer than 16 (see ValOfPlainDigits).
    void SetDigits(std::string_view written) {
        kind = Kind::Digits;
        length = static_cast<uint8_t>(written.size());
        std::copy(written.begin(), written.end(), digits.begin());
    }
    bool IsText() const { return kind != Kind::Number; }
    QString Text() const {
        return kind == Kind::Digits ? QString::fromLatin1(digits.data(), length) : text;
    }
    // Whether it is a text in which Val() finds no number.
    bool HasNoNumber() const { return kind == Kind::Text && !BeginsWithNumber(text); }
};

struct Table : sqlite3_vtab {
    Slot* slot;
    sqlite3* db;  // the connection the table is shown on
};

// Walks the rows of the slot with their keys in ascending order, so that rows
// with the same key come one after the other and only the current key needs
// to be kept: memory does not grow with the source. Read in the source's order
// while the keys ascend there (the usual case, and no sorting); a key that does
// not ends the reading with outOfOrder, and the statement is run again on the
// rows ordered by key (ties in the source's order), read from a database.
// Every row keeps its place in the source (from 1).
struct Cursor : sqlite3_vtab_cursor {
    Slot* slot = nullptr;
    sqlite3_stmt* select = nullptr;     // the rows of another database file's table
    std::optional<SourceRowFeed> feed;  // the source's rows, read ahead
    const SourceRowFeed::Row* shown = nullptr;
    bool atEnd = true;

    // The current row, shown to the statement.
    double key = 0;
    WrittenId writtenId;  // numbers are shown in their shortest form
    bool noNumber = false;

    // The key of the rows read last, and what they counted.
    bool haveKey = false;
    double lastKey = 0;
    WrittenId lastWrittenId;
    // The current key's rows when it has several; listed once the key is done.
    std::optional<UpdateTally::Duplicate> duplicate;
    KeyCounts counts;
    int64_t lastRowOfZero = 0;  // the place of the last row with key 0

    // The last row without a number: whether it went to project row 0 is known
    // at the end (applied: it matched). The ones before it did not: a later row
    // with key 0 replaced them.
    std::optional<UpdateTally::NoNumber> lastNoNumber;

    ~Cursor() {
        feed.reset();  // stops its reading of select first
        sqlite3_finalize(select);
    }

    UpdateTally& Tally() { return *slot->tally; }
    static QString IdOf(const WrittenId& written, double k) {
        return written.IsText() ? written.Text() : ShortestDecimal(k);
    }

    // Reads the next row of the source; false at the end or on an error (rc).
    bool ReadRow(int& rc, bool& keyIsNull, int64_t& place) {
        rc = SQLITE_OK;
        shown = feed->Next();
        slot->shown = shown;
        if (!shown) {
            // The sheet's rows came out of their order after all: read again, whole.
            if (feed->Abandoned()) {
                slot->outOfOrder = true;
                rc = SQLITE_ERROR;
            }
            if (feed->Failed()) {
                slot->failure = feed->Failure();
                rc = feed->ResultCode() != SQLITE_OK ? feed->ResultCode() : SQLITE_ERROR;
            }
            return false;
        }
        place = shown->place;
        keyIsNull = shown->keyIsNull;
        if (keyIsNull) return true;
        key = shown->key;
        switch (shown->idKind) {
            case SourceRowFeed::IdKind::Number:
                writtenId.SetNumber();
                break;
            case SourceRowFeed::IdKind::Digits:
                writtenId.SetDigits(shown->id);
                break;
            case SourceRowFeed::IdKind::Text:
                writtenId.SetText(
                    QString::fromUtf8(shown->id.data(), static_cast<qsizetype>(shown->id.size())));
                break;
        }
        return true;
    }

    // Counts the row just shown: whether it matched, and where an ID without a number went.
    void FinishShownRow() {
        if (atEnd) return;
        if (!slot->rowMatched) Tally().unmatched.push_back({slot->row, IdOf(writtenId, key)});
        if (!noNumber) return;
        if (lastNoNumber) {
            lastNoNumber->applied = false;
            Tally().noNumber.push_back(std::move(*lastNoNumber));
        }
        lastNoNumber = UpdateTally::NoNumber{{slot->row, writtenId.Text()}, slot->rowMatched};
    }

    // Records a row whose key the rows before it had.
    void RecordDuplicate() {
        if (!duplicate) {
            duplicate.emplace();
            duplicate->key = key;
            duplicate->rows.push_back({counts.lastRow, IdOf(lastWrittenId, lastKey)});
        }
        duplicate->rows.push_back({slot->row, IdOf(writtenId, key)});
    }
    // The key's rows are all read: when it had several, they go to the list.
    void ListDuplicate() {
        if (!duplicate) return;
        Tally().duplicates.push_back(std::move(*duplicate));
        duplicate.reset();
    }

    // The rows to read, for the progress: of a sheet still being read those read so far.
    int64_t Total() const { return slot->sheet ? slot->sheet->RowsRead() : slot->total; }

    // Moves to the next row with a key; a failing read of the other file is an error.
    int Advance() {
        FinishShownRow();
        UpdateTally& tally = Tally();
        int rc = SQLITE_OK;
        bool keyIsNull = false;
        int64_t place = 0;
        while (ReadRow(rc, keyIsNull, place)) {
            ++tally.sourceRows;
            slot->row = place;
            if (slot->progress && tally.sourceRows % kProgressRows == 0 &&
                !(*slot->progress)(tally.sourceRows, std::max(Total(), tally.sourceRows))) {
                slot->cancelled = true;
                return Stop("cancelled", SQLITE_INTERRUPT);
            }
            if (keyIsNull) {
                ++tally.nullKeys;
                continue;
            }
            if (haveKey && key < lastKey) {
                slot->outOfOrder = true;
                return Stop("out of order", SQLITE_ERROR);
            }
            noNumber = writtenId.HasNoNumber();
            if (haveKey && key == lastKey) {
                RecordDuplicate();
                // This row replaces the one before: what that one counted goes.
                TakeBack(tally, counts);
            } else {
                counts = KeyCounts{};
                ListDuplicate();
            }
            haveKey = true;
            lastKey = key;
            lastWrittenId = writtenId;
            counts.lastRow = place;
            if (key == 0.0) lastRowOfZero = place;
            slot->counts = &counts;
            slot->rowMatched = false;
            atEnd = false;
            return SQLITE_OK;
        }
        atEnd = true;
        slot->counts = nullptr;
        if (rc != SQLITE_OK) {
            // The error is the source's, named by its file: the one who runs the
            // statement rethrows it rather than one naming the project.
            if (!slot->failure && slot->database) {
                try {
                    ThrowSqliteError(
                        rc, feed->Message(),
                        QString::fromUtf8(sqlite3_db_filename(slot->database, "main")));
                } catch (...) {
                    slot->failure = std::current_exception();
                }
            }
            pVtab->zErrMsg = sqlite3_mprintf("reading the source failed");
            return rc;
        }
        Conclude();
        return SQLITE_OK;
    }

    int Stop(const char* why, int rc) {
        atEnd = true;
        slot->counts = nullptr;
        pVtab->zErrMsg = sqlite3_mprintf("%s", why);
        return rc;
    }

    // At the end: an ID without a number went to row 0 when its row was the last
    // with key 0. The rows of one key come together, in the source's order, in
    // either pass: so do the rows without a number (key 0) and those of each
    // repeated ID. Read in the source's order, the lists are in it; read ordered
    // by key, the unmatched rows and the repeated IDs are put in it by the one
    // who ran the statement.
    void Conclude() {
        UpdateTally& tally = Tally();
        ListDuplicate();
        if (lastNoNumber) {
            lastNoNumber->applied =
                lastNoNumber->applied && lastNoNumber->source.row == lastRowOfZero;
            tally.noNumber.push_back(std::move(*lastNoNumber));
            lastNoNumber.reset();
        }
    }
};

// A sort key as SQLite sorts fastest: whole numbers that a double holds exactly as
// integers (SQLite orders integers and reals by their value alike), others as reals.
void ResultKey(sqlite3_context* context, double key) {
    constexpr double kExactLimit = 9007199254740992.0;  // 2^53
    if (std::fabs(key) <= kExactLimit && std::trunc(key) == key)
        sqlite3_result_int64(context, static_cast<sqlite3_int64>(key));
    else
        sqlite3_result_double(context, key);
}

// quorvin_key(id): the key a source row's ID stands for, as the cursor reads it (Val() of texts).
void SourceKey(sqlite3_context* context, int, sqlite3_value** args) {
    switch (sqlite3_value_type(args[0])) {
        case SQLITE_NULL:
            sqlite3_result_null(context);
            break;
        case SQLITE_INTEGER:
            ResultKey(context, static_cast<double>(sqlite3_value_int64(args[0])));
            break;
        case SQLITE_FLOAT:
            ResultKey(context, sqlite3_value_double(args[0]));
            break;
        default: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(args[0]));
            const int size = sqlite3_value_bytes(args[0]);
            double key = 0;
            if (!ValOfPlainDigits(text, size, key)) key = Val(QString::fromUtf8(text, size));
            ResultKey(context, key);
            break;
        }
    }
}

int Connect(sqlite3* db, void* slot, int, const char* const*, sqlite3_vtab** out, char**) {
    int rc = sqlite3_declare_vtab(db, "CREATE TABLE x(k REAL, v TEXT)");
    if (rc != SQLITE_OK) return rc;
    auto* table = new Table{};
    table->slot = static_cast<Slot*>(slot);
    table->db = db;
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
    const QByteArray& select = slot->ordered ? slot->orderedSelect : slot->select;
    const QByteArray& withoutRowIds =
        slot->ordered ? slot->orderedSelectWithoutRowIds : slot->selectWithoutRowIds;
    if (slot->database &&
        sqlite3_prepare_v2(slot->database, select.constData(), -1, &cursor->select, nullptr) !=
            SQLITE_OK &&
        sqlite3_prepare_v2(slot->database, withoutRowIds.constData(), -1, &cursor->select,
                           nullptr) != SQLITE_OK) {
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
    if (slot.table) {
        cursor->feed.emplace(slot.table->rows, slot.key, slot.value, slot.convert);
    } else if (slot.sheet) {
        cursor->feed.emplace(*slot.sheet, slot.key, slot.value, slot.convert);
    } else {
        // A table of another file is read on a thread of its own; one of the
        // project's own (on the statement's connection) as the statement runs.
        const bool ownThread = slot.database != static_cast<Table*>(base->pVtab)->db;
        cursor->feed.emplace(slot.database, cursor->select, ownThread, slot.convert);
    }
    cursor->atEnd = true;  // nothing shown yet
    return cursor->Advance();
}

int Next(sqlite3_vtab_cursor* base) { return static_cast<Cursor*>(base)->Advance(); }

int Eof(sqlite3_vtab_cursor* base) { return static_cast<Cursor*>(base)->atEnd; }

int Column(sqlite3_vtab_cursor* base, sqlite3_context* context, int column) {
    auto* cursor = static_cast<Cursor*>(base);
    if (column == 0) {
        sqlite3_result_double(context, cursor->key);
        return SQLITE_OK;
    }
    const SourceRowFeed::Row& row = *cursor->shown;
    if (row.valueIsNull) {
        sqlite3_result_null(context);
        return SQLITE_OK;
    }
    // The text stays as it is until the cursor moves on, and the statement uses
    // it before that (import_changes copies it).
    sqlite3_result_text(context, row.value.data(), static_cast<int>(row.value.size()),
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

void Count(UpdateTally& tally, KeyCounts& counts, const KeyCounts& now) {
    counts.matched += now.matched;
    counts.changed += now.changed;
    counts.unchanged += now.unchanged;
    counts.setToNull += now.setToNull;
    tally.matched += now.matched;
    tally.changed += now.changed;
    tally.unchanged += now.unchanged;
    tally.setToNull += now.setToNull;
}

// The slot's new text from the source value v, as the feed converted it (it
// converts every row with a key and a text when the import converts); false
// when the conversion failed (the slot keeps why).
bool TakeNewText(Slot& slot, sqlite3_value* value) {
    QByteArray& text = slot.text;
    const SourceRowFeed::Row* shown = slot.shown;
    if (shown && shown->converted) {
        if (shown->conversionFailure) {
            slot.failure = shown->conversionFailure;
            return false;
        }
        text.resize(static_cast<qsizetype>(shown->convertedValue.size()));
        std::copy(shown->convertedValue.begin(), shown->convertedValue.end(), text.data());
        return true;
    }
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_value_text(value));
    text.resize(sqlite3_value_bytes(value));
    std::copy_n(bytes, text.size(), text.data());
    return true;
}

// Hands the current row to the inspection: the source's text as the feed read
// it (the statement's copy has no zero at its end, which sqlite3_value_text()
// would copy it to add) and the target's reference value. False when the
// inspection failed (the slot keeps why).
bool Inspect(Slot& slot, int count, sqlite3_value** args) {
    try {
        const SourceRowFeed::Row* shown = slot.shown;
        const bool null = shown ? shown->valueIsNull : sqlite3_value_type(args[3]) == SQLITE_NULL;
        const char* text = nullptr;
        int size = 0;
        if (!null && shown) {
            text = shown->value.data();
            size = static_cast<int>(shown->value.size());
        } else if (!null) {
            text = reinterpret_cast<const char*>(sqlite3_value_text(args[3]));
            size = sqlite3_value_bytes(args[3]);
        }
        (*slot.inspect)(sqlite3_value_double(args[2]), slot.row, count > 4 ? args[4] : nullptr,
                        text, size);
        return true;
    } catch (...) {
        slot.failure = std::current_exception();
        return false;
    }
}

// import_changes(row, old, k, v): works out the text target row "row" gets from
// the current source row (import_text() gives it), counts it into the tally, and
// gives 1 when what the project stores changes, after handing the change to the
// change sink; else 0, and the row is not written. Null and the empty text both
// mean "no text": one over the other changes nothing (a spreadsheet that saves
// one as the other changes nothing the user can see).
void ImportChanges(sqlite3_context* context, int count, sqlite3_value** args) {
    auto* slot = static_cast<Slot*>(sqlite3_user_data(context));
    if (!slot->tally || !slot->counts) {
        sqlite3_result_error(context, "import_changes outside an import", -1);
        return;
    }
    sqlite3_value* old = args[1];
    slot->rowMatched = true;
    if (slot->inspect && *slot->inspect && !Inspect(*slot, count, args)) {
        sqlite3_result_error(context, "inspecting the row failed", -1);
        return;
    }
    const int oldType = sqlite3_value_type(old);
    const bool oldIsNull = oldType == SQLITE_NULL;
    const bool oldIsEmpty = oldIsNull || (oldType == SQLITE_TEXT && sqlite3_value_bytes(old) == 0);
    slot->newIsNull = sqlite3_value_type(args[3]) == SQLITE_NULL;
    KeyCounts now{};
    now.matched = 1;
    bool differs = false;  // in type or bytes: what the project stores changes
    if (oldIsEmpty && (slot->newIsNull || sqlite3_value_bytes(args[3]) == 0)) {
        now.unchanged = 1;
    } else if (slot->newIsNull) {
        now.changed = now.setToNull = differs = 1;
    } else {
        if (!TakeNewText(*slot, args[3])) {
            // The statement fails; the one who runs it rethrows the error itself.
            sqlite3_result_error(context, "conversion failed", -1);
            return;
        }
        const bool same = !oldIsNull && SameText(old, slot->text);
        (same ? now.unchanged : now.changed) = 1;
        differs = !same || oldType != SQLITE_TEXT;
    }
    // The last of several rows with one key decides: once one of them was
    // written, every later one is, also where it gives the text back.
    const bool write = differs || slot->counts->written;
    slot->counts->written = write;
    if (write && slot->changes) {
        try {
            slot->changes->Changed(sqlite3_value_int64(args[0]), sqlite3_value_double(args[2]), old,
                                   slot->newIsNull ? nullptr : &slot->text);
        } catch (...) {
            slot->failure = std::current_exception();
            sqlite3_result_error(context, "recording the change failed", -1);
            return;
        }
    }
    Count(*slot->tally, *slot->counts, now);
    sqlite3_result_int(context, write ? 1 : 0);
}

// import_text(): the text the last import_changes worked out, Null included.
void ImportText(sqlite3_context* context, int, sqlite3_value**) {
    const auto* slot = static_cast<const Slot*>(sqlite3_user_data(context));
    if (slot->newIsNull)
        sqlite3_result_null(context);
    else
        sqlite3_result_text(context, slot->text.constData(), static_cast<int>(slot->text.size()),
                            SQLITE_TRANSIENT);
}

}  // namespace

void Register(sqlite3* db, Slot* slot) {
    int rc = sqlite3_create_module_v2(db, "linked_rows", &kModule, slot, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "import_changes", -1, SQLITE_UTF8 | SQLITE_DIRECTONLY,
                                        slot, ImportChanges, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "import_text", 0, SQLITE_UTF8 | SQLITE_DIRECTONLY, slot,
                                        ImportText, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw RuntimeError::LinkedTablesUnavailable(QString::fromUtf8(sqlite3_errstr(rc)));
}

namespace {

void SetHooks(Slot& slot, UpdateTally& tally, const Hooks& hooks) {
    slot.tally = &tally;
    slot.convert = &hooks.convert;
    slot.inspect = hooks.inspect ? &hooks.inspect : nullptr;
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

Scope::Scope(Slot& slot, SheetStream& sheet, int keyColumn, int valueColumn, UpdateTally& tally,
             const Hooks& hooks)
    : slot_(slot) {
    slot_ = Slot{};
    SetHooks(slot_, tally, hooks);
    slot_.sheet = &sheet;
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
    // The source's connection only reads; what it needs memory for is the sort of
    // a source out of key order. SQLite's sorter merges small sorted runs faster
    // than it sorts large ones, and may use a second core for them.
    sqlite3_exec(database, "PRAGMA cache_size = -1024; PRAGMA threads = 2", nullptr, nullptr,
                 nullptr);
    const QString key = QuoteIdentifier(keyColumn), value = QuoteIdentifier(valueColumn),
                  from = QuoteIdentifier(table);
    // A row's place is its row id; a table without row ids is numbered as read.
    slot_.select = QStringLiteral("SELECT %1, %2, rowid FROM %3").arg(key, value, from).toUtf8();
    slot_.orderedSelect = QStringLiteral(
                              "SELECT %1, %2, rowid, quorvin_key(%1) AS sortKey FROM %3 "
                              "ORDER BY sortKey, rowid")
                              .arg(key, value, from)
                              .toUtf8();
    slot_.selectWithoutRowIds =
        QStringLiteral("SELECT %1, %2, NULL FROM %3").arg(key, value, from).toUtf8();
    slot_.orderedSelectWithoutRowIds =
        QStringLiteral(
            "SELECT k, v, n, quorvin_key(k) AS sortKey FROM (SELECT %1 AS k, %2 AS v, "
            "row_number() OVER () AS n FROM %3) ORDER BY sortKey, n")
            .arg(key, value, from)
            .toUtf8();
    const int rc =
        sqlite3_create_function_v2(database, "quorvin_key", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                   nullptr, SourceKey, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw RuntimeError::LinkedTablesUnavailable(QString::fromUtf8(sqlite3_errstr(rc)));
}

}  // namespace LinkedRowsModule
