#include "player/NextFile.h"

#include <algorithm>

std::uint64_t TPlayedKeys::Key(int folder, int file) {
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(folder)) << 32) |
           static_cast<std::uint32_t>(file);
}

bool TPlayedKeys::Contains(int folder, int file) const {
    return Keys.contains(Key(folder, file));
}

void TPlayedKeys::Insert(int folder, int file) {
    if (folder < 0 || file < 0 || !Keys.insert(Key(folder, file)).second) return;
    const auto f = static_cast<size_t>(folder);
    if (PerFolder.size() <= f) PerFolder.resize(f + 1, 0);
    ++PerFolder[f];
}

void TPlayedKeys::Clear() {
    Keys.clear();
    PerFolder.clear();
}

std::int32_t TPlayedKeys::CountInFolder(int folder) const {
    const auto f = static_cast<size_t>(folder);
    return folder >= 0 && f < PerFolder.size() ? PerFolder[f] : 0;
}

int RandomBelow(std::mt19937& rng, int n) {
    return n <= 1 ? 0 : std::uniform_int_distribution<int>(0, n - 1)(rng);
}

namespace {

TNextFile Pick(TNextKind kind, int folder, int file) {
    TNextFile next;
    next.Kind = kind;
    next.Folder = folder;
    next.File = file;
    return next;
}

// Each unplayed file of folder f weighs 1 / (folders * files in f): a folder is drawn with the
// weight (unplayed in f) / (files in f), then one of its unplayed files uniformly.
TNextFile WeightedPick(const TLibrary& library, const TPlayedKeys& played, std::mt19937& rng) {
    const int folders = library.FolderCount();
    std::vector<double> cumulative(static_cast<size_t>(folders));
    double total = 0;
    for (int f = 0; f < folders; ++f) {
        const std::int32_t files = library.FileCountInFolder(f);
        const std::int32_t left = files - played.CountInFolder(f);
        if (files > 0 && left > 0) total += static_cast<double>(left) / files;
        cumulative[static_cast<size_t>(f)] = total;
    }
    if (total <= 0) return {};
    const double r = std::uniform_real_distribution<double>(0, total)(rng);
    int f = static_cast<int>(std::upper_bound(cumulative.begin(), cumulative.end(), r) -
                             cumulative.begin());
    // r == total (rounding): the last folder that has a weight.
    if (f >= folders) f = folders - 1;
    while (f > 0 && library.FileCountInFolder(f) - played.CountInFolder(f) <= 0)
        --f;
    const std::int32_t files = library.FileCountInFolder(f);
    int k = RandomBelow(rng, files - played.CountInFolder(f));
    for (int n = 0; n < files; ++n)
        if (!played.Contains(f, n) && k-- == 0) return Pick(TNextKind::Random, f, n);
    return {};
}

TNextFile RandomPick(const TNextFileInput& in, std::mt19937& rng) {
    static const TPlayedKeys none;
    const bool everyFilePlayed = in.Played.Size() >= in.Library.TotalFileCount();
    if (everyFilePlayed && !in.Repeat) return {};
    const TPlayedKeys& played = everyFilePlayed ? none : in.Played;
    const int folders = in.Library.FolderCount();
    for (int t = 0; t < in.RejectionTries; ++t) {
        const int f = RandomBelow(rng, folders);
        const int n = RandomBelow(rng, in.Library.FileCountInFolder(f));
        if (!played.Contains(f, n)) {
            TNextFile next = Pick(TNextKind::Random, f, n);
            next.ClearPlayed = everyFilePlayed;
            return next;
        }
    }
    TNextFile next = WeightedPick(in.Library, played, rng);
    next.ClearPlayed = everyFilePlayed && next.Kind != TNextKind::None;
    return next;
}

} // namespace

TNextFile ChooseNextFile(const TNextFileInput& in, std::mt19937& rng) {
    if (in.Random) return RandomPick(in, rng);
    if (in.File < in.Library.FileCountInFolder(in.Folder) - 1)
        return Pick(TNextKind::NextFile, in.Folder, in.File + 1);
    if (in.Folder < in.Library.FolderCount() - 1)
        return Pick(TNextKind::NextFolder, in.Folder + 1, 0);
    if (in.Repeat) return Pick(TNextKind::Restart, 0, 0);
    return {};
}
