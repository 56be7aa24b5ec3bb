// The start on a library snapshot, side by side in one run, every directory read slowed by 2 ms
// (strace injects the delay into getdents64, as a spinning disk, a network share or a cold cache
// would):
//   start to the resumed file's title and sound, 100,000 files in 10,000 folders  vs  the same
//   start on a one-folder library (target: at most 1.2x), and a start that must scan (no
//   snapshot) for scale;
//   the check behind the window on the unchanged tree: directory reads (target: none), stats
//   (target: one per folder) and its time  vs  find ROOT -type d;
//   peak memory of the library from a scan  vs  from the snapshot.
// Usage: bench_start [--files N] [--runs N] [--no-scan] [--keep]
#include "BenchSupport.h"
#include "platform/CacheFile.h"
#include "player/LibrarySnapshot.h"
#include "player/Session.h"
#include "player/UFormPlayer.h"
#include "support/TestAudio.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace fs = std::filesystem;

namespace {
constexpr const char* kSlow = "strace -f -qq --seccomp-bpf -o /dev/null -e trace=getdents64 "
                              "-e inject=getdents64:delay_enter=2000 ";

long MaxRssKb() {
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return use.ru_maxrss;
}

// Artists of ten albums of ten tracks; the resumed track is a real MP3, the rest empty files.
void Generate(const std::string& root, int files, const std::string& tone) {
    char dir[256];
    for (int i = 0; i < files; ++i) {
        std::snprintf(dir, sizeof dir, "%s/Artist %04d/Album %d", root.c_str(), i / 100,
                      (i / 10) % 10);
        if (i % 10 == 0) fs::create_directories(dir);
        const std::string file = std::string(dir) + "/" + std::to_string(i % 10) + " Track.mp3";
        if (i == files / 2 / 10 * 10)
            fs::copy_file(tone, file, fs::copy_options::overwrite_existing);
        else
            testsupport::WriteFile(file, "");
    }
}

// One start in this process: "title sound rss" in ms and kB on stdout.
int ChildStart(const QString& root, const QString& snapshot, const QString& folderKey) {
    int argc = 1;
    char name[] = "bench_start";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    TFormPlayer player;
    TSession session(player);
    session.SetSnapshotPath(snapshot);
    session.SetRootFolder(root);
    QElapsedTimer clock;
    double title = -1, sound = -1;
    QObject::connect(&session, &TSession::InfoChanged, [&] {
        if (title < 0) title = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    });
    QObject::connect(&session, &TSession::PlayStarted, [&] {
        sound = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        app.quit();
    });
    QTimer::singleShot(600000, &app, &QCoreApplication::quit);
    clock.start();
    session.StartUp({0, 0, 0, true, folderKey, QStringLiteral("0 Track.mp3")});
    app.exec();
    std::printf("%.1f %.1f %ld\n", title, sound, MaxRssKb());
    session.Shutdown();
    return sound < 0 ? 1 : 0;
}

struct TStart {
    double Title = -1, Sound = -1;
    long Rss = 0;
};

TStart RunStart(const std::string& self, const std::string& root, const std::string& snapshot,
                const std::string& key, bool slow) {
    const std::string cmd = (slow ? std::string(kSlow) : std::string()) + "'" + self +
                            "' --child '" + root + "' '" + snapshot + "' '" + key + "'";
    TStart s;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        if (std::fscanf(p, "%lf %lf %ld", &s.Title, &s.Sound, &s.Rss) != 3) s = {};
        pclose(p);
    }
    return s;
}

} // namespace

using bench::Median;

