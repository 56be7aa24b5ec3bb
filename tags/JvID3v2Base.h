#pragma once
// The ID3v2 tag container: controller, header, extended header, reading stream, frames, the
// unsynchronisation decoder and the MPEG stream properties that an open also works out.
#include "tags/ByteSource.h"
#include "tags/JvID3v2Types.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// The tag library's own failures; the text is the finished message.
class EJvID3Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Unsynchronisation decoder: reads count input bytes in pieces of at most 61440 through
// read(buffer, max) -> bytes got, and drops each 0x00 that directly follows a 0xFF in the input
// (across pieces too). Raises "Could not read data from stream" when input runs out.
constexpr std::size_t kUnsyncPiece = 61440;
template <typename ReadFn>
void UnsyncDecode(ReadFn&& read, std::size_t count, std::vector<std::uint8_t>& out) {
    std::vector<std::uint8_t> piece(count < kUnsyncPiece ? count : kUnsyncPiece);
    bool prevFF = false;
    std::size_t consumed = 0;
    while (consumed < count) {
        const std::size_t want = count - consumed < kUnsyncPiece ? count - consumed : kUnsyncPiece;
        const std::size_t got = read(piece.data(), want);
        if (got == 0) throw EJvID3Error("Could not read data from stream");
        for (std::size_t i = 0; i < got; ++i) {
            const std::uint8_t b = piece[i];
            if (!(prevFF && b == 0)) out.push_back(b);
            prevFF = b == 0xFF;
        }
        consumed += got;
    }
}

// The tag in memory while it is read, with an optional frame window.
class TJvID3Stream {
public:
    std::vector<std::uint8_t> Data;
    std::size_t Position = 0;
    TJvID3Encoding SourceEncoding = ienISO_8859_1;

    std::size_t End() const { return InFrame_ ? FrameEnd_ : Data.size(); }
    std::size_t Remaining() const { return Position < End() ? End() - Position : 0; }
    const std::uint8_t* Current() const { return Data.data() + Position; }
    // Copies up to n bytes; returns how many there were.
    std::size_t Read(void* buffer, std::size_t n);
    bool ReadByte(std::uint8_t& b);
    void Skip(std::size_t n) { Position += n < Remaining() ? n : Remaining(); }
    bool InFrame() const { return InFrame_; }
    void BeginReadFrame(std::size_t length);
    // Always leaves the position at the window's end.
    void EndReadFrame();

    // One string of the given encoding up to its terminator or the window's end; the
    // terminator is consumed when it is there.
    std::u16string ReadStringW(TJvID3Encoding encoding);
    // An 8-bit string (MIME types, URLs, owner identifiers) up to 0x00 or the end.
    std::string ReadStringA();

private:
    bool InFrame_ = false;
    std::size_t FrameStart_ = 0;
    std::size_t FrameEnd_ = 0;
};

// UTF-8 as ID3v2 text holds it: malformed or cut-off sequences give U+FFFD.
std::u16string DecodeUtf8Lenient(const std::uint8_t* p, std::size_t n);

struct TJvID3Header {
    bool HasTag = false;
    std::uint8_t MajorVersion = 0;
    std::uint8_t RevisionNumber = 0;
    TFlagSet<TJvID3HeaderFlag> Flags;
    std::uint32_t Size = 0;
    void Reset() { *this = TJvID3Header(); }
};

struct TJvID3ExtendedHeader {
    TFlagSet<TJvID3HeaderExtendedFlag> Flags;
    std::uint32_t SizeOfPadding = 0;
    std::uint32_t TotalFrameCRC = 0;
    std::uint8_t RestrictionTagSize = 0;
    std::uint8_t RestrictionTextEncoding = 0;
    std::uint8_t RestrictionTextFieldSize = 0;
    std::uint8_t RestrictionImageEncoding = 0;
    std::uint8_t RestrictionImageSize = 0;
    void Reset() { *this = TJvID3ExtendedHeader(); }
};

class TJvID3Frame {
public:
    explicit TJvID3Frame(TJvID3FrameID id) : FrameID(id) {}
    virtual ~TJvID3Frame() = default;
    TJvID3Frame(const TJvID3Frame&) = delete;
    TJvID3Frame& operator=(const TJvID3Frame&) = delete;

