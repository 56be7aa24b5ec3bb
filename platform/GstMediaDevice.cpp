// The media device over one GStreamer playbin per open file. The bus is never watched from
// another thread: every call first drains it on the caller's thread, so end of stream and
// errors are seen on the UI thread and nothing here runs on a streaming thread.
#include "platform/GstMediaDevice.h"

#include "platform/FileName.h"

#include <gst/gst.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>

namespace {

const QString NoDeviceOpen = QStringLiteral("No MCI device open");
const QString UnknownError = QStringLiteral("Unknown error code");

// playbin's "flags": audio only, so no video or subtitle branch is ever built.
constexpr guint PlayFlagAudio = 1u << 1;
constexpr GstClockTime ErrorGraceMs = 1000;

struct TObjectUnref {
    void operator()(gpointer p) const { gst_object_unref(p); }
};
struct TMessageUnref {
    void operator()(GstMessage* m) const { gst_message_unref(m); }
};
struct TErrorFree {
    void operator()(GError* e) const { g_error_free(e); }
};
struct TGFree {
    void operator()(gpointer p) const { g_free(p); }
};
using TElementPtr = std::unique_ptr<GstElement, TObjectUnref>;
using TBusPtr = std::unique_ptr<GstBus, TObjectUnref>;
using TMessagePtr = std::unique_ptr<GstMessage, TMessageUnref>;
using TErrorPtr = std::unique_ptr<GError, TErrorFree>;
using TCharPtr = std::unique_ptr<gchar, TGFree>;

QString ErrorText(const GError* e) {
    if (!e || !e->message || !*e->message) return UnknownError;
    return QString::fromUtf8(e->message);
}

// gst_init once per process; its failure text is kept for every later open.
const QString& InitGstreamer() {
    static std::once_flag once;
    static QString failure;
    std::call_once(once, [] {
        GError* raw = nullptr;
        if (!gst_init_check(nullptr, nullptr, &raw)) {
            TErrorPtr e(raw);
            failure = raw ? ErrorText(raw) : QStringLiteral("GStreamer could not be initialised.");
        }
    });
    return failure;
}

std::int32_t NsToMs(gint64 ns) {
    if (ns <= 0) return 0;
    return static_cast<std::int32_t>(std::min<gint64>(ns / GST_MSECOND, INT32_MAX));
}

class TGstMediaDevice final : public TMediaDevice {
public:
    explicit TGstMediaDevice(TGstDeviceOptions options) : Options(std::move(options)) {
        if (Options.AudioSink.isEmpty()) {
            if (const char* env = std::getenv("VELODRA_AUDIO_SINK"); env && *env)
                Options.AudioSink = QString::fromLocal8Bit(env);
            else
                Options.AudioSink = QStringLiteral("autoaudiosink");
        }
    }
    ~TGstMediaDevice() override { Close(); }

    void Open(const QString& path) override {
        Close();
        if (const QString& failure = InitGstreamer(); !failure.isEmpty())
            throw EMediaDeviceError(failure);

        GError* raw = nullptr;
        TCharPtr uri(gst_filename_to_uri(EncodeFileName(path).constData(), &raw));
        TErrorPtr uriError(raw);
        if (!uri) throw EMediaDeviceError(ErrorText(raw));

        TElementPtr playbin(gst_element_factory_make("playbin", nullptr));
        if (!playbin) throw EMediaDeviceError(QStringLiteral("GStreamer has no playbin element."));
        gst_object_ref_sink(playbin.get()); // own the pipeline outright, not a floating ref
        GstElement* sink = MakeSink();
        if (!sink) {
            throw EMediaDeviceError(
                QStringLiteral("No audio output \"%1\" in GStreamer.").arg(Options.AudioSink));
        }
        g_object_set(playbin.get(), "uri", uri.get(), "flags", PlayFlagAudio, "audio-sink", sink,
                     "volume", VolumeLevel, nullptr);

        Pipeline = std::move(playbin);
        Bus.reset(gst_element_get_bus(Pipeline.get()));
        const QString failure = Preroll(Options.OpenTimeoutMs, true);
        if (!failure.isEmpty()) {
            Close();
            throw EMediaDeviceError(failure);
        }
        gint audioStreams = 0;
        g_object_get(Pipeline.get(), "n-audio", &audioStreams, nullptr);
        if (audioStreams <= 0) {
            Close();
            throw EMediaDeviceError(QStringLiteral("The file holds no audio stream."));
        }
        CurrentMode = TMPModes::mpStopped;
        LastPositionMs = 0;
        LengthMs = QueryLength();
    }

