#include "tags/OtherFormats.h"

#include <taglib/audioproperties.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/infotag.h>
#include <taglib/mp4file.h>
#include <taglib/oggflacfile.h>
#include <taglib/oggpageheader.h>
#include <taglib/opusfile.h>
#include <taglib/speexfile.h>
#include <taglib/tdebuglistener.h>
#include <taglib/tiostream.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <memory>

namespace {

// TagLib reads through this, never from the file system itself: a pipe or a device never
// reaches it (the byte source turns them away), and nothing it does can write.
class TSourceStream : public TagLib::IOStream {
public:
    explicit TSourceStream(TByteSource& source) : Source(source), Size(source.Size()) {}

    TagLib::FileName name() const override { return ""; }
    // Never more than the bytes left: a hostile length field costs no memory.
    TagLib::ByteVector readBlock(unsigned long length) override {
        const std::int64_t left = Pos < Size ? Size - Pos : 0;
        const auto n = static_cast<unsigned int>(
            std::min<std::uint64_t>(length, static_cast<std::uint64_t>(left)));
        if (n == 0) return {};
        TagLib::ByteVector v(n, '\0');
        std::size_t got = 0;
        try {
            got = Source.ReadAt(Pos, v.data(), n);
        } catch (const EByteSourceError&) {
            got = 0; // a read error ends the file here
        }
        v.resize(static_cast<unsigned int>(got));
        Pos += static_cast<std::int64_t>(got);
        return v;
    }
    void writeBlock(const TagLib::ByteVector&) override {}
    void insert(const TagLib::ByteVector&, unsigned long, unsigned long) override {}
    void removeBlock(unsigned long, unsigned long) override {}
    bool readOnly() const override { return true; }
    bool isOpen() const override { return true; }
    void seek(long offset, Position p) override {
        const std::int64_t base = p == Beginning ? 0 : p == Current ? Pos : Size;
        const std::int64_t to = base + offset;
        if (to >= 0) Pos = to; // as fseek, a place before the start is refused
    }
    long tell() const override { return static_cast<long>(Pos); }
    long length() override { return static_cast<long>(Size); }
    void truncate(long) override {}

private:
    TByteSource& Source;
    std::int64_t Size;
    std::int64_t Pos = 0;
};

// What TagLib says about a broken file is ours to tell, not stderr's.
class TQuietListener : public TagLib::DebugListener {
public:
    void printMessage(const TagLib::String&) override {}
};

enum class TOggCodec { Unknown, Vorbis, Opus, Flac, Speex };

// The codec of an Ogg stream, from the start of the first packet of its first page (a ".ogg" may
// hold Opus or FLAC as well as Vorbis).
TOggCodec OggCodecOf(TByteSource& source) {
    unsigned char page[27 + 255 + 8];
    const std::size_t got = source.ReadAt(0, page, sizeof page);
    if (got < 27 || std::memcmp(page, "OggS", 4) != 0) return TOggCodec::Unknown;
    const std::size_t packet = 27 + std::size_t{page[26]};
    const auto starts = [&](const char* magic, std::size_t n) {
        return packet + n <= got && std::memcmp(page + packet, magic, n) == 0;
    };
    if (starts("\x01vorbis", 7)) return TOggCodec::Vorbis;
    if (starts("OpusHead", 8)) return TOggCodec::Opus;
    if (starts("\x7F"
               "FLAC",
               5))
        return TOggCodec::Flac;
    if (starts("Speex   ", 8)) return TOggCodec::Speex;
    return TOggCodec::Unknown;
}

std::unique_ptr<TagLib::File> Open(TSourceStream& stream, TByteSource& source,
                                   TOtherFormat format) {
    constexpr auto kStyle = TagLib::AudioProperties::Average;
    switch (format) {
    case TOtherFormat::Flac:
        return std::make_unique<TagLib::FLAC::File>(
            &stream, TagLib::ID3v2::FrameFactory::instance(), true, kStyle);
    case TOtherFormat::Mp4:
        return std::make_unique<TagLib::MP4::File>(&stream, true, kStyle);
    case TOtherFormat::Wav:
        return std::make_unique<TagLib::RIFF::WAV::File>(&stream, true, kStyle);
    case TOtherFormat::Ogg:
        switch (OggCodecOf(source)) {
        case TOggCodec::Vorbis:
            return std::make_unique<TagLib::Ogg::Vorbis::File>(&stream, true, kStyle);
        case TOggCodec::Opus:
            return std::make_unique<TagLib::Ogg::Opus::File>(&stream, true, kStyle);
        case TOggCodec::Flac:
            return std::make_unique<TagLib::Ogg::FLAC::File>(&stream, true, kStyle);
        case TOggCodec::Speex:
            return std::make_unique<TagLib::Ogg::Speex::File>(&stream, true, kStyle);
        case TOggCodec::Unknown:
            return nullptr;
        }
    }
    return nullptr;
}

// Each field from the first tag that has it (a WAV file's ID3v2 tag, then its INFO list).
void TakeTags(std::initializer_list<const TagLib::Tag*> tags, TOtherFormatInfo& info) {
    const auto text = [&](TagLib::String (TagLib::Tag::*field)() const) {
        for (const TagLib::Tag* t : tags) {
            if (!t) continue;
            const TagLib::String s = (t->*field)();
            if (!s.isEmpty()) return s.to8Bit(true);
        }
        return std::string();
    };
    const auto number = [&](unsigned int (TagLib::Tag::*field)() const) {
        for (const TagLib::Tag* t : tags)
            if (t && (t->*field)() != 0) return static_cast<std::uint32_t>((t->*field)());
        return std::uint32_t{0};
    };
    info.Title = text(&TagLib::Tag::title);
    info.Artist = text(&TagLib::Tag::artist);
    info.Album = text(&TagLib::Tag::album);
    info.Comment = text(&TagLib::Tag::comment);
    info.Genre = text(&TagLib::Tag::genre);
    info.Year = number(&TagLib::Tag::year);
    info.Track = number(&TagLib::Tag::track);
}

// An encoder that streams FLAC into Ogg leaves the sample count of its header at 0; the last
// page's granule position counts the samples as well.
void TakeOggFlacLength(TagLib::Ogg::FLAC::File& file, std::int64_t size, TOtherFormatInfo& out) {
    if (out.LengthMs > 0 || out.SampleRate <= 0) return;
    const TagLib::Ogg::PageHeader* last = file.lastPageHeader();
    const long long samples = last ? last->absoluteGranularPosition() : 0;
    if (samples <= 0 || samples / out.SampleRate > 0x7FFFFFFF / 1000) return;
    out.LengthMs = static_cast<std::int32_t>(samples * 1000 / out.SampleRate);
    if (out.BitRate == 0 && out.LengthMs > 0)
        out.BitRate = static_cast<std::int32_t>(size * 8 / out.LengthMs);
}

} // namespace

