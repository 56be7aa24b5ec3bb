#pragma once
// The player window: the loading window of the scan, the Library, the playback wrapper over the
// media device, and the MediaInfo of the open file. It never calls the main window.
#include "platform/Clock.h"
#include "platform/MediaDevice.h"
#include "player/UMediaInfo.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <memory>

namespace Ui {
class TFormPlayer;
}
class TDirWalker;

class TFormPlayer : public QWidget {
    Q_OBJECT

public:
    // Without a device the GStreamer one is made; without a clock the system's.
    explicit TFormPlayer(std::unique_ptr<TMediaDevice> device = nullptr,
                         std::shared_ptr<TClock> clock = nullptr, QWidget* parent = nullptr);
    ~TFormPlayer() override;

    // Library (keys use "/": "./Rock/Band/01 Intro.mp3", root key ".")
    QStringList Files;
    QStringList Folders;
    std::int32_t LastPosition = -1;
    bool AbortRequested = false;
    std::int32_t FileCount = 0;
    std::int32_t FolderCount = 0;
    bool IsOpen = false;
    std::uint32_t PlayStartTick = 0;
    QString RootFolder;
    TMediaInfo MediaInfo;

    // Library operations (UFormPlayerLibrary.cpp). LoadFolder throws EVelodraError.
    // Called while a scan runs (from its event processing), LoadFolder only aborts that scan:
    // scans never nest; load again once Scanning() is false.
    void LoadFolder(const QString& root, bool includeWma);
    void FolderDisplayList(QStringList& list) const;
    void FilesInFolder(int folderIndex, QStringList& list) const;
    std::int32_t FileCountInFolder(int folderIndex) const;
    std::int32_t TotalFileCount() const;
    QString FolderPath(int folderIndex) const;

    // Playback (UFormPlayerPlayback.cpp). OpenFile, Play and the others throw EVelodraError.
    void OpenFile(int folderIndex, int fileIndex);
    void Play();
    void PauseToggle();
    void Resume();
    void Stop();
    void Seek(std::int32_t ms);
    std::int32_t Position();
    std::int32_t PositionPercent();
    bool IsPaused();
    bool IsPlaying();
    bool TrackEnded();
    static QString FormatTime(std::int32_t ms);
    // Fills MediaInfo for FilePath; the player's length when the stream gives none. Never throws.
    void ReadMediaInfo();

    TMediaDevice& MediaPlayer1() { return *Device; }
    TClock& Clock() { return *ClockSource; }
    // The loading window's Abort button (for tests and the close sequence).
    void Button1Click();
    bool Scanning() const { return ScanDepth > 0; }
    // False for a scan without the loading window (the command-line tools): no window, no
    // progress label, no event processing.
    bool ShowsLoadWindow = true;

private:
    class TSortedPaths;
    void ScanFolder(const QString& folder, TSortedPaths& list, bool includeWma);
    void BuildLibrary(const QString& root, const QStringList& sorted);
    void ShowLoadProgress();

    std::unique_ptr<Ui::TFormPlayer> ui;
    std::unique_ptr<TMediaDevice> Device;
    std::shared_ptr<TClock> ClockSource;
    int ScanDepth = 0;
    TDirWalker* Walker = nullptr; // the running scan's, else null
    QElapsedTimer ProgressClock;  // since the loading label was last written
};
