#pragma once
// JPEG pictures made in memory with libjpeg, for the picture tests.
#include <QByteArray>

#include <cstdio> // jpeglib.h needs FILE and size_t first
#include <cstdlib>
#include <functional>
#include <vector>

#include <jpeglib.h>

namespace testsupport {

// Encodes a w x h picture in memory with libjpeg: configure adjusts the defaults, fill writes
// row y (w * components bytes).
inline QByteArray EncodeJpeg(int w, int h, int components, J_COLOR_SPACE space,
                             const std::function<void(jpeg_compress_struct&)>& configure,
                             const std::function<void(int, unsigned char*)>& fill) {
    jpeg_compress_struct c;
    jpeg_error_mgr e;
    c.err = jpeg_std_error(&e);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = static_cast<JDIMENSION>(w);
    c.image_height = static_cast<JDIMENSION>(h);
    c.input_components = components;
    c.in_color_space = space;
    jpeg_set_defaults(&c);
    configure(c);
    jpeg_start_compress(&c, TRUE);
    std::vector<unsigned char> row(static_cast<size_t>(w) * static_cast<size_t>(components));
    while (c.next_scanline < c.image_height) {
        fill(static_cast<int>(c.next_scanline), row.data());
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    QByteArray bytes(reinterpret_cast<const char*>(out), static_cast<qsizetype>(size));
    std::free(out);
    return bytes;
}

} // namespace testsupport
