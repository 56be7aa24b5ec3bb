#include "player/SessionRules.h"

TCommandStates DecideCommandStates(const TCommandInput& in) {
    TCommandStates s = in.Last;
    s.Play = in.FolderIndex >= 0 && in.FileIndex >= 0;
    s.Pause = s.Play && in.PlayerIsPlaying;
    s.Stop = s.Pause;
    // While a list is dropped down its moves keep their states: the selection shown there is
    // not yet acted on.
    if (in.edFolderTag == 0) {
        s.PrevFolder = !in.Random && in.FolderIndex > 0;
        s.NextFolder = !in.Random && in.FolderIndex < in.FolderCount - 1;
        if (in.edFileTag == 0) {
            s.PrevFile = !in.Random && (s.PrevFolder || in.FileIndex > 0);
            // Random order without Repeat has nothing left once every file has played.
            const bool more = in.Repeat || !in.AllPlayed;
            s.NextFile = in.Random || in.Repeat ? more && (in.FolderCount > 1 || in.FileCount > 1)
                                                : s.NextFolder || in.FileIndex < in.FileCount - 1;
        }
    }
    s.FolderList = in.FolderCount > 0;
    s.FileList = in.FileCount > 0;
    s.LoopLit = in.Repeat;
    s.ShuffleLit = in.Random;
    return s;
}

QString CleanDisplayName(const QString& s) {
    QString r = s;
    r.replace(QLatin1Char('_'), QLatin1Char(' '));
    while (r.contains(QLatin1String("  ")))
        r.replace(QLatin1String("  "), QLatin1String(" "));
    return r;
}

int ResumePosition(int saved, int duration) {
    // Resuming in the last seconds would only play the end and move on at once.
    constexpr int kTailMs = 5000;
    if (saved <= 0 || duration <= 0 || saved > duration - kTailMs) return 0;
    return saved;
}
