#include "platform/JpegImage.h"

#include "platform/FileName.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <cmath>

#include <cerrno>
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE and size_t first
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <jerror.h>
#include <jpeglib.h>

namespace {

// libjpeg's default error handler exits the process; ours jumps back to the decoder instead.
// The jumps never cross C++ objects: the two phases below hold only plain data.
struct TErrorManager {
    jpeg_error_mgr Pub;
    std::jmp_buf Jump;
    // Set while only the first scans are read: the end of the data is then no damage by itself.
    // Data the decoder still needed shows up as a hit marker, which stays fatal.
    bool EndIsFine = false;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<TErrorManager*>(cinfo->err)->Jump, 1);
}

// Warnings that mean the picture lost data; the rest (extra bytes between markers, an unknown
// JFIF revision, a bad ICC profile) leave a picture worth showing.
bool IsDamage(int code) {
    switch (code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_NOT_SEQUENTIAL:
        return true;
    default:
        return false;
    }
}

void EmitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return; // trace messages
    ++cinfo->err->num_warnings;
    const int code = cinfo->err->msg_code;
    if (code == JWRN_JPEG_EOF && reinterpret_cast<TErrorManager*>(cinfo->err)->EndIsFine) return;
    if (IsDamage(code)) ErrorExit(cinfo);
}

void OutputMessage(j_common_ptr) {} // never to stderr

// Real encoders write at most a few dozen scans; thousands of them are a way to make a small
// file take minutes.
constexpr int kMaxScans = 200;

void ProgressMonitor(j_common_ptr cinfo) {
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) ErrorExit(cinfo);
}

constexpr J_COLOR_SPACE kRgb32Space =
    (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) ? JCS_EXT_BGRA : JCS_EXT_ARGB;
constexpr long kMaxDecoderMemory = 512L * 1024 * 1024;

// Phase one: header, colour space and scale. False on any error.
bool ReadHeader(jpeg_decompress_struct* cinfo, TErrorManager* err, jpeg_progress_mgr* progress,
                const unsigned char* data, unsigned long size, int coverW, int coverH) {
    if (setjmp(err->Jump)) return false;
    jpeg_create_decompress(cinfo);
    cinfo->progress = progress; // after the create, which clears it
    // Beyond this libjpeg would need a backing store, which it lacks: an error, not a swap storm.
    cinfo->mem->max_memory_to_use = kMaxDecoderMemory;
    jpeg_mem_src(cinfo, data, size);
    if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) return false;
    if (cinfo->image_width == 0 || cinfo->image_height == 0) return false;
    if (static_cast<qint64>(cinfo->image_width) * cinfo->image_height > MaxJpegDeclaredPixels)
        return false;
    switch (cinfo->jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
        cinfo->out_color_space = kRgb32Space;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        cinfo->out_color_space = JCS_CMYK;
        break;
    default:
        return false;
    }
    for (unsigned num = 1; num <= 8; ++num) {
        cinfo->scale_num = num;
        cinfo->scale_denom = 8;
        jpeg_calc_output_dimensions(cinfo);
        if (static_cast<int>(cinfo->output_width) >= coverW &&
            static_cast<int>(cinfo->output_height) >= coverH)
            break;
    }
    return static_cast<qint64>(cinfo->output_width) * cinfo->output_height <= MaxJpegOutputPixels;
}

// CMYK to RGB. Adobe's files store the inks inverted (255 = no ink), which most CMYK JPEGs are.
void CmykRow(const JSAMPLE* in, QRgb* out, JDIMENSION width, bool inverted) {
    for (JDIMENSION x = 0; x < width; ++x, in += 4) {
        int c = in[0], m = in[1], y = in[2], k = in[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        out[x] = qRgb(c * k / 255, m * k / 255, y * k / 255);
    }
}

// At 1/8 a block becomes one pixel made from its DC coefficient alone, so a progressive file is
// as good as complete once its DC scans are in; the AC scans after them hold nearly all the data.
bool IsDcOnly(const jpeg_decompress_struct* cinfo) {
    return cinfo->progressive_mode && cinfo->scale_num * 8 == cinfo->scale_denom;
}

// Whether the scans read so far hold what the 1/8 output uses. A subsampled chroma component is
// decoded to 2 x 2 (or 4 x 4) pixels a block, which takes AC coefficients from all over the
// block, so it waits for a first pass over all of them; without it the colour came out at half
// resolution, off by up to 18 levels on a textured picture.
// The first passes usually leave out the lowest bits (successive approximation), and the scans
// that refine them come after most of the data: waiting for the exact DC took two to four times
// as long. Without its low bit a DC is off by less than one quantisation step / 8, under one
// level at common qualities, so any first pass counts.
bool HaveEnoughScans(const jpeg_decompress_struct* cinfo) {
    for (int ci = 0; ci < cinfo->num_components; ++ci) {
        const int* bits = cinfo->coef_bits[ci]; // -1: nothing of that coefficient received yet
        const int used = cinfo->comp_info[ci].DCT_scaled_size == 1 ? 1 : DCTSIZE2;
        for (int k = 0; k < used; ++k)
            if (bits[k] < 0) return false;
    }
    return true;
}

// Phase two: the scanlines into the image's own buffer. False on any error.
bool ReadPixels(jpeg_decompress_struct* cinfo, TErrorManager* err, uchar* bits,
                qsizetype bytesPerLine, JDIMENSION width, JDIMENSION height) {
    if (setjmp(err->Jump)) return false;
    const bool dcOnly = IsDcOnly(cinfo);
    if (dcOnly) {
        cinfo->buffered_image = TRUE;
        // Smoothing would guess the missing AC coefficients, which the 1/8 output never uses.
        cinfo->do_block_smoothing = FALSE;
        err->EndIsFine = true;
    }
    if (!jpeg_start_decompress(cinfo)) return false;
    if (cinfo->output_width != width || cinfo->output_height != height) return false;
    if (dcOnly) {
        for (;;) {
            const int got = jpeg_consume_input(cinfo);
            if (got == JPEG_SUSPENDED) return false; // cannot happen with data in memory
            if (got == JPEG_SCAN_COMPLETED && HaveEnoughScans(cinfo)) break;
            if (got == JPEG_REACHED_EOI) {
                if (!HaveEnoughScans(cinfo)) return false;
                break;
            }
        }
        if (!jpeg_start_output(cinfo, cinfo->input_scan_number)) return false;
    }
    const bool cmyk = cinfo->out_color_space == JCS_CMYK;
    const bool inverted = cinfo->saw_Adobe_marker;
    JSAMPARRAY temp = nullptr;
    if (cmyk) {
        temp = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                           width * 4, 1);
    }
    while (cinfo->output_scanline < height) {
        uchar* row = bits + bytesPerLine * cinfo->output_scanline;
        if (cmyk) {
            if (jpeg_read_scanlines(cinfo, temp, 1) != 1) return false;
            CmykRow(temp[0], reinterpret_cast<QRgb*>(row), width, inverted);
        } else {
            JSAMPROW rows[1] = {row};
            if (jpeg_read_scanlines(cinfo, rows, 1) != 1) return false;
        }
    }
    if (dcOnly) {
        // The rest of the file is not read at all: neither decoded nor checked.
        jpeg_abort_decompress(cinfo);
        return true;
    }
    return jpeg_finish_decompress(cinfo) == TRUE;
}