    void Close() override {
        if (Pipeline) gst_element_set_state(Pipeline.get(), GST_STATE_NULL);
        Bus.reset();
        Pipeline.reset();
        CurrentMode = TMPModes::mpNotReady;
        Ended = false;
        NeedsPreroll = false;
        EndPositionMs = 0;
        LastPositionMs = 0;
        LengthMs = -1;
    }

    bool DeviceOpen() const override { return Pipeline != nullptr; }

    void Play() override {
        RequireOpen();
        if (Ended || (LengthMs > 0 && CurrentPosition() >= LengthMs))
            SeekPipeline(0);
        else if (NeedsPreroll)
            Preroll(Options.CommandTimeoutMs, false);
        gst_element_set_state(Pipeline.get(), GST_STATE_PLAYING);
        CurrentMode = TMPModes::mpPlaying;
    }

    void Pause() override {
        RequireOpen();
        if (CurrentMode != TMPModes::mpPlaying) return;
        SettleInPaused();
        if (CurrentMode == TMPModes::mpPlaying) CurrentMode = TMPModes::mpPaused;
    }

    bool Resume() override {
        RequireOpen();
        if (CurrentMode == TMPModes::mpPlaying) return true;
        if (CurrentMode != TMPModes::mpPaused) return false;
        gst_element_set_state(Pipeline.get(), GST_STATE_PLAYING);
        CurrentMode = TMPModes::mpPlaying;
        return true;
    }

    void Stop() override {
        RequireOpen();
        if (CurrentMode == TMPModes::mpPlaying || CurrentMode == TMPModes::mpPaused) {
            LastPositionMs = CurrentPosition();
            SettleInPaused();
            CurrentMode = TMPModes::mpStopped;
        }
    }

    void Seek(std::int32_t ms) override {
        RequireOpen();
        ms = std::max<std::int32_t>(ms, 0);
        const std::int32_t length = CurrentLength();
        if (CurrentMode == TMPModes::mpPlaying) SettleInPaused();
        CurrentMode = TMPModes::mpStopped;
        if (length > 0 && ms >= length) {
            // At or past the end: nothing to decode there; the next play starts again at 0.
            Ended = true;
            EndPositionMs = length;
            return;
        }
        SeekPipeline(ms);
    }

    TMPModes Mode() override {
        Drain();
        return CurrentMode;
    }

    std::int32_t Position() override {
        if (!Pipeline) return 0;
        Drain();
        return CurrentPosition();
    }

    std::int32_t Length() override {
        if (!Pipeline) return 0;
        Drain();
        return std::max(CurrentLength(), Ended ? EndPositionMs : 0);
    }

    bool AtEnd() override {
        if (!Pipeline) return false;
        Drain();
        return Ended;
    }

    void SetVolume(double volume) override {
        VolumeLevel = std::clamp(volume, 0.0, 1.0);
        if (Pipeline) g_object_set(Pipeline.get(), "volume", VolumeLevel, nullptr);
    }

    double Volume() const override { return VolumeLevel; }

private:
    GstElement* MakeSink() const {
        const QByteArray name = Options.AudioSink.toUtf8();
        GstElement* sink = gst_element_factory_make(name.constData(), nullptr);
        if (sink && g_object_class_find_property(G_OBJECT_GET_CLASS(sink), "sync"))
            g_object_set(sink, "sync", TRUE, nullptr);
        return sink;
    }

    void RequireOpen() {
        if (!Pipeline) throw EMediaDeviceError(NoDeviceOpen);
        Drain();
    }

    // Brings the pipeline to PAUSED with its first buffer ready; "" or the failure text.
    QString Preroll(int timeoutMs, bool fromScratch) {
        LastError.clear();
        GstStateChangeReturn r = gst_element_set_state(Pipeline.get(), GST_STATE_PAUSED);
        if (r != GST_STATE_CHANGE_FAILURE)
            r = gst_element_get_state(Pipeline.get(), nullptr, nullptr,
                                      static_cast<GstClockTime>(timeoutMs) * GST_MSECOND);
        Drain();
        NeedsPreroll = false;
        if (r == GST_STATE_CHANGE_FAILURE && LastError.isEmpty()) {
            // The state change can fail a moment before the element's error reaches the bus.
            TMessagePtr msg{gst_bus_timed_pop_filtered(Bus.get(), ErrorGraceMs * GST_MSECOND,
                                                       GST_MESSAGE_ERROR)};
            if (msg) Handle(msg.get());
        }
        if (r == GST_STATE_CHANGE_FAILURE || (fromScratch && !LastError.isEmpty()))
            return LastError.isEmpty() ? UnknownError : LastError;
        if (r == GST_STATE_CHANGE_ASYNC)
            return QStringLiteral("The file did not get ready within %1 s.").arg(timeoutMs / 1000);
        return {};
    }

