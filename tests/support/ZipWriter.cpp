#include "ZipWriter.h"

#include <QStringList>

#include <gsf/gsf-outfile-zip.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-utils.h>

QByteArray ZipContainer(const std::vector<std::pair<QString, QByteArray>>& parts) {
    gsf_init();
    GsfOutput* memory = gsf_output_memory_new();
    GsfOutfile* zip = gsf_outfile_zip_new(memory, nullptr);
    for (const auto& [name, data] : parts) {
        // Every folder of the name is a child of its own, closed after the part.
        std::vector<GsfOutput*> open;
        GsfOutfile* parent = zip;
        const QStringList pieces = name.split(u'/');
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            GsfOutput* child = gsf_outfile_new_child(parent, pieces[i].toUtf8().constData(),
                                                     i + 1 < pieces.size());
            open.push_back(child);
            parent = GSF_OUTFILE(child);
        }
        gsf_output_write(open.back(), static_cast<size_t>(data.size()),
                         reinterpret_cast<const guint8*>(data.constData()));
        for (auto it = open.rbegin(); it != open.rend(); ++it) {
            gsf_output_close(*it);
            g_object_unref(*it);
        }
    }
    gsf_output_close(GSF_OUTPUT(zip));
    g_object_unref(zip);
    const QByteArray bytes(
        reinterpret_cast<const char*>(gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(memory))),
        static_cast<qsizetype>(gsf_output_size(memory)));
    g_object_unref(memory);
    return bytes;
}

namespace {

const QByteArray kRootRels =
    R"(<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="r" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="/xl/book.xml"/></Relationships>)";
const QByteArray kBookRels =
    R"(<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="a" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="sheets/../sheets/one.xml"/><Relationship Id="s" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="strings.xml"/></Relationships>)";
const QByteArray kBook =
    R"(<?xml version="1.0"?><x:workbook xmlns:x="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><x:sheets><x:sheet name="TidxTexts" sheetId="1" r:id="a"/></x:sheets></x:workbook>)";

}  // namespace

QByteArray XlsxContainer(const QByteArray& sheet, const QByteArray& sharedStrings) {
    return ZipContainer({{QStringLiteral("_rels/.rels"), kRootRels},
                         {QStringLiteral("xl/_rels/book.xml.rels"), kBookRels},
                         {QStringLiteral("xl/book.xml"), kBook},
                         {QStringLiteral("xl/sheets/one.xml"), sheet},
                         {QStringLiteral("xl/strings.xml"), sharedStrings}});
}
