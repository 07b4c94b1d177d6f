#include "Gsf.h"

#include "RuntimeError.h"

#include <QFile>
#include <QFileInfo>

#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-utils.h>

#include <mutex>

namespace Gsf {

void Init() {
    static std::once_flag once;
    std::call_once(once, [] {
        gsf_init();
        for (const char* domain :
             {"libgsf:msole", "libgsf:zip", "libgsf", static_cast<const char*>(nullptr)})
            g_log_set_handler(
                domain, static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK & ~G_LOG_LEVEL_ERROR),
                [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
    });
}

GPtr<GsfInput> OpenFile(const QString& path) {
    Init();
    QFileInfo info(path);
    if (!info.exists() || !info.isFile()) throw RuntimeError::FileNotFound(path);
    GError* error = nullptr;
    GPtr<GsfInput> input(gsf_input_stdio_new(QFile::encodeName(path).constData(), &error));
    if (!input) {
        if (error) g_error_free(error);
        throw RuntimeError::FileUnreadable(path);
    }
    return input;
}

GPtr<GsfInput> OpenBytes(const QByteArray& contents) {
    Init();
    return GPtr<GsfInput>(
        gsf_input_memory_new(reinterpret_cast<const guint8*>(contents.constData()),
                             static_cast<gsf_off_t>(contents.size()), FALSE));
}

}  // namespace Gsf
