// quorvin-access-reader <file> <table>
//
// Reads one table of an Access (Jet 3/Jet 4) database with libmdb and writes its
// rows to standard output in the record stream that AccessReader reads. It runs
// as a process of its own, under time and memory limits set by its parent,
// because libmdb was not written for untrusted files: whatever happens here, the
// tool and its project stay untouched.
//
// Stream (little-endian): "QAR1", u32 column count, per column u32 length + UTF-8
// name; per row 'R' and per cell a type byte (0 Null, 1 text: u32 length + UTF-8,
// 2 number: 8-byte double); at the end 'Z' and the u64 row count. A failure is
// sent as 'E', i32 error number (3343 not an Access file, 3011 no such table, 3049
// damaged), u32 length + UTF-8 detail, and exit code 1; the parent words the message.

// glib first: mdbtools.h includes it inside extern "C", where its C++ parts cannot be.
#include <glib.h>
#include <mdbtools.h>

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t kBindSize = 256 * 1024;  // a memo of 64K characters in UTF-8 fits
constexpr size_t kOutputChunk = 1 << 20;

// The stream goes out in pieces of a megabyte.
std::vector<char> g_output;

void Flush() {
    if (!g_output.empty() &&
        std::fwrite(g_output.data(), 1, g_output.size(), stdout) != g_output.size())
        std::exit(3);
    g_output.clear();
}
void Put(const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    g_output.insert(g_output.end(), bytes, bytes + size);
    if (g_output.size() >= kOutputChunk) Flush();
}
void PutU32(uint32_t value) { Put(&value, 4); }
void PutText(const char* text, size_t size) {
    PutU32(static_cast<uint32_t>(size));
    Put(text, size);
}
void PutText(const std::string& text) { PutText(text.data(), text.size()); }

[[noreturn]] void Fail(int32_t number, const std::string& description) {
    Put("E", 1);
    Put(&number, 4);
    PutText(description);
    Flush();
    std::fflush(stdout);
    std::exit(1);
}

bool IsNumeric(int type) {
    switch (type) {
        case MDB_BYTE:
        case MDB_INT:
        case MDB_LONGINT:
        case MDB_FLOAT:
        case MDB_DOUBLE:
        case MDB_NUMERIC:
        case MDB_MONEY:
            return true;
        default:
            return false;
    }
}

// Integer columns are read from the row itself, as libmdb would print them:
// Byte unsigned, Integer and Long Integer signed, little-endian.
size_t IntegerSize(int type) {
    switch (type) {
        case MDB_BYTE:
            return 1;
        case MDB_INT:
            return 2;
        case MDB_LONGINT:
            return 4;
        default:
            return 0;
    }
}

double IntegerValue(int type, const unsigned char* bytes) {
    switch (type) {
        case MDB_BYTE:
            return bytes[0];
        case MDB_INT:
            return static_cast<int16_t>(bytes[0] | bytes[1] << 8);
        default:
            return static_cast<int32_t>(
                static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24);
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    // Numbers come from libmdb as text; read them the same way whatever the locale.
    std::setlocale(LC_ALL, "C");
    if (argc != 3) Fail(5, "Aufruf: quorvin-access-reader <Datei> <Tabelle>");
    const std::string file = argv[1];
    MdbHandle* mdb = mdb_open(file.c_str(), MDB_NOFLAGS);
    if (!mdb) Fail(3343, "kein Access-Format");
    mdb_set_bind_size(mdb, kBindSize);
    if (!mdb_read_catalog(mdb, MDB_TABLE)) Fail(3343, "Katalog nicht lesbar");
    MdbTableDef* table = mdb_read_table_by_name(mdb, argv[2], MDB_TABLE);
    if (!table) Fail(3011, "Tabelle fehlt");
    if (!mdb_read_columns(table) || table->num_cols == 0)
        Fail(3049, "Spalten der Tabelle nicht lesbar");
    mdb_rewind_table(table);

    const unsigned columns = table->num_cols;
    std::vector<std::vector<char>> values(columns);  // of the bound columns
    g_output.reserve(kOutputChunk + kBindSize);
    std::vector<int> lengths(columns, 0);
    std::vector<int> types(columns);
    std::vector<size_t> integerSizes(columns);  // 0 for the columns that are bound
    Put("QAR1", 4);
    PutU32(columns);
    for (unsigned i = 0; i < columns; ++i) {
        auto* column = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
        types[i] = column->col_type;
        integerSizes[i] = IntegerSize(types[i]);
        PutText(column->name);
        if (integerSizes[i] == 0) {
            values[i].resize(kBindSize);
            mdb_bind_column(table, static_cast<int>(i + 1), values[i].data(), &lengths[i]);
        }
    }

    // Bound columns give Null and the empty text alike; the row's own null flags
    // tell them apart, so the row is cracked once more for them.
    std::vector<MdbField> fields(columns + 256);  // a row may hold deleted columns too
    std::vector<unsigned char> isNull(columns);
    std::vector<const unsigned char*> integers(columns);  // in the current row
    uint64_t rows = 0;
    while (mdb_fetch_row(table)) {
        // The row's page is still the current one: find the row there, without
        // reading the page again for every row.
        int offset = 0;
        size_t length = 0;
        if (mdb_find_row(mdb, static_cast<int>(table->cur_row) - 1, &offset, &length) != 0)
            Fail(3049, "Zeile nicht lesbar");
        std::fill(isNull.begin(), isNull.end(), 1);
        std::fill(integers.begin(), integers.end(), nullptr);
        const int cracked = mdb_crack_row(table, offset & 0x1FFF, length, fields.data());
        for (int f = 0; f < cracked && f < static_cast<int>(columns); ++f) {
            const MdbField& field = fields[f];
            if (field.colnum < 0 || field.colnum >= static_cast<int>(columns)) continue;
            const auto column = static_cast<size_t>(field.colnum);
            isNull[column] = field.is_null;
            const size_t size = integerSizes[column];
            if (size > 0 && !field.is_null) {
                if (!field.value || field.siz != static_cast<int>(size))
                    Fail(3049, "Zahl der Zeile nicht lesbar");
                integers[column] = static_cast<const unsigned char*>(field.value);
            }
        }
        Put("R", 1);
        for (unsigned i = 0; i < columns; ++i) {
            const size_t size =
                lengths[i] > 0 ? std::min<size_t>(static_cast<size_t>(lengths[i]), kBindSize - 1)
                               : 0;
            if (isNull[i] && types[i] != MDB_BOOL) {
                Put("\0", 1);
            } else if (integerSizes[i] > 0) {
                if (!integers[i]) Fail(3049, "Zahl der Zeile nicht lesbar");
                const double number = IntegerValue(types[i], integers[i]);
                Put("\2", 1);
                Put(&number, 8);
            } else if (IsNumeric(types[i]) || types[i] == MDB_BOOL) {
                std::string text(values[i].data(), size);
                double number = types[i] == MDB_BOOL ? (text == "1" || text == "-1" ? -1.0 : 0.0)
                                                     : std::strtod(text.c_str(), nullptr);
                Put("\2", 1);
                Put(&number, 8);
            } else {
                Put("\1", 1);
                PutText(values[i].data(), size);
            }
        }
        ++rows;
    }
    Put("Z", 1);
    Put(&rows, 8);
    Flush();
    mdb_free_tabledef(table);
    mdb_close(mdb);
    return std::fflush(stdout) == 0 ? 0 : 3;
}
