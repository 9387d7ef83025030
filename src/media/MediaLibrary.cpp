#include "media/MediaLibrary.h"

#include <gst/gst.h>

#include <mutex>

namespace kestrelon {

bool initMediaLibrary(std::string* error)
{
    static std::once_flag once;
    static bool ok = false;
    static std::string reason;
    std::call_once(once, [] {
        GError* gerror = nullptr;
        ok = gst_init_check(nullptr, nullptr, &gerror);
        if (!ok) {
            reason = gerror ? gerror->message : "GStreamer could not be initialised";
        }
        if (gerror) {
            g_error_free(gerror);
        }
    });
    if (!ok && error) {
        *error = reason;
    }
    return ok;
}

} // namespace kestrelon
