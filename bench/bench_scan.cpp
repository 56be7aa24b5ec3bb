// The library scan on a generated tree of 100,000 audio files, side by side in one run:
//   velodra-scan --include-wma ROOT       vs  find ROOT -type f ( -iname *.mp3 -o -iname *.wma ) |
//   sort -f the scan with the loading window      vs  velodra-scan peak memory of velodra-scan
// Usage: bench_scan [--files N] [--runs N] [--keep] [--scan PATH-TO-velodra-scan]
// The tree goes under /tmp and is removed at the end (unless --keep).
#include "platform/MediaDevice.h"
#include "player/Session.h"
#include "player/UFormPlayer.h"
#include "ui/UFormLoading.h"

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {
void Touch(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
    close(fd);
}

void MakeDir(const std::string& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
}

struct TTree {
    int Audio = 0, Wma = 0, Decoys = 0, Folders = 0;
};

// Artists with albums of 50 tracks; every 4th artist also holds tracks directly (a folder with
// files and subfolders), every 3rd splits its last album into discs (deeper nesting). Every
// 10th track is WMA, every 7th has an upper-case extension; each album has decoys: a picture,
// notes, a backup "x.mp3.bak" and now and then a directory named like an audio file.
TTree Generate(const std::string& root, int files) {
    TTree t;
    std::string lastDir;
    char name[160];
    for (int i = 0; i < files; ++i) {
        const int artist = i / 250, album = (i / 50) % 5, track = i % 50;
        std::snprintf(name, sizeof name, "%s/%s %04d", root.c_str(),
                      artist % 5 == 0 ? "Ensemble \xc3\x89t\xc3\xa9" : "Artist", artist);
        std::string dir = name;
        if (!(artist % 4 == 0 && album == 0)) {
            std::snprintf(name, sizeof name, "/Album %d (%d)", album, 1990 + artist % 30);
            dir += name;
            if (album == 4 && artist % 3 == 0) dir += track < 25 ? "/Disc 1" : "/Disc 2";
        }
        if (dir != lastDir) {
            MakeDir(dir);
            ++t.Folders;
            lastDir = dir;
            for (const char* decoy : {"folder.jpg", "notes.txt", "x.mp3.bak"}) {
                Touch(dir + "/" + decoy);
                ++t.Decoys;
            }
            if (t.Folders % 10 == 0) {
                MakeDir(dir + "/extras.mp3");
                ++t.Decoys;
            }
        }
        const bool wma = track % 10 == 9;
        const char* ext = wma ? ".wma" : (track % 7 == 0 ? ".MP3" : ".mp3");
        std::snprintf(name, sizeof name, "/%02d Track_%d %s%s", track + 1, i,
                      track % 11 == 0 ? "b" : "A", ext);
        Touch(dir + name);
        ++t.Audio;
        if (wma) ++t.Wma;
    }
    return t;
}

struct TRun {
    double Seconds = 0;
    long MaxRssKb = 0;
    int Status = -1;
};

// Runs argv with stdout to /dev/null; wall time and the child's own peak memory.
TRun Spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    TRun r;
    int status = 0;
    rusage use{};
    wait4(pid, &status, 0, &use);
    r.Seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    r.MaxRssKb = use.ru_maxrss;
    r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string DefaultScanTool() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return (self.parent_path().parent_path() / "tools" / "velodra-scan").string();
}
} // namespace

