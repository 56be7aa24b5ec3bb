#include "player/LibraryKeeper.h"

#include "platform/DirWalk.h"
#include "platform/FileName.h"

#include <QFile>

namespace {
// A copy of a folder tree lands in many events: the check runs once they settle.
constexpr int kDebounceMs = 1500;
constexpr int kRecheckMs = 3 * 60 * 1000;
constexpr int kRootPollMs = 3000;

QString FolderOf(const QString& root, const QString& key) {
    QString prefix = root;
    while (prefix.endsWith(QLatin1Char('/')))
        prefix.chop(1);
    const QString path = prefix + key.mid(1);
    return path.isEmpty() ? QStringLiteral("/") : path;
}
} // namespace

struct TLibraryKeeper::TCheckData {
    TLibrary Library;
    TAudioTypes Types;
    QStringList ForceKeys;
    TScanControl Control;
    TFormPlayer::TCheckReport Report;
    QString Error;
};

TLibraryKeeper::TLibraryKeeper(QObject* parent) : QObject(parent), Budget(SystemWatchBudget()) {
    connect(&Watcher, &TDirWatch::Changed, this, [this] { Debounce.start(); });
    Debounce.setSingleShot(true);
    Debounce.setInterval(kDebounceMs);
    Recheck.setInterval(kRecheckMs);
    RootPoll.setInterval(kRootPollMs);
    connect(&Debounce, &QTimer::timeout, this, &TLibraryKeeper::DiskChanged);
    connect(&Recheck, &QTimer::timeout, this, &TLibraryKeeper::DiskChanged);
    connect(&RootPoll, &QTimer::timeout, this, [this] {
        if (DirectoryMTime(EncodeFileName(WaitedRoot)) < 0) return;
        RootPoll.stop();
        emit RootAppeared();
    });
}

TLibraryKeeper::~TLibraryKeeper() {
    Shutdown();
}

int TLibraryKeeper::SystemWatchBudget() {
    QFile f(QStringLiteral("/proc/sys/fs/inotify/max_user_watches"));
    bool ok = false;
    const int limit = f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toInt(&ok) : 0;
    // Without the figure, the kernel's smallest default.
    return (ok && limit > 0 ? limit : 8192) / 4;
}

void TLibraryKeeper::Watch(const TLibrary& library, const QString& currentKey) {
    const std::vector<TDirStamp>& tree = library.Tree();
    QByteArrayList paths;
    Over = static_cast<qsizetype>(tree.size()) > Budget;
    if (!Over) {
        paths.reserve(static_cast<qsizetype>(tree.size()));
        for (const TDirStamp& d : tree)
            paths.append(EncodeFileName(FolderOf(library.RootFolder, d.Key)));
        Recheck.stop();
    } else {
        // The root, and the current folder with each folder above it.
        paths.append(EncodeFileName(FolderOf(library.RootFolder, QStringLiteral("."))));
        for (QString key = currentKey; key.startsWith(QLatin1String("./"));
             key.truncate(key.lastIndexOf(QLatin1Char('/'))))
            paths.append(EncodeFileName(FolderOf(library.RootFolder, key)));
        Recheck.start();
    }
    Watcher.Watch(std::move(paths));
}

void TLibraryKeeper::Unwatch() {
    Watcher.Clear();
    Recheck.stop();
    Over = false;
}

int TLibraryKeeper::WatchedCount() const {
    return Watcher.Count();
}

void TLibraryKeeper::Check(const TLibrary& library, TAudioTypes types, const QStringList& forceKeys,
                           TDone done) {
    GiveUpCheck();
    auto data = std::make_shared<TCheckData>();
    Running = data;
    data->Library = library;
    data->Types = types;
    data->ForceKeys = forceKeys;
    const std::uint64_t id = ++CheckId;
    Job = std::make_unique<TBackgroundJob>(
        this,
        [data] {
            data->Error = TFormPlayer::ScanError([&] {
                data->Report =
                    TFormPlayer::Check(data->Library, data->Types, data->Control, data->ForceKeys);
            });
        },
        [this, id, data, done = std::move(done)] {
            // Only the answer of the check asked last counts.
            if (id != CheckId) return;
            Job.reset();
            Running.reset();
            done(std::move(data->Report), data->Error);
        });
}

void TLibraryKeeper::WaitForRoot(const QString& root) {
    WaitedRoot = root;
    RootPoll.start();
}

void TLibraryKeeper::Shutdown() {
    Unwatch();
    Debounce.stop();
    RootPoll.stop();
    GiveUpCheck();
}

void TLibraryKeeper::GiveUpCheck() {
    ++CheckId;
    if (Running) Running->Control.Abort = true;
    Running.reset();
    if (Job) Job->Release(std::chrono::milliseconds(0));
    Job.reset();
}
