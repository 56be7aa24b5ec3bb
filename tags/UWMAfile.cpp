#include "tags/UWMAfile.h"

#include "tags/ByteReader.h"
#include "tags/JvID3v2Types.h"

#include <array>
#include <cstring>
#include <exception>
#include <limits>

namespace {

using TGuid = std::array<std::uint8_t, 16>;
constexpr TGuid kHeaderObject = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr TGuid kFilePropertiesObject = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                         0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr TGuid kStreamPropertiesObject = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                                           0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr TGuid kContentDescriptionObject = {0x33, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                             0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr TGuid kExtendedContentDescriptionObject = {
    0x40, 0xA4, 0xD0, 0xD2, 0x07, 0xE3, 0xD2, 0x11, 0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50};

enum { sTitle, sArtist, sAlbum, sTrack, sYear, sGenre, sComment, kStringCount };
constexpr const char* kDescriptorNames[kStringCount] = {
    "WM/TITLE", "WM/AUTHOR", "WM/ALBUMTITLE", "WM/TRACK", "WM/YEAR", "WM/GENRE", "WM/DESCRIPTION"};

struct TWmaHeaderData {
    std::int32_t FileSize = 0;
    std::uint64_t PlayDuration = 0; // 100 ns
    std::uint64_t Preroll = 0;      // ms
    bool Broadcast = false;         // the durations are not set
    std::int32_t MaxBitRate = 0;    // bit/s
    std::uint16_t Channels = 0;
    std::int32_t SampleRate = 0;
    std::int32_t ByteRate = 0; // average bytes per second
    std::u16string Strings[kStringCount];
    std::int32_t TrackNumber = 0; // WM/TrackNumber, 0 = none
};

struct EPastEnd : std::exception {};

// Reads at an explicit position; running past the end is an error.
class TCursor {
public:
    explicit TCursor(TByteSource& s) : S_(s) {}
    std::int64_t Pos = 0;
    void Read(void* buf, std::size_t n) {
        if (S_.ReadAt(Pos, buf, n) < n) throw EPastEnd();
        Pos += static_cast<std::int64_t>(n);
    }
    std::uint16_t U16() {
        std::uint8_t b[2];
        Read(b, 2);
        std::uint16_t v = 0;
        bytes::LE16(b, 2, v);
        return v;
    }
    std::uint32_t U32() {
        std::uint8_t b[4];
        Read(b, 4);
        std::uint32_t v = 0;
        bytes::LE32(b, 4, v);
        return v;
    }
    std::uint64_t U64() {
        const std::uint64_t low = U32();
        return low | (std::uint64_t{U32()} << 32);
    }
    // n bytes of UTF-16LE, of which the first units are kept.
    std::u16string String(std::size_t n) {
        const std::size_t units = std::min<std::size_t>(n / 2, TWMAfile::kMaxStringUnits);
        std::uint8_t b[2 * TWMAfile::kMaxStringUnits];
        Read(b, units * 2);
        std::u16string s(units, u'\0');
        for (std::size_t i = 0; i < units; ++i)
            s[i] = static_cast<char16_t>(b[2 * i] | (b[2 * i + 1] << 8));
        Pos += static_cast<std::int64_t>(n - units * 2);
        return s;
    }

private:
    TByteSource& S_;
};

std::u16string Trim(const std::u16string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && s[b] <= u' ')
        ++b;
    while (e > b && s[e - 1] <= u' ')
        --e;
    return s.substr(b, e - b);
}

// A whole decimal number with an optional sign; 0 for anything else.
std::int32_t ToIntDef0(const std::u16string& s) {
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
    if (i == s.size()) return 0;
    std::int64_t v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < u'0' || s[i] > u'9') return 0;
        v = v * 10 + (s[i] - u'0');
        if (v > std::numeric_limits<std::int32_t>::max() + std::int64_t(negative)) return 0;
    }
    return static_cast<std::int32_t>(negative ? -v : v);
}

// Whether a trimmed descriptor name is this upper-case name, ASCII letters case-folded.
bool NameIs(const std::u16string& t, const char* name) {
    const std::size_t n = std::strlen(name);
    if (t.size() != n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        char16_t c = t[i];
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
        if (c != static_cast<unsigned char>(name[i])) return false;
    }
    return true;
}

// The descriptor table entry a name selects (trimmed, ASCII letters upper-cased), or -1.
int DescriptorIndex(const std::u16string& trimmed) {
    for (int k = 0; k < kStringCount; ++k)
        if (NameIs(trimmed, kDescriptorNames[k])) return k;
    return -1;
}

enum : std::uint16_t { kStringValue = 0, kDwordValue = 3 };

