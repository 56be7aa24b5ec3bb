// The scan of the root folder into the Library.
#include "player/UFormPlayer.h"

#include "platform/Collation.h"
#include "platform/DirWalk.h"
#include "platform/Error.h"
#include "platform/FileName.h"

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
bool IsAudioName(const QString& name, bool includeWma) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) return false;
    const QStringView ext = QStringView(name).mid(dot);
    // Only ASCII letters are folded: no locale may turn another letter into an "i" or "a".
    auto is = [&](QLatin1StringView want) {
        if (ext.size() != want.size()) return false;
        for (qsizetype i = 0; i < ext.size(); ++i) {
            char16_t c = ext[i].unicode();
            if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + (u'a' - u'A'));
            if (c != static_cast<unsigned char>(want[i].toLatin1())) return false;
        }
        return true;
    };
    return is(QLatin1StringView(".mp3")) || (includeWma && is(QLatin1StringView(".wma")));
}

bool IsExistingDirectory(const QString& path) {
    struct stat st {};
    return stat(EncodeFileName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

// What one scan walks with.
struct TFormPlayer::TScanRun {
    TScanControl& Control;
    TDirWalker Walker;
    TSortedPaths Paths;
    bool IncludeWma;
};

void TFormPlayer::LoadFolder(const QString& root, bool includeWma) {
    TScanControl control;
    Library = Scan(root, includeWma, control);
}

TLibrary TFormPlayer::Scan(const QString& root, bool includeWma, TScanControl& control) {
    // Paths are built as prefix + "/" + name; the file-system root has the empty prefix.
    QString prefix = root;
    while (prefix.endsWith(QLatin1Char('/')))
        prefix.chop(1);
    const bool isFsRoot = prefix.isEmpty() && !root.isEmpty();
    const QString folder = isFsRoot ? QStringLiteral("/") : prefix;
    if (folder.isEmpty() || !IsExistingDirectory(folder))
        throw EVelodraError(QStringLiteral("%1 doesn't exist.").arg(QuotedStr(folder)));

    control.Folders = 0;
    control.Files = 0;
    TScanRun run{control, TDirWalker(), TSortedPaths(prefix.size()), includeWma};
    ScanFolder(run, prefix);
    for (size_t i = 0; i < run.Paths.LinkedDirs.size() && !control.Abort; ++i) {
        const QString linked = run.Paths.LinkedDirs[i];
        ScanFolder(run, linked);
    }
    if (run.Paths.IsEmpty()) {
        if (control.Abort) throw EScanAborted();
        throw EVelodraError(
            QStringLiteral("Could not find any audio file in %1.").arg(QuotedStr(folder)));
    }
    const TCollation collation;
    return TLibrary(root, run.Paths.Sorted(collation));
}

void TFormPlayer::ScanFolder(TScanRun& run, const QString& folder) {
    std::vector<QString> files;
    std::vector<QString> dirs;
    std::vector<QString> linked;
    run.Walker.Read(EncodeFileName(folder.isEmpty() ? QStringLiteral("/") : folder), files, dirs,
                    &linked);
    for (const QString& name : linked)
        run.Paths.LinkedDirs.push_back(folder + QLatin1Char('/') + name);
    bool counted = false;
    for (const QString& name : files) {
        if (run.Control.Abort) return;
        if (!IsAudioName(name, run.IncludeWma)) continue;
        run.Paths.Add(folder, name);
        if (!counted) {
            ++run.Control.Folders;
            counted = true;
        }
        const std::int32_t accepted = ++run.Control.Files;
        if (run.Control.FileAccepted) run.Control.FileAccepted(accepted);
    }
    files.clear();
    files.shrink_to_fit();
    for (const QString& name : dirs) {
        if (run.Control.Abort) return;
        ScanFolder(run, folder + QLatin1Char('/') + name);
    }
}
