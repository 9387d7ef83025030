#include "camera/JpegEncoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE and size_t first
#include <cstdlib>

#include <jpeglib.h>

namespace kestrelon {

namespace {

// libjpeg reports a fatal error by calling error_exit, which must not return: it jumps back
// to encodeJpeg with the message kept.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void errorExit(j_common_ptr cinfo)
{
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, manager->message);
    std::longjmp(manager->jump, 1);
}

void quiet(j_common_ptr, int) {}

// The part between setjmp and the library calls holds no C++ objects with destructors, so the
// jump skips nothing that needs cleaning up.
bool compress(const Image& image, int quality, unsigned char** buffer, unsigned long* size, ErrorManager& err)
{
    jpeg_compress_struct cinfo;
    cinfo.err = jpeg_std_error(&err.base);
    err.base.error_exit = errorExit;
    err.base.emit_message = quiet;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, buffer, size);
    cinfo.image_width = JDIMENSION(image.width);
    cinfo.image_height = JDIMENSION(image.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR; // libjpeg-turbo reads our byte order directly
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(image.row(int(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

} // namespace

bool encodeJpeg(const Image& image, int quality, std::string& out, std::string& error)
{
    out.clear();
    if (image.empty()) {
        error = "empty image";
        return false;
    }
    ErrorManager err{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool ok = compress(image, std::clamp(quality, 1, 100), &buffer, &size, err);
    if (ok) {
        out.assign(reinterpret_cast<const char*>(buffer), size);
    } else {
        error = err.message;
    }
    std::free(buffer);
    return ok;
}

} // namespace kestrelon
