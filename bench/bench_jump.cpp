// "Jump to File" on a generated library of 100,000 files in 10,000 folders: the words of 20
// queries typed key by key into the window, and for each key the time until its matches are on
// screen (the list reset and painted), beside the time of a plain case-blind substring pass over
// the same lines. Also the UI thread's own processor time per key, and the folding of the whole
// library. Prints medians and worst cases.
#include "BenchSupport.h"
#include "player/JumpMatch.h"
#include "player/Session.h"
#include "player/UFormPlayer.h"
#include "support/FakeClock.h"
#include "support/ScriptedMediaDevice.h"
#include "ui/UFormJump.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <sstream>
#include <vector>

namespace {
using bench::Clock;
using bench::Median;
using bench::Ms;
double Worst(const std::vector<double>& v) {
    return *std::max_element(v.begin(), v.end());
}
// The processor time of the search's worker, in ms (the scheduler's count, up to date while it
// sleeps between keys).
double WorkerCpuMs() {
    double ms = 0;
    for (const auto& [tid, t] : bench::Threads(getpid()))
        if (t.Name == "JumpSearch") ms += t.Seconds * 1e3;
    return ms;
}
// Artists, albums and titles from a few words, some of them accented, as real libraries are.
QStringList GeneratedPaths(int folders, int perFolder) {
    const QStringList words = {
        QStringLiteral("Love"),     QStringLiteral("Night"),  QStringLiteral("Café"),
        QStringLiteral("Ærø"),      QStringLiteral("Blue"),   QStringLiteral("Mötley"),
        QStringLiteral("Song"),     QStringLiteral("River"),  QStringLiteral("Björk"),
        QStringLiteral("Dream"),    QStringLiteral("Fire"),   QStringLiteral("Straße"),
        QStringLiteral("Garden"),   QStringLiteral("Élan"),   QStringLiteral("Summer"),
        QStringLiteral("Heart"),    QStringLiteral("Ghost"),  QStringLiteral("Señor"),
        QStringLiteral("Electric"), QStringLiteral("Moon"),   QStringLiteral("Øresund"),
        QStringLiteral("Stone"),    QStringLiteral("Velvet"), QStringLiteral("Zürich")};
    std::mt19937 rng(29);
    auto pick = [&](int n) {
        QStringList out;
        for (int i = 0; i < n; ++i)
            out << words[static_cast<qsizetype>(rng() % static_cast<unsigned>(words.size()))];
        return out.join(QLatin1Char(' '));
    };
    QStringList paths;
    paths.reserve(folders * perFolder);
    for (int f = 0; f < folders; ++f) {
        const QString folder = QStringLiteral("/%1 %2/%3 %4")
                                   .arg(pick(2))
                                   .arg(f / 10, 4, 10, QLatin1Char('0'))
                                   .arg(pick(2))
                                   .arg(f % 10);
        for (int i = 0; i < perFolder; ++i)
            paths << folder + QStringLiteral("/%1 %2.mp3")
                                  .arg(i + 1, 2, 10, QLatin1Char('0'))
                                  .arg(pick(3));
    }
    return paths; // folder by folder, as the scan would give them
}
} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    constexpr int kFolders = 10000, kPerFolder = 10;

    auto device = std::make_unique<testsupport::TScriptedMediaDevice>();
    auto clock = std::make_shared<testsupport::TFakeClock>();
    device->Clock = clock;
    TPlaybackEngine::TOptions inline_;
    inline_.OwnThread = false;
    TFormPlayer player(std::move(device), clock, inline_);
    TSession session(player);
    player.Library = TLibrary(QStringLiteral("/music"), GeneratedPaths(kFolders, kPerFolder));
    std::printf("library: %d files in %d folders\n", player.Library.TotalFileCount(),
                player.Library.FolderCount());

    const double fold0 = bench::ThreadCpuMs();
    const TJumpIndex index(player.Library);
    std::printf("folding the library (on the worker, once per library): %.0f ms\n",
                bench::ThreadCpuMs() - fold0);
    // The reference's lines: what a plain pass compares, unfolded.
    QStringList lines;
    lines.reserve(index.FileCount());
    for (std::int32_t f = 0; f < index.FolderCount(); ++f)
        for (std::int32_t i = 0; i < player.Library.FileCountInFolder(f); ++i)
            lines << index.LineText({f, i});

    TFormJump window(session, nullptr);
    auto* field = window.findChild<QLineEdit*>(QStringLiteral("edSearch"));
    auto* list = window.findChild<QListView*>(QStringLiteral("lbMatches"));
    window.Open();
    const auto settle = [&] {
        while (!window.Search().Settled())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        list->viewport()->repaint(); // on screen: the visible rows' texts made and drawn
    };
    // After the clock: the list's picture shows rows (and no list waiting for a later layout).
    const auto drawn = [&] {
        const QImage shot = list->viewport()->grab().toImage();
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                if (shot.pixel(x, y) != shot.pixel(0, 0)) return true;
        return false;
    };
    int undrawn = 0;
    const auto ready0 = Clock::now();
    settle();
    std::printf("window ready with all %zu files listed: %.0f ms\n",
                window.Search().Matches().size(), Ms(Clock::now() - ready0));

    const char* queries[] = {"love",     "cafe 03",   "aero",         "bjork dream", "strasse",
                             "senor 10", "zurich",    "moon stone",   "0042",        "elan fire 5",
                             "motley",   "oresund 0", "velvet night", "ghost 07",    "qqq",
                             "blue",     "heart 01",  "summer 0999",  "garden moon", "electric"};
    std::vector<double> keys, uiCpu, plain, full, ownKeys;
    std::vector<TJumpMatch> scratch;
    std::size_t lastCount = 0;
    for (const char* q : queries) {
        field->clear();
        settle();
        for (const char* c = q; *c; ++c) {
            const double cpu0 = bench::ThreadCpuMs();
            const double worker0 = WorkerCpuMs();
            const auto t0 = Clock::now();
            QTest::keyClick(field, *c);
            settle();
            keys.push_back(Ms(Clock::now() - t0));
            if (!window.Search().Matches().empty() && !drawn()) ++undrawn;
            uiCpu.push_back(bench::ThreadCpuMs() - cpu0);
            ownKeys.push_back(uiCpu.back() + WorkerCpuMs() - worker0);
            // The plain pass: the typed text as one case-blind substring of each line.
            const QString typed = field->text();
            const auto p0 = Clock::now();
            std::size_t n = 0;
            for (const QString& line : lines)
                n += line.contains(typed, Qt::CaseInsensitive) ? 1 : 0;
            plain.push_back(Ms(Clock::now() - p0));
            (void)n;
            // The worker's matching alone, as a full pass (no narrowing from the last key).
            const auto m0 = Clock::now();
            index.Match(SearchWords(typed), scratch);
            full.push_back(Ms(Clock::now() - m0));
        }
        lastCount = window.Search().Matches().size();
        std::printf("  %-14s %6zu matches\n", q, lastCount);
    }
    std::printf("%zu keys over %zu queries:\n", keys.size(), std::size(queries));
    std::printf("  key to matches on screen: median %.2f ms, worst %.2f ms (target 16 ms)\n",
                Median(keys), Worst(keys));
    std::printf("  keys whose matches were not drawn: %d\n", undrawn);
    std::printf("  processor time per key, UI thread and worker together: median %.2f ms, "
                "worst %.2f ms\n",
                Median(ownKeys), Worst(ownKeys));
    std::printf("  UI thread's processor time per key: median %.2f ms, worst %.2f ms\n",
                Median(uiCpu), Worst(uiCpu));
    std::printf("  plain substring pass, UI thread: median %.2f ms, worst %.2f ms\n", Median(plain),
                Worst(plain));
    std::printf("  matching alone, a full pass without narrowing: median %.2f ms, worst %.2f ms\n",
                Median(full), Worst(full));
    std::printf("  ratio key / plain pass: median %.2f, worst %.2f\n", Median(keys) / Median(plain),
                Worst(keys) / Worst(plain));
    return Worst(keys) <= 16.0 && undrawn == 0 ? 0 : 1;
}
