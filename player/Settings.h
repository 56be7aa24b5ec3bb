#pragma once
// The settings file's values, how they are read and written, and the writer that saves them
// off the UI thread.
#include <QString>
#include <QStringList>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

struct TSettings {
    // [Last]
    QString Root;
    int Folder = -1;
    int File = -1;
    bool Playing = false;
    int Position = 0;  // ms into the file
    QString FolderKey; // the place by name, found again after the library changed
    QString FileName;
    // [Config]
    bool InclWMA = false;
    bool Loop = false;
    bool Shuffle = false;
    bool PlayNotification = true;
    int Opaque = 0;
    bool InclOther = false;
    int ReplayGain = 0; // 0 off, 1 track, 2 album
    bool NaturalOrder = false;
    int Volume = 100; // percent
    // [Window]
    bool HasCorner = false; // Left and Top are written only for a window in its normal state
    int Left = 0;
    int Top = 0;
    bool Compact = false;
    bool MinimizeToTray = false;
    bool FolderImage = true;
    bool Minimized = false;
};

// What the file holds, each value missing (or unreadable) taken from defaults.
TSettings ReadSettings(const QString& path, const TSettings& defaults);
// Replaces the three sections, keeping the rest of the file; throws EVelodraError.
void WriteSettings(const QString& path, const TSettings& settings);

// Writes the latest settings it was given on a thread of its own: a save waiting is replaced
// by a newer one, and a failure is dropped (the close writes again and reports).
class TSettingsWriter {
public:
    TSettingsWriter() = default;
    ~TSettingsWriter(); // writes what waits first
    TSettingsWriter(const TSettingsWriter&) = delete;
    TSettingsWriter& operator=(const TSettingsWriter&) = delete;

    void Post(const QString& path, const TSettings& settings);
    // Returns once nothing waits and nothing is being written.
    void Flush();

private:
    void Run();
    std::mutex Mutex;
    std::condition_variable Wake;
    std::optional<std::pair<QString, TSettings>> Pending;
    bool Writing = false;
    bool Ending = false;
    std::thread Thread;
};

// The settings file of one run: where it is, whether the start has read it (a save before
// that would put the defaults over the user's file), the Playing value to write (as loaded,
// until the close knows better), the saves at each start of a file, and the failures, each
// reason told once per run.
class TSettingsKeeper {
public:
    // Told each failure's reason once; `ending` when nobody is there to answer a box.
    using TReport = std::function<void(const QString& reason, bool ending)>;
    TSettingsKeeper(QString fileName, TReport report);
    ~TSettingsKeeper();

    const QString& FileName() const { return File; }
    bool WasPlaying() const { return Playing; }

    TSettings Load(const TSettings& defaults);
    void SetWasPlaying(bool playing) { Playing = playing; }
    void SetEnding() { Ending = true; }

    // Off the UI thread (a file plays, so the start has run); the latest wins and a failure is
    // not told (the close tells it).
    void Post(TSettings settings);
    // Now, telling a failure; nothing before the start has read the file.
    void Write(TSettings settings);
    // The state of this moment, as the desktop's session asks before it ends: told on stderr.
    void WriteAsSessionEnds(TSettings settings, bool playing);

private:
    QString File;
    TReport Report;
    bool IsLoaded = false;
    bool Playing = false;
    bool Ending = false;
    QStringList Reported;
    std::unique_ptr<TSettingsWriter> Writer;
};
