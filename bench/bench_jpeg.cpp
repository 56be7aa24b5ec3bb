// Folder pictures: decoding at the covering DCT scale against a full decode by Qt's own loader.
// Usage: bench_jpeg [runs] [extra.jpg ...]   (generates a 4000 x 3000 baseline, a 1000 x 1000
// progressive and a smooth 4000 x 3000 picture with ImageMagick first)
#include "platform/FileName.h"
#include "platform/JpegImage.h"
#include "support/TestAudio.h"

#include <QCoreApplication>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

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

struct TResult {
    TTiming Scaled, Full, ScaledShown, FullShown;
};

void PrintRow(const char* what, TTiming scaled, TTiming full) {
    std::printf("  %-14s wall: scaled %7.2f ms  Qt full %7.2f ms  %5.1fx | cpu: scaled %7.2f ms  "
                "Qt full %7.2f ms  %5.1fx\n",
                what, scaled.Wall, full.Wall, full.Wall / scaled.Wall, scaled.Cpu, full.Cpu,
                full.Cpu / scaled.Cpu);
}

TResult Measure(const std::string& label, const std::string& path, int runs) {
    const QString name = DecodeFileName(std::string_view(path));
    const QImage probe = LoadJpegScaled(name, kCover);
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
    const auto bytes = std::filesystem::file_size(path);
    std::printf("%-34s %5dx%-5d %6.2f MB  decoded at %4dx%-4d\n", label.c_str(), full.width(),
                full.height(), bytes / 1e6, probe.width(), probe.height());
    PrintRow("decode only", r.Scaled, r.Full);
    PrintRow("stretched 200", r.ScaledShown, r.FullShown);
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
    const std::string big = dir / "big.jpg", prog = dir / "progressive.jpg";
    std::printf("generating pictures...\n");
    std::fflush(stdout);
    // Plasma has the texture of a photograph, so the entropy decoding costs what it would.
    if (!Generate("-size 4000x3000 plasma:fractal -seed 1 -quality 90", big) ||
        !Generate("-size 1000x1000 plasma:fractal -seed 2 -quality 90 -interlace JPEG", prog)) {
        std::fprintf(stderr, "ImageMagick's convert failed\n");
        return 1;
    }
    std::printf("medians of %d runs, cover %dx%d, Qt image plugin %s\n\n", runs, kCover.width(),
                kCover.height(),
                QImageReader::supportedImageFormats().contains("jpeg") ? "present" : "MISSING");

    const TResult large = Measure("4000x3000 baseline", big, runs);
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
    if (small.Scaled.Wall > 0) {
        std::printf("  progressive: %.1fx wall, %.1fx cpu (%s)\n",
                    small.Full.Wall / small.Scaled.Wall, small.Full.Cpu / small.Scaled.Cpu,
                    verdict(small.Full.Wall >= 5 * small.Scaled.Wall));
    }
    return 0;
}