bool ReadCapped(const QString& path, QByteArray& out) {
    const QByteArray name = EncodeFileName(path);
    // O_NONBLOCK: a FIFO named folder.jpg must not hang the window.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
              st.st_size <= MaxJpegFileSize;
    if (ok) {
        out = QByteArray(static_cast<qsizetype>(st.st_size), Qt::Uninitialized);
        qsizetype got = 0;
        while (got < out.size()) {
            const ssize_t n = ::read(fd, out.data() + got, static_cast<size_t>(out.size() - got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += n;
        }
        out.truncate(got); // a file that shrank meanwhile decodes as truncated
    }
    ::close(fd);
    return ok;
}

// One decompress struct with its handlers, released on every way out of the decode: a failure,
// an early return, an exception. An error's long jump never leaves the frame that holds it.
class TDecompress {
public:
    TDecompress() {
        std::memset(&Info, 0, sizeof Info); // destroying a struct never created is then harmless
        std::memset(&Progress, 0, sizeof Progress);
        Info.err = jpeg_std_error(&Err.Pub);
        Err.Pub.error_exit = ErrorExit;
        Err.Pub.emit_message = EmitMessage;
        Err.Pub.output_message = OutputMessage;
        Progress.progress_monitor = ProgressMonitor;
    }
    ~TDecompress() { jpeg_destroy_decompress(&Info); }
    TDecompress(const TDecompress&) = delete;
    TDecompress& operator=(const TDecompress&) = delete;

    jpeg_decompress_struct Info;
    TErrorManager Err;
    jpeg_progress_mgr Progress;
};

} // namespace

QImage DecodeJpegScaled(const QByteArray& data, QSize cover) {
    if (data.isEmpty()) return {};
    TDecompress d;
    if (!ReadHeader(&d.Info, &d.Err, &d.Progress,
                    reinterpret_cast<const unsigned char*>(data.constData()),
                    static_cast<unsigned long>(data.size()), cover.width(), cover.height()))
        return {};
    const JDIMENSION w = d.Info.output_width, h = d.Info.output_height;
    QImage image(static_cast<int>(w), static_cast<int>(h), QImage::Format_RGB32);
    if (image.isNull() || !ReadPixels(&d.Info, &d.Err, image.bits(), image.bytesPerLine(), w, h))
        return {};
    return image;
}

QImage LoadJpegScaled(const QString& path, QSize cover) {
    QByteArray data;
    if (!ReadCapped(path, data)) return {};
    return DecodeJpegScaled(data, cover);
}

QImage DecodePictureScaled(const QByteArray& data, QSize cover) {
    if (data.startsWith("\xFF\xD8")) return DecodeJpegScaled(data, cover);
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty() ||
        static_cast<qint64>(size.width()) * size.height() > MaxJpegDeclaredPixels)
        return {};
    // The smallest size that still covers `cover`, never larger than the picture itself.
    const double scale = std::min(1.0, std::max(double(cover.width()) / size.width(),
                                                double(cover.height()) / size.height()));
    const QSize out(std::max(1, int(std::ceil(size.width() * scale))),
                    std::max(1, int(std::ceil(size.height() * scale))));
    if (static_cast<qint64>(out.width()) * out.height() > MaxJpegOutputPixels) return {};
    if (out != size) reader.setScaledSize(out);
    QImage image = reader.read();
    if (image.isNull()) return {};
    // Transparent parts show the display's own background as a JPEG's would: drawn on white.
    if (image.hasAlphaChannel()) {
        QImage flat(image.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter(&flat).drawImage(0, 0, image);
        return flat;
    }
    return image.convertToFormat(QImage::Format_RGB32);
}

QImage LoadPictureScaled(const QString& path, QSize cover) {
    QByteArray data;
    if (!ReadCapped(path, data)) return {};
    return DecodePictureScaled(data, cover);
}
