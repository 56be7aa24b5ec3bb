#include "player/UMediaInfo.h"

#include "base/Cp1252.h"
#include "platform/FileName.h"
#include "tags/JvID3v1.h"
#include "tags/JvID3v2.h"
#include "tags/UWMAfile.h"

#include <cmath>
#include <limits>
#include <memory>

namespace {

// The code units as they are: fromUtf16 would take a leading U+FEFF or U+FFFE for a byte-order
// mark once more, after the readers have settled the byte order.
QString FromUtf16(const std::u16string& s) {
    return QString(reinterpret_cast<const QChar*>(s.data()), static_cast<qsizetype>(s.size()));
}
QString FromAnsi(const std::string& s) {
    return FromUtf16(Cp1252ToUtf16(s));
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
    QString t = s;
    t.replace(QLatin1Char('\t'), QLatin1Char(' '));
    while (t.contains(QLatin1String("  ")))
        t.replace(QLatin1String("  "), QLatin1String(" "));
    return TrimControls(t);
}

void ReadMp3Info(TMediaInfo& info) {
    // Both readers share one read-only open of the file. A file that cannot be opened reads as
    // no ID3v1 tag, and its ID3v2 step ends at once.
    std::unique_ptr<TByteSource> file;
    try {
        file = OpenByteSource(EncodeFileNameStd(info.FilePath));
    } catch (...) {
    }
    TMemoryByteSource nothing;
    TByteSource& source = file ? *file : nothing;
    try {
        TJvID3v1 v1;
        v1.OpenSource(source);
        info.Title = CleanTagText(FromAnsi(v1.SongName));
        info.Artist = CleanTagText(FromAnsi(v1.Artist));
        info.Album = CleanTagText(FromAnsi(v1.Album));
        info.Track = v1.AlbumTrack;
        info.Year = TrimControls(FromAnsi(v1.Year));
        info.Genre = TrimControls(FromAnsi(v1.GenreAsString()));
        info.Comment = TrimControls(FromAnsi(v1.Comment));
    } catch (...) {
        // A failed step keeps what it stored before the failure.
    }
    if (!file) return;
    try {
        TJvID3v2 v2;
        v2.OpenSource(source);
        const TJvID3FileInfo& fi = v2.FileInfo;
        info.ChannelMode = QString::fromLatin1(kMp3ChannelModes[fi.ChannelModeIndex & 3]);
        info.Duration = fi.LengthSeconds;
        info.BitRate = Low16OrZero(fi.BitRateKbps);
        info.SampleRate = fi.SampleRateHz > 0 ? static_cast<std::uint32_t>(fi.SampleRateHz) : 0;
        QString t = CleanTagText(FromUtf16(v2.Texts.Title()));
        if (!t.isEmpty()) info.Title = t;
        t = CleanTagText(FromUtf16(v2.Texts.Album()));
        if (!t.isEmpty()) info.Album = t;
    } catch (...) {
    }
}

void ReadWmaInfo(TMediaInfo& info) {
    try {
        TWMAfile wma;
        wma.ReadFromFile(EncodeFileNameStd(info.FilePath));
        info.ChannelMode = CleanTagText(FromUtf16(wma.ChannelMode()));
        const double seconds = std::nearbyint(wma.Duration);
        info.Duration = std::isfinite(seconds) && seconds > 0 &&
                                seconds <= std::numeric_limits<std::int32_t>::max()
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
    } catch (...) {
    }
}

void ReadStreamInfo(TMediaInfo& info) {
    try {
        if (HasExtension(info.FilePath, ".mp3"))
            ReadMp3Info(info);
        else if (HasExtension(info.FilePath, ".wma"))
            ReadWmaInfo(info);
    } catch (...) {
    }
    // Whole seconds to ms; a length that would not fit counts as none.
    constexpr std::int32_t kMaxSeconds = std::numeric_limits<std::int32_t>::max() / 1000;
    info.Duration = info.Duration > 0 && info.Duration <= kMaxSeconds ? info.Duration * 1000 : 0;
}
