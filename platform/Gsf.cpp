#include "Gsf.h"

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

}  // namespace Gsf
