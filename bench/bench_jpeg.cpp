// Folder pictures: decoding at the covering DCT scale against a full decode by Qt's own loader.
// Usage: bench_jpeg [runs] [extra.jpg ...]   (generates with ImageMagick first: a 4000 x 3000
// baseline with full and with 4:2:0 chroma and with restart markers, the same picture
// progressive with and without chroma subsampling, a 1000 x 1000 progressive and a smooth
// 4000 x 3000 picture)
// A progressive file decoded at 1/8 needs only its first scans; each picture says which way
// it went: the DC shortcut (on two cores when another core's part was used) or libjpeg.
#include "platform/FileName.h"
#include "platform/JpegDc.h"
#include "platform/JpegImage.h"
#include "support/JpegEncode.h"
#include "support/TestAudio.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

using Clock = std::chrono::steady_clock;
const QSize kCover(200, 200);

double CpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Medians of wall-clock and CPU time; the CPU time is the steadier figure on a busy machine.
struct TTiming {
    double Wall, Cpu;
};

TTiming MedianMs(int runs, const std::function<void()>& fn) {
    fn(); // warm the page cache and the plugin
    std::vector<double> wall, cpu;
    for (int i = 0; i < runs; ++i) {
        const double c0 = CpuMs();
        const auto t0 = Clock::now();
        fn();
        wall.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        cpu.push_back(CpuMs() - c0);
    }
    return {Median(wall), Median(cpu)};
}

bool Generate(const std::string& args, const std::string& path) {
    const std::string cmd = "convert " + args + " '" + path + "'";
    return std::system(cmd.c_str()) == 0 && std::filesystem::exists(path);
}

// The frame marker before the first scan: SOF2, SOF6, SOF10 and SOF14 are progressive.
bool IsProgressive(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> d((std::istreambuf_iterator<char>(in)), {});
    for (size_t i = 2; i + 3 < d.size() && d[i] == 0xFF && d[i + 1] != 0xDA;
         i += 2 + (d[i + 2] << 8 | d[i + 3])) {
        const unsigned m = d[i + 1];
        if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC)
            return m == 0xC2 || m == 0xC6 || m == 0xCA || m == 0xCE;
    }
    return false;
}

struct TResult {
    TTiming Scaled, Full, ScaledShown, FullShown, Libjpeg, Entropy, OneCore;
};

// All the file's entropy decoding and nothing else: the coefficients of every scan, no inverse
// DCT, no colour. No decode that uses the AC coefficients can be faster with libjpeg.
void ReadCoefficients(const QByteArray& data) {
    jpeg_decompress_struct c;
    jpeg_error_mgr e;
    c.err = jpeg_std_error(&e);
    jpeg_create_decompress(&c);
    jpeg_mem_src(&c, reinterpret_cast<const unsigned char*>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&c, TRUE);
    jpeg_read_coefficients(&c);
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
}

const char* RouteName(TJpegRoute route) {
    switch (route) {
    case TJpegRoute::DcShortcut:
        return JpegDcHalves().Taken ? "DC shortcut on two cores" : "DC shortcut";
    case TJpegRoute::Libjpeg:
        return "libjpeg";
    case TJpegRoute::Failed:
        break;
    }
    return "failed";
}

void PrintRow(const char* what, TTiming scaled, TTiming full) {
    std::printf("  %-14s wall: scaled %7.2f ms  Qt full %7.2f ms  %5.1fx | cpu: scaled %7.2f ms  "
                "Qt full %7.2f ms  %5.1fx\n",
                what, scaled.Wall, full.Wall, full.Wall / scaled.Wall, scaled.Cpu, full.Cpu,
                full.Cpu / scaled.Cpu);
}

