#pragma once
// Keeps the library in step with the disk while the program runs: checks it on a worker, watches
// its folders (within a share of the system's inotify limit), rechecks what it can't watch every
// few minutes, and waits for a root that is not there. It decides nothing: the session folds
// what it finds into the library.
#include "platform/DirWatch.h"
#include "player/AudioTypes.h"
#include "player/BackgroundJob.h"
#include "player/Library.h"
#include "player/UFormPlayer.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

class TLibraryKeeper : public QObject {
    Q_OBJECT

public:
    explicit TLibraryKeeper(QObject* parent = nullptr);
    ~TLibraryKeeper() override;

    // A quarter of /proc/sys/fs/inotify/max_user_watches: the rest is left to other programs.
    // Beyond a hung mount's reach: the watches are added on a worker.
    static int SystemWatchBudget();
    void SetWatchBudget(int budget) { Budget = budget; }
    // Every folder of the tree when they fit in the budget; else only the root, the current
    // folder and the folders between, and the rest is rechecked every few minutes and when the
    // window comes to the front (RecheckOnActivation).
    void Watch(const TLibrary& library, const QString& currentKey);
    void Unwatch();
    int WatchedCount() const;
    bool OverBudget() const { return Over; }

    using TDone = std::function<void(TFormPlayer::TCheckReport report, const QString& error)>;
    // Checks library against the disk on a worker; done runs here with what it found. A check
    // still running is given up.
    void Check(const TLibrary& library, TAudioTypes types, const QStringList& forceKeys,
               TDone done);
    bool Checking() const { return Job != nullptr; }

    // Polls every few seconds until root is a folder, then tells RootAppeared once.
    void WaitForRoot(const QString& root);
    void StopWaiting() { RootPoll.stop(); }
    bool Waiting() const { return RootPoll.isActive(); }

    // The close: nothing more is told, a running check is left behind after a short wait.
    void Shutdown();

signals:
    // The watched folders changed (told once things have settled), or a recheck is due.
    void DiskChanged();
    void RootAppeared();

private:
    struct TCheckData;
    TDirWatch Watcher;
    QTimer Debounce;
    QTimer Recheck;
    QTimer RootPoll;
    QString WaitedRoot;
    int Budget;
    bool Over = false;
    std::uint64_t CheckId = 0;
    std::shared_ptr<TCheckData> Running;
    std::unique_ptr<TBackgroundJob> Job;
    void GiveUpCheck();
};