// Descriptors are read only while they start inside their object: objects do not overlap, so
// a hostile header cannot have the same bytes parsed as descriptors over and over.
void ReadObject(TCursor& c, std::int64_t start, std::int64_t end, const TGuid& guid,
                TWmaHeaderData& d) {
    if (guid == kFilePropertiesObject) {
        c.Pos = start + 64;
        d.PlayDuration = c.U64();
        c.Pos = start + 80;
        d.Preroll = c.U64();
        d.Broadcast = (c.U32() & 1) != 0;
        c.Pos = start + 100;
        d.MaxBitRate = static_cast<std::int32_t>(c.U32());
    } else if (guid == kStreamPropertiesObject) {
        c.Pos = start + 80;
        d.Channels = c.U16();
        d.SampleRate = static_cast<std::int32_t>(c.U32());
        d.ByteRate = static_cast<std::int32_t>(c.U32());
    } else if (guid == kContentDescriptionObject) {
        c.Pos = start + 24;
        std::uint16_t len[5];
        for (auto& l : len)
            l = c.U16();
        // title, author, copyright, description, rating
        constexpr int target[5] = {sTitle, sArtist, -1, sComment, -1};
        for (int i = 0; i < 5; ++i) {
            if (len[i] == 0) continue;
            std::u16string s = c.String(len[i]);
            if (target[i] >= 0) d.Strings[target[i]] = std::move(s);
        }
    } else if (guid == kExtendedContentDescriptionObject) {
        c.Pos = start + 24;
        const std::uint16_t count = c.U16();
        for (std::uint16_t i = 0; i < count && c.Pos < end; ++i) {
            const std::u16string name = Trim(c.String(c.U16()));
            const std::uint16_t type = c.U16();
            const std::uint16_t length = c.U16();
            if (NameIs(name, "WM/TRACKNUMBER") && (type == kStringValue || type == kDwordValue)) {
                const std::int64_t value = c.Pos;
                d.TrackNumber = type == kStringValue ? TrackOfText(Trim(c.String(length)))
                                : length == 4 ? static_cast<std::int32_t>(c.U32() & 0x7FFFFFFF)
                                              : 0;
                c.Pos = value + length;
                continue;
            }
            if (type != kStringValue) { // its name leaves the strings as they are
                c.Pos += length;
                continue;
            }
            std::u16string value = c.String(length);
            const int k = DescriptorIndex(name);
            if (k >= 0) d.Strings[k] = std::move(value);
        }
    }
}

} // namespace

void TWMAfile::ResetData() {
    Valid = false;
    Album.clear();
    Artist.clear();
    Comment.clear();
    Genre.clear();
    Title.clear();
    Year.clear();
    BitRate = 0;
    Channels = 0;
    Duration = 0.0;
    FileSize = 0;
    SampleRate = 0;
    Track = 0;
    PlayLengthMs = 0;
}

std::u16string TWMAfile::ChannelMode() const {
    static const char16_t* const kModes[3] = {u"Unknown", u"Mono", u"Stereo"};
    return kModes[Channels <= 2 ? Channels : 0];
}

bool TWMAfile::ReadFromFile(const std::string& fileName) {
    const TOpenedSource opened = TryOpenByteSource(fileName);
    if (!opened.Source) {
        ResetData();
        return false;
    }
    return ReadFromSource(*opened.Source);
}

bool TWMAfile::ReadFromSource(TByteSource& source) {
    ResetData();
    TWmaHeaderData d;
    try {
        d.FileSize = static_cast<std::int32_t>(static_cast<std::uint32_t>(source.Size()));
        TCursor c(source);
        TGuid guid;
        c.Read(guid.data(), 16);
        if (guid != kHeaderObject) return true;
        c.Pos += 8;
        std::int32_t count = static_cast<std::int32_t>(c.U32());
        c.Pos += 2;
        while (count > 0) {
            --count;
            const std::int64_t start = c.Pos;
            c.Read(guid.data(), 16);
            const std::uint32_t size = c.U32();
            // An object smaller than its own header cannot be stepped over: the header ends
            // there, with what the objects before it gave.
            if (size < 24) break;
            ReadObject(c, start, start + size, guid, d);
            c.Pos = start + size;
        }
    } catch (const std::exception&) {
        return false;
    }

    if (!(d.MaxBitRate > 0 && d.MaxBitRate < 320000) || !(d.Channels == 1 || d.Channels == 2) ||
        !(d.SampleRate >= 8000 && d.SampleRate <= 96000) ||
        !(d.ByteRate > 0 && d.ByteRate < 400000))
        return true;
    Valid = true;
    FileSize = d.FileSize;
    Channels = static_cast<std::uint8_t>(d.Channels);
    SampleRate = d.SampleRate;
    Duration = static_cast<double>(FileSize) * 8 / d.MaxBitRate;
    // The play duration counts the preroll too; a broadcast header sets neither.
    const std::uint64_t playMs = d.PlayDuration / 10000;
    if (!d.Broadcast && playMs > d.Preroll && playMs - d.Preroll <= 0x7FFFFFFF)
        PlayLengthMs = static_cast<std::int32_t>(playMs - d.Preroll);
    BitRate = d.ByteRate * 8 / 1000;
    Title = Trim(d.Strings[sTitle]);
    Artist = Trim(d.Strings[sArtist]);
    Album = Trim(d.Strings[sAlbum]);
    Year = Trim(d.Strings[sYear]);
    Genre = Trim(d.Strings[sGenre]);
    Comment = Trim(d.Strings[sComment]);
    // WM/TrackNumber counts from 1; the older WM/Track only where it is missing.
    Track = d.TrackNumber > 0 ? d.TrackNumber : ToIntDef0(Trim(d.Strings[sTrack]));
    return true;
}
