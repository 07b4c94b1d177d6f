// Any bytes as an .xlsx workbook. Bytes that start like a ZIP file are the whole
// file; other bytes are the XML of the parts inside a well-formed container, cut
// at NUL bytes into the worksheet, the shared strings and the workbook, so the
// XML reading is searched even where random ZIP data would never inflate. A
// damaged workbook must end in a RuntimeError, never in a read outside a buffer.
#include "RuntimeError.h"
#include "XlsxWorkbook.h"
#include "ZipWriter.h"

#include <cstddef>
#include <cstdint>

namespace {

const char* const kContentTypes =
    R"(<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"/>)";
const char* const kRootRels =
    R"(<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/></Relationships>)";
const char* const kWorkbookRels =
    R"(<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/><Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml"/></Relationships>)";
const char* const kWorkbook =
    R"(<?xml version="1.0"?><workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets><sheet name="TidxTexts" sheetId="1" r:id="rId1"/></sheets></workbook>)";

QByteArray Container(const QByteArray& input) {
    const QList<QByteArray> parts = input.split('\0');
    std::vector<std::pair<QString, QByteArray>> files{
        {QStringLiteral("[Content_Types].xml"), kContentTypes},
        {QStringLiteral("_rels/.rels"), kRootRels},
        {QStringLiteral("xl/_rels/workbook.xml.rels"), kWorkbookRels},
        {QStringLiteral("xl/workbook.xml"), parts.size() > 2 ? parts[2] : QByteArray(kWorkbook)},
        {QStringLiteral("xl/worksheets/sheet1.xml"), parts.value(0)}};
    if (parts.size() > 1) files.emplace_back(QStringLiteral("xl/sharedStrings.xml"), parts[1]);
    return ZipContainer(files);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (!bytes.startsWith("PK")) bytes = Container(bytes);
    try {
        XlsxWorkbook workbook(bytes, QStringLiteral("fuzz.xlsx"));
        for (const QString& name : workbook.SheetNames()) {
            SourceTable table = workbook.ReadSheet(name);
            for (const auto& row : table.rows)
                for (const Variant& value : row) (void)value.ToNumber();
        }
    } catch (const RuntimeError&) {
    }
    return 0;
}
