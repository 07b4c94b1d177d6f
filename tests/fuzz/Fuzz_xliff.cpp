// Any bytes as an XLIFF file: versions, units, inline codes, hostile XML. A
// damaged file must end in a RuntimeError, never in a read outside a buffer, an
// expansion without bound or a stack overflow.
#include "RuntimeError.h"
#include "XliffFile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        const SourceTable table = XliffFile::Parse(bytes, QStringLiteral("fuzz.xlf"), 1049);
        for (const auto& row : table.rows)
            if (row.size() != static_cast<size_t>(table.columns.size())) __builtin_trap();
    } catch (const RuntimeError&) {
    }
    return 0;
}