bool ReadOtherFormat(TByteSource& source, TOtherFormat format, TOtherFormatInfo& info) {
    static TQuietListener quiet;
    static const bool silenced = (TagLib::setDebugListener(&quiet), true);
    (void)silenced;
    try {
        TSourceStream stream(source);
        const std::unique_ptr<TagLib::File> file = Open(stream, source, format);
        if (!file || !file->isValid()) return false;
        TOtherFormatInfo out;
        if (const auto* wav = dynamic_cast<const TagLib::RIFF::WAV::File*>(file.get()))
            TakeTags({wav->hasID3v2Tag() ? wav->ID3v2Tag() : nullptr,
                      wav->hasInfoTag() ? wav->InfoTag() : nullptr},
                     out);
        else
            TakeTags({file->tag()}, out);
        if (const TagLib::AudioProperties* p = file->audioProperties()) {
            out.SampleRate = std::max(p->sampleRate(), 0);
            out.BitRate = std::max(p->bitrate(), 0);
            out.Channels = std::max(p->channels(), 0);
            out.LengthMs = std::max(p->lengthInMilliseconds(), 0);
        }
        if (auto* oggFlac = dynamic_cast<TagLib::Ogg::FLAC::File*>(file.get()))
            TakeOggFlacLength(*oggFlac, source.Size(), out);
        info = std::move(out);
        return true;
    } catch (const std::exception&) {
        return false; // out of memory or a read error: nothing is taken
    }
}