    TJvID3FrameID FrameID;
    std::string FrameName;
    TFlagSet<TJvID3FrameHeaderFlag> Flags;
    TJvID3Encoding Encoding = ienISO_8859_1;
    std::uint8_t EncryptionID = 0;
    std::uint8_t GroupID = 0;
    std::uint32_t FrameSize = 0;
    std::uint32_t DataLength = 0;
    std::uint32_t DecompressedSize = 0;
    int Index = 0;

    // Parses the content from the stream's open window.
    virtual void ReadFrame(TJvID3Stream& s, TJvID3Version version);

protected:
    // The text-encoding byte that most contents begin with; above 3 fails the whole read.
    void ReadEncoding(TJvID3Stream& s);
};

class TJvID3SkipFrame : public TJvID3Frame {
public:
    using TJvID3Frame::TJvID3Frame;
};

class TJvID3CustomTextFrame : public TJvID3Frame {
public:
    using TJvID3Frame::TJvID3Frame;
    std::u16string Text;
    void ReadFrame(TJvID3Stream& s, TJvID3Version version) override;
};
class TJvID3TextFrame : public TJvID3CustomTextFrame {
public:
    using TJvID3CustomTextFrame::TJvID3CustomTextFrame;
};
class TJvID3NumberFrame : public TJvID3CustomTextFrame {
public:
    using TJvID3CustomTextFrame::TJvID3CustomTextFrame;
};
class TJvID3TimestampFrame : public TJvID3CustomTextFrame {
public:
    using TJvID3CustomTextFrame::TJvID3CustomTextFrame;
};

class TJvID3SimpleListFrame : public TJvID3Frame {
public:
    using TJvID3Frame::TJvID3Frame;
    std::vector<std::u16string> List;
    void ReadFrame(TJvID3Stream& s, TJvID3Version version) override;
};

class TJvID3DoubleListFrame : public TJvID3Frame {
public:
    using TJvID3Frame::TJvID3Frame;
    std::vector<std::pair<std::u16string, std::u16string>> List;
    void ReadFrame(TJvID3Stream& s, TJvID3Version version) override;
};

class TJvID3ContentFrame : public TJvID3Frame {
public:
    using TJvID3Frame::TJvID3Frame;
    std::string Language;
    std::u16string Description;
    std::u16string Text;
    void ReadFrame(TJvID3Stream& s, TJvID3Version version) override;
};

using TJvID3Bytes = std::shared_ptr<const std::vector<std::uint8_t>>;

class TJvID3PictureFrame : public TJvID3Frame {
public:
    using TJvID3Frame::TJvID3Frame;
    std::string MIMEType; // for a 2.2 frame, its three-letter image format
    std::uint8_t PictureType = ptOther;
    std::u16string Description;
    TJvID3Bytes Data;
    void ReadFrame(TJvID3Stream& s, TJvID3Version version) override;
};

class TJvID3UserFrame : public TJvID3Frame {
public:
    using TJvID3Frame::TJvID3Frame;
    std::u16string Description;
    std::u16string Value;
    void ReadFrame(TJvID3Stream& s, TJvID3Version version) override;
};

class TJvID3URLUserFrame : public TJvID3Frame {
public:
    using TJvID3Frame::TJvID3Frame;
    std::u16string Description;
    std::string URL;
    void ReadFrame(TJvID3Stream& s, TJvID3Version version) override;
};

class TJvID3URLFrame : public TJvID3Frame {
public:
    using TJvID3Frame::TJvID3Frame;
    std::string URL;
    void ReadFrame(TJvID3Stream& s, TJvID3Version version) override;
};

class TJvID3GeneralObjFrame : public TJvID3Frame {
public:
    using TJvID3Frame::TJvID3Frame;
    std::string MIMEType;
    std::u16string FileName;
    std::u16string ContentDescription;
    TJvID3Bytes Data;
    void ReadFrame(TJvID3Stream& s, TJvID3Version version) override;
};

class TJvID3OwnershipFrame : public TJvID3Frame {
public:
    using TJvID3Frame::TJvID3Frame;
    std::string PricePayed;
    std::string DateOfPurch;
    std::u16string Seller;
    void ReadFrame(TJvID3Stream& s, TJvID3Version version) override;
};

