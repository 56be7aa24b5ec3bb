// The scan of the root folder into the Library.
#include "player/UFormPlayer.h"

#include "platform/DirWalk.h"
#include "platform/Error.h"
#include "platform/ErrorReport.h"
#include "platform/FileName.h"

#include <QCoreApplication>
#include <QHash>
#include <QSet>
#include <algorithm>
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
    qsizetype PrefixLength = 0;
    std::vector<TDirStamp> Tree;
    bool OtherLeftOut = false; // audio files of the other formats that Types leaves out
    bool FoundLink = false;    // a link to a directory (the check leaves those to a scan)

    QString KeyOf(const QString& folder) const {
        return QLatin1Char('.') + folder.mid(PrefixLength);
    }
    void AddFile(const QString& folder, const QString& name) {
        if (!IsAudioName(name, Types)) {
            OtherLeftOut = OtherLeftOut || LeftOutTypes(name, Types).Other;
            return;
        }
        Paths.Add(folder, name);
        const std::int32_t accepted = ++Control.Files;
        if (Control.FileAccepted) Control.FileAccepted(accepted);
    }
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
    TScanRun run{control, TDirWalker(), TSortedPaths(prefix.size()), types, prefix.size(), {}};
    ScanFolder(run, prefix);
    for (size_t i = 0; i < run.Paths.LinkedDirs.size() && !control.Abort; ++i) {
        const QString linked = run.Paths.LinkedDirs[i];
        ScanFolder(run, linked);
    }
    if (run.Paths.IsEmpty()) {
        if (control.Abort) throw EScanAborted();
        throw EVelodraError(NoAudioMessage(folder, run.OtherLeftOut));
    }
    TLibrary library(root, run.Paths.Sorted(naturalOrder), naturalOrder);
    library.SetTree(std::move(run.Tree));
    return library;
}

TFormPlayer::TCheckReport TFormPlayer::Check(const TLibrary& old, TAudioTypes types,
                                             TScanControl& control, const QStringList& forceKeys) {
    QString prefix = old.RootFolder;
    while (prefix.endsWith(QLatin1Char('/')))
        prefix.chop(1);
    const QString rootFolder = prefix.isEmpty() ? QStringLiteral("/") : prefix;
    if (old.RootFolder.isEmpty() || !IsExistingDirectory(rootFolder))
        throw EVelodraError(QCoreApplication::translate("TFormPlayer", "%1 doesn't exist.")
                                .arg(QuotedStr(rootFolder)));
    TCheckReport report;
    TScanRun run{control, TDirWalker(), TSortedPaths(prefix.size()), types, prefix.size(), {}};
    QHash<QString, int> folderOf;
    for (int f = 0; f < old.FolderCount(); ++f)
        folderOf.insert(old.Folders().at(f), f);
    QSet<QString> known;
    for (const TDirStamp& d : old.Tree())
        known.insert(d.Key);
    bool changed = false;
    for (const TDirStamp& d : old.Tree()) {
        if (control.Abort) throw EScanAborted();
        const QString folder = prefix + d.Key.mid(1);
        const QByteArray encoded = EncodeFileName(folder.isEmpty() ? QStringLiteral("/") : folder);
        ++report.Stats;
        const std::int64_t mtime = DirectoryMTime(encoded);
        if (mtime < 0) {
            changed = true; // gone, and with it its files
            continue;
        }
        if (mtime == d.MTime && !forceKeys.contains(d.Key)) {
            run.Tree.push_back(d);
            for (const QString& name : old.FilesInFolder(folderOf.value(d.Key, -1)))
                run.Paths.Add(folder, name);
            continue;
        }
        changed = true;
        std::vector<QString> files, dirs, linked;
        TDirStamp now{d.Key, 0};
        if (!run.Walker.Read(encoded, files, dirs, &linked, &now.MTime)) continue;
        run.Tree.push_back(std::move(now));
        for (const QString& name : files)
            run.AddFile(folder, name);
        if (!linked.empty()) run.FoundLink = true;
        for (const QString& name : dirs)
            if (!known.contains(d.Key + QLatin1Char('/') + name))
                ScanFolder(run, folder + QLatin1Char('/') + name);
    }
    report.Reads = run.Walker.Reads();
    report.NeedsScan = run.FoundLink;
    if (!changed || report.NeedsScan) return report;
    report.Library = TLibrary(old.RootFolder, run.Paths.Sorted(old.NaturalOrder), old.NaturalOrder);
    report.Library->SetTree(std::move(run.Tree));
    const TLibrary& now = *report.Library;
    report.SameFiles = now.Folders() == old.Folders() && now.FileOrder() == old.FileOrder();
    for (int f = 0; report.SameFiles && f < now.FolderCount(); ++f)
        report.SameFiles = now.FilesInFolder(f) == old.FilesInFolder(f);
    return report;
}

void TFormPlayer::ScanFolder(TScanRun& run, const QString& folder) {
    std::vector<QString> files;
    std::vector<QString> dirs;
    std::vector<QString> linked;
    TDirStamp stamp{run.KeyOf(folder), 0};
    if (run.Walker.Read(EncodeFileName(folder.isEmpty() ? QStringLiteral("/") : folder), files,
                        dirs, &linked, &stamp.MTime))
        run.Tree.push_back(std::move(stamp));
    for (const QString& name : linked)
        run.Paths.LinkedDirs.push_back(folder + QLatin1Char('/') + name);
    run.FoundLink = run.FoundLink || !linked.empty();
    const std::int32_t before = run.Control.Files;
    for (const QString& name : files) {
        if (run.Control.Abort) return;
        run.AddFile(folder, name);
    }
    if (run.Control.Files != before) ++run.Control.Folders;
    files.clear();
    files.shrink_to_fit();
    for (const QString& name : dirs) {
        if (run.Control.Abort) return;
        ScanFolder(run, folder + QLatin1Char('/') + name);
    }
}

QString TFormPlayer::ScanError(const std::function<void()>& work) {
    try {
        work();
    } catch (const EVelodraError& e) {
        return e.Message;
    } catch (const EScanAborted&) {
    } catch (...) {
        return UnexpectedErrorText();
    }
    return {};
}
