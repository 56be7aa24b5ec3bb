// The media device over one GStreamer playbin per open file. The bus is never watched from
// another thread: every call first drains it on the caller's thread, so end of stream and
// errors are seen on the UI thread. The one thing done on a streaming thread is handing the
// queued file to playbin when the current one is about to finish.
//
// Stopped, the pipeline waits in READY: a sound-server stream that was prerolled but never
// started keeps a clock that runs on while it stands corked, and the first samples written to
// it land that far into the stream, so Play after a long idle open was heard only after as long
// a silence. From READY nothing of the kind is left, and no stream stays open while stopped.
#include "platform/GstMediaDevice.h"

#include "platform/FileName.h"
#include "platform/GaplessInfo.h"

#include <QCoreApplication>
#include <gst/gst.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <utility>

QString NoDeviceOpenText() {
    return QCoreApplication::translate("TMediaDevice", "No MCI device open");
}
QString UnknownErrorText() {
    return QCoreApplication::translate("TMediaDevice", "Unknown error code");
}

namespace {

// playbin's "flags": audio only, so no video or subtitle branch is ever built.
constexpr guint PlayFlagAudio = 1u << 1;
constexpr GstClockTime ErrorGraceMs = 1000;
constexpr const char* Mp3Decoder = "mpg123audiodec";
// A track whose queued successor failed has played out once its position stands this long.
constexpr gint64 StandStillUs = 300 * 1000;

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
    if (!e || !e->message || !*e->message) return UnknownErrorText();
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
            failure = raw ? ErrorText(raw)
                          : QCoreApplication::translate("TMediaDevice",
                                                        "GStreamer could not be initialised.");
            return;
        }
        // Of the two MP3 decoders (equal in rank, both trimming the encoder's delay and
        // padding) this one gives integer samples the output takes as they are; the other's
        // floats cost a conversion that was most of the playing thread's time.
        if (GstPluginFeature* f = gst_registry_lookup_feature(gst_registry_get(), Mp3Decoder)) {
            gst_plugin_feature_set_rank(f, GST_RANK_PRIMARY);
            gst_object_unref(f);
        }
    });
    return failure;
}

std::int32_t NsToMs(gint64 ns) {
    if (ns <= 0) return 0;
    return static_cast<std::int32_t>(std::min<gint64>(ns / GST_MSECOND, INT32_MAX));
}

// A file's URI, or the reason there is none.
QByteArray FileUri(const QString& path, QString* failure) {
    GError* raw = nullptr;
    TCharPtr uri(gst_filename_to_uri(EncodeFileName(path).constData(), &raw));
    TErrorPtr e(raw);
    if (!uri && failure) *failure = ErrorText(raw);
    return uri ? QByteArray(uri.get()) : QByteArray();
}