class TJvID3TermsOfUseFrame : public TJvID3Frame {
public:
    using TJvID3Frame::TJvID3Frame;
    std::string Language;
    std::u16string Text;
    void ReadFrame(TJvID3Stream& s, TJvID3Version version) override;
};

class TJvID3AudioEncryptionFrame : public TJvID3Frame {
public:
    using TJvID3Frame::TJvID3Frame;
    std::string OwnerID;
    std::uint32_t PreviewStart = 0;
    std::uint32_t PreviewLength = 0;
    TJvID3Bytes Data;
    void ReadFrame(TJvID3Stream& s, TJvID3Version version) override;
};

class TJvID3PlayCounterFrame : public TJvID3Frame {
public:
    using TJvID3Frame::TJvID3Frame;
    std::uint64_t Counter = 0;
    void ReadFrame(TJvID3Stream& s, TJvID3Version version) override;
};

class TJvID3PopularimeterFrame : public TJvID3Frame {
public:
    using TJvID3Frame::TJvID3Frame;
    std::string EMailAddress;
    std::uint8_t Rating = 0;
    std::uint64_t Counter = 0;
    void ReadFrame(TJvID3Stream& s, TJvID3Version version) override;
};

class TJvID3BinaryFrame : public TJvID3Frame {
public:
    using TJvID3Frame::TJvID3Frame;
    TJvID3Bytes Data;
    void ReadFrame(TJvID3Stream& s, TJvID3Version version) override;
};

std::unique_ptr<TJvID3Frame> CreateFrame(TJvID3FrameID id);

using TJvID3Frames = std::vector<std::unique_ptr<TJvID3Frame>>;

// Header bits of the first MPEG audio frame (HeaderFlags).
enum : std::uint8_t { mhfProtectedByCRC = 1, mhfPrivate = 2, mhfCopyright = 4, mhfOriginal = 8 };

// Stream properties of an MPEG audio file: the first frame header, a Xing/Info header in it,
// and the bit rate, frame count, frame length and playing time worked out from them.
class TJvID3FileInfo {
public:
    std::int64_t AudioBytes = 0;
    std::int32_t BitRateKbps = 0; // -2 free format, -1 invalid index
    std::uint8_t HeaderFlags = 0;
    std::uint8_t ChannelModeIndex = 0;
    std::uint8_t Emphasis = 0;
    std::int64_t FileBytes = 0;
    std::int32_t FrameCount = 0;
    std::int32_t FrameBytes = 0;
    bool HasTrailingTag = false;
    std::int64_t HeaderOffset = -1;
    bool VbrHeader = false; // a Xing, Info or VBRI header
    std::uint8_t LayerId = 0;
    std::int32_t LengthSeconds = 0;
    std::uint8_t ModeExtension = 0;
    std::int32_t PaddingBytes = 0; // kept across reads
    std::int32_t SampleRateHz = 0; // -1 reserved index
    std::uint8_t VersionId = 0;

    void Reset();
    void Read(TByteSource& stream, std::int64_t start);
};

// Tag controller: reads the tag of FileName (or of a given byte source) on Open.
class TJvID3Controller {
public:
    TJvID3Controller() = default;
    virtual ~TJvID3Controller() = default;
    TJvID3Controller(const TJvID3Controller&) = delete;
    TJvID3Controller& operator=(const TJvID3Controller&) = delete;

    bool Active() const { return Active_; }
    void SetActive(bool value);
    const std::string& FileName() const { return FileName_; }
    void SetFileName(const std::string& name);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    // Reads from a source instead of FileName (memory buffers for tests and fuzzing).
    void OpenSource(TByteSource& source);

    TJvID3Version Version() const { return VersionFromMajor(Header.MajorVersion); }

    TJvID3Header Header;
    TJvID3ExtendedHeader ExtendedHeader;
    TJvID3Frames Frames;
    TJvID3FileInfo FileInfo;

    // No tag, however hostile, is read into more frames than this.
    static constexpr std::size_t kMaxFrames = 100000;

protected:
    virtual void DoAfterOpen() {}
    virtual void DoClose() {}

private:
    void Read(TByteSource& source);
    void ReadExtendedHeader(TJvID3Stream& s);
    void ReadFrames(TJvID3Stream& s);
    bool Active_ = false;
    bool Reading_ = false;
    std::string FileName_;
};
