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
