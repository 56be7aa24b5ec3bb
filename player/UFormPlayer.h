#pragma once
// The player: the Library and its scan, the sound device (through the engine that runs it off
// the UI thread), and the MediaInfo of the open file. It decides nothing: the session does.
#include "platform/Clock.h"
#include "platform/MediaDevice.h"
#include "player/AudioTypes.h"
#include "player/Library.h"
#include "player/PlaybackEngine.h"
#include "player/UMediaInfo.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// A running scan's counts (for the loading window) and its Abort, shared with the thread that
// scans.
struct TScanControl {
    std::atomic<bool> Abort{false};
    std::atomic<std::int32_t> Folders{0};
    std::atomic<std::int32_t> Files{0};
    // Called on the scanning thread after each accepted file, when set (a test's hand in it).
    std::function<void(std::int32_t files)> FileAccepted;
};

// A scan that was aborted before it found anything: nothing to report, nothing changes.
class EScanAborted : public std::exception {};

class TFormPlayer {
public:
    // Without a device the GStreamer one is made; without a clock the system's.
    explicit TFormPlayer(std::unique_ptr<TMediaDevice> device = nullptr,
                         std::shared_ptr<TClock> clock = nullptr,
                         TPlaybackEngine::TOptions options = {});
    ~TFormPlayer();
    TFormPlayer(const TFormPlayer&) = delete;
    TFormPlayer& operator=(const TFormPlayer&) = delete;

    TLibrary Library;
    TMediaInfo MediaInfo;

    // The library below root, with the kinds beyond MP3 that types name, numbers in names by
    // their value when naturalOrder; what was found before
    // an abort counts. Throws EVelodraError when root is no folder or holds no audio file (and
    // says so when it holds files of the other formats), EScanAborted when aborted before any
    // was found.
    // Runs on any thread: it touches nothing of the player's.
    static TLibrary Scan(const QString& root, TAudioTypes types, TScanControl& control,
                         bool naturalOrder = false);
    // What a check of a library against the disk found: the library as the disk has it now
    // when anything changed, or NeedsScan when only a whole scan can say (a new link to a
    // directory); with the stats and directory reads it took.
    struct TCheckReport {
        std::optional<TLibrary> Library;
        bool SameFiles = false; // only times or folders without audio changed
        bool NeedsScan = false;
        std::int64_t Stats = 0;
        std::int64_t Reads = 0;
    };
    // One stat per directory of old's tree; only a directory whose time changed (or whose key
    // forceKeys names) is read again, and a new subdirectory found there is walked. Throws as
    // Scan does when the root is gone, EScanAborted when aborted. Runs on any thread.
    static TCheckReport Check(const TLibrary& old, TAudioTypes types, TScanControl& control,
                              const QStringList& forceKeys = {});
    // Runs a scan or a check on a worker: the error to report, empty when it ended well or was
    // aborted.
    static QString ScanError(const std::function<void()>& work);
    // Scans root into Library, here and now (the tools).
    void LoadFolder(const QString& root, TAudioTypes types, bool naturalOrder = false);
    // The folder's absolute path (the folder picture's folder).
    QString FolderPath(int folderIndex) const { return Library.FolderPath(folderIndex); }

    // The position as a share of the stated duration: 0 to 100, rounded half to even; past the
    // duration it stays full.
    std::int32_t PercentOf(std::int32_t position) const;
    static QString FormatTime(std::int32_t ms);

    TPlaybackEngine& Engine() { return *PlaybackEngine; }
    const TPlaybackEngine& Engine() const { return *PlaybackEngine; }
    TClock& Clock() { return *ClockSource; }

private:
    class TSortedPaths;
    struct TScanRun;
    static void ScanFolder(TScanRun& run, const QString& folder);

    std::shared_ptr<TClock> ClockSource;
    std::unique_ptr<TPlaybackEngine> PlaybackEngine;
};