    // Playing to PAUSED; waits (bounded) so that position and mode are settled afterwards.
    void SettleInPaused() {
        gst_element_set_state(Pipeline.get(), GST_STATE_PAUSED);
        gst_element_get_state(Pipeline.get(), nullptr, nullptr,
                              static_cast<GstClockTime>(Options.CommandTimeoutMs) * GST_MSECOND);
        Drain();
    }

    // A flushing seek from PAUSED, waiting (bounded) until the target is prerolled.
    void SeekPipeline(std::int32_t ms) {
        if (NeedsPreroll) Preroll(Options.CommandTimeoutMs, false);
        Ended = false;
        const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
        if (gst_element_seek_simple(Pipeline.get(), GST_FORMAT_TIME, flags,
                                    static_cast<gint64>(ms) * GST_MSECOND)) {
            gst_element_get_state(Pipeline.get(), nullptr, nullptr,
                                  static_cast<GstClockTime>(Options.CommandTimeoutMs) *
                                      GST_MSECOND);
            LastPositionMs = ms;
        }
        Drain();
    }

    std::int32_t CurrentPosition() {
        if (Ended) return EndPositionMs;
        gint64 ns = 0;
        if (!NeedsPreroll && gst_element_query_position(Pipeline.get(), GST_FORMAT_TIME, &ns) &&
            ns >= 0)
            LastPositionMs = NsToMs(ns);
        return LastPositionMs;
    }

    std::int32_t QueryLength() {
        gint64 ns = 0;
        if (gst_element_query_duration(Pipeline.get(), GST_FORMAT_TIME, &ns) && ns > 0)
            return NsToMs(ns);
        return -1;
    }

    std::int32_t CurrentLength() {
        if (LengthMs <= 0 && !NeedsPreroll) LengthMs = QueryLength();
        return std::max(LengthMs, 0);
    }

    // Handles everything the streaming threads have posted since the last call.
    void Drain() {
        if (!Bus) return;
        while (TMessagePtr msg{gst_bus_pop(Bus.get())})
            Handle(msg.get());
    }

    void Handle(GstMessage* msg) {
        switch (GST_MESSAGE_TYPE(msg)) {
        case GST_MESSAGE_EOS:
            if (CurrentMode == TMPModes::mpPlaying || CurrentMode == TMPModes::mpPaused)
                StreamRanOut(true);
            break;
        case GST_MESSAGE_ERROR: {
            GError* raw = nullptr;
            gst_message_parse_error(msg, &raw, nullptr);
            TErrorPtr e(raw);
            if (LastError.isEmpty()) LastError = ErrorText(raw);
            // A stream that breaks while playing ends there, like one that runs out.
            if (CurrentMode == TMPModes::mpPlaying || CurrentMode == TMPModes::mpPaused)
                StreamRanOut(false);
            break;
        }
        case GST_MESSAGE_DURATION_CHANGED:
            LengthMs = -1;
            break;
        default:
            break;
        }
    }

    void StreamRanOut(bool endOfStream) {
        const std::int32_t reached = CurrentPosition();
        if (endOfStream) {
            // The device now stands at its end: position and length agree.
            gst_element_set_state(Pipeline.get(), GST_STATE_PAUSED);
            EndPositionMs = std::max(reached, QueryLength());
        } else {
            // After an error the pipeline can't preroll where it is; READY is reached at once,
            // and the next play or seek prerolls it again.
            gst_element_set_state(Pipeline.get(), GST_STATE_READY);
            NeedsPreroll = true;
            EndPositionMs = reached;
        }
        Ended = true;
        CurrentMode = TMPModes::mpStopped;
    }

    TGstDeviceOptions Options;
    TElementPtr Pipeline;
    TBusPtr Bus;
    TMPModes CurrentMode = TMPModes::mpNotReady;
    bool Ended = false;        // stopped where playing ran out by itself
    bool NeedsPreroll = false; // left in READY after a stream error
    std::int32_t EndPositionMs = 0;
    std::int32_t LastPositionMs = 0;
    std::int32_t LengthMs = -1; // -1: not known yet
    double VolumeLevel = 1.0;   // for the session: every new playbin starts at it
    QString LastError;
};

} // namespace

std::unique_ptr<TMediaDevice> CreateGstMediaDevice(const TGstDeviceOptions& options) {
    return std::make_unique<TGstMediaDevice>(options);
}

std::unique_ptr<TMediaDevice> CreateGstMediaDevice() {
    return CreateGstMediaDevice(TGstDeviceOptions{});
}
