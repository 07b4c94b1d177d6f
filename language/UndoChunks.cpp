#include "UndoChunks.h"

#include "RuntimeError.h"
#include "SqliteStatement.h"

#include <sqlite3.h>

#include <cstring>

namespace UndoChunks {
namespace {

struct StoredValue {
    char type = SQLITE_NULL;
    char number[8] = {};
    const void* bytes = nullptr;  // of a text or blob
    size_t size = 0;

    explicit StoredValue(sqlite3_value* value)
        : type(static_cast<char>(sqlite3_value_type(value))) {
        switch (type) {
            case SQLITE_INTEGER: {
                const auto integer = static_cast<int64_t>(sqlite3_value_int64(value));
                std::memcpy(number, &integer, sizeof number);
                break;
            }
            case SQLITE_FLOAT: {
                const double real = sqlite3_value_double(value);
                std::memcpy(number, &real, sizeof number);
                break;
            }
            case SQLITE_TEXT:
                bytes = sqlite3_value_text(value);
                size = static_cast<size_t>(sqlite3_value_bytes(value));
                break;
            case SQLITE_BLOB:
                bytes = sqlite3_value_blob(value);
                size = static_cast<size_t>(sqlite3_value_bytes(value));
                break;
            default:
                break;
        }
    }
    explicit StoredValue(const QByteArray* text) {
        if (!text) return;
        type = SQLITE_TEXT;
        bytes = text->constData();
        size = static_cast<size_t>(text->size());
    }
    size_t Length() const {
        if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) return 1 + sizeof number;
        if (type == SQLITE_TEXT || type == SQLITE_BLOB) return 1 + sizeof(uint32_t) + size;
        return 1;
    }
};

// Writes an entry of known length at the end of a chunk, grown once for it.
class EntryWriter {
  public:
    EntryWriter(QByteArray& chunk, size_t length) {
        const qsizetype start = chunk.size();
        chunk.resize(start + static_cast<qsizetype>(length));
        at_ = chunk.data() + start;
    }
    template <typename T>
    void Raw(T value) {
        Put(&value, sizeof value);
    }
    void Value(const StoredValue& value) {
        *at_++ = value.type;
        if (value.type == SQLITE_INTEGER || value.type == SQLITE_FLOAT) {
            Put(value.number, sizeof value.number);
        } else if (value.type == SQLITE_TEXT || value.type == SQLITE_BLOB) {
            Raw(static_cast<uint32_t>(value.size));
            if (value.size > 0) Put(value.bytes, value.size);
        }
    }

  private:
    void Put(const void* bytes, size_t size) {
        std::memcpy(at_, bytes, size);
        at_ += size;
    }
    char* at_ = nullptr;
};

template <typename T>
bool ReadRaw(const char*& at, const char* end, T& value) {
    if (static_cast<size_t>(end - at) < sizeof value) return false;
    std::memcpy(&value, at, sizeof value);
    at += sizeof value;
    return true;
}

// Binds the next value of a chunk to a parameter; false when the chunk is damaged.
bool BindValue(sqlite3_stmt* statement, int index, const char*& at, const char* end) {
    if (at >= end) return false;
    const int type = static_cast<unsigned char>(*at++);
    switch (type) {
        case SQLITE_NULL:
            return sqlite3_bind_null(statement, index) == SQLITE_OK;
        case SQLITE_INTEGER: {
            int64_t number = 0;
            return ReadRaw(at, end, number) &&
                   sqlite3_bind_int64(statement, index, number) == SQLITE_OK;
        }
        case SQLITE_FLOAT: {
            double number = 0;
            return ReadRaw(at, end, number) &&
                   sqlite3_bind_double(statement, index, number) == SQLITE_OK;
        }
        case SQLITE_TEXT:
        case SQLITE_BLOB: {
            uint32_t size = 0;
            if (!ReadRaw(at, end, size) || static_cast<size_t>(end - at) < size) return false;
            const int length = static_cast<int>(size);
            const int rc = type == SQLITE_TEXT
                               ? sqlite3_bind_text(statement, index, at, length, SQLITE_TRANSIENT)
                               : sqlite3_bind_blob(statement, index, at, length, SQLITE_TRANSIENT);
            at += size;
            return rc == SQLITE_OK;
        }
        default:
            return false;
    }
}

// Inserts the entries of one chunk; false when it is damaged.
bool ReadChunk(sqlite3_stmt* add, const char* at, const char* end, int& rc) {
    while (at && at < end && rc == SQLITE_OK) {
        int64_t row = 0;
        double key = 0;
        if (!ReadRaw(at, end, row) || !ReadRaw(at, end, key) || !BindValue(add, 3, at, end) ||
            !BindValue(add, 4, at, end))
            return false;
        sqlite3_bind_int64(add, 1, row);
        sqlite3_bind_double(add, 2, key);
        rc = sqlite3_step(add);
        rc = rc == SQLITE_DONE ? sqlite3_reset(add) : rc;
    }
    return true;
}

}  // namespace

void Append(QByteArray& chunk, int64_t row, double key, sqlite3_value* old, const QByteArray* now) {
    const StoredValue before(old), after(now);
    EntryWriter entry(chunk, sizeof row + sizeof key + before.Length() + after.Length());
    entry.Raw(row);
    entry.Raw(key);
    entry.Value(before);
    entry.Value(after);
}

void Read(sqlite3* from, int64_t first, int64_t last, sqlite3* into, const QString& table,
          const QString& storePath) {
    sqlite3_stmt* chunks = nullptr;
    sqlite3_stmt* add = nullptr;
    const QByteArray select =
        QStringLiteral("SELECT data FROM undo_chunks WHERE seq BETWEEN %1 AND %2 ORDER BY seq")
            .arg(first)
            .arg(last)
            .toUtf8();
    const QByteArray insert =
        QStringLiteral("INSERT INTO %1(row, key, old, new) VALUES (?1, ?2, ?3, ?4)")
            .arg(table)
            .toUtf8();
    int rc = sqlite3_prepare_v2(from, select.constData(), -1, &chunks, nullptr);
    sqlite3* failed = from;
    if (rc == SQLITE_OK) {
        rc = sqlite3_prepare_v2(into, insert.constData(), -1, &add, nullptr);
        failed = into;
    }
    bool damaged = false;
    while (rc == SQLITE_OK && !damaged) {
        rc = sqlite3_step(chunks);
        failed = from;
        if (rc != SQLITE_ROW) break;
        rc = SQLITE_OK;
        const char* at = static_cast<const char*>(sqlite3_column_blob(chunks, 0));
        damaged = !ReadChunk(add, at, at + sqlite3_column_bytes(chunks, 0), rc);
        failed = into;
    }
    const QString message = QString::fromUtf8(sqlite3_errmsg(failed));
    sqlite3_finalize(chunks);
    sqlite3_finalize(add);
    if (damaged)
        throw RuntimeError::UndoStoreDamaged(storePath,
                                             QStringLiteral("ein Block ist unvollständig"));
    if (rc != SQLITE_DONE && rc != SQLITE_OK) ThrowSqliteError(rc, message, storePath);
}

}  // namespace UndoChunks
