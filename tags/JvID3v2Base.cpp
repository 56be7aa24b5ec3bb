#include "tags/JvID3v2Base.h"

#include "base/Cp1252.h"
#include "tags/ByteReader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

// ---- reading stream ----

std::size_t TJvID3Stream::Read(void* buffer, std::size_t n) {
    const std::size_t got = n < Remaining() ? n : Remaining();
    if (got) std::memcpy(buffer, Current(), got);
    Position += got;
    return got;
}

bool TJvID3Stream::ReadByte(std::uint8_t& b) {
    if (Remaining() == 0) return false;
    b = Data[Position++];
    return true;
}

void TJvID3Stream::BeginReadFrame(std::size_t length) {
    if (InFrame_) throw EJvID3Error("Already reading/writing frame");
    InFrame_ = true;
    FrameStart_ = Position;
    const std::size_t left = Position < Data.size() ? Data.size() - Position : 0;
    FrameEnd_ = Position + (length < left ? length : left);
}

void TJvID3Stream::EndReadFrame() {
    if (!InFrame_) throw EJvID3Error("Not reading frame");
    InFrame_ = false;
    Position = FrameEnd_;
}

std::string TJvID3Stream::ReadStringA() {
    const std::size_t left = Remaining();
    const std::uint8_t* p = Current();
    std::size_t n = 0;
    while (n < left && p[n] != 0)
        ++n;
    std::string s(reinterpret_cast<const char*>(p), n);
    Position += n < left ? n + 1 : n;
    return s;
}

