#pragma once
// Which file comes after the current one, in sequential and in random order: the decision the
// main window's MoveNext applies, kept free of widgets so that it can be tested on its own and
// asked ahead of time (to prepare the next file before the current one ends).
#include "player/Library.h"

#include <cstdint>
#include <random>
#include <unordered_set>
#include <vector>

// The random-order history: the files started since random order was switched on, since the
// last scan, or since every file had been played. Hashed, with a count per folder, so that a
// pick never walks the whole library.
class TPlayedKeys {
public:
    bool Contains(int folder, int file) const;
    // Adds the key unless present; negative indices (nothing selected) are not keys.
    void Insert(int folder, int file);
    void Clear();
    std::int32_t Size() const { return static_cast<std::int32_t>(Keys.size()); }
    std::int32_t CountInFolder(int folder) const;

private:
    static std::uint64_t Key(int folder, int file);
    std::unordered_set<std::uint64_t> Keys;
    std::vector<std::int32_t> PerFolder;
};

enum class TNextKind {
    None,       // nothing follows: the end of the library, or every file played, without Repeat
    NextFile,   // the next file of the current folder
    NextFolder, // the first file of the next folder
    Restart,    // Repeat after the last file: folder 0, file 0
    Random,     // a random pick among the files not yet played
};

struct TNextFile {
    TNextKind Kind = TNextKind::None;
    int Folder = -1; // the file that comes next (both -1 for None)
    int File = -1;
    // Random order with Repeat after every file was played: the history starts again (and the
    // pick was made from the empty history, so it may be the file that just ended).
    bool ClearPlayed = false;
};

struct TNextFileInput {
    const TLibrary& Library;
    int Folder = -1; // the selection now
    int File = -1;
    bool Random = false;
    bool Repeat = false;
    const TPlayedKeys& Played;
    // Random picks drawn before the exact pick over the unplayed files takes over.
    int RejectionTries = 64;
};

// The decision; it changes nothing but the generator, which a random pick draws from.
//
// Sequential: the next file of the folder, else the first of the next folder, else with Repeat
// folder 0 file 0, else None. Random: a folder uniformly, then a file in it uniformly, among the
// keys not yet played (so files of small folders come more often): drawn by rejection for a
// bounded number of tries, then exactly by weight (1 / (folders * files in its folder)) over the
// unplayed files, which gives the same distribution. Every file played: Repeat clears the
// history (ClearPlayed) and picks from all files; without Repeat, None.
//
// Deciding ahead of time: the result holds for the state it was given. Random order draws from
// the generator, so keep the decided result and apply it rather than deciding again; a change of
// the selection, the options, the history or the library in between makes it stale.
TNextFile ChooseNextFile(const TNextFileInput& in, std::mt19937& rng);

// A uniform integer 0 <= r < n; 0 for n < 2 (the window's Random).
int RandomBelow(std::mt19937& rng, int n);
