// The scan of the root folder into the Library.
#include "player/UFormPlayer.h"

#include "platform/DirWalk.h"
#include "platform/Error.h"
#include "platform/FileName.h"

#include <QCoreApplication>
#include <sys/stat.h>
#include <utility>
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

    QStringList Sorted(bool naturalOrder) {
        return TLibrary::SortPaths(std::exchange(Paths, {}), naturalOrder);
    }

    // Links to directories, walked after the whole tree: a folder reached both directly and
    // through a link is then listed under its own path, whatever order the file system gives.
    std::vector<QString> LinkedDirs;

private:
    qsizetype BaseLength;
    std::vector<QString> Paths;
};

namespace {
// The headline, and for a folder whose only audio files are of the other formats, the option
// that would take them.
QString NoAudioMessage(const QString& folder, bool otherLeftOut) {
    QString text =
        QCoreApplication::translate("TFormPlayer", "Could not find any audio file in %1.")
            .arg(QuotedStr(folder));
    if (otherLeftOut)
        text += QCoreApplication::translate("TFormPlayer",
                                            "\r\rIt holds FLAC, Ogg, Opus, M4A or WAV files: turn "
                                            "on \"Includes Other Formats\" to play them.");
    return text;
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
    TAudioTypes Types;
    bool OtherLeftOut = false; // audio files of the other formats that Types leaves out
};

void TFormPlayer::LoadFolder(const QString& root, TAudioTypes types, bool naturalOrder) {
    TScanControl control;
    Library = Scan(root, types, control, naturalOrder);
}

TLibrary TFormPlayer::Scan(const QString& root, TAudioTypes types, TScanControl& control,
                           bool naturalOrder) {
    // Paths are built as prefix + "/" + name; the file-system root has the empty prefix.
    QString prefix = root;
    while (prefix.endsWith(QLatin1Char('/')))
        prefix.chop(1);
    const bool isFsRoot = prefix.isEmpty() && !root.isEmpty();
    const QString folder = isFsRoot ? QStringLiteral("/") : prefix;
    if (folder.isEmpty() || !IsExistingDirectory(folder))
        throw EVelodraError(
            QCoreApplication::translate("TFormPlayer", "%1 doesn't exist.").arg(QuotedStr(folder)));

    control.Folders = 0;
    control.Files = 0;
    TScanRun run{control, TDirWalker(), TSortedPaths(prefix.size()), types};
    ScanFolder(run, prefix);
    for (size_t i = 0; i < run.Paths.LinkedDirs.size() && !control.Abort; ++i) {
        const QString linked = run.Paths.LinkedDirs[i];
        ScanFolder(run, linked);
    }
    if (run.Paths.IsEmpty()) {
        if (control.Abort) throw EScanAborted();
        throw EVelodraError(NoAudioMessage(folder, run.OtherLeftOut));
    }
    return TLibrary(root, run.Paths.Sorted(naturalOrder), naturalOrder);
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
        if (!IsAudioName(name, run.Types)) {
            run.OtherLeftOut = run.OtherLeftOut || LeftOutTypes(name, run.Types).Other;
            continue;
        }
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
