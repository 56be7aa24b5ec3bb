#pragma once
// Byte builders for reader tests and seeds: ID3v2 tags and frames, ID3v1 tags, MPEG audio frame
// headers, ASF objects. Everything is a std::string of raw bytes.
#include <cstdint>
#include <initializer_list>
#include <string>

namespace build {

inline std::string Bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list)
        s.push_back(static_cast<char>(b));
    return s;
}
inline std::string BE32(std::uint32_t v) {
    return Bytes({int(v >> 24 & 0xFF), int(v >> 16 & 0xFF), int(v >> 8 & 0xFF), int(v & 0xFF)});
}
inline std::string BE24(std::uint32_t v) {
    return BE32(v).substr(1);
}
inline std::string BE16(std::uint32_t v) {
    return BE32(v).substr(2);
}
inline std::string Synchsafe(std::uint32_t v) {
    return Bytes({int(v >> 21 & 0x7F), int(v >> 14 & 0x7F), int(v >> 7 & 0x7F), int(v & 0x7F)});
}
inline std::string LE16(std::uint32_t v) {
    return Bytes({int(v & 0xFF), int(v >> 8 & 0xFF)});
}
inline std::string LE32(std::uint32_t v) {
    return LE16(v & 0xFFFF) + LE16(v >> 16);
}
inline std::string LE64(std::uint64_t v) {
    return LE32(static_cast<std::uint32_t>(v)) + LE32(static_cast<std::uint32_t>(v >> 32));
}
// UTF-16LE of an ASCII text.
inline std::string Utf16LE(const std::string& ascii, bool terminate = false) {
    std::string s;
    for (char c : ascii)
        s += std::string{c, '\0'};
    if (terminate) s += std::string(2, '\0');
    return s;
}
inline std::string Utf16BE(const std::string& ascii) {
    std::string s;
    for (char c : ascii)
        s += std::string{'\0', c};
    return s;
}
// Any UTF-16 code units, in either byte order.
inline std::string Units16(const std::u16string& units, bool bigEndian) {
    std::string s;
    for (char16_t u : units) {
        const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        s += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return s;
}

// ---- ID3v2 ----

// A tag: "ID3", version, revision 0, flags, synchsafe size of the body, the body.
inline std::string Id3v2(int major, const std::string& body, int flags = 0) {
    return "ID3" + Bytes({major, 0, flags}) + Synchsafe(static_cast<std::uint32_t>(body.size())) +
           body;
}
// Frames of the three header layouts.
inline std::string Frame22(const std::string& id, const std::string& content) {
    return id + BE24(static_cast<std::uint32_t>(content.size())) + content;
}
inline std::string Frame23(const std::string& id, const std::string& content, int status = 0,
                           int format = 0) {
    return id + BE32(static_cast<std::uint32_t>(content.size())) + Bytes({status, format}) +
           content;
}
inline std::string Frame24(const std::string& id, const std::string& content, int status = 0,
                           int format = 0) {
    return id + Synchsafe(static_cast<std::uint32_t>(content.size())) + Bytes({status, format}) +
           content;
}
inline std::string Frame(int major, const std::string& id, const std::string& content) {
    return major == 2   ? Frame22(id, content)
           : major == 3 ? Frame23(id, content)
                        : Frame24(id, content);
}
// Unsynchronisation as a writer applies it: a 0x00 after every 0xFF that is followed by
// 0x00, a byte of 0xE0 or more, or nothing.
inline std::string Unsync(const std::string& in) {
    std::string out;
    for (std::size_t i = 0; i < in.size(); ++i) {
        out.push_back(in[i]);
        const bool ff = static_cast<unsigned char>(in[i]) == 0xFF;
        const bool risky = i + 1 == in.size() || in[i + 1] == 0 ||
                           (static_cast<unsigned char>(in[i + 1]) & 0xE0) == 0xE0;
        if (ff && risky) out.push_back('\0');
    }
    return out;
}
// Text frame content: encoding byte, then the encoded bytes as given.
inline std::string Text(int encoding, const std::string& encoded) {
    return std::string(1, static_cast<char>(encoding)) + encoded;
}

// ---- ID3v1 ----

inline std::string Fixed(const std::string& s, std::size_t width) {
    std::string out = s.substr(0, width);
    out.resize(width, '\0');
    return out;
}
inline std::string Id3v1(const std::string& title, const std::string& artist,
                         const std::string& album, const std::string& year,
                         const std::string& comment, int track, int genre) {
    std::string c = Fixed(comment, 30);
    if (track >= 0) {
        c[28] = 0;
        c[29] = static_cast<char>(track);
    }
    return "TAG" + Fixed(title, 30) + Fixed(artist, 30) + Fixed(album, 30) + Fixed(year, 4) + c +
           std::string(1, static_cast<char>(genre));
}

// ---- MPEG audio ----

// Version field: 3 = MPEG 1, 2 = MPEG 2, 0 = MPEG 2.5. Layer field: 1 = III, 2 = II, 3 = I.
inline std::string MpegHeader(int version, int layer, int bitrateIndex, int rateIndex,
                              int channelMode = 0, bool padding = false, bool crc = false) {
    const int b1 = 0xE0 | (version << 3) | (layer << 1) | (crc ? 0 : 1);
    const int b2 = (bitrateIndex << 4) | (rateIndex << 2) | (padding ? 2 : 0);
    return Bytes({0xFF, b1, b2, channelMode << 6});
}
// A whole frame of the given length: header, zeros.
inline std::string MpegFrame(const std::string& header, std::size_t length) {
    std::string f = header;
    f.resize(length, '\0');
    return f;
}
// A first frame holding a Xing (or Info) header with frame and byte counts.
inline std::string XingFrame(const std::string& header, std::size_t xingOffset,
                             std::uint32_t frames, std::uint32_t bytes, std::size_t length,
                             const char* magic = "Xing") {
    std::string f = header;
    f.resize(xingOffset, '\0');
    f += std::string(magic, 4) + BE32(3) + BE32(frames) + BE32(bytes);
    f.resize(length < f.size() ? f.size() : length, '\0');
    return f;
}

// A first frame holding a Fraunhofer VBRI header 32 bytes after the frame header: version 1,
// delay, quality, byte count, frame count, then an empty seek table.
inline std::string VbriFrame(const std::string& header, std::uint32_t bytes, std::uint32_t frames,
                             std::size_t length) {
    std::string f = header;
    f.resize(36, '\0');
    f += "VBRI" + BE16(1) + BE16(1105) + BE16(75) + BE32(bytes) + BE32(frames) + BE16(0) + BE16(1) +
         BE16(2) + BE16(0);
    f.resize(length < f.size() ? f.size() : length, '\0');
    return f;
}

// ---- ASF ----

inline const std::string kAsfHeader = Bytes({0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11, 0xA6,
                                             0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C});
inline const std::string kAsfFileProperties =
    Bytes({0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11, 0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53,
           0x65});
inline const std::string kAsfStreamProperties =
    Bytes({0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11, 0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53,
           0x65});
inline const std::string kAsfContentDescription =
    Bytes({0x33, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11, 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE,
           0x6C});
inline const std::string kAsfExtendedContentDescription =
    Bytes({0x40, 0xA4, 0xD0, 0xD2, 0x07, 0xE3, 0xD2, 0x11, 0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8,
           0x50});

// An object: GUID, 64-bit size, payload.
inline std::string AsfObject(const std::string& guid, const std::string& payload) {
    return guid + LE64(24 + payload.size()) + payload;
}
// From the object start: play duration (100 ns) at 64, preroll (ms) at 80, flags at 88, the
// maximum bit rate at 100.
inline std::string AsfFileProperties(std::uint32_t maxBitRate, std::uint64_t playDuration = 0,
                                     std::uint64_t preroll = 0, std::uint32_t flags = 0) {
    const std::string p = std::string(40, '\0') + LE64(playDuration) + LE64(0) + LE64(preroll) +
                          LE32(flags) + std::string(8, '\0');
    return AsfObject(kAsfFileProperties, p + LE32(maxBitRate) + std::string(4, '\0'));
}
inline std::string AsfStreamProperties(int channels, std::uint32_t sampleRate,
                                       std::uint32_t byteRate) {
    std::string p(54, '\0'); // WAVEFORMATEX starts at 78 from the object start
    p += LE16(0x161) + LE16(static_cast<std::uint32_t>(channels)) + LE32(sampleRate) +
         LE32(byteRate) + LE16(0) + LE16(16) + LE16(0);
    return AsfObject(kAsfStreamProperties, p);
}
// Strings given as raw bytes (usually Utf16LE(..., true)).
inline std::string AsfContentDescription(const std::string& title, const std::string& author,
                                         const std::string& copyright,
                                         const std::string& description,
                                         const std::string& rating) {
    std::string p;
    for (const auto* s : {&title, &author, &copyright, &description, &rating})
        p += LE16(static_cast<std::uint32_t>(s->size()));
    p += title + author + copyright + description + rating;
    return AsfObject(kAsfContentDescription, p);
}
struct TDescriptor {
    std::string Name;  // ASCII
    int Type;          // 0 string
    std::string Value; // raw bytes
};
inline std::string AsfExtendedContentDescription(std::initializer_list<TDescriptor> list) {
    std::string p = LE16(static_cast<std::uint32_t>(list.size()));
    for (const auto& d : list) {
        const std::string name = Utf16LE(d.Name, true);
        p += LE16(static_cast<std::uint32_t>(name.size())) + name +
             LE16(static_cast<std::uint32_t>(d.Type)) +
             LE16(static_cast<std::uint32_t>(d.Value.size())) + d.Value;
    }
    return AsfObject(kAsfExtendedContentDescription, p);
}
// The Header Object around the given objects.
inline std::string AsfHeader(const std::string& objects, int count) {
    return kAsfHeader + LE64(30 + objects.size()) + LE32(static_cast<std::uint32_t>(count)) +
           Bytes({1, 2}) + objects;
}

} // namespace build
