#pragma once
// The settings file's values, how they are read and written, and the writer that saves them
// off the UI thread.
#include <QString>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

struct TSettings {
    // [Last]
    QString Root;
    int Folder = -1;
    int File = -1;
    bool Playing = false;
    int Position = 0; // ms into the file
    // [Config]
    bool InclWMA = false;
    bool Loop = false;
    bool Shuffle = false;
    bool PlayNotification = true;
    int Opaque = 0;
    bool InclOther = false;
    int ReplayGain = 0; // 0 off, 1 track, 2 album
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
