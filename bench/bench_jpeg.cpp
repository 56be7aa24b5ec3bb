// The folder picture of a 24-megapixel camera file on a real main window (offscreen platform):
// how long a folder change (UpdateFolderImage included) holds the UI thread, and how long until
// the picture is shown.
// For reference, libjpeg's scaled decode of the same file alone, which the UI thread used to
// wait for. Each run opens another folder holding a link to the same file, so every run
// decodes (the page cache is warm for all, the reference included).
// Usage: bench_jpeg [runs]   (QT_SCALE_FACTOR=2 measures the decode for a 2x screen)
#include "BenchSupport.h"
#include "BenchWindow.h"
#include "platform/ErrorReport.h"
#include "platform/FileName.h"
#include "platform/JpegImage.h"
#include "support/TestAudio.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QTimer>
#include <QtMath>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using bench::Clock;
using bench::Median;
using bench::Ms;

std::string FolderName(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "lib/Album %02d", i);
    return name;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    testsupport::TTempDir dir("velodra-bench-jpeg");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir / "config"));
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(dir.Path.string()));
    QApplication app(argc, argv);
    const int runs = argc > 1 && std::atoi(argv[1]) > 0 ? std::atoi(argv[1]) : 15;
    SetMessageHandler(
        [](const TMessage& m) { std::fprintf(stderr, "message: %s\n", qPrintable(m.Text)); });

    std::printf("generating a 6000x4000 picture...\n");
    std::fflush(stdout);
    // Plasma has the texture of a photograph, so the entropy decoding costs what it would.
    const std::string picture = dir / "camera.jpg";
    const std::string cmd =
        "convert -size 6000x4000 plasma:fractal -seed 1 -quality 90 '" + picture + "'";
    if (std::system(cmd.c_str()) != 0 || !std::filesystem::exists(picture)) {
        std::fprintf(stderr, "ImageMagick's convert failed\n");
        return 1;
    }
    // Folder 0 is where the window starts; runs use 1..runs.
    for (int i = 0; i <= runs; ++i) {
        testsupport::WriteFile(dir / (FolderName(i) + "/01 Track.mp3"), "ID3");
        std::filesystem::create_hard_link(picture, dir / (FolderName(i) + "/Folder.jpg"));
    }

    bench::TScriptedWindow scripted;
    TFormVelodra& window = scripted.Window;
    window.show();
    QCoreApplication::processEvents();
    auto* folders = window.findChild<QComboBox*>(QStringLiteral("edFolder"));
    auto* shown = window.findChild<QLabel*>(QStringLiteral("ImgFolder1"));
    if (!folders || !shown) return 1;
    // Until the picture is on the window, sleeping in the event loop as the program would; the
    // timer only bounds the wait.
    QTimer wake;
    wake.start(100);
    const auto waitShown = [&] {
        const auto limit = Clock::now() + std::chrono::seconds(30);
        while (shown->isHidden() && Clock::now() < limit)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return !shown->isHidden();
    };
    // The Load command, with the folder browser answering the library.
    window.SetBrowseFolder(
        [&](QWidget*, const QString&, const QString&, std::function<void(const QString&)> chosen) {
            chosen(QString::fromStdString(dir / "lib"));
        });
    auto* load = window.findChild<QAction*>(QStringLiteral("ActLoad"));
    if (!load) return 1;
    load->trigger();
    if (!waitShown()) {
        std::fprintf(stderr, "the picture never showed\n");
        return 1;
    }

    std::vector<double> blocked, blockedCpu, untilShown, back;
    for (int i = 1; i <= runs; ++i) {
        // A folder picked in the list: the whole change, the picture request included.
        const double c0 = bench::ThreadCpuMs();
        const auto t0 = Clock::now();
        folders->setCurrentIndex(i);
        emit folders->activated(i);
        blocked.push_back(Ms(Clock::now() - t0));
        blockedCpu.push_back(bench::ThreadCpuMs() - c0);
        if (!waitShown()) {
            std::fprintf(stderr, "run %d: the picture never showed\n", i);
            return 1;
        }
        untilShown.push_back(Ms(Clock::now() - t0));
        // Back to the folder before: the picture is already decoded.
        const auto t1 = Clock::now();
        folders->setCurrentIndex(i - 1);
        emit folders->activated(i - 1);
        back.push_back(Ms(Clock::now() - t1));
        if (shown->isHidden()) std::fprintf(stderr, "run %d: going back decoded again\n", i);
        QCoreApplication::processEvents();
    }

    // The reference: the same scaled decode, alone, on this thread.
    const qreal ratio = window.devicePixelRatioF();
    const QSize cover(qCeil(window.width() * ratio), qCeil(window.height() * ratio));
    const QString name = DecodeFileName(std::string_view(picture));
    const QImage probe = LoadJpegScaled(name, cover);
    std::vector<double> decode;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        const QImage image = LoadJpegScaled(name, cover);
        decode.push_back(Ms(Clock::now() - t0));
        if (image.isNull()) return 1;
    }

    const double block = Median(blocked), show = Median(untilShown), ref = Median(decode);
    const auto worst = [](const std::vector<double>& v) {
        return *std::max_element(v.begin(), v.end());
    };
    std::printf("6000x4000 picture, %.2f MB, window %dx%d at device pixel ratio %.2f: decoded "
                "at %dx%d for %dx%d device pixels; medians of %d runs\n",
                std::filesystem::file_size(picture) / 1e6, window.width(), window.height(), ratio,
                probe.width(), probe.height(), cover.width(), cover.height(), runs);
    std::printf("  a folder change blocks the UI thread:    %7.3f ms wall (worst %.3f), %.3f ms "
                "cpu (worst %.3f); target < 1 ms: %s\n",
                block, worst(blocked), Median(blockedCpu), worst(blockedCpu),
                block < 1.0 ? "met" : "NOT MET");
    std::printf("  going back to a decoded folder:          %7.3f ms wall\n", Median(back));
    std::printf("  until the picture is shown:              %7.2f ms wall\n", show);
    std::printf("  libjpeg's scaled decode alone (reference; the UI thread used to wait for it): "
                "%.2f ms wall, %.0fx the blocking time\n",
                ref, ref / block);
    return 0;
}
