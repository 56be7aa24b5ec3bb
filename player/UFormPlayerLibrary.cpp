// The scan of the root folder into the Library.
#include "player/UFormPlayer.h"

#include "platform/Collation.h"
#include "platform/DirWalk.h"
#include "platform/Error.h"
#include "platform/FileName.h"

#include <QCoreApplication>
#include <algorithm>
#include <sys/stat.h>
#include <vector>

// The scan's accepted paths (below the root, each beginning with "/"). They are collected
// first and sorted once with precomputed collation keys: inserting 100,000 paths one by one
// into a sorted list would move the list on every insertion.
class TFormPlayer::TSortedPaths {
public:
    explicit TSortedPaths(qsizetype baseLength) : BaseLength(baseLength) {}

    void Add(const QString& folder, const QString& name) {
        QString path;
        path.reserve(folder.size() - BaseLength + 1 + name.size());
        path.append(QStringView(folder).mid(BaseLength)).append(QLatin1Char('/')).append(name);
        Paths.push_back(std::move(path));
    }
    bool IsEmpty() const { return Paths.empty(); }

    // Sorted under the collation; an exact duplicate is kept once.
    QStringList Sorted(const TCollation& collation) {
        std::vector<TCollation::TKey> keys;
        keys.reserve(Paths.size());
        for (QString& p : Paths)
            keys.push_back(collation.Key(p));
        Paths.clear();
        Paths.shrink_to_fit();
        std::sort(keys.begin(), keys.end(),
                  [](const TCollation::TKey& a, const TCollation::TKey& b) {
                      return TCollation::CompareKeys(a, b) < 0;
                  });
        QStringList out;
        out.reserve(static_cast<qsizetype>(keys.size()));
        for (TCollation::TKey& k : keys)
            if (out.isEmpty() || out.constLast() != k.Text) out.append(std::move(k.Text));
        return out;
    }

    // Links to directories, walked after the whole tree: a folder reached both directly and
    // through a link is then listed under its own path, whatever order the file system gives.
    std::vector<QString> LinkedDirs;

private:
    qsizetype BaseLength;
    std::vector<QString> Paths;
};

namespace {
// The headline, and for a folder that holds audio files only of kinds the options leave out,
// which options would take them.
QString NoAudioMessage(const QString& folder, TAudioTypes leftOut) {
    QString text = QStringLiteral("Could not find any audio file in %1.").arg(QuotedStr(folder));
    if (leftOut.Wma || leftOut.Other) text += QStringLiteral("\r");
    if (leftOut.Wma)
        text += QStringLiteral("\rIt holds WMA files: turn on \"Includes WMA\" to play them.");
    if (leftOut.Other)
        text += QStringLiteral("\rIt holds FLAC, Ogg, Opus, M4A or WAV files: turn on \"Includes "
                               "Other Formats\" to play them.");
    return text;
}

bool IsExistingDirectory(const QString& path) {
    struct stat st {};
    return stat(EncodeFileName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

// Leaves the scan marked as running until the end of LoadFolder, telling the observer on every
// path out, also when an error passes through.
struct TFormPlayer::TScanScope {
    TFormPlayer& Player;
    TScanScope(TFormPlayer& player, TDirWalker& walker, TScanObserver* observer) : Player(player) {
        ++Player.ScanDepth;
        Player.Walker = &walker;
        Player.Observer = observer;
    }
    ~TScanScope() {
        TScanObserver* observer = Player.Observer;
        Player.Observer = nullptr;
        Player.Walker = nullptr;
        --Player.ScanDepth;
        if (observer) observer->ScanEnded();
    }
    TScanScope(const TScanScope&) = delete;
    TScanScope& operator=(const TScanScope&) = delete;
};

void TFormPlayer::LoadFolder(const QString& root, TAudioTypes types, TScanObserver* observer) {
    if (ScanDepth > 0) {
        // Reached from the event processing of a running scan: that scan is stopped first, and
        // no scan runs inside another. The caller loads again once Scanning() is false.
        AbortRequested = true;
        return;
    }
    // Paths are built as prefix + "/" + name; the file-system root has the empty prefix.
    QString prefix = root;
    while (prefix.endsWith(QLatin1Char('/')))
        prefix.chop(1);
    const bool isFsRoot = prefix.isEmpty() && !root.isEmpty();
    const QString folder = isFsRoot ? QStringLiteral("/") : prefix;
    if (folder.isEmpty() || !IsExistingDirectory(folder))
        throw EVelodraError(QStringLiteral("%1 doesn't exist.").arg(QuotedStr(folder)));

    FolderCount = 0;
    FileCount = 0;
    AbortRequested = false;
    LeftOut = {};
    TDirWalker walker;
    TScanScope scope(*this, walker, observer);
    if (observer) observer->ScanStarted();
    TSortedPaths paths(prefix.size());
    ScanFolder(prefix, paths, types);
    for (size_t i = 0; i < paths.LinkedDirs.size() && !AbortRequested; ++i) {
        const QString linked = paths.LinkedDirs[i];
        ScanFolder(linked, paths, types);
    }
    if (!paths.IsEmpty()) {
        const TCollation collation;
        Library = TLibrary(root, paths.Sorted(collation));
    } else if (!AbortRequested) {
        throw EVelodraError(NoAudioMessage(folder, LeftOut));
    }
}

void TFormPlayer::ScanFolder(const QString& folder, TSortedPaths& list, TAudioTypes types) {
    std::vector<QString> files;
    std::vector<QString> dirs;
    std::vector<QString> linked;
    Walker->Read(EncodeFileName(folder.isEmpty() ? QStringLiteral("/") : folder), files, dirs,
                 &linked);
    for (const QString& name : linked)
        list.LinkedDirs.push_back(folder + QLatin1Char('/') + name);
    bool counted = false;
    for (const QString& name : files) {
        if (AbortRequested) return;
        if (!IsAudioName(name, types)) {
            const TAudioTypes out = LeftOutTypes(name, types);
            LeftOut = {LeftOut.Wma || out.Wma, LeftOut.Other || out.Other};
            continue;
        }
        ++FileCount;
        list.Add(folder, name);
        if (!counted) {
            ++FolderCount;
            counted = true;
        }
        if (Observer) {
            Observer->FileAccepted(FolderCount, FileCount);
            QCoreApplication::processEvents();
        }
    }
    files.clear();
    files.shrink_to_fit();
    for (const QString& name : dirs) {
        if (AbortRequested) return;
        ScanFolder(folder + QLatin1Char('/') + name, list, types);
    }
}