TResult Measure(const std::string& label, const std::string& path, int runs) {
    const QString name = DecodeFileName(std::string_view(path));
    TJpegRoute route = TJpegRoute::Failed;
    const QImage probe = LoadJpegScaled(name, kCover, &route);
    const std::string routeName = RouteName(route);
    const QImage full = QImage(name);
    if (probe.isNull() || full.isNull()) {
        std::printf("%-34s could not be decoded (scaled %s, Qt %s)\n", label.c_str(),
                    probe.isNull() ? "failed" : "ok", full.isNull() ? "failed" : "ok");
        return {};
    }
    volatile int sink = 0;
    TResult r{};
    r.Scaled = MedianMs(runs, [&] { sink = sink + LoadJpegScaled(name, kCover).width(); });
    r.Full = MedianMs(runs, [&] { sink = sink + QImage(name).width(); });
    // As the window shows it: stretched over the 200 x 200 client area.
    r.ScaledShown = MedianMs(runs, [&] {
        sink = sink + LoadJpegScaled(name, kCover)
                          .scaled(kCover, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                          .width();
    });
    r.FullShown = MedianMs(runs, [&] {
        sink = sink +
               QImage(name).scaled(kCover, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).width();
    });
    QFile file(name);
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    r.Libjpeg =
        MedianMs(runs, [&] { sink = sink + DecodeJpegScaledByLibjpeg(bytes, kCover).width(); });
    r.Entropy = MedianMs(runs, [&] { ReadCoefficients(bytes); });
    JpegDcHalves().OneCore = true;
    r.OneCore = MedianMs(runs, [&] { sink = sink + LoadJpegScaled(name, kCover).width(); });
    JpegDcHalves().OneCore = false;
    const auto fileBytes = std::filesystem::file_size(path);
    const bool eighth =
        probe.width() == (full.width() + 7) / 8 && probe.height() == (full.height() + 7) / 8;
    const bool progressive = IsProgressive(path);
    std::printf("%-34s %5dx%-5d %6.2f MB  decoded at %4dx%-4d  %s, %s, %s\n", label.c_str(),
                full.width(), full.height(), fileBytes / 1e6, probe.width(), probe.height(),
                progressive ? "progressive" : "sequential",
                progressive && eighth ? "first scans only" : "all scans", routeName.c_str());
    PrintRow("decode only", r.Scaled, r.Full);
    PrintRow("stretched 200", r.ScaledShown, r.FullShown);
    std::printf("  %-14s wall: scaled on one core %7.2f ms (%4.1fx faster than Qt full)\n",
                "for reference", r.OneCore.Wall, r.Full.Wall / r.OneCore.Wall);
    std::printf("  %-14s wall: libjpeg alone at the same scale %7.2f ms (%4.1fx slower than the "
                "above), all coefficients without IDCT %7.2f ms (%4.1fx faster than Qt full)\n",
                "", r.Libjpeg.Wall, r.Libjpeg.Wall / r.Scaled.Wall, r.Entropy.Wall,
                r.Full.Wall / r.Entropy.Wall);
    return r;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int runs = 15;
    int first = 1;
    if (argc > 1 && std::atoi(argv[1]) > 0) {
        runs = std::atoi(argv[1]);
        first = 2;
    }
    testsupport::TTempDir dir("velodra-bench-jpeg");
    const std::string big = dir / "big.jpg", big420 = dir / "big-420.jpg",
                      bigProg = dir / "big-progressive.jpg",
                      bigSub = dir / "big-progressive-420.jpg", prog = dir / "progressive.jpg";
    std::printf("generating pictures...\n");
    std::fflush(stdout);
    // Plasma has the texture of a photograph, so the entropy decoding costs what it would.
    // The same seed gives the same picture, so the big ones differ only in how they are stored.
    const std::string plasma = "-size 4000x3000 plasma:fractal -seed 1 ";
    if (!Generate(plasma + "-quality 90", big) ||
        !Generate(plasma + "-quality 90 -sampling-factor 2x2", big420) ||
        !Generate(plasma + "-quality 90 -interlace JPEG", bigProg) ||
        !Generate(plasma + "-quality 85 -sampling-factor 2x2 -interlace JPEG", bigSub) ||
        !Generate("-size 1000x1000 plasma:fractal -seed 2 -quality 90 -interlace JPEG", prog)) {
        std::fprintf(stderr, "ImageMagick's convert failed\n");
        return 1;
    }
    std::printf("medians of %d runs, cover %dx%d, Qt image plugin %s\n\n", runs, kCover.width(),
                kCover.height(),
                QImageReader::supportedImageFormats().contains("jpeg") ? "present" : "MISSING");

    const TResult large = Measure("4000x3000 baseline", big, runs);
    const TResult large420 = Measure("4000x3000 baseline 4:2:0", big420, runs);
    // The same picture with a restart marker every MCU row, as cameras write them (ImageMagick
    // cannot): written here with libjpeg from the decoded baseline picture.
    const std::string bigRestarts = dir / "big-restarts.jpg";
    {
        const QImage rgb =
            QImage(DecodeFileName(std::string_view(big))).convertToFormat(QImage::Format_RGB888);
        const QByteArray jpeg = testsupport::EncodeJpeg(
            rgb.width(), rgb.height(), 3, JCS_RGB,
            [](jpeg_compress_struct& c) {
                jpeg_set_quality(&c, 90, TRUE);
                c.comp_info[0].h_samp_factor = c.comp_info[0].v_samp_factor = 1;
                c.restart_in_rows = 1;
            },
            [&](int y, unsigned char* row) {
                std::memcpy(row, rgb.constScanLine(y), static_cast<size_t>(rgb.width()) * 3);
            });
        std::ofstream(bigRestarts, std::ios::binary).write(jpeg.constData(), jpeg.size());
    }
    const TResult largeRestarts = Measure("4000x3000 baseline, restarts", bigRestarts, runs);
    const TResult largeProg = Measure("4000x3000 progressive", bigProg, runs);
    const TResult largeSub = Measure("4000x3000 progressive 4:2:0", bigSub, runs);
    // Decoded at 2/8, which uses AC coefficients: all scans are read.
    const TResult small = Measure("1000x1000 progressive", prog, runs);
    // The scaled decode still has to undo the whole entropy coding, so its cost follows the
    // compressed size; a smooth picture shows the other end of the range.
    const std::string smooth = dir / "smooth.jpg";
    if (Generate("-size 4000x3000 gradient:navy-orange -quality 90", smooth))
        Measure("4000x3000 smooth (for contrast)", smooth, runs);
    for (int i = first; i < argc; ++i)
        Measure(argv[i], argv[i], runs);

    std::printf("\ntargets: at least 5x faster than the full decode, under 15 ms for the large "
                "picture\n");
    const auto verdict = [](bool ok) { return ok ? "met" : "NOT MET"; };
    if (large.Scaled.Wall > 0) {
        std::printf("  large: %.2f ms wall, %.2f ms cpu (%s); %.1fx wall, %.1fx cpu (%s)\n",
                    large.Scaled.Wall, large.Scaled.Cpu, verdict(large.Scaled.Wall < 15),
                    large.Full.Wall / large.Scaled.Wall, large.Full.Cpu / large.Scaled.Cpu,
                    verdict(large.Full.Wall >= 5 * large.Scaled.Wall));
    }
    const auto ratio = [&](const char* what, const TResult& r) {
        if (r.Scaled.Wall <= 0) return;
        std::printf("  %s: %.2f ms wall, %.2f ms cpu; %.1fx wall, %.1fx cpu (%s)\n", what,
                    r.Scaled.Wall, r.Scaled.Cpu, r.Full.Wall / r.Scaled.Wall,
                    r.Full.Cpu / r.Scaled.Cpu, verdict(r.Full.Wall >= 5 * r.Scaled.Wall));
    };
    ratio("baseline 4000x3000 4:2:0", large420);
    ratio("baseline 4000x3000 with restarts", largeRestarts);
    ratio("progressive 4000x3000", largeProg);
    ratio("progressive 4000x3000 4:2:0", largeSub);
    ratio("progressive 1000x1000", small);
    if (small.Entropy.Wall > 0) {
        std::printf("  progressive 1000x1000 at 2/8 needs every coefficient of every scan: their "
                    "entropy decoding alone is %.1fx faster than Qt's full decode, the bound "
                    "for any decode at that scale\n",
                    small.Full.Wall / small.Entropy.Wall);
    }
    return 0;
}
