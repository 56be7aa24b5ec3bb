#include "player/UMediaInfo.h"

#include "base/Cp1252.h"
#include "platform/FileName.h"
#include "tags/JvID3v1.h"
#include "tags/JvID3v2.h"
#include "tags/UWMAfile.h"

#include <cmath>
#include <exception>
#include <limits>
#include <memory>

namespace {

// The code units as they are: fromUtf16 would take a leading U+FEFF or U+FFFE for a byte-order
// mark once more, after the readers have settled the byte order.
QString FromUtf16(const std::u16string& s) {
    return QString(reinterpret_cast<const QChar*>(s.data()), static_cast<qsizetype>(s.size()));
}
QString FromAnsi(const std::string& s) {
    QString t(static_cast<qsizetype>(s.size()), Qt::Uninitialized);
    QChar* out = t.data();
    for (const char c : s)
        *out++ = QChar(Cp1252ToChar(static_cast<std::uint8_t>(c)));
    return t;
}

// Leading and trailing blanks and control characters off.
QString TrimControls(const QString& s) {
    qsizetype b = 0, e = s.size();
    while (b < e && s.at(b).unicode() <= 0x20)
        ++b;
    while (e > b && s.at(e - 1).unicode() <= 0x20)
        --e;
    return s.mid(b, e - b);
}

// Markers (-1 invalid, -2 free format) and other negatives are no rate at all.
std::uint16_t Low16OrZero(std::int32_t v) {
    return v > 0 ? static_cast<std::uint16_t>(v) : 0;
}

const char* const kMp3ChannelModes[4] = {"Stereo", "Joint Stereo", "Dual Channel",
                                         "Single Channel"};

bool HasExtension(const QString& path, const char* ext) {
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || path.indexOf(QLatin1Char('/'), dot) >= 0) return false;
    const QStringView e = QStringView(path).mid(dot);
    const qsizetype n = static_cast<qsizetype>(std::char_traits<char>::length(ext));
    if (e.size() != n) return false;
    for (qsizetype i = 0; i < n; ++i) {
        char16_t c = e[i].unicode();
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != static_cast<unsigned char>(ext[i])) return false;
    }
    return true;
}

} // namespace

QString CleanTagText(const QString& s) {
    // Tabs become spaces and each run of them one space, in one pass; most texts need nothing.
    const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    qsizetype i = 0;
    for (; i < s.size(); ++i)
        if (s[i] == QLatin1Char('\t') || (i > 0 && blank(s[i]) && blank(s[i - 1]))) break;
    if (i == s.size()) return TrimControls(s);
    QString t(s.size(), Qt::Uninitialized);
    QChar* out = t.data();
    bool afterBlank = false;
    for (const QChar c : s) {
        const bool b = blank(c);
        if (!(b && afterBlank)) *out++ = b ? QLatin1Char(' ') : c;
        afterBlank = b;
    }
    t.truncate(out - t.constData());
    return TrimControls(t);
}

void ReadMp3Info(TMediaInfo& info, TByteSource* file) {
    // Both readers share one read-only open of the file. A file that could not be opened reads
    // as no ID3v1 tag, and its ID3v2 step ends at once.
    TMemoryByteSource nothing;
    TJvID3v1 v1;
    v1.OpenSource(file ? *file : nothing);
    info.Title = CleanTagText(FromAnsi(v1.SongName));
    info.Artist = CleanTagText(FromAnsi(v1.Artist));
    info.Album = CleanTagText(FromAnsi(v1.Album));
    info.Track = v1.AlbumTrack;
    info.Year = TrimControls(FromAnsi(v1.Year));
    info.Genre = TrimControls(FromAnsi(v1.GenreAsString()));
    info.Comment = TrimControls(FromAnsi(v1.Comment));
    if (!file) return;
    TJvID3v2 v2;
    try {
        v2.OpenSource(*file);
    } catch (const std::exception&) {
        // The tag reader's own failures end its open: neither its texts nor the stream
        // properties are taken, and the ID3v1 values stay.
        return;
    }
    const TJvID3FileInfo& fi = v2.FileInfo;
    info.ChannelMode = QString::fromLatin1(kMp3ChannelModes[fi.ChannelModeIndex & 3]);
    info.Duration = fi.LengthSeconds;
    info.BitRate = Low16OrZero(fi.BitRateKbps);
    info.SampleRate = fi.SampleRateHz > 0 ? static_cast<std::uint32_t>(fi.SampleRateHz) : 0;
    QString t = CleanTagText(FromUtf16(v2.Texts.Title()));
    if (!t.isEmpty()) info.Title = t;
    t = CleanTagText(FromUtf16(v2.Texts.Album()));
    if (!t.isEmpty()) info.Album = t;
}

void ReadWmaInfo(TMediaInfo& info, TByteSource* file) {
    TWMAfile wma;
    if (file) wma.ReadFromSource(*file);
    info.ChannelMode = CleanTagText(FromUtf16(wma.ChannelMode()));
    const double seconds = std::nearbyint(wma.Duration);
    info.Duration =
        std::isfinite(seconds) && seconds > 0 && seconds <= std::numeric_limits<std::int32_t>::max()
            ? static_cast<std::int32_t>(seconds)
            : 0;
    info.Title = CleanTagText(FromUtf16(wma.Title));
    info.Artist = CleanTagText(FromUtf16(wma.Artist));
    info.Album = CleanTagText(FromUtf16(wma.Album));
    info.Year = CleanTagText(FromUtf16(wma.Year));
    info.Genre = CleanTagText(FromUtf16(wma.Genre));
    info.Comment = CleanTagText(FromUtf16(wma.Comment));
    info.Track = wma.Track;
    info.BitRate = Low16OrZero(wma.BitRate);
    info.SampleRate = wma.SampleRate > 0 ? static_cast<std::uint32_t>(wma.SampleRate) : 0;
}

namespace {

enum class TKind { None, Mp3, Wma };

TKind KindOf(const QString& path) {
    return HasExtension(path, ".mp3")   ? TKind::Mp3
           : HasExtension(path, ".wma") ? TKind::Wma
                                        : TKind::None;
}

void Read(TMediaInfo& info, TKind kind, TByteSource* file) {
    if (kind == TKind::Mp3)
        ReadMp3Info(info, file);
    else if (kind == TKind::Wma)
        ReadWmaInfo(info, file);
    // Whole seconds to ms; a length that would not fit counts as none.
    constexpr std::int32_t kMaxSeconds = std::numeric_limits<std::int32_t>::max() / 1000;
    info.Duration = info.Duration > 0 && info.Duration <= kMaxSeconds ? info.Duration * 1000 : 0;
}

} // namespace

void ReadStreamInfo(TMediaInfo& info) {
    const TKind kind = KindOf(info.FilePath);
    TOpenedSource opened;
    if (kind != TKind::None) opened = TryOpenByteSource(EncodeFileNameStd(info.FilePath));
    Read(info, kind, opened.Source.get());
}

void ReadStreamInfo(TMediaInfo& info, TByteSource& file) {
    Read(info, KindOf(info.FilePath), &file);
}
