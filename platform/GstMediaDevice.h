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
};

std::unique_ptr<TMediaDevice> CreateGstMediaDevice(const TGstDeviceOptions& options);