std::u16string DecodeUtf8Lenient(const std::uint8_t* p, std::size_t n) {
    std::u16string out;
    out.reserve(n);
    std::size_t i = 0;
    while (i < n) {
        const std::uint8_t lead = p[i];
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        std::size_t len;
        std::uint32_t cp;
        if (lead >= 0xC0 && lead <= 0xDF)
            len = 2, cp = lead & 0x1Fu;
        else if (lead >= 0xE0 && lead <= 0xEF)
            len = 3, cp = lead & 0x0Fu;
        else if (lead >= 0xF0 && lead <= 0xF7)
            len = 4, cp = lead & 0x07u;
        else if (lead >= 0xF8 && lead <= 0xFB)
            len = 5, cp = lead & 0x03u;
        else if (lead >= 0xFC && lead <= 0xFD)
            len = 6, cp = lead & 0x01u;
        else { // a stray continuation byte, FE or FF
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        std::size_t k = 1;
        while (k < len && i + k < n && (p[i + k] & 0xC0) == 0x80) {
            cp = (cp << 6) | (p[i + k] & 0x3Fu);
            ++k;
        }
        i += k;
        if (k < len || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(0xFFFD);
        } else if (cp > 0xFFFF) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::u16string TJvID3Stream::ReadStringW(TJvID3Encoding encoding) {
    SourceEncoding = encoding;
    const std::size_t left = Remaining();
    const std::uint8_t* p = Current();
    if (encoding == ienISO_8859_1 || encoding == ienUTF_8) {
        std::size_t n = 0;
        while (n < left && p[n] != 0)
            ++n;
        Position += n < left ? n + 1 : n;
        const std::string_view bytes(reinterpret_cast<const char*>(p), n);
        return encoding == ienUTF_8 ? DecodeUtf8Lenient(p, n) : Cp1252ToUtf16(bytes);
    }
    bool bigEndian = true;
    std::size_t at = 0;
    if (encoding == ienUTF_16) {
        if (left < 2) return {};
        at = 2;
        Position += 2;
        if (p[0] == 0xFF && p[1] == 0xFE)
            bigEndian = false;
        else if (p[0] == 0xFE && p[1] == 0xFF)
            bigEndian = true;
        else
            return {};
    }
    std::u16string out;
    while (at + 2 <= left) {
        const char16_t unit = bigEndian ? static_cast<char16_t>((p[at] << 8) | p[at + 1])
                                        : static_cast<char16_t>((p[at + 1] << 8) | p[at]);
        at += 2;
        Position += 2;
        if (unit == 0) break;
        out.push_back(unit);
    }
    return out;
}

// ---- frames ----

void TJvID3Frame::ReadFrame(TJvID3Stream&, TJvID3Version) {}

void TJvID3Frame::ReadEncoding(TJvID3Stream& s) {
    std::uint8_t b = 0;
    if (!s.ReadByte(b)) return;
    if (b > ienUTF_8) throw EJvID3Error("Unknown encoding");
    Encoding = static_cast<TJvID3Encoding>(b);
}

namespace {
TJvID3Bytes ReadRest(TJvID3Stream& s) {
    auto data =
        std::make_shared<std::vector<std::uint8_t>>(s.Current(), s.Current() + s.Remaining());
    s.Skip(s.Remaining());
    return data;
}
std::string ReadFixed(TJvID3Stream& s, std::size_t n) {
    std::string out(n < s.Remaining() ? n : s.Remaining(), '\0');
    s.Read(out.data(), out.size());
    return out;
}
std::uint64_t ReadCounter(TJvID3Stream& s) {
    std::uint64_t v = 0;
    std::uint8_t b = 0;
    while (s.ReadByte(b))
        v = (v << 8) | b; // wider counters keep their low 64 bits
    return v;
}
} // namespace

void TJvID3CustomTextFrame::ReadFrame(TJvID3Stream& s, TJvID3Version) {
    Text.clear();
    if (s.Remaining() == 0) return;
    ReadEncoding(s);
    // Further strings (2.4 multiple values) are left for the window's close to skip.
    Text = s.ReadStringW(Encoding);
}

void TJvID3SimpleListFrame::ReadFrame(TJvID3Stream& s, TJvID3Version) {
    List.clear();
    if (s.Remaining() == 0) return;
    ReadEncoding(s);
    while (s.Remaining() > 0) {
        const std::size_t before = s.Remaining();
        List.push_back(s.ReadStringW(Encoding));
        if (s.Remaining() == before) break;
    }
}

void TJvID3DoubleListFrame::ReadFrame(TJvID3Stream& s, TJvID3Version) {
    List.clear();
    if (s.Remaining() == 0) return;
    ReadEncoding(s);
    while (s.Remaining() > 0) {
        const std::size_t before = s.Remaining();
        std::u16string role = s.ReadStringW(Encoding);
        std::u16string name = s.ReadStringW(Encoding);
        List.emplace_back(std::move(role), std::move(name));
        if (s.Remaining() == before) break;
    }
}

void TJvID3ContentFrame::ReadFrame(TJvID3Stream& s, TJvID3Version) {
    if (s.Remaining() == 0) return;
    ReadEncoding(s);
    Language = ReadFixed(s, 3);
    Description = s.ReadStringW(Encoding);
    Text = s.ReadStringW(Encoding);
}

void TJvID3PictureFrame::ReadFrame(TJvID3Stream& s, TJvID3Version version) {
    if (s.Remaining() == 0) return;
    ReadEncoding(s);
    MIMEType = version == ive2_2 ? ReadFixed(s, 3) : s.ReadStringA();
    std::uint8_t type = ptOther;
    s.ReadByte(type);
    PictureType = type;
    Description = s.ReadStringW(Encoding);
    Data = ReadRest(s);
}

void TJvID3UserFrame::ReadFrame(TJvID3Stream& s, TJvID3Version) {
    if (s.Remaining() == 0) return;
    ReadEncoding(s);
    Description = s.ReadStringW(Encoding);
    Value = s.ReadStringW(Encoding);
}

void TJvID3URLUserFrame::ReadFrame(TJvID3Stream& s, TJvID3Version) {
    if (s.Remaining() == 0) return;
    ReadEncoding(s);
    Description = s.ReadStringW(Encoding);
    URL = s.ReadStringA();
}

void TJvID3URLFrame::ReadFrame(TJvID3Stream& s, TJvID3Version) {
    URL = s.ReadStringA();
}

void TJvID3GeneralObjFrame::ReadFrame(TJvID3Stream& s, TJvID3Version) {
    if (s.Remaining() == 0) return;
    ReadEncoding(s);
    MIMEType = s.ReadStringA();
    FileName = s.ReadStringW(Encoding);
    ContentDescription = s.ReadStringW(Encoding);
    Data = ReadRest(s);
}

void TJvID3OwnershipFrame::ReadFrame(TJvID3Stream& s, TJvID3Version) {
    if (s.Remaining() == 0) return;
    ReadEncoding(s);
    PricePayed = s.ReadStringA();
    DateOfPurch = ReadFixed(s, 8);
    Seller = s.ReadStringW(Encoding);
}

void TJvID3TermsOfUseFrame::ReadFrame(TJvID3Stream& s, TJvID3Version) {
    if (s.Remaining() == 0) return;
    ReadEncoding(s);
    Language = ReadFixed(s, 3);
    Text = s.ReadStringW(Encoding);
}

void TJvID3AudioEncryptionFrame::ReadFrame(TJvID3Stream& s, TJvID3Version) {
    OwnerID = s.ReadStringA();
    std::uint32_t v = 0;
    if (bytes::BE16(s.Current(), s.Remaining(), v)) PreviewStart = v, s.Skip(2);
    if (bytes::BE16(s.Current(), s.Remaining(), v)) PreviewLength = v, s.Skip(2);
    Data = ReadRest(s);
}

void TJvID3PlayCounterFrame::ReadFrame(TJvID3Stream& s, TJvID3Version) {
    Counter = ReadCounter(s);
}

void TJvID3PopularimeterFrame::ReadFrame(TJvID3Stream& s, TJvID3Version) {
    EMailAddress = s.ReadStringA();
    s.ReadByte(Rating);
    Counter = ReadCounter(s);
}

void TJvID3BinaryFrame::ReadFrame(TJvID3Stream& s, TJvID3Version) {
    Data = ReadRest(s);
}

std::unique_ptr<TJvID3Frame> CreateFrame(TJvID3FrameID id) {
    switch (FrameClassOf(id)) {
    case fcText:
        return std::make_unique<TJvID3TextFrame>(id);
    case fcNumber:
        return std::make_unique<TJvID3NumberFrame>(id);
    case fcTimestamp:
        return std::make_unique<TJvID3TimestampFrame>(id);
    case fcSimpleList:
        return std::make_unique<TJvID3SimpleListFrame>(id);
    case fcDoubleList:
        return std::make_unique<TJvID3DoubleListFrame>(id);
    case fcContent:
        return std::make_unique<TJvID3ContentFrame>(id);
    case fcPicture:
        return std::make_unique<TJvID3PictureFrame>(id);
    case fcUser:
        return std::make_unique<TJvID3UserFrame>(id);
    case fcURLUser:
        return std::make_unique<TJvID3URLUserFrame>(id);
    case fcURL:
        return std::make_unique<TJvID3URLFrame>(id);
    case fcGeneralObj:
        return std::make_unique<TJvID3GeneralObjFrame>(id);
    case fcOwnership:
        return std::make_unique<TJvID3OwnershipFrame>(id);
    case fcTermsOfUse:
        return std::make_unique<TJvID3TermsOfUseFrame>(id);
    case fcAudioEncryption:
        return std::make_unique<TJvID3AudioEncryptionFrame>(id);
    case fcPlayCounter:
        return std::make_unique<TJvID3PlayCounterFrame>(id);
    case fcPopularimeter:
        return std::make_unique<TJvID3PopularimeterFrame>(id);
    case fcBinary:
        return std::make_unique<TJvID3BinaryFrame>(id);
    case fcSkip:
        break;
    }
    return std::make_unique<TJvID3SkipFrame>(id);
}

// ---- MPEG stream properties ----

namespace {

// kbit/s by row and index; index 0 is free format (-2), 15 invalid (-1).
constexpr std::int32_t kBitRates[5][16] = {
    {-2, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, -1},
    {-2, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, -1},
    {-2, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, -1},
    {-2, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, -1},
    {-2, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1},
};
// Hz by version field (0 = MPEG 2.5, 1 reserved, 2 = MPEG 2, 3 = MPEG 1) and index.
constexpr std::int32_t kSampleRates[4][4] = {
    {11025, 12000, 8000, -1}, {0, 0, 0, -1}, {22050, 24000, 16000, -1}, {44100, 48000, 32000, -1}};
// Frame-size coefficient by layer field (3 = Layer I, 2 = II, 1 = III).
constexpr long double kCoefficients[4] = {1, 144000, 144000, 48000};

int BitRateRow(std::uint8_t version, std::uint8_t layer) {
    if (version == 3) return layer == 3 ? 0 : layer == 2 ? 1 : 2;
    return layer == 3 ? 3 : 4;
}

// Nearest integer, halves to even (the default rounding mode); false when it does not fit.
bool RoundToInt32(long double v, std::int32_t& out) {
    if (!std::isfinite(v)) return false;
    const long double r = std::nearbyint(v);
    if (r < std::numeric_limits<std::int32_t>::min() ||
        r > std::numeric_limits<std::int32_t>::max())
        return false;
    out = static_cast<std::int32_t>(r);
    return true;
}
bool TruncToInt32(long double v, std::int32_t& out) {
    if (!std::isfinite(v)) return false;
    const long double t = std::trunc(v);
    if (t < std::numeric_limits<std::int32_t>::min() ||
        t > std::numeric_limits<std::int32_t>::max())
        return false;
    out = static_cast<std::int32_t>(t);
    return true;
}

constexpr std::size_t kScanBlock = 3840;
// A header counts only with 52 bytes from its start; a VBRI header needs 54.
constexpr std::size_t kHeaderBytes = 52;
constexpr std::size_t kVbriOffset = 36;
constexpr std::size_t kVbriBytes = 18; // magic, version, delay, quality, byte and frame counts
constexpr std::size_t kHeadBytes = kVbriOffset + kVbriBytes;

} // namespace

void TJvID3FileInfo::Reset() {
    const std::int32_t padding = PaddingBytes;
    *this = TJvID3FileInfo();
    PaddingBytes = padding;
}

void TJvID3FileInfo::Read(TByteSource& stream, std::int64_t start) {
    Reset();
    // First sync pair: 0xFF, then a byte with its top three bits set.
    std::uint8_t block[kScanBlock];
    std::uint8_t head[kHeadBytes];
    std::size_t headLen = 0;
    bool prevFF = false;
    std::int64_t found = -1;
    std::int64_t pos = start < 0 ? 0 : start;
    const std::int64_t size = stream.Size();
    while (pos < size) {
        const std::size_t got = stream.ReadAt(pos, block, kScanBlock);
        if (got == 0) break;
        for (std::size_t i = 0; i < got; ++i) {
            const std::uint8_t b = block[i];
            if (prevFF && (b & 0xE0) == 0xE0) {
                found = pos + static_cast<std::int64_t>(i) - 1;
                if (i >= 1) {
                    headLen = std::min(kHeadBytes, got - (i - 1));
                    std::memcpy(head, block + i - 1, headLen);
                }
                break;
            }
            prevFF = b == 0xFF;
        }
        if (found >= 0) break;
        pos += static_cast<std::int64_t>(got);
    }
    if (found < 0) return;
    if (headLen < kHeadBytes) headLen = stream.ReadAt(found, head, kHeadBytes);
    if (headLen < kHeaderBytes) return;
    HeaderOffset = found;

    // Header: 0xFF, then bytes 1 to 3.
    [&] {
        const std::uint8_t b1 = head[1];
        if (!(b1 & 0x01)) HeaderFlags |= mhfProtectedByCRC;
        LayerId = (b1 >> 1) & 0x03;
        VersionId = (b1 >> 3) & 0x03;
        if (LayerId == 0 || VersionId == 1) return;
        const std::uint8_t b2 = head[2];
        if (b2 & 0x01) HeaderFlags |= mhfPrivate;
        const bool padded = b2 & 0x02;
        SampleRateHz = kSampleRates[VersionId][(b2 >> 2) & 0x03];
        BitRateKbps = kBitRates[BitRateRow(VersionId, LayerId)][(b2 >> 4) & 0x0F];
        if (BitRateKbps == -1) return;
        const std::uint8_t b3 = head[3];
        Emphasis = b3 & 0x03;
        if (b3 & 0x04) HeaderFlags |= mhfOriginal;
        if (b3 & 0x08) HeaderFlags |= mhfCopyright;
        ModeExtension = (b3 >> 4) & 0x03;
        ChannelModeIndex = (b3 >> 6) & 0x03;
        PaddingBytes = !padded ? 0 : LayerId == 3 ? 4 : 1;
    }();

    // Xing/Info header inside the first frame; where there is none, Fraunhofer's VBRI header.
    // Both counts are taken as signed 32-bit values, so the same checks below apply to both.
    const std::size_t xing =
        VersionId == 3 ? (ChannelModeIndex == 3 ? 21 : 36) : (ChannelModeIndex == 3 ? 13 : 21);
    std::uint32_t v = 0;
    if (std::memcmp(head + xing, "Xing", 4) == 0 || std::memcmp(head + xing, "Info", 4) == 0) {
        VbrHeader = true;
        std::uint32_t flags = 0;
        std::size_t at = xing + 4;
        bytes::BE32(head + at, headLen - at, flags);
        at += 4;
        if ((flags & 1) && bytes::BE32(head + at, headLen - at, v)) {
            FrameCount = static_cast<std::int32_t>(v);
            at += 4;
        }
        if ((flags & 2) && bytes::BE32(head + at, headLen - at, v))
            AudioBytes = static_cast<std::int32_t>(v);
    } else if (headLen >= kHeadBytes && std::memcmp(head + kVbriOffset, "VBRI", 4) == 0) {
        // "VBRI", version, delay, quality (2 bytes each), then the byte and frame counts.
        VbrHeader = true;
        bytes::BE32(head + kVbriOffset + 10, 4, v);
        AudioBytes = static_cast<std::int32_t>(v);
        bytes::BE32(head + kVbriOffset + 14, 4, v);
        FrameCount = static_cast<std::int32_t>(v);
    }

    FileBytes = size;
    if (AudioBytes == 0 && FileBytes >= 128) {
        char tag[3] = {};
        HasTrailingTag =
            stream.ReadAt(FileBytes - 128, tag, 3) == 3 && std::memcmp(tag, "TAG", 3) == 0;
    }

    if (AudioBytes == 0) AudioBytes = FileBytes - HeaderOffset - (HasTrailingTag ? 128 : 0);
    const long double coefficient = kCoefficients[LayerId];
    const bool halfRate = VersionId == 0 || VersionId == 2;
    if (AudioBytes > 0 && FrameCount > 0) {
        const long double a = static_cast<long double>(AudioBytes) / FrameCount;
        RoundToInt32(a, FrameBytes);
        long double r = a * SampleRateHz / coefficient;
        if (halfRate) r *= 2;
        // A reserved or undecoded sampling rate gives no rate, and no length from it.
        if (r > 0 && RoundToInt32(r, BitRateKbps))
            TruncToInt32(static_cast<long double>(AudioBytes * 8) / (r * 1000), LengthSeconds);
    } else if (BitRateKbps > 0) {
        TruncToInt32(static_cast<long double>(AudioBytes * 8) / (BitRateKbps * 1000.0L),
                     LengthSeconds);
    }
    if (FrameBytes == 0) {
        long double f = 0;
        if (BitRateKbps > 0 && SampleRateHz > 0) {
            f = coefficient * BitRateKbps / SampleRateHz + PaddingBytes;
            if (halfRate) f /= 2;
        }
        if (f > 0) {
            std::int32_t count = 0, bytes = 0;
            if (RoundToInt32(AudioBytes / f, count) && RoundToInt32(f, bytes)) {
                FrameCount = count;
                FrameBytes = bytes;
            }
        }
    }
}

// ---- controller ----

void TJvID3Controller::SetFileName(const std::string& name) {
    if (name == FileName_) return;
    const bool wasActive = Active_;
    SetActive(false);
    FileName_ = name;
    if (wasActive) SetActive(true);
}

void TJvID3Controller::SetActive(bool value) {
    if (value == Active_) return;
    if (!value) {
        Active_ = false;
        Frames.clear();
        FileInfo.Reset();
        DoClose();
        return;
    }
    if (Reading_) throw EJvID3Error("Already reading or writing");
    const std::unique_ptr<TByteSource> source = OpenByteSource(FileName_);
    OpenSource(*source);
}

void TJvID3Controller::OpenSource(TByteSource& source) {
    if (Reading_) throw EJvID3Error("Already reading or writing");
    if (Active_) SetActive(false);
    {
        Reading_ = true;
        struct TEndRead {
            bool& Flag;
            ~TEndRead() { Flag = false; }
        } end{Reading_};
        Read(source);
    }
    Active_ = true;
    DoAfterOpen();
}

void TJvID3Controller::Read(TByteSource& source) {
    Header.Reset();
    ExtendedHeader.Reset();
    Frames.clear();
    const std::int64_t fileSize = source.Size();
    if (fileSize < 10) return;

    TJvID3Stream s;
    std::uint8_t h[10];
    if (source.ReadAt(0, h, 10) < 10) throw EByteSourceError("Stream read error");
    Header.HasTag = std::memcmp(h, "ID3", 3) == 0;
    if (Header.HasTag) {
        Header.MajorVersion = h[3];
        Header.RevisionNumber = h[4];
        const TJvID3Version version = Version();
        if (h[5] & 0x80) Header.Flags.Include(hfUnsynchronisation);
        if ((h[5] & 0x40) && version != ive2_2) Header.Flags.Include(hfExtendedHeader);
        if (h[5] & 0x20) Header.Flags.Include(hfExperimentalIndicator);
        if (h[5] & 0x10) Header.Flags.Include(hfFooterPresent);
        bytes::Synchsafe(h + 6, 4, 4, Header.Size);

        if (version == ive2_2 || version == ive2_3 || version == ive2_4) {
            const bool unsync = Header.Flags.Has(hfUnsynchronisation);
            // Checked before anything is allocated: a declared size is not to be trusted.
            if (static_cast<std::int64_t>(Header.Size) > fileSize - 10) {
                if (unsync) throw EJvID3Error("Could not read data from stream");
                throw EByteSourceError("Stream read error");
            }
            // 2.4 moved unsynchronisation into the frames, whose sizes count the unsynchronised
            // bytes: there the tag flag only says that every frame has it (ReadFrames).
            if (unsync && version != ive2_4) {
                s.Data.reserve(Header.Size);
                std::int64_t at = 10;
                UnsyncDecode(
                    [&](std::uint8_t* buf, std::size_t n) {
                        const std::size_t got = source.ReadAt(at, buf, n);
                        at += static_cast<std::int64_t>(got);
                        return got;
                    },
                    Header.Size, s.Data);
            } else {
                s.Data.resize(Header.Size);
                if (source.ReadAt(10, s.Data.data(), Header.Size) < Header.Size)
                    throw EByteSourceError("Stream read error");
            }
            s.Position = 0;
            if (Header.Flags.Has(hfExtendedHeader)) ReadExtendedHeader(s);
            ReadFrames(s);
        }
    }
    FileInfo.Read(source, Header.HasTag ? static_cast<std::int64_t>(Header.Size) + 10 : 0);
}

void TJvID3Controller::ReadExtendedHeader(TJvID3Stream& s) {
    std::uint32_t size = 0, v = 0;
    std::uint8_t b = 0;
    if (Version() == ive2_3) {
        if (!bytes::BE32(s.Current(), s.Remaining(), size)) return;
        s.Skip(4);
        s.BeginReadFrame(size);
        if (s.ReadByte(b) && (b & 0x80)) ExtendedHeader.Flags.Include(hefCRCDataPresent);
        s.ReadByte(b);
        if (bytes::BE32(s.Current(), s.Remaining(), v)) ExtendedHeader.SizeOfPadding = v, s.Skip(4);
        if (ExtendedHeader.Flags.Has(hefCRCDataPresent) &&
            bytes::BE32(s.Current(), s.Remaining(), v))
            ExtendedHeader.TotalFrameCRC = v, s.Skip(4);
        s.EndReadFrame();
        return;
    }
    // 2.4: the size counts the size field itself.
    if (!bytes::Synchsafe(s.Current(), s.Remaining(), 4, size)) return;
    s.Skip(4);
    if (size < 6) return;
    s.BeginReadFrame(size - 4);
    s.ReadByte(b); // number of flag bytes
    std::uint8_t flags = 0;
    s.ReadByte(flags);
    if (flags & 0x40) ExtendedHeader.Flags.Include(hefTagIsAnUpdate);
    if (flags & 0x20) ExtendedHeader.Flags.Include(hefCRCDataPresent);
    if (flags & 0x10) ExtendedHeader.Flags.Include(hefTagRestrictions);
    if (ExtendedHeader.Flags.Has(hefTagIsAnUpdate)) s.ReadByte(b);
    if (ExtendedHeader.Flags.Has(hefCRCDataPresent)) {
        s.ReadByte(b);
        if (bytes::Synchsafe(s.Current(), s.Remaining(), 5, v))
            ExtendedHeader.TotalFrameCRC = v, s.Skip(5);
    }
    if (ExtendedHeader.Flags.Has(hefTagRestrictions)) {
        s.ReadByte(b);
        if (s.ReadByte(b)) {
            ExtendedHeader.RestrictionTagSize = (b >> 6) & 3;
            ExtendedHeader.RestrictionTextEncoding = (b >> 5) & 1;
            ExtendedHeader.RestrictionTextFieldSize = (b >> 3) & 3;
            ExtendedHeader.RestrictionImageEncoding = (b >> 2) & 1;
            ExtendedHeader.RestrictionImageSize = b & 3;
        }
    }
    s.EndReadFrame();
}

void TJvID3Controller::ReadFrames(TJvID3Stream& s) {
    const TJvID3Version version = Version();
    const std::size_t idLength = version == ive2_2 ? 3 : 4;
    const std::size_t minHeader = version == ive2_2 ? 6 : 10;
    TJvID3Stream decoded; // frames of a 2.4 tag with their own unsynchronisation
    const bool everyFrameUnsync = version == ive2_4 && Header.Flags.Has(hfUnsynchronisation);
    while (s.Remaining() >= minHeader && Frames.size() < kMaxFrames) {
        char id[4] = {};
        if (s.Read(id, idLength) < idLength) break;
        const TJvID3FrameID frameID = FrameIDFromName(std::string_view(id, idLength));
        if (frameID == fiErrorFrame || frameID == fiPaddingFrame) break;

        std::unique_ptr<TJvID3Frame> frame = CreateFrame(frameID);
        TJvID3Frame& f = *frame;
        f.FrameName.assign(id, idLength);
        f.Index = static_cast<int>(Frames.size());
        Frames.push_back(std::move(frame));

        std::uint32_t size = 0;
        std::uint8_t status = 0, format = 0;
        if (version == ive2_2) {
            bytes::BE24(s.Current(), s.Remaining(), size);
            s.Skip(3);
        } else {
            if (version == ive2_4)
                bytes::Synchsafe(s.Current(), s.Remaining(), 4, size);
            else
                bytes::BE32(s.Current(), s.Remaining(), size);
            s.Skip(4);
            s.ReadByte(status);
            s.ReadByte(format);
            if (version == ive2_3) {
                if (status & 0x80) f.Flags.Include(fhfOnTagAlterDiscardFrame);
                if (status & 0x40) f.Flags.Include(fhfOnFileAlterDiscardFrame);
                if (status & 0x20) f.Flags.Include(fhfReadOnly);
                if (format & 0x80) f.Flags.Include(fhfIsCompressed);
                if (format & 0x40) f.Flags.Include(fhfIsEncrypted);
                if (format & 0x20) f.Flags.Include(fhfContainsGroupInformation);
            } else {
                if (status & 0x40) f.Flags.Include(fhfOnTagAlterDiscardFrame);
                if (status & 0x20) f.Flags.Include(fhfOnFileAlterDiscardFrame);
                if (status & 0x10) f.Flags.Include(fhfReadOnly);
                if (format & 0x40) f.Flags.Include(fhfContainsGroupInformation);
                if (format & 0x08) f.Flags.Include(fhfIsCompressed);
                if (format & 0x04) f.Flags.Include(fhfIsEncrypted);
                if (format & 0x02) f.Flags.Include(fhfUnsynchronisationApplied);
                if (format & 0x01) f.Flags.Include(fhfDataLengthIndicator);
            }
        }
        f.FrameSize = size;
        if (size > s.Remaining()) { // an oversized frame ends the list
            s.Position = s.Data.size();
            break;
        }
        // The extra header fields count within the frame size, as the published standard has it.
        s.BeginReadFrame(size);
        std::uint32_t v = 0;
        if (version == ive2_3) {
            if (f.Flags.Has(fhfIsCompressed) && bytes::BE32(s.Current(), s.Remaining(), v))
                f.DecompressedSize = v, s.Skip(4);
            if (f.Flags.Has(fhfIsEncrypted)) s.ReadByte(f.EncryptionID);
            if (f.Flags.Has(fhfContainsGroupInformation)) s.ReadByte(f.GroupID);
        } else if (version == ive2_4) {
            if (f.Flags.Has(fhfContainsGroupInformation)) s.ReadByte(f.GroupID);
            if (f.Flags.Has(fhfIsEncrypted)) s.ReadByte(f.EncryptionID);
            if (f.Flags.Has(fhfDataLengthIndicator) &&
                bytes::Synchsafe(s.Current(), s.Remaining(), 4, v))
                f.DataLength = v, s.Skip(4);
        }
        if (everyFrameUnsync || (version == ive2_4 && f.Flags.Has(fhfUnsynchronisationApplied))) {
            decoded.Data.clear();
            decoded.Position = 0;
            UnsyncDecode([&](std::uint8_t* buf, std::size_t n) { return s.Read(buf, n); },
                         s.Remaining(), decoded.Data);
            decoded.BeginReadFrame(decoded.Data.size());
            f.ReadFrame(decoded, version);
            decoded.EndReadFrame();
        } else {
            f.ReadFrame(s, version);
        }
        s.EndReadFrame();
    }
}
