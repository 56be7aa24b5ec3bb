#include "player/UMediaInfo.h"

#include "base/Cp1252.h"
#include "platform/FileName.h"
#include "player/AudioTypes.h"
#include "tags/JvID3v1.h"
#include "tags/JvID3v2.h"
#include "tags/OtherFormats.h"
#include "tags/UWMAfile.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <cmath>
#include <exception>
#include <limits>
#include <memory>
#include <optional>

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

const char* const kMp3ChannelModes[4] = {QT_TRANSLATE_NOOP("TMediaInfo", "Stereo"),
                                         QT_TRANSLATE_NOOP("TMediaInfo", "Joint Stereo"),
                                         QT_TRANSLATE_NOOP("TMediaInfo", "Dual Channel"),
                                         QT_TRANSLATE_NOOP("TMediaInfo", "Single Channel")};
// The other readers' names, for their translations: the WMA reader's and the count of channels
// beyond two.
[[maybe_unused]] const char* const kOtherChannelModes[2] = {
    QT_TRANSLATE_NOOP("TMediaInfo", "Mono"), QT_TRANSLATE_NOOP("TMediaInfo", "Unknown")};
const char* const kChannelCount = QT_TRANSLATE_NOOP("TMediaInfo", "%1 Channels");

// Whole seconds to ms; a length that would not fit counts as none.
std::int32_t SecondsToMs(std::int64_t seconds) {
    constexpr std::int32_t kMaxSeconds = std::numeric_limits<std::int32_t>::max() / 1000;
    return seconds > 0 && seconds <= kMaxSeconds ? static_cast<std::int32_t>(seconds) * 1000 : 0;
}

// The ID3v2 texts beyond title and album: each replaces the ID3v1 value when it is not empty.
void TakeId3v2Fields(TMediaInfo& info, const TJvID3Text& texts) {
    const auto take = [](QString& field, const std::u16string& text) {
        const QString t = CleanTagText(FromUtf16(text));
        if (!t.isEmpty()) field = t;
    };
    take(info.Artist, texts.LeadArtist());
    if (const std::int32_t track = TrackOfText(texts.TrackNum()); track > 0) info.Track = track;
    std::u16string year = texts.Year();
    if (CleanTagText(FromUtf16(year)).isEmpty()) year = texts.RecordingTime().substr(0, 4);
    take(info.Year, year);
    take(info.Genre, GenreOfContentType(texts.ContentType()));
    take(info.Comment, texts.Comment());
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
    info.Duration = SecondsToMs(fi.LengthSeconds);
    info.BitRate = Low16OrZero(fi.BitRateKbps);
    info.SampleRate = fi.SampleRateHz > 0 ? static_cast<std::uint32_t>(fi.SampleRateHz) : 0;
    QString t = CleanTagText(FromUtf16(v2.Texts.Title()));
    if (!t.isEmpty()) info.Title = t;
    t = CleanTagText(FromUtf16(v2.Texts.Album()));
    if (!t.isEmpty()) info.Album = t;
    TakeId3v2Fields(info, v2.Texts);
}