int main(int argc, char** argv) {
    int files = 100000, runs = 5;
    bool keep = false;
    std::string scanTool = DefaultScanTool();
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--files") && i + 1 < argc)
            files = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--runs") && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--scan") && i + 1 < argc)
            scanTool = argv[++i];
        else if (!std::strcmp(argv[i], "--keep"))
            keep = true;
        else {
            std::fprintf(stderr,
                         "usage: bench_scan [--files N] [--runs N] [--keep] [--scan PATH]\n");
            return 2;
        }
    }
    // A real user locale: both sides then collate (sort -f by strcoll, the scan by ICU).
    if (!std::getenv("LC_ALL")) setenv("LC_ALL", "en_US.UTF-8", 1);
    qputenv("QT_QPA_PLATFORM", "offscreen");

    // Before the tree is made: without the tool there is nothing to measure.
    if (access(scanTool.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "bench_scan: %s is not built\n", scanTool.c_str());
        return 1;
    }
    char templ[] = "/tmp/velodra-bench-scan-XXXXXX";
    if (!mkdtemp(templ)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string root = templ;
    QElapsedTimer gen;
    gen.start();
    const TTree tree = Generate(root, files);
    std::printf("tree %s: %d audio files (%d WMA) in %d folders, %d decoys, made in %.1f s\n",
                root.c_str(), tree.Audio, tree.Wma, tree.Folders, tree.Decoys,
                static_cast<double>(gen.elapsed()) / 1000.0);
    std::printf("locale LC_ALL=%s, %d runs each, medians\n", std::getenv("LC_ALL"), runs);

    const std::string findCmd =
        "find '" + root + "' -type f \\( -iname '*.mp3' -o -iname '*.wma' \\)";
    const std::string floorCmd = findCmd + " | sort -f";
    const std::vector<std::string> floorArgs{"sh", "-c", floorCmd};
    // The same with byte order instead of the locale's: a stricter floor.
    const std::vector<std::string> byteFloorArgs{"sh", "-c", findCmd + " | LC_ALL=C sort -f"};
    const std::vector<std::string> scanArgs{scanTool, root, "--include-wma"};

    // Warm the page cache and check that both work.
    const TRun warmFloor = Spawn(floorArgs), warmScan = Spawn(scanArgs);
    if (warmFloor.Status != 0 || warmScan.Status != 0) {
        std::fprintf(stderr, "a command failed (floor %d, velodra-scan %d: %s)\n", warmFloor.Status,
                     warmScan.Status, scanTool.c_str());
        std::error_code ec;
        if (!keep) fs::remove_all(root, ec);
        return 1;
    }

    std::vector<double> floorTimes, byteFloorTimes, scanTimes;
    long peakKb = 0;
    for (int i = 0; i < runs; ++i) {
        floorTimes.push_back(Spawn(floorArgs).Seconds);
        byteFloorTimes.push_back(Spawn(byteFloorArgs).Seconds);
        const TRun s = Spawn(scanArgs);
        scanTimes.push_back(s.Seconds);
        peakKb = std::max(peakKb, s.MaxRssKb);
    }

    QApplication app(argc, argv);
    std::vector<double> windowed, headless;
    int libraryFiles = 0;
    for (int i = 0; i < runs; ++i) {
        for (bool shown : {true, false}) {
            TFormPlayer player(CreateSilentMediaDevice());
            QElapsedTimer clock;
            clock.start();
            if (shown) {
                // As the program scans: on the session's worker, the loading window following
                // the counts on the UI thread.
                TSession session(player);
                TFormLoading window(session);
                session.SetIncludeWma(true);
                session.OpenFolder(QString::fromStdString(root));
                while (session.Scanning())
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            } else {
                player.LoadFolder(QString::fromStdString(root), {.Wma = true});
            }
            (shown ? windowed : headless)
                .push_back(static_cast<double>(clock.nsecsElapsed()) / 1e9);
            libraryFiles = player.Library.TotalFileCount();
        }
    }

    const double floorS = Median(floorTimes), scanS = Median(scanTimes);
    const double byteFloorS = Median(byteFloorTimes);
    const double windowedS = Median(windowed), headlessS = Median(headless);
    std::printf("\n%-52s %9s\n", "", "seconds");
    std::printf("%-52s %9.3f\n", "find | sort -f (floor)", floorS);
    std::printf("%-52s %9.3f\n", "find | LC_ALL=C sort -f (byte order, no collation)", byteFloorS);
    std::printf("%-52s %9.3f   %.2fx floor (target <= 1.30x), %.2fx byte-order floor\n",
                "velodra-scan --include-wma", scanS, scanS / floorS, scanS / byteFloorS);
    std::printf("%-52s %9.3f   %.2fx velodra-scan (target <= 2.00x)\n",
                "the session's scan with the loading window (offscreen)", windowedS,
                windowedS / scanS);
    std::printf("%-52s %9.3f   (in-process, for reference)\n", "LoadFolder without the window",
                headlessS);
    std::printf("%-52s %9.1f MB (target < 100 MB)\n", "velodra-scan peak memory (max RSS)",
                static_cast<double>(peakKb) / 1024.0);
    std::printf("library files found: %d of %d\n", libraryFiles, tree.Audio);

    if (!keep) {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    return libraryFiles == tree.Audio ? 0 : 1;
}
