// Any bytes as an .xlsx workbook. Bytes that start like a ZIP file are the whole
// file; other bytes are the XML of the parts inside a well-formed container, cut
// at NUL bytes into the worksheet, the shared strings and the workbook, so the
// XML reading is searched even where random ZIP data would never inflate. A
// damaged workbook must end in a RuntimeError, never in a read outside a buffer.
#include "RuntimeError.h"
#include "XlsxWorkbook.h"

#include <gsf/gsf-outfile-zip.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-utils.h>

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

void Add(GsfOutfile* zip, const char* folder, const char* name, const QByteArray& data) {
    GsfOutput* parent = GSF_OUTPUT(zip);
    GsfOutput* dir = folder ? gsf_outfile_new_child(zip, folder, TRUE) : nullptr;
    GsfOutput* child =
        gsf_outfile_new_child(dir ? GSF_OUTFILE(dir) : GSF_OUTFILE(parent), name, FALSE);
    gsf_output_write(child, static_cast<size_t>(data.size()),
                     reinterpret_cast<const guint8*>(data.constData()));
    gsf_output_close(child);
    g_object_unref(child);
    if (dir) {
        gsf_output_close(dir);
        g_object_unref(dir);
    }
}

QByteArray Container(const QByteArray& input) {
    const QList<QByteArray> parts = input.split('\0');
    GsfOutput* memory = gsf_output_memory_new();
    GsfOutfile* zip = gsf_outfile_zip_new(memory, nullptr);
    Add(zip, nullptr, "[Content_Types].xml", kContentTypes);
    Add(zip, "_rels", ".rels", kRootRels);
    GsfOutput* xl = gsf_outfile_new_child(zip, "xl", TRUE);
    Add(GSF_OUTFILE(xl), "_rels", "workbook.xml.rels", kWorkbookRels);
    Add(GSF_OUTFILE(xl), nullptr, "workbook.xml",
        parts.size() > 2 ? parts[2] : QByteArray(kWorkbook));
    Add(GSF_OUTFILE(xl), "worksheets", "sheet1.xml", parts.value(0));
    if (parts.size() > 1) Add(GSF_OUTFILE(xl), nullptr, "sharedStrings.xml", parts[1]);
    gsf_output_close(xl);
    g_object_unref(xl);
    gsf_output_close(GSF_OUTPUT(zip));
    g_object_unref(zip);
    const auto size = gsf_output_size(memory);
    QByteArray bytes(
        reinterpret_cast<const char*>(gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(memory))),
        static_cast<qsizetype>(size));
    g_object_unref(memory);
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = (gsf_init(), true);
    (void)ready;
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
