// The main window on a 100,000-file library: the time of a folder change (the file list filled,
// the first file opened and read, the picture looked for) and of one timer tick while playing.
// Scripted audio device; the files are small stand-ins. Prints medians.
#include "platform/ErrorReport.h"
#include "player/UFormPlayer.h"
#include "support/FakeClock.h"
#include "support/ScriptedMediaDevice.h"
#include "support/TestAudio.h"
#include "ui/UFormVelodra.h"
#include "ui_UFormVelodra.h"

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {
double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
using Clock = std::chrono::steady_clock;
double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}
} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testsupport::TTempDir dir("velodra-bench-window");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir / "config"));
    SetMessageHandler(
        [](const TMessage& m) { std::fprintf(stderr, "message: %s\n", qPrintable(m.Text)); });

    constexpr int kFolders = 2000, kPerFolder = 50;
    std::printf("generating %d files in %d folders...\n", kFolders * kPerFolder, kFolders);
    for (int f = 0; f < kFolders; ++f) {
        char folder[64];
        std::snprintf(folder, sizeof folder, "lib/Artist %03d/Album %02d", f / 20, f % 20);
        for (int i = 0; i < kPerFolder; ++i) {
            char name[96];
            std::snprintf(name, sizeof name, "%s/%02d Track number %d.mp3", folder, i, i);
            testsupport::WriteFile(dir / name, "ID3");
        }
    }

    auto device = std::make_unique<testsupport::TScriptedMediaDevice>();
    auto* dev = device.get();
    auto clock = std::make_shared<testsupport::TFakeClock>();
    dev->Clock = clock;
    TFormPlayer player(std::move(device), clock);
    TFormVelodra window;
    window.SetFormPlayer(&player);
    window.ui->ActPlayNotification->setChecked(false);
    const auto t0 = Clock::now();
    window.SetRootFolder(QString::fromStdString(dir / "lib"));
    std::printf("library: %d files, %lld folders, loaded in %.0f ms\n", player.TotalFileCount(),
                static_cast<long long>(player.Folders.size()), Ms(Clock::now() - t0));

    // Folder changes spread over the library, stopped (nothing plays).
    std::vector<double> changes;
    for (int k = 0; k < 60; ++k) {
        const int target = (k * 677) % kFolders;
        window.ui->edFolder->setCurrentIndex(target);
        const auto s = Clock::now();
        window.edFolderChange();
        changes.push_back(Ms(Clock::now() - s));
    }

    // Ticks while playing: every slot of the schedule comes round (600 ticks = one minute).
    window.Execute(window.ui->ActPlay);
    std::vector<double> ticks;
    for (int k = 0; k < 1200; ++k) {
        clock->Advance(100);
        const auto s = Clock::now();
        window.TmrMainTimer();
        ticks.push_back(Ms(Clock::now() - s));
        window.TmrMain->stop();
    }
    const double change = Median(changes), tick = Median(ticks);
    std::printf("folder change (edFolderChange), median of %zu: %.3f ms (target < 10 ms)\n",
                changes.size(), change);
    std::printf(
        "timer tick while playing, median of %zu: %.4f ms (target < 0.2 ms), worst %.3f ms\n",
        ticks.size(), tick, *std::max_element(ticks.begin(), ticks.end()));
    std::printf("device opens: %d\n",
                static_cast<int>(dev->Log.filter(QStringLiteral("Open ")).size()));
    return 0;
}