void ReadWmaInfo(TMediaInfo& info, TByteSource* file) {
    TWMAfile wma;
    if (file) wma.ReadFromSource(*file);
    info.ChannelMode = CleanTagText(FromUtf16(wma.ChannelMode()));
    // The header's play duration; else the estimate from the size, in whole seconds.
    const double seconds = std::nearbyint(wma.Duration);
    info.Duration = wma.PlayLengthMs > 0 ? wma.PlayLengthMs
                    : std::isfinite(seconds) && seconds > 0 && seconds < 1e12
                        ? SecondsToMs(static_cast<std::int64_t>(seconds))
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

void ReadOtherInfo(TMediaInfo& info, TByteSource* file, TOtherFormat format) {
    TOtherFormatInfo other;
    if (file) ReadOtherFormat(*file, format, other);
    const auto text = [](const std::string& s) { return CleanTagText(QString::fromStdString(s)); };
    info.Title = text(other.Title);
    info.Artist = text(other.Artist);
    info.Album = text(other.Album);
    info.Comment = text(other.Comment);
    info.Genre = text(other.Genre);
    info.Year = other.Year > 0 ? QString::number(other.Year) : QString();
    info.Track = other.Track <= 0x7FFFFFFF ? static_cast<std::int32_t>(other.Track) : 0;
    info.ChannelMode = other.Channels == 0   ? QStringLiteral("Unknown")
                       : other.Channels == 1 ? QStringLiteral("Single Channel")
                       : other.Channels == 2
                           ? QStringLiteral("Stereo")
                           : QString::fromLatin1(kChannelCount).arg(other.Channels);
    info.SampleRate = static_cast<std::uint32_t>(other.SampleRate);
    info.BitRate = Low16OrZero(other.BitRate);
    info.Duration = other.LengthMs;
}

namespace {

// The formats read through TagLib, by the name its reader gives them.
std::optional<TOtherFormat> OtherFormatOf(TAudioFormat format) {
    switch (format) {
    case TAudioFormat::None:
    case TAudioFormat::Mp3:
    case TAudioFormat::Wma:
        return std::nullopt;
    case TAudioFormat::Flac:
        return TOtherFormat::Flac;
    case TAudioFormat::Ogg:
        return TOtherFormat::Ogg;
    case TAudioFormat::Mp4:
        return TOtherFormat::Mp4;
    case TAudioFormat::Wav:
        return TOtherFormat::Wav;
    }
    return std::nullopt;
}

void Read(TMediaInfo& info, TAudioFormat format, TByteSource* file) {
    if (format == TAudioFormat::Mp3)
        ReadMp3Info(info, file);
    else if (format == TAudioFormat::Wma)
        ReadWmaInfo(info, file);
    else if (const auto other = OtherFormatOf(format))
        ReadOtherInfo(info, file, *other);
}

} // namespace

void ReadStreamInfo(TMediaInfo& info) {
    const TAudioFormat format = AudioFormatOf(info.FilePath);
    TOpenedSource opened;
    if (format != TAudioFormat::None) opened = TryOpenByteSource(EncodeFileNameStd(info.FilePath));
    Read(info, format, opened.Source.get());
}

void ReadStreamInfo(TMediaInfo& info, TByteSource& file) {
    Read(info, AudioFormatOf(info.FilePath), &file);
}

QString ChannelModeText(const QString& mode) {
    static const QRegularExpression channels(QStringLiteral("^(\\d+) Channels$"));
    if (const QRegularExpressionMatch m = channels.match(mode); m.hasMatch())
        return QCoreApplication::translate("TMediaInfo", kChannelCount).arg(m.captured(1));
    return QCoreApplication::translate("TMediaInfo", mode.toUtf8().constData());
}

TFilePicture ReadFilePicture(const QString& path) {
    const TAudioFormat format = AudioFormatOf(path);
    if (format == TAudioFormat::None) return {};
    const TOpenedSource opened = TryOpenByteSource(EncodeFileNameStd(path));
    if (!opened.Source) return {};
    TByteSource& file = *opened.Source;
    TStoredPicture picture;
    try {
        if (format == TAudioFormat::Mp3) {
            TJvID3v2 v2;
            v2.OpenSource(file);
            picture = v2.CoverPicture();
        } else if (format == TAudioFormat::Wma) {
            ReadWmaPicture(file, picture);
        } else if (const auto other = OtherFormatOf(format)) {
            ReadOtherFormatPicture(file, *other, picture);
        }
    } catch (const std::exception&) {
        return {}; // a tag that cannot be read has no picture
    }
    if (picture.Empty()) return {};
    return {QByteArray(reinterpret_cast<const char*>(picture.Data.data()),
                       static_cast<qsizetype>(picture.Data.size())),
            picture.Position};
}
