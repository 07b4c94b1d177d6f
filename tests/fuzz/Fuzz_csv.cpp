// Any bytes as a delimited text file: encodings, delimiters, quotes. A damaged
// file must end in a RuntimeError, never in a read outside a buffer.
#include "CsvFile.h"
#include "RuntimeError.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        for (const bool header : {true, false}) {
            SourceTable table = CsvFile::Parse(bytes, QStringLiteral("fuzz.csv"), header);
            for (const auto& row : table.rows)
                if (row.size() != static_cast<size_t>(table.columns.size())) __builtin_trap();
        }
    } catch (const RuntimeError&) {
    }
    return 0;
}
