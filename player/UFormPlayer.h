#pragma once
// The player: the Library and its scan, the playback wrapper over the media device, and the
// MediaInfo of the open file. It never calls the main window, and it draws nothing: the scan
// reports its progress to an observer (the loading window, or nobody in the tools).
#include "platform/Clock.h"
#include "platform/MediaDevice.h"
#include "player/AudioTypes.h"
#include "player/Library.h"
#include "player/UMediaInfo.h"

#include <QString>
#include <cstdint>
#include <memory>

class TDirWalker;

// Who watches a scan. After each accepted file the scan calls FileAccepted and then processes
// the pending events once, so an Abort button can stop it.
class TScanObserver {
public:
    virtual ~TScanObserver() = default;
    virtual void ScanStarted() = 0; // the counts are 0
    virtual void FileAccepted(std::int32_t folders, std::int32_t files) = 0;
    virtual void ScanEnded() = 0; // on every way out, errors included
};

class TFormPlayer {
public:
    // Without a device the GStreamer one is made; without a clock the system's.
    explicit TFormPlayer(std::unique_ptr<TMediaDevice> device = nullptr,
                         std::shared_ptr<TClock> clock = nullptr);
    ~TFormPlayer();
    TFormPlayer(const TFormPlayer&) = delete;
    TFormPlayer& operator=(const TFormPlayer&) = delete;

    TLibrary Library;
    std::int32_t LastPosition = -1;
    bool AbortRequested = false;
    std::int32_t FileCount = 0;   // of the running scan (progress only)
    std::int32_t FolderCount = 0; // of the running scan (progress only)
    bool IsOpen = false;
    std::uint32_t PlayStartTick = 0;
    TMediaInfo MediaInfo;

    // Scans root for MP3 files and the kinds types adds, and replaces the Library when files
    // were found (also after an abort); throws EVelodraError. Without an observer nothing is shown
    // and no events are processed. Called while a scan runs (from its event processing), LoadFolder
    // only aborts that scan: scans never nest; load again once Scanning() is false.
    void LoadFolder(const QString& root, TAudioTypes types, TScanObserver* observer = nullptr);
    // The folder's absolute path (the folder picture's folder).
    QString FolderPath(int folderIndex) const { return Library.FolderPath(folderIndex); }
    // The loading window's Abort: the running scan stops at its next entry.
    void AbortScan() { AbortRequested = true; }
    bool Scanning() const { return ScanDepth > 0; }

    // Playback (UFormPlayerPlayback.cpp). OpenFile, Play and the others throw EVelodraError.
    void OpenFile(int folderIndex, int fileIndex);
    void Play();
    void PauseToggle();
    void Resume();
    void Stop();
    void Seek(std::int32_t ms);
    std::int32_t Position();
    std::int32_t PositionPercent();
    std::int32_t PercentOf(std::int32_t position) const; // PositionPercent of a position read
    bool IsPaused();
    bool IsPlaying();
    bool TrackEnded();
    static QString FormatTime(std::int32_t ms);

    // Going on to the next file without a gap, in the device's stream. QueueNext hands the
    // device the file to follow the open one while it plays; false when it can't (nothing
    // playing, a track too short to go on from before the end rule allows, or a device that
    // refuses): the caller then moves on by itself once TrackEnded says so. Stop, Seek and
    // OpenFile drop the queued file; a change the device heard just before Stop or Seek is
    // undone there, so that those act on the file the caller knows.
    bool QueueNext(int folderIndex, int fileIndex);
    void DropNext();
    // The change the device reported (Kind None: none). Changed: the queued file plays; a
    // caller takes it over with TakeOverFile. Failed: the track played out and the file
    // could not be opened.
    TTrackChange TakeTrackChange();
    // The reported change becomes the open file, as OpenFile and Play would make it but with
    // no gap: MediaInfo is reset for it and it counts as started now. A Failed change throws
    // "Unable to open %s.\r\r%s" with the device's reason and leaves nothing open.
    void TakeOverFile(int folderIndex, int fileIndex, const TTrackChange& change);
    // Fills MediaInfo for FilePath; the player's length when the stream gives none. Never throws.
    void ReadMediaInfo();

    TMediaDevice& MediaPlayer1() { return *Device; }
    TClock& Clock() { return *ClockSource; }

private:
    class TSortedPaths;
    struct TScanScope;
    void ScanFolder(const QString& folder, TSortedPaths& list, TAudioTypes types);

    QString ResetForOpen(int folderIndex, int fileIndex);
    bool UndoHeardChange(); // true when it opened the file again

    std::unique_ptr<TMediaDevice> Device;
    // A file was queued: the device may report a change (also after a refused DropNext).
    bool ChangeExpected = false;
    std::shared_ptr<TClock> ClockSource;
    int ScanDepth = 0;
    TAudioTypes LeftOut;               // audio files of the running scan that its types leave out
    TDirWalker* Walker = nullptr;      // the running scan's, else null
    TScanObserver* Observer = nullptr; // the running scan's, else null
};