// Why a file can't be handed to playbin: a named pipe or a device put where a file was would
// hold the reader in open() for good. Empty for a regular file, and for a name that can't be
// read at all (GStreamer then tells why).
QString NotPlayableReason(const QString& path) {
    struct stat st {};
    if (stat(EncodeFileName(path).constData(), &st) != 0 || S_ISREG(st.st_mode)) return {};
    return QCoreApplication::translate("TMediaDevice", "Not a regular file.");
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
    ~TGstMediaDevice() override {
        Close();
        if (LoopKeeper) gst_element_set_state(LoopKeeper.get(), GST_STATE_NULL);
    }

    void Prepare() override {
        if (InitGstreamer().isEmpty()) KeepSoundServerLoop();
    }

    void Open(const QString& path) override {
        Close();
        if (const QString& failure = InitGstreamer(); !failure.isEmpty())
            throw EMediaDeviceError(failure);
        QString failure = NotPlayableReason(path);
        if (!failure.isEmpty()) throw EMediaDeviceError(failure);
        const QByteArray uri = FileUri(path, &failure);
        if (uri.isEmpty()) throw EMediaDeviceError(failure);

        KeepSoundServerLoop();
        TElementPtr playbin(gst_element_factory_make("playbin", nullptr));
        if (!playbin)
            throw EMediaDeviceError(
                QCoreApplication::translate("TMediaDevice", "GStreamer has no playbin element."));
        gst_object_ref_sink(playbin.get()); // own the pipeline outright, not a floating ref
        // Before the sink goes in: autoaudiosink makes its real output inside playbin.
        g_signal_connect(playbin.get(), "element-setup", G_CALLBACK(&TGstMediaDevice::SetUpElement),
                         this);
        g_signal_connect(playbin.get(), "about-to-finish",
                         G_CALLBACK(&TGstMediaDevice::AboutToFinish), this);
        g_signal_connect(playbin.get(), "source-setup", G_CALLBACK(&TGstMediaDevice::SetUpSource),
                         this);
        GstElement* sink = MakeSink();
        if (!sink) {
            throw EMediaDeviceError(
                QCoreApplication::translate("TMediaDevice", "No audio output \"%1\" in GStreamer.")
                    .arg(Options.AudioSink));
        }
        g_object_set(playbin.get(), "uri", uri.constData(), "flags", PlayFlagAudio, "audio-sink",
                     sink, "volume", VolumeLevel, nullptr);
        if (GstElement* filter = GainMode != 0 ? MakeReplayGainFilter() : MakeFormatFilter())
            g_object_set(playbin.get(), "audio-filter", filter, nullptr);

        Pipeline = std::move(playbin);
        Bus.reset(gst_element_get_bus(Pipeline.get()));
        SinkPad.reset(gst_element_get_static_pad(sink, "sink"));
        AudioSink.reset(GST_ELEMENT(gst_object_ref(sink)));
        if (SinkPad)
            SinkProbe = gst_pad_add_probe(SinkPad.get(), GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM,
                                          &TGstMediaDevice::WatchSinkEvents, this, nullptr);
        failure = Preroll(Options.OpenTimeoutMs, true);
        if (!failure.isEmpty()) {
            Close();
            throw EMediaDeviceError(failure);
        }
        gint audioStreams = 0;
        g_object_get(Pipeline.get(), "n-audio", &audioStreams, nullptr);
        if (audioStreams <= 0) {
            Close();
            throw EMediaDeviceError(
                QCoreApplication::translate("TMediaDevice", "The file holds no audio stream."));
        }
        LengthMs = QueryLength();
        CurrentPath = path;
        CurrentUri = uri;
        FixOutputRate();
        ToReady();
        CurrentMode = TMPModes::mpStopped;
    }

    void Close() override {
        if (Pipeline) {
            Halting = true;
            gst_element_set_state(Pipeline.get(), GST_STATE_NULL);
            Halting = false;
            g_signal_handlers_disconnect_by_data(Pipeline.get(), this);
        }
        if (SinkPad && SinkProbe) gst_pad_remove_probe(SinkPad.get(), SinkProbe);
        SinkProbe = 0;
        SinkPad.reset();
        AudioSink.reset();
        GainVolume.reset();
        Bus.reset();
        Pipeline.reset();
        DropQueue();
        Changes.clear();
        CurrentMode = TMPModes::mpNotReady;
        Ended = false;
        EndPositionMs = StartMs = LastPositionMs = 0;
        LengthMs = -1;
        LengthStale = false;
        CurrentPath.clear();
        CurrentUri.clear();
    }

    bool DeviceOpen() const override { return Pipeline != nullptr; }

    void Play() override {
        RequireOpen();
        if (CurrentMode == TMPModes::mpPlaying) return;
        if (CurrentMode == TMPModes::mpPaused) {
            Resume();
            return;
        }
        Start(Ended || (LengthMs > 0 && StartMs >= LengthMs) ? 0 : StartMs);
    }

    void Pause() override {
        RequireOpen();
        if (CurrentMode != TMPModes::mpPlaying) return;
        (void)CurrentPosition(); // the position to go on from, should a change come now
        SettleInPaused();
        if (CurrentMode == TMPModes::mpPlaying) CurrentMode = TMPModes::mpPaused;
    }

    bool Resume() override {
        RequireOpen();
        if (CurrentMode == TMPModes::mpPlaying) return true;
        if (CurrentMode != TMPModes::mpPaused) return false;
        gst_element_set_state(Pipeline.get(), GST_STATE_PLAYING);
        CurrentMode = TMPModes::mpPlaying;
        const gint64 now = g_get_monotonic_time();
        LastPositionAtUs = OldClockUs = now; // nothing moved while paused
        return true;
    }

    void Stop() override {
        RequireOpen();
        if (CurrentMode == TMPModes::mpPlaying || CurrentMode == TMPModes::mpPaused) {
            StartMs = CurrentPosition();
            CurrentMode = TMPModes::mpStopped;
        }
        ToReady();
    }

    void Seek(std::int32_t ms) override {
        RequireOpen();
        ms = std::max<std::int32_t>(ms, 0);
        const std::int32_t length = CurrentLength();
        ToReady();
        CurrentMode = TMPModes::mpStopped;
        // At or past the end: nothing to decode there; the next play starts again at 0.
        Ended = length > 0 && ms >= length;
        EndPositionMs = length;
        StartMs = LastPositionMs = ms;
    }

    TMPModes Mode() override {
        Update();
        return CurrentMode;
    }

    std::int32_t Position() override {
        if (!Pipeline) return 0;
        Update();
        return CurrentPosition();
    }

    std::int32_t Length() override {
        if (!Pipeline) return 0;
        Update();
        return std::max(CurrentLength(), Ended ? EndPositionMs : 0);
    }

    bool AtEnd() override {
        if (!Pipeline) return false;
        Update();
        return Ended;
    }

    bool QueueNext(const QString& path) override {
        if (!Pipeline || !NotPlayableReason(path).isEmpty()) return false;
        const QByteArray uri = FileUri(path, nullptr);
        std::lock_guard lock(QueueMutex);
        if (uri.isEmpty() || HandedOver || ReadOut) return false;
        QueuedPath = path;
        QueuedUri = uri;
        return true;
    }

    bool DropNext() override {
        std::lock_guard lock(QueueMutex);
        if (HandedOver) return false;
        QueuedPath.clear();
        QueuedUri.clear();
        return true;
    }

    TTrackChange TakeTrackChange() override {
        if (!Pipeline) return {};
        Update();
        if (Changes.empty()) return {};
        TTrackChange c = std::move(Changes.front());
        Changes.pop_front();
        return c;
    }

    void SetVolume(double volume) override {
        VolumeLevel = std::clamp(volume, 0.0, 1.0);
        if (Pipeline) g_object_set(Pipeline.get(), "volume", VolumeLevel, nullptr);
    }

    double Volume() const override { return VolumeLevel; }

    void SetReplayGain(int mode) override {
        GainMode = std::clamp(mode, 0, 2);
        if (GainVolume) g_object_set(GainVolume.get(), "album-mode", GainMode == 2, nullptr);
    }

private:
    GstElement* MakeSink() const {
        const QByteArray name = Options.AudioSink.toUtf8();
        GstElement* sink = gst_element_factory_make(name.constData(), nullptr);
        if (sink && g_object_class_find_property(G_OBJECT_GET_CLASS(sink), "sync"))
            g_object_set(sink, "sync", TRUE, nullptr);
        return sink;
    }

    // The samples reach the output in one format whatever the file holds: a change of sample
    // format or channels between two files (integers from MP3, floats from AAC) made the output
    // start afresh at the change and drop what it still held of the file before. 16-bit stereo,
    // which most files are already (they pass untouched). The rate is the first file's, fixed
    // once it is open (FixOutputRate): a next file of another rate is resampled to it, where
    // the output renegotiating dropped most of a second at the junction.
    static GstElement* MakeOutputFormat() {
        GstElement* caps = gst_element_factory_make("capsfilter", "velodra-output");
        if (!caps) return nullptr;
        GstCaps* format =
            gst_caps_from_string("audio/x-raw,format=S16LE,layout=interleaved,channels=2");
        g_object_set(caps, "caps", format, nullptr);
        gst_caps_unref(format);
        return caps;
    }

    // elements... linked in a bin with ghost pads, for playbin's "audio-filter"; none when
    // GStreamer lacks one of them. The bin's first and last element are returned through
    // first and last.
    static GstElement* MakeFilterBin(const char* name, std::initializer_list<GstElement*> parts,
                                     GstElement** first = nullptr, GstElement** last = nullptr) {
        GstElement* bin = gst_bin_new(name);
        bool all = true;
        for (GstElement* e : parts) {
            if (e)
                gst_bin_add(GST_BIN(bin), e);
            else
                all = false;
        }
        GstElement* previous = nullptr;
        for (GstElement* e : parts) {
            if (all && previous && !gst_element_link(previous, e)) all = false;
            previous = e;
        }
        if (!all) {
            gst_object_unref(gst_object_ref_sink(bin));
            return nullptr;
        }
        std::unique_ptr<GstPad, TObjectUnref> sink(
            gst_element_get_static_pad(*parts.begin(), "sink"));
        std::unique_ptr<GstPad, TObjectUnref> src(gst_element_get_static_pad(previous, "src"));
        gst_element_add_pad(bin, gst_ghost_pad_new("sink", sink.get()));
        gst_element_add_pad(bin, gst_ghost_pad_new("src", src.get()));
        if (first) *first = *parts.begin();
        if (last) *last = previous;
        return bin;
    }

    static GstElement* MakeFormatFilter() {
        return MakeFilterBin("format", {gst_element_factory_make("audioconvert", nullptr),
                                        gst_element_factory_make("audioresample", nullptr),
                                        MakeOutputFormat()});
    }

    // The output's rate from now on: the one the open file prerolled at.
    void FixOutputRate() {
        GstElement* filter = nullptr;
        g_object_get(Pipeline.get(), "audio-filter", &filter, nullptr);
        if (!filter) return;
        TElementPtr bin(filter);
        TElementPtr caps(GST_IS_BIN(filter) ? gst_bin_get_by_name(GST_BIN(filter), "velodra-output")
                                            : nullptr);
        if (!caps) return;
        std::unique_ptr<GstPad, TObjectUnref> src(gst_element_get_static_pad(caps.get(), "src"));
        GstCaps* now = src ? gst_pad_get_current_caps(src.get()) : nullptr;
        if (!now) return;
        gint rate = 0;
        gst_structure_get_int(gst_caps_get_structure(now, 0), "rate", &rate);
        gst_caps_unref(now);
        if (rate <= 0) return;
        GstCaps* fixed = gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE",
                                             "layout", G_TYPE_STRING, "interleaved", "channels",
                                             G_TYPE_INT, 2, "rate", G_TYPE_INT, rate, nullptr);
        g_object_set(caps.get(), "caps", fixed, nullptr);
        gst_caps_unref(fixed);
    }

    // audioconvert ! rgvolume ! rglimiter ! audioconvert ! the output format, for playbin's
    // "audio-filter"; none when GStreamer lacks the elements (the files then play at their
    // level).
    GstElement* MakeReplayGainFilter() {
        GstElement* in = gst_element_factory_make("audioconvert", nullptr);
        GstElement* volume = gst_element_factory_make("rgvolume", nullptr);
        GstElement* limiter = gst_element_factory_make("rglimiter", nullptr);
        GstElement* out = nullptr;
        GstElement* bin =
            MakeFilterBin("replaygain",
                          {in, volume, limiter, gst_element_factory_make("audioconvert", nullptr),
                           gst_element_factory_make("audioresample", nullptr), MakeOutputFormat()},
                          nullptr, &out);
        if (!bin) return MakeFormatFilter();
        std::unique_ptr<GstPad, TObjectUnref> src(gst_element_get_static_pad(out, "src"));
        g_object_set(volume, "album-mode", GainMode == 2, nullptr);
        // The limiter guards a raised level only: a file played at or below its own level keeps
        // its peaks as they are.
        g_object_set(limiter, "enabled", FALSE, nullptr);
        g_signal_connect(volume, "notify::result-gain", G_CALLBACK(&TGstMediaDevice::GainChanged),
                         limiter);
        // rgvolume forgets a file's gains only at the end of the stream, which a change of
        // track never passes on: each new stream gets an end of its own, kept inside the bin.
        auto* reset = new TGainReset{volume, {}, false};
        g_object_set_data_full(G_OBJECT(bin), "velodra-gain-reset", reset,
                               [](gpointer p) { delete static_cast<TGainReset*>(p); });
        std::unique_ptr<GstPad, TObjectUnref> toVolume(gst_element_get_static_pad(in, "src"));
        gst_pad_add_probe(toVolume.get(), GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM,
                          &TGstMediaDevice::ForgetGainOfLastStream, reset, nullptr);
        gst_pad_add_probe(src.get(), GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM,
                          &TGstMediaDevice::DropOwnEnd, reset, nullptr);
        GainVolume.reset(GST_ELEMENT(gst_object_ref(volume)));
        return bin;
    }

    struct TGainReset {
        GstElement* Volume;
        std::string StreamId;
        bool Ending; // the end sent through rgvolume is under way
    };

    static GstPadProbeReturn ForgetGainOfLastStream(GstPad*, GstPadProbeInfo* info, gpointer p) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) != GST_EVENT_STREAM_START) return GST_PAD_PROBE_OK;
        auto* reset = static_cast<TGainReset*>(p);
        const gchar* id = nullptr;
        gst_event_parse_stream_start(event, &id);
        const std::string stream = id ? id : "";
        if (!reset->StreamId.empty() && stream != reset->StreamId) {
            reset->Ending = true;
            std::unique_ptr<GstPad, TObjectUnref> sink(
                gst_element_get_static_pad(reset->Volume, "sink"));
            gst_pad_send_event(sink.get(), gst_event_new_eos());
            reset->Ending = false;
        }
        reset->StreamId = stream;
        return GST_PAD_PROBE_OK;
    }

    static GstPadProbeReturn DropOwnEnd(GstPad*, GstPadProbeInfo* info, gpointer p) {
        const bool own = GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_EOS &&
                         static_cast<TGainReset*>(p)->Ending;
        return own ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
    }

    // rgvolume's "notify::result-gain", on a streaming thread.
    static void GainChanged(GObject* volume, GParamSpec*, gpointer limiter) {
        gdouble gain = 0;
        g_object_get(volume, "result-gain", &gain, nullptr);
        g_object_set(limiter, "enabled", gain > 0, nullptr);
    }

    // pulsesink frees the sound server's shared main loop when its last instance goes to NULL,
    // and a streaming thread of a file being handed over can still ask an instance about
    // formats then, which aborted in the client library. One idle instance held in READY (a
    // connection, no stream) keeps the loop for the device's life.
    void KeepSoundServerLoop() {
        if (LoopKeeperTried || (Options.AudioSink != QLatin1String("pulsesink") &&
                                Options.AudioSink != QLatin1String("autoaudiosink")))
            return;
        LoopKeeperTried = true;
        TElementPtr keeper(gst_element_factory_make("pulsesink", nullptr));
        if (!keeper) return;
        gst_object_ref_sink(keeper.get());
        if (gst_element_set_state(keeper.get(), GST_STATE_READY) == GST_STATE_CHANGE_SUCCESS)
            LoopKeeper = std::move(keeper);
        else
            gst_element_set_state(keeper.get(), GST_STATE_NULL);
    }

    // playbin's "element-setup", for every element it makes or is given, on any thread.
    static void SetUpElement(GstElement*, GstElement* element, gpointer self) {
        const GstElementFactory* factory = gst_element_get_factory(element);
        const char* name = factory ? GST_OBJECT_NAME(factory) : "";
        if (std::strcmp(name, "mpegaudioparse") == 0)
            AddProbe(element, "sink",
                     static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER |
                                                  GST_PAD_PROBE_TYPE_PUSH |
                                                  GST_PAD_PROBE_TYPE_PULL),
                     &TGstMediaDevice::ShowEncoderTagAsLame);
        else if (std::strcmp(name, "avdec_wmav1") == 0 || std::strcmp(name, "avdec_wmav2") == 0)
            AddProbe(element, "src", GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM,
                     &TGstMediaDevice::SkipWmaWarmUp);
        else
            SetUpSink(element, static_cast<TGstMediaDevice*>(self)->Options);
    }

    static void AddProbe(GstElement* element, const char* pad, GstPadProbeType type,
                         GstPadProbeCallback probe) {
        if (std::unique_ptr<GstPad, TObjectUnref> p{gst_element_get_static_pad(element, pad)})
            gst_pad_add_probe(p.get(), type, probe, nullptr, nullptr);
    }

    // ffmpeg writes LAME's tag (delay and padding) in the Info frame under its own name, and
    // the MPEG parser trims them only behind "LAME": shown that name, it trims these files
    // alike. Only the start of the stream can hold the Info frame.
    static GstPadProbeReturn ShowEncoderTagAsLame(GstPad*, GstPadProbeInfo* info, gpointer) {
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        if (!buffer) return GST_PAD_PROBE_OK;
        const guint64 offset = (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_PULL)
                                   ? GST_PAD_PROBE_INFO_OFFSET(info)
                                   : GST_BUFFER_OFFSET(buffer);
        if (offset != 0 && offset != GST_BUFFER_OFFSET_NONE) return GST_PAD_PROBE_OK;
        GstMapInfo map;
        if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return GST_PAD_PROBE_OK;
        gsize at = 0;
        // The frame follows what a tag reader left, usually at once.
        for (gsize i = 0; i < std::min<gsize>(map.size, 4096) && at == 0; ++i) {
            if (map.data[i] != 0xFF) continue;
            const auto tag = ReadMpegEncoderTag(map.data + i, map.size - i);
            // Where the delay (and the decoder's 529 samples) spans a whole frame, the MP3
            // decoder warns on the frame it drops: such (low-rate) files keep their gap.
            if (tag && tag->Delay + 529 < tag->FrameSamples &&
                (std::memcmp(tag->Name, "Lavc", 4) == 0 || std::memcmp(tag->Name, "Lavf", 4) == 0))
                at = i + tag->NameOffset;
        }
        gst_buffer_unmap(buffer, &map);
        if (at == 0) return GST_PAD_PROBE_OK;
        buffer = gst_buffer_make_writable(buffer);
        gst_buffer_fill(buffer, at, "LAME", 4);
        GST_PAD_PROBE_INFO_DATA(info) = buffer;
        return GST_PAD_PROBE_OK;
    }

    // A WMA decoder puts out one frame of its transform's warm-up before the first sample of
    // the stream (46 ms at 44.1 kHz), and the stream's segment starts at 0 all the same: moved
    // to where the signal starts, the output drops the warm-up and the position still counts
    // from 0. Only a segment from the start of the file; seeks keep theirs.
    static GstPadProbeReturn SkipWmaWarmUp(GstPad* pad, GstPadProbeInfo* info, gpointer) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) != GST_EVENT_SEGMENT) return GST_PAD_PROBE_OK;
        const GstSegment* in = nullptr;
        gst_event_parse_segment(event, &in);
        if (in->format != GST_FORMAT_TIME || in->start != 0 || in->rate <= 0)
            return GST_PAD_PROBE_OK;
        gint version = 0, rate = 0;
        if (std::unique_ptr<GstElement, TObjectUnref> decoder{gst_pad_get_parent_element(pad)}) {
            std::unique_ptr<GstPad, TObjectUnref> sink{
                gst_element_get_static_pad(decoder.get(), "sink")};
            if (GstCaps* caps = sink ? gst_pad_get_current_caps(sink.get()) : nullptr) {
                const GstStructure* st = gst_caps_get_structure(caps, 0);
                gst_structure_get_int(st, "wmaversion", &version);
                gst_structure_get_int(st, "rate", &rate);
                gst_caps_unref(caps);
            }
        }
        const int delay = WmaDecoderDelay(version, rate);
        if (delay <= 0 || rate <= 0) return GST_PAD_PROBE_OK;
        GstSegment moved;
        gst_segment_copy_into(in, &moved);
        moved.start = moved.position = gst_util_uint64_scale_int(delay, GST_SECOND, rate);
        GstEvent* out = gst_event_new_segment(&moved);
        gst_event_set_seqnum(out, gst_event_get_seqnum(event));
        gst_event_unref(event);
        GST_PAD_PROBE_INFO_DATA(info) = out;
        return GST_PAD_PROBE_OK;
    }

    // The output's buffer and write sizes, where it has them.
    static void SetUpSink(GstElement* element, const TGstDeviceOptions& o) {
        GObjectClass* c = G_OBJECT_GET_CLASS(element);
        if (o.BufferTimeMs <= 0 || o.LatencyTimeMs <= 0 ||
            !GST_OBJECT_FLAG_IS_SET(element, GST_ELEMENT_FLAG_SINK) ||
            !g_object_class_find_property(c, "buffer-time") ||
            !g_object_class_find_property(c, "latency-time"))
            return;
        g_object_set(element, "buffer-time", static_cast<gint64>(o.BufferTimeMs) * 1000,
                     "latency-time", static_cast<gint64>(o.LatencyTimeMs) * 1000, nullptr);
    }

    // playbin's "about-to-finish", on a streaming thread: hand over the queued file, if any.
    static void AboutToFinish(GstElement* playbin, gpointer self) {
        auto* d = static_cast<TGstMediaDevice*>(self);
        std::lock_guard lock(d->QueueMutex);
        // Taking the pipeline down drains the source, and playbin takes that for the end of
        // the file: a file handed over then would start a new group under the shutdown.
        if (d->Halting) return;
        if (d->QueuedUri.isEmpty()) {
            d->ReadOut = true;
            return;
        }
        // Checked again: it may have been replaced since it was queued. Refused, the track
        // plays out and the change is reported as failed.
        d->Refusal = NotPlayableReason(d->QueuedPath);
        if (d->Refusal.isEmpty()) g_object_set(playbin, "uri", d->QueuedUri.constData(), nullptr);
        d->HandedPath = std::exchange(d->QueuedPath, {});
        d->HandedUri = std::exchange(d->QueuedUri, {});
        d->HandedOver = true;
    }

    // playbin's "source-setup": the reader of the handed-over file. It goes into the bin that
    // decodes that file, and that bin tells its errors from those of the file still playing.
    static void SetUpSource(GstElement*, GstElement* source, gpointer self) {
        auto* d = static_cast<TGstMediaDevice*>(self);
        std::lock_guard lock(d->QueueMutex);
        if (d->HandedOver && !d->HandedSource)
            d->HandedSource.reset(GST_ELEMENT_CAST(gst_object_ref(source)));
    }

    // Whether a bus message was posted by the handed-over file's elements.
    bool FromHandedFile(GstMessage* msg) {
        std::lock_guard lock(QueueMutex);
        GstObject* from = GST_MESSAGE_SRC(msg);
        if (!HandedOver || !HandedSource || !from) return false;
        if (from == GST_OBJECT(HandedSource.get())) return true; // it may be gone from its bin
        std::unique_ptr<GstObject, TObjectUnref> bin(
            gst_object_get_parent(GST_OBJECT(HandedSource.get())));
        return bin && gst_object_has_as_ancestor(from, bin.get());
    }

    // The change refused in about-to-finish, if any: reported once the track has played out.
    TTrackChange RefusedChange() {
        std::lock_guard lock(QueueMutex);
        if (!HandedOver || Refusal.isEmpty()) return {};
        return {TTrackChange::Failed, HandedPath, Refusal};
    }

    // On the output's pad, on a streaming thread: has the current stream's segment come? Until
    // it has, the pipeline's position is still the previous stream's.
    static GstPadProbeReturn WatchSinkEvents(GstPad*, GstPadProbeInfo* info, gpointer self) {
        auto* d = static_cast<TGstMediaDevice*>(self);
        switch (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info))) {
        case GST_EVENT_STREAM_START:
            d->SegmentOfStream = false;
            break;
        case GST_EVENT_SEGMENT:
            d->SegmentOfStream = true;
            break;
        default:
            break;
        }
        return GST_PAD_PROBE_OK;
    }

    bool IsHandedOver() {
        std::lock_guard lock(QueueMutex);
        return HandedOver;
    }

    // Forgets the queued file, and a change under way that hasn't become audible.
    void DropQueue() {
        {
            std::lock_guard lock(QueueMutex);
            QueuedPath.clear();
            QueuedUri.clear();
            HandedPath.clear();
            HandedUri.clear();
            HandedOver = false;
            HandedSource.reset();
            Refusal.clear();
            ReadOut = false;
        }
        SwitchPending = false;
        NextFailure.clear();
    }

    void RequireOpen() {
        if (!Pipeline) throw EMediaDeviceError(NoDeviceOpenText());
        Update();
    }

    // Brings the pipeline to PAUSED with its first buffer ready; "" or the failure text.
    QString Preroll(int timeoutMs, bool fromScratch) {
        LastError.clear();
        GstStateChangeReturn r = gst_element_set_state(Pipeline.get(), GST_STATE_PAUSED);
        if (r != GST_STATE_CHANGE_FAILURE)
            r = gst_element_get_state(Pipeline.get(), nullptr, nullptr,
                                      static_cast<GstClockTime>(timeoutMs) * GST_MSECOND);
        Drain();
        if (r == GST_STATE_CHANGE_FAILURE && LastError.isEmpty()) {
            // The state change can fail a moment before the element's error reaches the bus.
            TMessagePtr msg{gst_bus_timed_pop_filtered(Bus.get(), ErrorGraceMs * GST_MSECOND,
                                                       GST_MESSAGE_ERROR)};
            if (msg) Handle(msg.get());
        }
        if (r == GST_STATE_CHANGE_FAILURE || (fromScratch && !LastError.isEmpty()))
            return LastError.isEmpty() ? UnknownErrorText() : LastError;
        if (r == GST_STATE_CHANGE_ASYNC)
            return QCoreApplication::translate("TMediaDevice",
                                               "The file did not get ready within %1 s.")
                .arg(timeoutMs / 1000);
        return {};
    }

    // From READY: at the start of the file without waiting (the pipeline prerolls on its way
    // to PLAYING); elsewhere prerolled, moved there and then started.
    void Start(std::int32_t fromMs) {
        g_object_set(Pipeline.get(), "uri", CurrentUri.constData(), nullptr);
        Ended = false;
        StartMs = LastPositionMs = fromMs;
        LastPositionAtUs = g_get_monotonic_time();
        if (fromMs > 0) {
            if (const QString why = Preroll(Options.CommandTimeoutMs, false); !why.isEmpty()) {
                // Gone or broken since it was opened: the play fails with the reason, where a
                // stream that silently ran out would only be noticed seconds later.
                ToReady();
                CurrentMode = TMPModes::mpStopped;
                throw EMediaDeviceError(why);
            }
            const auto flags =
                static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
            if (gst_element_seek_simple(Pipeline.get(), GST_FORMAT_TIME, flags,
                                        static_cast<gint64>(fromMs) * GST_MSECOND))
                gst_element_get_state(Pipeline.get(), nullptr, nullptr,
                                      static_cast<GstClockTime>(Options.CommandTimeoutMs) *
                                          GST_MSECOND);
        }
        CurrentMode = TMPModes::mpPlaying;
        gst_element_set_state(Pipeline.get(), GST_STATE_PLAYING);
    }

    // Playing to PAUSED; waits (bounded) so that position and mode are settled afterwards.
    void SettleInPaused() {
        gst_element_set_state(Pipeline.get(), GST_STATE_PAUSED);
        gst_element_get_state(Pipeline.get(), nullptr, nullptr,
                              static_cast<GstClockTime>(Options.CommandTimeoutMs) * GST_MSECOND);
        Drain();
    }

    // Releases the sound-server stream and whatever playbin prepared; stale messages go too.
    void ToReady() {
        Halting = true;
        gst_element_set_state(Pipeline.get(), GST_STATE_READY);
        // A file handed to playbin that never became the current one leaves its decoder in
        // playbin's other group, and a decoder that failed posts its error again when the
        // pipeline next starts, which ended the next play at once: only NULL clears the groups.
        if (IsHandedOver()) gst_element_set_state(Pipeline.get(), GST_STATE_NULL);
        Halting = false;
        while (TMessagePtr msg{gst_bus_pop(Bus.get())}) {
        }
        DropQueue();
        GroupKnown = false;
    }

    std::int32_t CurrentPosition() {
        if (Ended) return EndPositionMs;
        if (CurrentMode != TMPModes::mpPlaying && CurrentMode != TMPModes::mpPaused) return StartMs;
        if (SwitchPending) return OldTrackPosition();
        gint64 ns = 0;
        if (QuerySinkPosition(&ns) && ns >= 0) {
            LastPositionMs = NsToMs(ns);
            LastPositionAtUs = g_get_monotonic_time();
        }
        return LastPositionMs;
    }

    // The ending track's position while the next one waits behind it in the output: the
    // pipeline already counts the new one (from 0), so go on from the last position seen.
    std::int32_t OldTrackPosition() {
        const gint64 now = g_get_monotonic_time();
        if (CurrentMode == TMPModes::mpPlaying) OldPositionUs += now - OldClockUs;
        OldClockUs = now;
        const gint64 ms = OldPositionUs / 1000;
        return static_cast<std::int32_t>(LengthMs > 0 ? std::min<gint64>(ms, LengthMs) : ms);
    }

    // Asked of the output itself: the pipeline would ask every sink of playbin's bins in turn
    // for the same answer, at several times the cost, and the main window asks ten times a
    // second.
    bool QuerySinkPosition(gint64* ns) {
        return gst_element_query_position(AudioSink ? AudioSink.get() : Pipeline.get(),
                                          GST_FORMAT_TIME, ns);
    }

    std::int32_t QueryLength() {
        gint64 ns = 0;
        if (gst_element_query_duration(Pipeline.get(), GST_FORMAT_TIME, &ns) && ns > 0)
            return NsToMs(ns);
        return -1;
    }

    // The length, asked again after the stream said it changed (only a running pipeline knows,
    // and once the next file is handed over it speaks of that one).
    std::int32_t CurrentLength() {
        if ((LengthMs <= 0 || LengthStale) &&
            (CurrentMode == TMPModes::mpPlaying || CurrentMode == TMPModes::mpPaused) &&
            !SwitchPending && !IsHandedOver()) {
            if (const std::int32_t l = QueryLength(); l > 0) {
                LengthMs = l;
                LengthStale = false;
            }
        }
        return std::max(LengthMs, 0);
    }

    // Everything the streaming threads have posted, then the change of track, if one is due.
    void Update() {
        Drain();
        if (CurrentMode != TMPModes::mpPlaying && CurrentMode != TMPModes::mpPaused) return;
        if (SwitchPending) {
            // Once its segment is in, the new track counts from 0 until its first sample is
            // heard.
            gint64 ns = 0;
            if (SegmentOfStream && QuerySinkPosition(&ns) && ns > 0) CommitSwitch();
        } else if (!NextFailure.isEmpty() && CurrentMode == TMPModes::mpPlaying) {
            CheckFailedChange();
        }
    }

    void Drain() {
        if (!Bus) return;
        while (TMessagePtr msg{gst_bus_pop(Bus.get())})
            Handle(msg.get());
    }

    void Handle(GstMessage* msg) {
        const bool running =
            CurrentMode == TMPModes::mpPlaying || CurrentMode == TMPModes::mpPaused;
        switch (GST_MESSAGE_TYPE(msg)) {
        case GST_MESSAGE_EOS: {
            if (!running) break;
            if (SwitchPending) {
                CommitSwitch(); // a short new track, over before anyone asked
                StreamRanOut(true);
                break;
            }
            TTrackChange refused = RefusedChange();
            StreamRanOut(true);
            if (refused.Kind != TTrackChange::None) Changes.push_back(std::move(refused));
            break;
        }
        case GST_MESSAGE_ERROR: {
            GError* raw = nullptr;
            gst_message_parse_error(msg, &raw, nullptr);
            TErrorPtr e(raw);
            if (running && !SwitchPending && FromHandedFile(msg)) {
                // The queued file failed; the current track plays on to its end.
                if (NextFailure.isEmpty()) NextFailure = ErrorText(raw);
                WatchedMs = -1;
                break;
            }
            if (LastError.isEmpty()) LastError = ErrorText(raw);
            // A stream that breaks while playing ends there, like one that runs out.
            if (!running) break;
            if (SwitchPending) CommitSwitch();
            StreamRanOut(false);
            break;
        }
        case GST_MESSAGE_STREAM_START: {
            guint group = 0;
            if (!gst_message_parse_group_id(msg, &group)) group = ~0u;
            if (!GroupKnown) {
                GroupKnown = true;
                CurrentGroup = group;
            } else if (group != CurrentGroup && IsHandedOver()) {
                // The next file has reached the output; it is heard once the old one drains.
                SwitchPending = true;
                PendingGroup = group;
                OldPositionUs = static_cast<gint64>(LastPositionMs) * 1000;
                OldClockUs = LastPositionAtUs;
            }
            break;
        }
        case GST_MESSAGE_DURATION_CHANGED:
            // Once the next file is handed over, playbin speaks of that one.
            if (!SwitchPending && !IsHandedOver()) LengthStale = true;
            break;
        default:
            break;
        }
    }

    void CommitSwitch() {
        {
            std::lock_guard lock(QueueMutex);
            CurrentPath = std::exchange(HandedPath, {});
            CurrentUri = std::exchange(HandedUri, {});
            HandedOver = false;
            HandedSource.reset();
        }
        SwitchPending = false;
        CurrentGroup = PendingGroup;
        LengthMs = QueryLength();
        LengthStale = LengthMs <= 0;
        LastPositionMs = 0;
        (void)CurrentPosition();
        Changes.push_back({TTrackChange::Changed, CurrentPath, {}});
    }

    // No end of stream comes after a queued file failed: the track has played out once its
    // position reaches its length or stands still.
    void CheckFailedChange() {
        const std::int32_t p = CurrentPosition();
        const gint64 now = g_get_monotonic_time();
        if (p != WatchedMs) {
            WatchedMs = p;
            WatchedSinceUs = now;
        }
        if (!(LengthMs > 0 && p >= LengthMs) && now - WatchedSinceUs < StandStillUs) return;
        TTrackChange failed{TTrackChange::Failed, {}, NextFailure};
        {
            std::lock_guard lock(QueueMutex);
            failed.Path = HandedPath;
        }
        StreamRanOut(true);
        Changes.push_back(std::move(failed));
    }

    void StreamRanOut(bool endOfStream) {
        const std::int32_t reached = CurrentPosition();
        // At the end of the stream position and length agree; after an error it ends where
        // decoding stopped, and the next play prerolls it again from the start.
        EndPositionMs = endOfStream ? std::max(reached, QueryLength()) : reached;
        ToReady();
        Ended = true;
        CurrentMode = TMPModes::mpStopped;
    }

    TGstDeviceOptions Options;
    TElementPtr LoopKeeper;
    bool LoopKeeperTried = false;
    TElementPtr Pipeline;
    TBusPtr Bus;
    std::unique_ptr<GstPad, TObjectUnref> SinkPad;
    TElementPtr AudioSink;
    gulong SinkProbe = 0;
    std::atomic<bool> SegmentOfStream{false};
    QString CurrentPath;
    QByteArray CurrentUri;
    TMPModes CurrentMode = TMPModes::mpNotReady;
    bool Ended = false; // stopped where playing ran out by itself
    std::int32_t EndPositionMs = 0;
    std::int32_t StartMs = 0; // stopped: where the next play starts
    std::int32_t LastPositionMs = 0;
    gint64 LastPositionAtUs = 0; // monotonic time LastPositionMs was read
    std::int32_t LengthMs = -1;  // -1: not known yet
    bool LengthStale = false;
    double VolumeLevel = 1.0; // for the session: every new playbin starts at it
    int GainMode = 0;         // ReplayGain, likewise
    TElementPtr GainVolume;   // the open file's rgvolume, while ReplayGain is on
    QString LastError;

    // The queue, shared with the streaming thread that calls AboutToFinish.
    std::mutex QueueMutex;
    std::atomic<bool> Halting{false}; // this thread is taking the pipeline down
    QString QueuedPath;
    QByteArray QueuedUri;
    QString HandedPath; // given to playbin, not heard yet
    QByteArray HandedUri;
    bool HandedOver = false;
    TElementPtr HandedSource; // the reader of the handed-over file
    QString Refusal;          // why the queued file was not handed over after all
    bool ReadOut = false;     // playbin finished reading with nothing queued: too late to queue

    // The change under way, seen on this thread.
    bool GroupKnown = false; // the stream-start of the current file was seen
    guint CurrentGroup = 0;
    guint PendingGroup = 0;
    bool SwitchPending = false;  // the next file reached the output, the old one is heard
    gint64 OldPositionUs = 0;    // the old track's position while it drains
    gint64 OldClockUs = 0;       // ...at this monotonic time
    QString NextFailure;         // why the handed-over file can't play
    std::int32_t WatchedMs = -1; // ...and where the old track's position last moved to
    gint64 WatchedSinceUs = 0;
    std::deque<TTrackChange> Changes;
};

} // namespace

std::unique_ptr<TMediaDevice> CreateGstMediaDevice(const TGstDeviceOptions& options) {
    return std::make_unique<TGstMediaDevice>(options);
}

std::unique_ptr<TMediaDevice> CreateGstMediaDevice() {
    return CreateGstMediaDevice(TGstDeviceOptions{});
}
