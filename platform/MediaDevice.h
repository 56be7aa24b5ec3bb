#pragma once
// The media-control device the player drives: one open file at a time, times in ms.
#include <QString>
#include <cstdint>
#include <memory>

// What became of a file queued to follow the open one (see TMediaDevice::QueueNext).
struct TTrackChange {
    enum TKind { None, Changed, Failed };
    TKind Kind = None;
    QString Path;  // the queued file
    QString Error; // Failed: the back end's text, for "Unable to open %s.\r\r%s"
};

// The modes as the device reports them.
enum class TMPModes { mpNotReady, mpStopped, mpPlaying, mpRecording, mpSeeking, mpPaused, mpOpen };

// A device failure; Message is the device's own short text ("No MCI device open" when no file
// is open, else the back end's error text, or "Unknown error code").
// Those two texts, in the user's language.
QString NoDeviceOpenText();
QString UnknownErrorText();

class EMediaDeviceError : public std::exception {
public:
    explicit EMediaDeviceError(QString message) : Message(std::move(message)) {}
    const char* what() const noexcept override { return "media device error"; }
    QString Message;
};

class TMediaDevice {
public:
    virtual ~TMediaDevice() = default;
    // Loads ahead what the first open needs (the media framework, the sound server's
    // connection), so that it overlaps the start's other work; failures wait for the open.
    virtual void Prepare() {}
    // Opens a file by absolute path and waits until it is ready (bounded); throws on failure.
    virtual void Open(const QString& path) = 0;
    // Releases the open file, if any.
    virtual void Close() = 0;
    virtual bool DeviceOpen() const = 0;
    // Starts playing from the current position; a device at its end is rewound first. From
    // the start of the file it returns at once; from elsewhere it waits (bounded) until the
    // file is ready there. Throws "No MCI device open" when nothing is open.
    virtual void Play() = 0;
    virtual void Pause() = 0;
    // Continues from the paused position; false when the device refuses.
    virtual bool Resume() = 0;
    // Stopped (after open, Stop, Seek or the end) no stream is kept open on the sound server.
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

    // --- Going on to the next file without a gap, in the same stream.
    // The caller queues the file that is to follow (best right after Open, before Play, or
    // right after a change has been reported: the device reads ahead, and takes the queued file
    // over a second or two before the end). When the track runs out the device goes on with
    // that file, and TakeTrackChange reports Changed once the new file is audible: from then on
    // the device holds it, playing, and Position and Length are the new file's. Until then they
    // stay the old track's (its position keeps moving to its end, so a caller that watches for
    // a standing position sees no end). A queued file that can't be played is reported as
    // Failed, with the back end's text, once the old track has played out: the device then
    // stands at the old track's end (AtEnd) with that file still open, and every command works
    // on it as usual.
    // Open, Close, Stop, Seek and a track that ends without a change drop the queued file;
    // Pause and Play keep it. A Stop or Seek before the new file is heard also drops a change
    // under way (the old file stays open); a change already heard is reported all the same.
    // Open and Close drop changes not yet taken.
    //
    // Queues path to follow the open file, replacing any file queued before. False when the
    // device can't (then the caller moves on by itself at the end, as it always did): when no
    // file is open, when a change is already under way (queue again once it is reported), or
    // when the track has been read to its end already (a track of a second or two).
    virtual bool QueueNext(const QString& path) {
        (void)path;
        return false;
    }
    // Drops the queued file. False when it was already taken over: the change then goes on and
    // is reported as usual, and the caller corrects it by opening what it wants instead.
    virtual bool DropNext() { return true; }
    // The next change not yet taken (Kind None when there is none), oldest first.
    virtual TTrackChange TakeTrackChange() { return {}; }

    // The playback volume, 0.0 (silent) to 1.0 (full), linear; kept across opens, so the next
    // file plays at it too. Devices without sound ignore it.
    virtual void SetVolume(double volume) { (void)volume; }
    virtual double Volume() const { return 1.0; }
    // ReplayGain from the files' tags: 0 off, 1 by track, 2 by album (a file without an album
    // gain takes its track gain; one without either plays at its own level). Kept across opens
    // like the volume; a change between off and on takes effect from the next Open.
    virtual void SetReplayGain(int mode) { (void)mode; }
};

// The real device over GStreamer.
std::unique_ptr<TMediaDevice> CreateGstMediaDevice();
// A device that plays nothing, for tools that only scan (the real one costs start-up time).
std::unique_ptr<TMediaDevice> CreateSilentMediaDevice();
