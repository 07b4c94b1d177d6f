// quorvin-access-reader <file> <table>
//
// Reads one table of an Access (Jet 3/Jet 4) database with libmdb and writes its
// rows to standard output in the record stream that AccessReader reads. It runs
// as a process of its own, under time and memory limits set by its parent,
// because libmdb was not written for untrusted files: whatever happens here, the
// tool and its project stay untouched.
//
// The stream is AccessStream's.

// glib first: mdbtools.h includes it inside extern "C", where its C++ parts cannot be.
#include <glib.h>
#include <mdbtools.h>

#include "AccessStream.h"

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

void PutByte(char byte) { Put(&byte, 1); }

[[noreturn]] void Fail(AccessStream::Failure number, const std::string& description) {
    PutByte(AccessStream::kFailure);
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

// One table of the file as the stream sends it: its columns, and for each row
// the values libmdb gives.
class TableStream {
  public:
    TableStream(const char* file, const char* tableName) {
        mdb_ = mdb_open(file, MDB_NOFLAGS);
        if (!mdb_) Fail(AccessStream::kNotAccess, "kein Access-Format");
        mdb_set_bind_size(mdb_, kBindSize);
        if (!mdb_read_catalog(mdb_, MDB_TABLE))
            Fail(AccessStream::kNotAccess, "Katalog nicht lesbar");
        table_ = mdb_read_table_by_name(mdb_, const_cast<char*>(tableName), MDB_TABLE);
        if (!table_) Fail(AccessStream::kNoSuchTable, "Tabelle fehlt");
        if (!mdb_read_columns(table_) || table_->num_cols == 0)
            Fail(AccessStream::kDamaged, "Spalten der Tabelle nicht lesbar");
        mdb_rewind_table(table_);
        columns_ = table_->num_cols;
    }
    ~TableStream() {
        mdb_free_tabledef(table_);
        mdb_close(mdb_);
    }

    // The header: the column names. Integer columns are read from the rows
    // themselves, every other column is bound.
    void WriteHeader() {
        values_.resize(columns_);
        lengths_.assign(columns_, 0);
        types_.resize(columns_);
        integerSizes_.resize(columns_);
        Put(AccessStream::kMagic, sizeof AccessStream::kMagic);
        PutU32(columns_);
        for (unsigned i = 0; i < columns_; ++i) {
            auto* column = static_cast<MdbColumn*>(g_ptr_array_index(table_->columns, i));
            types_[i] = column->col_type;
            integerSizes_[i] = IntegerSize(types_[i]);
            PutText(column->name);
            if (integerSizes_[i] > 0) continue;
            values_[i].resize(kBindSize);
            mdb_bind_column(table_, static_cast<int>(i + 1), values_[i].data(), &lengths_[i]);
        }
    }

    // Every row, then the end with the number of rows.
    void WriteRows() {
        fields_.resize(columns_ + 256);  // a row may hold deleted columns too
        isNull_.resize(columns_);
        integers_.resize(columns_);
        uint64_t rows = 0;
        while (mdb_fetch_row(table_)) {
            CrackRow();
            PutByte(AccessStream::kRow);
            for (unsigned i = 0; i < columns_; ++i) WriteCell(i);
            ++rows;
        }
        PutByte(AccessStream::kEnd);
        Put(&rows, 8);
    }

  private:
    // Bound columns give Null and the empty text alike; the row's own null
    // flags tell them apart, so the row is cracked once more for them. Its page
    // is still the current one: the row is found there without reading it again.
    void CrackRow() {
        int offset = 0;
        size_t length = 0;
        if (mdb_find_row(mdb_, static_cast<int>(table_->cur_row) - 1, &offset, &length) != 0)
            Fail(AccessStream::kDamaged, "Zeile nicht lesbar");
        std::fill(isNull_.begin(), isNull_.end(), 1);
        std::fill(integers_.begin(), integers_.end(), nullptr);
        const int cracked = mdb_crack_row(table_, offset & 0x1FFF, length, fields_.data());
        for (int f = 0; f < cracked && f < static_cast<int>(columns_); ++f) {
            const MdbField& field = fields_[f];
            if (field.colnum < 0 || field.colnum >= static_cast<int>(columns_)) continue;
            const auto column = static_cast<size_t>(field.colnum);
            isNull_[column] = field.is_null;
            const size_t size = integerSizes_[column];
            if (size == 0 || field.is_null) continue;
            if (!field.value || field.siz != static_cast<int>(size))
                Fail(AccessStream::kDamaged, "Zahl der Zeile nicht lesbar");
            integers_[column] = static_cast<const unsigned char*>(field.value);
        }
    }

    void WriteCell(unsigned i) {
        const size_t size =
            lengths_[i] > 0 ? std::min<size_t>(static_cast<size_t>(lengths_[i]), kBindSize - 1) : 0;
        if (isNull_[i] && types_[i] != MDB_BOOL) {
            PutByte(AccessStream::kNull);
        } else if (integerSizes_[i] > 0) {
            if (!integers_[i]) Fail(AccessStream::kDamaged, "Zahl der Zeile nicht lesbar");
            const double number = IntegerValue(types_[i], integers_[i]);
            PutByte(AccessStream::kNumber);
            Put(&number, 8);
        } else if (IsNumeric(types_[i]) || types_[i] == MDB_BOOL) {
            std::string text(values_[i].data(), size);
            double number = types_[i] == MDB_BOOL ? (text == "1" || text == "-1" ? -1.0 : 0.0)
                                                  : std::strtod(text.c_str(), nullptr);
            PutByte(AccessStream::kNumber);
            Put(&number, 8);
        } else {
            PutByte(AccessStream::kText);
            PutText(values_[i].data(), size);
        }
    }

    MdbHandle* mdb_ = nullptr;
    MdbTableDef* table_ = nullptr;
    unsigned columns_ = 0;
    std::vector<std::vector<char>> values_;  // of the bound columns
    std::vector<int> lengths_;
    std::vector<int> types_;
    std::vector<size_t> integerSizes_;  // 0 for the columns that are bound
    std::vector<MdbField> fields_;
    std::vector<unsigned char> isNull_;
    std::vector<const unsigned char*> integers_;  // in the current row
};

}  // namespace

int main(int argc, char* argv[]) {
    // Numbers come from libmdb as text; read them the same way whatever the locale.
    std::setlocale(LC_ALL, "C");
    if (argc != 3) Fail(AccessStream::kUsage, "Aufruf: quorvin-access-reader <Datei> <Tabelle>");
    g_output.reserve(kOutputChunk + kBindSize);
    {
        TableStream table(argv[1], argv[2]);
        table.WriteHeader();
        table.WriteRows();
    }
    Flush();
    return std::fflush(stdout) == 0 ? 0 : 3;
}
