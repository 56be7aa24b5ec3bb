#pragma once
// Extras of the GStreamer device: the choice of audio output and the time limits of waits.
#include "platform/MediaDevice.h"

#include <QString>

struct TGstDeviceOptions {
    // Element factory of the audio output. Empty: $VELODRA_AUDIO_SINK, else autoaudiosink.
    // A fakesink is made to keep real time (sync), so playback lasts as long as with sound.
    QString AudioSink;
    int OpenTimeoutMs = 5000;    // open waits this long for the file to be ready
    int CommandTimeoutMs = 3000; // pause, stop, seek and rewind wait at most this long
    // The audio output's buffer and the size of each write to it, where the output has them.
    // A player needs no low latency (pause and stop act on the sound server at once), so a
    // long buffer filled in large pieces: few wake-ups, and room to ride out a busy moment at
    // a change of track. 0 leaves the output's own default.
    int BufferTimeMs = 1000;
    int LatencyTimeMs = 250;
};

std::unique_ptr<TMediaDevice> CreateGstMediaDevice(const TGstDeviceOptions& options);
