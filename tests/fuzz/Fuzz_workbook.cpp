// Any bytes as a workbook file: the compound-document container, the BIFF
// records and every worksheet. A damaged workbook must end in a RuntimeError,
// never in a read outside a buffer.
#include "RuntimeError.h"
#include "XlsWorkbook.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        XlsWorkbook workbook(bytes, QStringLiteral("fuzz.xls"));
        for (const QString& name : workbook.SheetNames()) {
            if (!workbook.HasSheet(name)) continue;
            SourceTable table = workbook.ReadSheet(name);
            for (const auto& row : table.rows)
                for (const Variant& value : row) (void)value.ToNumber();
        }
    } catch (const RuntimeError&) {
    }
    return 0;
}