int main(int argc, char** argv) {
    if (argc == 5 && !std::strcmp(argv[1], "--child"))
        return ChildStart(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                          QString::fromLocal8Bit(argv[4]));
    int files = 100000, runs = 3;
    bool keep = false, scan = true;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--files") && i + 1 < argc)
            files = std::max(100, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--runs") && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--keep"))
            keep = true;
        else if (!std::strcmp(argv[i], "--no-scan"))
            scan = false;
        else {
            std::fprintf(stderr,
                         "usage: bench_start [--files N] [--runs N] [--no-scan] [--keep]\n");
            return 2;
        }
    }
    if (std::system("command -v strace >/dev/null") != 0) {
        std::fprintf(stderr, "strace is needed (scripts/setup --test)\n");
        return 1;
    }
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const std::string work = "/tmp/bench_start." + std::to_string(getpid());
    const std::string tone = work + "/tone.mp3";
    if (!testsupport::GenerateTone(tone, 5.0, "-c:a libmp3lame -b:a 128k")) {
        std::fprintf(stderr, "ffmpeg could not make the test tone\n");
        return 1;
    }
    const std::string big = work + "/big", small = work + "/small";
    Generate(big, files, tone);
    Generate(small, 10, tone);
    const std::string bigKey =
        "./Artist " + std::string(4 - std::to_string(files / 200).size(), '0') +
        std::to_string(files / 200) + "/Album " + std::to_string((files / 2 / 10) % 10);
    const std::string smallKey = "./Artist 0000/Album 0";

    // The snapshots, as the player leaves them after its scan.
    TScanControl control;
    QElapsedTimer clock;
    const QString bigSnap = QString::fromStdString(work + "/big.snapshot");
    const QString smallSnap = QString::fromStdString(work + "/small.snapshot");
    clock.start();
    const TLibrary bigLib = TFormPlayer::Scan(QString::fromStdString(big), {}, control);
    const double scanMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    const long scanRss = MaxRssKb();
    SaveSnapshot(bigSnap, bigLib, {});
    SaveSnapshot(smallSnap, TFormPlayer::Scan(QString::fromStdString(small), {}, control), {});
    std::printf("library: %d files in %d folders (%zu directories), snapshot %lld bytes\n",
                bigLib.TotalFileCount(), bigLib.FolderCount(), bigLib.Tree().size(),
                static_cast<long long>(fs::file_size(bigSnap.toStdString())));

    // Loading the snapshot alone, warm.
    std::vector<double> loads;
    for (int r = 0; r < runs; ++r) {
        clock.restart();
        const std::optional<TLibrary> l = LoadSnapshot(bigSnap, QString::fromStdString(big), {});
        loads.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        if (!l || l->TotalFileCount() != bigLib.TotalFileCount()) return 1;
    }
    std::printf("snapshot load: %.1f ms (scan of the same tree, warm, not slowed: %.1f ms)\n",
                Median(loads), scanMs);

    // The starts, every directory read slowed by 2 ms.
    std::vector<double> bigTitle, bigSound, smallTitle, smallSound;
    long startRss = 0;
    for (int r = 0; r < runs; ++r) {
        const TStart b = RunStart(self, big, bigSnap.toStdString(), bigKey, true);
        const TStart s = RunStart(self, small, smallSnap.toStdString(), smallKey, true);
        bigTitle.push_back(b.Title);
        bigSound.push_back(b.Sound);
        smallTitle.push_back(s.Title);
        smallSound.push_back(s.Sound);
        startRss = std::max(startRss, b.Rss);
    }
    std::printf("start to title / sound, reads slowed 2 ms (median of %d):\n", runs);
    std::printf("  %d files, snapshot: %8.1f / %8.1f ms\n", files, Median(bigTitle),
                Median(bigSound));
    std::printf("  one folder, snapshot:   %8.1f / %8.1f ms\n", Median(smallTitle),
                Median(smallSound));
    std::printf("  ratio: title %.2fx, sound %.2fx (target <= 1.2x)\n",
                Median(bigTitle) / Median(smallTitle), Median(bigSound) / Median(smallSound));
    if (scan) {
        const TStart full = RunStart(self, big, work + "/none.snapshot", bigKey, true);
        std::printf("  %d files, no snapshot (the scan first): %.1f / %.1f ms\n", files, full.Title,
                    full.Sound);
    }

    // The check on the unchanged tree, against find.
    std::vector<double> checks, finds;
    TFormPlayer::TCheckReport report;
    for (int r = 0; r < runs; ++r) {
        clock.restart();
        report = TFormPlayer::Check(bigLib, {}, control);
        checks.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        clock.restart();
        if (std::system(("find '" + big + "' -type d >/dev/null").c_str()) != 0) return 1;
        finds.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("check of the unchanged tree: %lld directory reads (target 0), %lld stats for "
                "%zu directories, %.1f ms vs find -type d %.1f ms (%.2fx)%s\n",
                static_cast<long long>(report.Reads), static_cast<long long>(report.Stats),
                bigLib.Tree().size(), Median(checks), Median(finds), Median(checks) / Median(finds),
                report.Library ? " CHANGED?" : "");
    std::printf("peak memory: scan in this process %ld kB; a start from the snapshot (with "
                "GStreamer and the session) %ld kB\n",
                scanRss, startRss);
    if (!keep) fs::remove_all(work);
    return 0;
}
