// The next-file rule without a window: the sequential table, the ends of the random cycle, the
// history's bookkeeping, and the random pick's distribution, by rejection and by weight.
#include "player/NextFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

namespace {

// Folders F0, F1, ... holding the given numbers of files.
TLibrary Shape(const std::vector<int>& filesPerFolder) {
    QStringList paths;
    for (size_t f = 0; f < filesPerFolder.size(); ++f)
        for (int i = 0; i < filesPerFolder[f]; ++i)
            paths << QStringLiteral("/F%1/t%2.mp3").arg(f).arg(i, 6, 10, QLatin1Char('0'));
    return TLibrary(QStringLiteral("/music"), paths);
}

struct TSequentialCase {
    const char* Name;
    std::vector<int> Library;
    int Folder, File;
    bool Repeat;
    TNextKind Kind;
    int WantFolder, WantFile;
};

class Sequential : public ::testing::TestWithParam<TSequentialCase> {};

TEST_P(Sequential, NextFileAtEveryBoundary) {
    const TSequentialCase& c = GetParam();
    const TLibrary lib = Shape(c.Library);
    const TPlayedKeys played;
    std::mt19937 rng(1);
    const std::mt19937 before = rng;
    const TNextFile next = ChooseNextFile(
        {.Library = lib, .Folder = c.Folder, .File = c.File, .Repeat = c.Repeat, .Played = played},
        rng);
    EXPECT_EQ(next.Kind, c.Kind);
    EXPECT_EQ(next.Folder, c.WantFolder);
    EXPECT_EQ(next.File, c.WantFile);
    EXPECT_FALSE(next.ClearPlayed);
    EXPECT_TRUE(rng == before) << "sequential order draws nothing";
}

using K = TNextKind;
INSTANTIATE_TEST_SUITE_P(
    Boundaries, Sequential,
    ::testing::Values(TSequentialCase{"InsideFolder", {2, 1}, 0, 0, false, K::NextFile, 0, 1},
                      TSequentialCase{"ToNextFolder", {2, 1}, 0, 1, false, K::NextFolder, 1, 0},
                      TSequentialCase{"EndStops", {2, 1}, 1, 0, false, K::None, -1, -1},
                      TSequentialCase{"EndRepeats", {2, 1}, 1, 0, true, K::Restart, 0, 0},
                      TSequentialCase{"OneFolderRepeats", {3}, 0, 2, true, K::Restart, 0, 0},
                      TSequentialCase{"OneFileRepeats", {1}, 0, 0, true, K::Restart, 0, 0},
                      TSequentialCase{"OneFileStops", {1}, 0, 0, false, K::None, -1, -1},
                      TSequentialCase{"RepeatInsideFolder", {3}, 0, 0, true, K::NextFile, 0, 1}),
    [](const auto& p) { return std::string(p.param.Name); });

TEST(PlayedKeys, CountsEachKeyOncePerFolderAndIgnoresNoSelection) {
    TPlayedKeys played;
    played.Insert(1, 2);
    played.Insert(1, 2);
    played.Insert(1, 0);
    played.Insert(4, 7);
    played.Insert(-1, -1);
    played.Insert(0, -1);
    EXPECT_EQ(played.Size(), 3);
    EXPECT_EQ(played.CountInFolder(1), 2);
    EXPECT_EQ(played.CountInFolder(4), 1);
    EXPECT_EQ(played.CountInFolder(0), 0);
    EXPECT_EQ(played.CountInFolder(99), 0);
    EXPECT_EQ(played.CountInFolder(-1), 0);
    EXPECT_TRUE(played.Contains(1, 2));
    EXPECT_FALSE(played.Contains(2, 1));
    played.Clear();
    EXPECT_EQ(played.Size(), 0);
    EXPECT_EQ(played.CountInFolder(1), 0);
    EXPECT_FALSE(played.Contains(1, 2));
}

TEST(RandomOrder, EveryFilePlayedStopsOrStartsANewCycleThatMayRepeatTheLast) {
    const TLibrary lib = Shape({1});
    TPlayedKeys played;
    played.Insert(0, 0);
    std::mt19937 rng(3);
    TNextFileInput in{.Library = lib, .Folder = 0, .File = 0, .Random = true, .Played = played};
    EXPECT_EQ(ChooseNextFile(in, rng).Kind, TNextKind::None);
    in.Repeat = true;
    const TNextFile again = ChooseNextFile(in, rng);
    EXPECT_EQ(again.Kind, TNextKind::Random);
    EXPECT_TRUE(again.ClearPlayed);
    EXPECT_EQ(again.Folder, 0);
    EXPECT_EQ(again.File, 0);
}

TEST(RandomOrder, OneFileLeftOfAHundredThousandIsTheOnePicked) {
    const TLibrary lib = Shape(std::vector<int>(2000, 50));
    TPlayedKeys played;
    for (int f = 0; f < 2000; ++f)
        for (int n = 0; n < 50; ++n)
            if (f != 1234 || n != 17) played.Insert(f, n);
    std::mt19937 rng(5);
    for (int k = 0; k < 5; ++k) {
        const TNextFile next = ChooseNextFile(
            {.Library = lib, .Folder = 0, .File = 0, .Random = true, .Played = played}, rng);
        EXPECT_EQ(next.Kind, TNextKind::Random);
        EXPECT_EQ(next.Folder, 1234);
        EXPECT_EQ(next.File, 17);
        EXPECT_FALSE(next.ClearPlayed);
    }
}

// The pick's frequencies against the wanted law: each unplayed key of folder f weighs
// 1 / (folders * files in f). Fixed seed; the bound is generous (p far below 1e-6 at 5 degrees
// of freedom), so only a wrong law fails.
class RandomLaw : public ::testing::TestWithParam<int> {};

TEST_P(RandomLaw, FolderUniformlyThenFileUniformlyAmongTheUnplayed) {
    const std::vector<int> sizes = {1, 2, 5, 10};
    const TLibrary lib = Shape(sizes);
    TPlayedKeys played;
    played.Insert(1, 0);
    for (int n : {0, 2, 4})
        played.Insert(2, n);
    for (int n = 0; n < 8; ++n)
        played.Insert(3, n);
    std::map<std::pair<int, int>, double> want;
    double total = 0;
    for (int f = 0; f < 4; ++f)
        for (int n = 0; n < sizes[static_cast<size_t>(f)]; ++n)
            if (!played.Contains(f, n)) total += want[{f, n}] = 1.0 / (4.0 * sizes[f]);
    ASSERT_EQ(want.size(), 6u);

    std::mt19937 rng(20240611);
    const TNextFileInput in{.Library = lib,
                            .Folder = 0,
                            .File = 0,
                            .Random = true,
                            .Played = played,
                            .RejectionTries = GetParam()};
    constexpr int kDraws = 30000;
    std::map<std::pair<int, int>, int> seen;
    for (int k = 0; k < kDraws; ++k) {
        const TNextFile next = ChooseNextFile(in, rng);
        ASSERT_EQ(next.Kind, TNextKind::Random);
        ASSERT_FALSE(played.Contains(next.Folder, next.File)) << next.Folder << ";" << next.File;
        ++seen[{next.Folder, next.File}];
    }
    double chi2 = 0;
    for (const auto& [key, weight] : want) {
        const double expected = kDraws * weight / total;
        const double d = seen[key] - expected;
        chi2 += d * d / expected;
    }
    EXPECT_EQ(seen.size(), want.size());
    EXPECT_LT(chi2, 40.0);
}

// 64: rejection as a rule; 1: mostly the weighted pick; 0: the weighted pick alone.
INSTANTIATE_TEST_SUITE_P(RejectionTries, RandomLaw, ::testing::Values(64, 1, 0));

} // namespace
