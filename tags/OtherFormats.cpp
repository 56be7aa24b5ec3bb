#include "tags/OtherFormats.h"

#include <taglib/asffile.h>
#include <taglib/attachedpictureframe.h>
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
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace {

// ASF objects whose parse loops on a 16-bit count of attributes, each of at least MinRecord
// bytes: TagLib trusts the count, so an object of 26 bytes declaring 65,535 attributes costs as
// much as a real 400 KB header.
struct TCountedObject {
    unsigned char Guid[16];
    int MinRecord;
};
constexpr TCountedObject kCountedAsfObjects[] = {
    // Extended Content Description: name length, type, value length.
    {{0x40, 0xA4, 0xD0, 0xD2, 0x07, 0xE3, 0xD2, 0x11, 0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8,
      0x50},
     6},
    // Metadata and Metadata Library: language, stream, name length, type, 32-bit value length.
    {{0xEA, 0xCB, 0xF8, 0xC5, 0xAF, 0x5B, 0x77, 0x48, 0x84, 0x67, 0xAA, 0x8C, 0x44, 0xFA, 0x4C,
      0xCA},
     12},
    {{0x94, 0x1C, 0x23, 0x44, 0x98, 0x94, 0xD1, 0x49, 0xA1, 0x41, 0x1D, 0x13, 0x4E, 0x45, 0x70,
      0x54},
     12},
};

// TagLib reads through this, never from the file system itself: a pipe or a device never
// reaches it (the byte source turns them away), and nothing it does can write.
// Bytes of the file that TagLib sees changed: how an oversized block is made one it skips.
struct TPatch {
    std::int64_t Offset = 0;
    std::string Bytes;
};

class TSourceStream : public TagLib::IOStream {
public:
    explicit TSourceStream(TByteSource& source, std::vector<TPatch> patches = {})
        : Source(source), Size(source.Size()), Patches(std::move(patches)) {}

    // An ASF file ends, for TagLib, where its header ends: it needs nothing past it, and would
    // otherwise read a hostile header's way on through the audio as objects of 24 bytes each.
    // An attribute count is cut to what the header's bytes left can hold.
    struct TAsfHeader {};
    TSourceStream(TByteSource& source, TAsfHeader) : TSourceStream(source) {
        AsfCounts = true;
        unsigned char h[24];
        if (source.ReadAt(0, h, 24) == 24) {
            std::uint64_t size = 0;
            for (int i = 7; i >= 0; --i)
                size = size << 8 | h[16 + i];
            Size = static_cast<std::int64_t>(
                std::min<std::uint64_t>(size, static_cast<std::uint64_t>(Size)));
        }
    }

    TagLib::FileName name() const override { return ""; }
    // Never more than the bytes left: a hostile length field costs no memory. And never more
    // than kMaxReads reads: a loop on a count from the file ends, at the latest, with the
    // budget, as it would at the end of the file.
    TagLib::ByteVector readBlock(unsigned long length) override {
        if (Reads >= kMaxReads) return {};
        ++Reads;
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
        for (const TPatch& p : Patches)
            for (std::size_t i = 0; i < p.Bytes.size(); ++i) {
                const std::int64_t at = p.Offset + static_cast<std::int64_t>(i) - Pos;
                if (at >= 0 && at < static_cast<std::int64_t>(got))
                    v[static_cast<int>(at)] = p.Bytes[i];
            }
        Pos += static_cast<std::int64_t>(got);
        if (AsfCounts) CapAsfCount(v);
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
    // TagLib reads a counted object as its GUID (16 bytes), its size (8), then the count (2).
    void CapAsfCount(TagLib::ByteVector& v) {
        const int step = CountStep;
        CountStep = 0;
        if (v.size() == 16) {
            for (const TCountedObject& o : kCountedAsfObjects)
                if (std::memcmp(v.data(), o.Guid, 16) == 0) {
                    CountStep = 1;
                    MinRecord = o.MinRecord;
                }
        } else if (step == 1 && v.size() == 8) {
            CountStep = 2;
        } else if (step == 2 && v.size() == 2) {
            const auto count = static_cast<std::int64_t>(static_cast<unsigned char>(v[0]) |
                                                         static_cast<unsigned char>(v[1]) << 8);
            const std::int64_t fits = std::max<std::int64_t>(Size - Pos, 0) / MinRecord;
            if (count > fits) {
                v[0] = static_cast<char>(fits & 0xFF);
                v[1] = static_cast<char>(fits >> 8);
            }
        }
    }

    // A real file's tags take a few thousand reads; a header of 65,535 attributes about 330,000.
    static constexpr int kMaxReads = 1 << 19;
    TByteSource& Source;
    std::int64_t Size;
    std::vector<TPatch> Patches;
    std::int64_t Pos = 0;
    int Reads = 0;
    bool AsfCounts = false;
    int CountStep = 0;
    int MinRecord = 1;
};

std::uint32_t Be24(const unsigned char* p) {
    return std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
}
std::uint32_t Le32(const unsigned char* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

// Walks a FLAC file's metadata blocks and turns a comment block above kMaxTextBlock into
// padding, which TagLib passes over: a million TITLE values would otherwise be parsed, joined
// and shown. Pictures beyond a few covers' worth go the same way: TagLib keeps every one.
void PatchFlac(TByteSource& source, std::vector<TPatch>& patches) {
    unsigned char h[10];
    std::int64_t pos = 0;
    if (source.ReadAt(0, h, 10) == 10 && std::memcmp(h, "ID3", 3) == 0)
        pos = 10 +
              ((h[6] & 0x7F) << 21 | (h[7] & 0x7F) << 14 | (h[8] & 0x7F) << 7 | (h[9] & 0x7F)) +
              ((h[5] & 0x10) ? 10 : 0);
    if (source.ReadAt(pos, h, 4) != 4 || std::memcmp(h, "fLaC", 4) != 0) return;
    pos += 4;
    std::uint64_t pictures = 0;
    for (int blocks = 0; blocks < 1024 && source.ReadAt(pos, h, 4) == 4; ++blocks) {
        const bool last = (h[0] & 0x80) != 0;
        const std::uint32_t length = Be24(h + 1);
        if ((h[0] & 0x7F) == 6) pictures += length;
        if (((h[0] & 0x7F) == 4 && length > kMaxTextBlock) ||
            ((h[0] & 0x7F) == 6 && pictures > 2 * kMaxStoredPicture))
            patches.push_back({pos, std::string(1, static_cast<char>((h[0] & 0x80) | 1))});
        pos += 4 + std::int64_t{length};
        if (last) break;
    }
}

// The same for a WAV file's chunks: an oversized INFO list or ID3v2 chunk is renamed to one
// TagLib ignores, so it is never read into memory.
void PatchWav(TByteSource& source, std::vector<TPatch>& patches) {
    unsigned char h[12];
    if (source.ReadAt(0, h, 12) != 12 || std::memcmp(h, "RIFF", 4) != 0) return;
    const std::int64_t size = source.Size();
    std::int64_t pos = 12;
    for (int chunks = 0; chunks < 10000 && pos + 8 <= size && source.ReadAt(pos, h, 8) == 8;
         ++chunks) {
        const std::uint32_t length = Le32(h + 4);
        const bool list = std::memcmp(h, "LIST", 4) == 0;
        const bool id3 = std::memcmp(h, "ID3 ", 4) == 0 || std::memcmp(h, "id3 ", 4) == 0;
        if ((list && length > kMaxTextBlock) || (id3 && length > kMaxTextBlock + kMaxStoredPicture))
            patches.push_back({pos, "JUNK"});
        pos += 8 + std::int64_t{length} + (length & 1);
    }
}

std::vector<TPatch> OversizedBlocks(TByteSource& source, TOtherFormat format) {
    std::vector<TPatch> patches;
    if (format == TOtherFormat::Flac) PatchFlac(source, patches);
    if (format == TOtherFormat::Wav) PatchWav(source, patches);
    return patches;
}

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

const std::uint8_t* Bytes(const TagLib::ByteVector& v) {
    return reinterpret_cast<const std::uint8_t*>(v.data());
}

// Each field from the first tag that has it (a WAV file's ID3v2 tag, then its INFO list).
void TakeTags(std::initializer_list<const TagLib::Tag*> tags, TOtherFormatInfo& info) {
    const auto text = [&](TagLib::String (TagLib::Tag::*field)() const) {
        for (const TagLib::Tag* t : tags) {
            if (!t) continue;
            const TagLib::String s = (t->*field)();
            if (!s.isEmpty()) return s.substr(0, kMaxOtherTextChars).to8Bit(true);
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

void Silence() {
    static TQuietListener quiet;
    static const bool silenced = (TagLib::setDebugListener(&quiet), true);
    (void)silenced;
}

// Opens the file through TagLib and hands it to use; false when it is not of the format or
// anything fails on the way (out of memory, a read error).
template <typename TUse> bool WithFile(TByteSource& source, TOtherFormat format, TUse&& use) {
    Silence();
    try {
        TSourceStream stream(source, OversizedBlocks(source, format));
        const std::unique_ptr<TagLib::File> file = Open(stream, source, format);
        if (!file || !file->isValid()) return false;
        return use(*file);
    } catch (const std::exception&) {
        return false;
    }
}

void OfferXiph(TagLib::Ogg::XiphComment* comment, TPicturePick& pick) {
    if (!comment) return;
    for (const TagLib::FLAC::Picture* p : comment->pictureList())
        if (pick.Offer(p->type(), p->mimeType().to8Bit(), Bytes(p->data()), p->data().size()))
            return;
}

} // namespace

bool ReadOtherFormat(TByteSource& source, TOtherFormat format, TOtherFormatInfo& info) {
    return WithFile(source, format, [&](TagLib::File& f) {
        TagLib::File* file = &f;
        TOtherFormatInfo out;
        if (const auto* wav = dynamic_cast<const TagLib::RIFF::WAV::File*>(file))
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
        if (auto* oggFlac = dynamic_cast<TagLib::Ogg::FLAC::File*>(file))
            TakeOggFlacLength(*oggFlac, source.Size(), out);
        info = std::move(out);
        return true;
    });
}

bool ReadOtherFormatPicture(TByteSource& source, TOtherFormat format, TStoredPicture& picture) {
    TPicturePick pick;
    WithFile(source, format, [&](TagLib::File& file) {
        if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(&file)) {
            for (const TagLib::FLAC::Picture* p : flac->pictureList())
                if (pick.Offer(p->type(), p->mimeType().to8Bit(), Bytes(p->data()),
                               p->data().size()))
                    break;
        } else if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(&file)) {
            // covr carries no picture type: the first one that fits is the cover.
            if (TagLib::MP4::Tag* tag = mp4->tag(); tag && tag->contains("covr"))
                for (const TagLib::MP4::CoverArt& art : tag->item("covr").toCoverArtList())
                    if (pick.Offer(kFrontCoverType,
                                   art.format() == TagLib::MP4::CoverArt::PNG ? "image/png"
                                                                              : "image/jpeg",
                                   Bytes(art.data()), art.data().size()))
                        break;
        } else if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(&file)) {
            if (wav->hasID3v2Tag())
                for (const TagLib::ID3v2::Frame* frame : wav->ID3v2Tag()->frameList("APIC")) {
                    const auto* p = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frame);
                    if (p && pick.Offer(p->type(), p->mimeType().to8Bit(), Bytes(p->picture()),
                                        p->picture().size()))
                        break;
                }
        } else {
            OfferXiph(dynamic_cast<TagLib::Ogg::XiphComment*>(file.tag()), pick);
        }
        return true;
    });
    if (pick.Picked.Empty()) return false;
    picture = std::move(pick.Picked);
    return true;
}

bool ReadWmaPicture(TByteSource& source, TStoredPicture& picture) {
    Silence();
    TPicturePick pick;
    try {
        TSourceStream stream(source, TSourceStream::TAsfHeader{});
        TagLib::ASF::File file(&stream, false);
        if (!file.isValid() || !file.tag()) return false;
        const TagLib::ASF::AttributeListMap& map = file.tag()->attributeListMap();
        if (!map.contains("WM/Picture")) return false;
        for (const TagLib::ASF::Attribute& a : map["WM/Picture"]) {
            const TagLib::ASF::Picture p = a.toPicture();
            if (p.isValid() &&
                pick.Offer(p.type(), p.mimeType().to8Bit(), Bytes(p.picture()), p.picture().size()))
                break;
        }
    } catch (const std::exception&) {
        return false;
    }
    if (pick.Picked.Empty()) return false;
    picture = std::move(pick.Picked);
    return true;
}
