// The session's rules: the enabled states of the commands, display names, the resumed position.
#include "player/SessionRules.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

struct TStatesCase {
    const char* Name;
    TCommandInput In;
    // Play, Pause, Stop, PrevFolder, PrevFile, NextFile, NextFolder, FolderList, FileList
    const char* Want;
};

// The input of a library of `folders` folders with `files` files in the selected one.
TCommandInput At(int folder, int file, int folders, int files) {
    TCommandInput in;
    in.FolderIndex = folder;
    in.FileIndex = file;
    in.FolderCount = folders;
    in.FileCount = files;
    return in;
}
TCommandInput With(TCommandInput in, const std::function<void(TCommandInput&)>& change) {
    change(in);
    return in;
}

std::string Flags(const TCommandStates& s) {
    std::string out;
    for (bool b : {s.Play, s.Pause, s.Stop, s.PrevFolder, s.PrevFile, s.NextFile, s.NextFolder,
                   s.FolderList, s.FileList})
        out += b ? '1' : '0';
    return out;
}

class CommandStates : public ::testing::TestWithParam<TStatesCase> {};

TEST_P(CommandStates, Decide) {
    EXPECT_EQ(Flags(DecideCommandStates(GetParam().In)), GetParam().Want);
}

TCommandStates AllOn() {
    TCommandStates s;
    s.PrevFolder = s.PrevFile = s.NextFile = s.NextFolder = true;
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandStates,
    ::testing::Values(
        TStatesCase{"NoLibrary", At(-1, -1, 0, 0), "000000000"},
        TStatesCase{"FirstFileStopped", At(0, 0, 2, 2), "100001111"},
        TStatesCase{"Playing", With(At(0, 0, 2, 2), [](auto& i) { i.PlayerIsPlaying = true; }),
                    "111001111"},
        TStatesCase{"MiddleFileOfTheLastFolder", At(1, 1, 2, 3), "100111011"},
        TStatesCase{"LastFileOfAFolder", At(0, 2, 2, 3), "100011111"},
        TStatesCase{"LastFileOfTheLastFolder", At(1, 2, 2, 3), "100110011"},
        TStatesCase{"LastWithRepeat", With(At(1, 2, 2, 3), [](auto& i) { i.Repeat = true; }),
                    "100111011"},
        TStatesCase{"OneFileWithRepeat", With(At(0, 0, 1, 1), [](auto& i) { i.Repeat = true; }),
                    "100000011"},
        TStatesCase{"OneFileRandom", With(At(0, 0, 1, 1), [](auto& i) { i.Random = true; }),
                    "100000011"},
        TStatesCase{"RandomMovesOnlyForward",
                    With(At(1, 1, 3, 2), [](auto& i) { i.Random = true; }), "100001011"},
        TStatesCase{"RandomWithoutRepeatAfterEveryFile",
                    With(At(1, 1, 3, 2), [](auto& i) { i.Random = i.AllPlayed = true; }),
                    "100000011"},
        TStatesCase{"RandomWithRepeatAfterEveryFile",
                    With(At(1, 1, 3, 2), [](auto& i) { i.Random = i.Repeat = i.AllPlayed = true; }),
                    "100001011"},
        TStatesCase{"RandomOneFolderTwoFiles",
                    With(At(0, 0, 1, 2), [](auto& i) { i.Random = true; }), "100001011"},
        TStatesCase{"FolderListDroppedKeepsTheMoves",
                    With(At(0, 0, 3, 1),
                         [](auto& i) {
                             i.edFolderTag = -1;
                             i.Last = AllOn();
                         }),
                    "100111111"},
        TStatesCase{"FileListDroppedKeepsTheFileMoves",
                    With(At(0, 0, 3, 1),
                         [](auto& i) {
                             i.edFileTag = -1;
                             i.Last = AllOn();
                         }),
                    "100011111"},
        TStatesCase{"PauseNeedsASelection",
                    With(At(-1, -1, 2, 0), [](auto& i) { i.PlayerIsPlaying = true; }),
                    "000001110"}),
    [](const auto& p) { return std::string(p.param.Name); });

TEST(CommandStates, IndicatorsFollowTheirOptions) {
    for (const bool repeat : {false, true})
        for (const bool random : {false, true}) {
            TCommandInput in = At(0, 0, 1, 1);
            in.Repeat = repeat;
            in.Random = random;
            const TCommandStates s = DecideCommandStates(in);
            EXPECT_EQ(s.LoopLit, repeat);
            EXPECT_EQ(s.ShuffleLit, random);
        }
}

TEST(DisplayNames, UnderscoresAndRunsOfSpacesWithoutTrimming) {
    const std::pair<const char*, const char*> cases[] = {
        {"a_b", "a b"}, {"a__b", "a b"},           {"a   b", "a b"},      {"_x_", " x "},
        {"", ""},       {"My__Song_", "My Song "}, {"Best_Of", "Best Of"}};
    for (const auto& [in, out] : cases)
        EXPECT_EQ(CleanDisplayName(QString::fromUtf8(in)), QString::fromUtf8(out)) << in;
}

TEST(ResumePosition, OnlyWellBeforeTheEnd) {
    const struct {
        int Saved, Duration, Want;
    } cases[] = {
        {12000, 30000, 12000}, {25000, 30000, 25000}, // five seconds before the end goes on
        {25001, 30000, 0},     {30000, 30000, 0},     // within the last five seconds
        {45000, 30000, 0},                            // beyond the length: another file now
        {0, 30000, 0},         {-5, 30000, 0},        // the beginning, or nonsense
        {3000, 0, 0},          {3000, 4000, 0},       // no length known; shorter than 5 s
    };
    for (const auto& c : cases)
        EXPECT_EQ(ResumePosition(c.Saved, c.Duration), c.Want) << c.Saved << " of " << c.Duration;
}

} // namespace
