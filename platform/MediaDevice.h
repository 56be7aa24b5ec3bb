#pragma once
// The media-control device the player drives: one open file at a time, times in ms.
#include <QString>
#include <cstdint>
#include <memory>

// The modes as the device reports them.
enum class TMPModes { mpNotReady, mpStopped, mpPlaying, mpRecording, mpSeeking, mpPaused, mpOpen };

// A device failure; Message is the device's own short text ("No MCI device open" when no file
// is open, else the back end's error text, or "Unknown error code").
class EMediaDeviceError : public std::exception {
public:
    explicit EMediaDeviceError(QString message) : Message(std::move(message)) {}
    const char* what() const noexcept override { return "media device error"; }
    QString Message;
};

class TMediaDevice {
public:
    virtual ~TMediaDevice() = default;
    // Opens a file by absolute path and waits until it is ready (bounded); throws on failure.
    virtual void Open(const QString& path) = 0;
    // Releases the open file, if any.
    virtual void Close() = 0;
    virtual bool DeviceOpen() const = 0;
    // Starts playing from the current position without waiting; a device at its end is
    // rewound first. Throws "No MCI device open" when nothing is open.
    virtual void Play() = 0;
    virtual void Pause() = 0;
    // Continues from the paused position; false when the device refuses.
    virtual bool Resume() = 0;
    virtual void Stop() = 0;
    // Moves to ms and leaves the device stopped.
    virtual void Seek(std::int32_t ms) = 0;
    virtual TMPModes Mode() = 0;
    virtual std::int32_t Position() = 0;
    virtual std::int32_t Length() = 0;
    // True while the device is stopped where playing ran out by itself (the end of the
    // stream, or the point past which nothing could be decoded).
    virtual bool AtEnd() {
        return Mode() == TMPModes::mpStopped && Length() > 0 && Position() >= Length();
    }
    // The playback volume, 0.0 (silent) to 1.0 (full), linear; kept across opens, so the next
    // file plays at it too. Devices without sound ignore it.
    virtual void SetVolume(double volume) { (void)volume; }
    virtual double Volume() const { return 1.0; }
};

// The real device over GStreamer.
std::unique_ptr<TMediaDevice> CreateGstMediaDevice();
// A device that plays nothing, for tools that only scan (the real one costs start-up time).
std::unique_ptr<TMediaDevice> CreateSilentMediaDevice();
