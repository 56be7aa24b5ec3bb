#pragma once
// The media-player interface's decisions as pure functions: what the metadata of the open file
// reads, and what the desktop's requests (seek, position, loop, volume, open) come to. The
// service (ui/Mpris.cpp) gathers the state, decides here and runs the window's commands.
#include <QByteArray>
#include <QString>
#include <QVariantMap>
#include <cstdint>
#include <optional>

// The trackid of "no file open".
inline constexpr char MprisNoTrack[] = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

// What the metadata is made from: the open file (FilePath empty: none), its tags as the player
// read them, the title as the display shows it, and the file of its picture (shown or not).
struct TMprisTrack {
    QString FilePath;
    QString Title;
    QString Artist;
    QString Album;
    std::int32_t TrackNumber = 0; // 0: not known
    std::int32_t DurationMs = 0;
    QString PicturePath; // empty: no picture
};

// The metadata map: mpris:trackid (an object path, the same for the same file in every run),
// mpris:length in microseconds, xesam:title, xesam:artist (a list), xesam:album,
// xesam:trackNumber when known, xesam:url, mpris:artUrl when it has a picture. Texts are
// made valid Unicode (a bus refuses anything else); names go as lossless file: URLs.
QVariantMap MprisMetadata(const TMprisTrack& track);
QString MprisTrackId(const QString& filePath);
// A file: URL of a file name's bytes, every byte outside the unreserved set percent-encoded.
QString FileUrl(const QString& path);

// "Playing", "Paused" or "Stopped".
QString PlaybackStatusName(bool playing, bool paused);

// LoopStatus: "Playlist" while Repeat is on, else "None"; the player has no single-track repeat,
// so "Track" (and anything else) is refused: nullopt.
QString LoopStatusName(bool repeat);
std::optional<bool> RepeatFromLoopStatus(const QString& status);

// A volume from the bus, held to 0.0..1.0; nullopt for a value that is not a number.
std::optional<double> ClampVolume(double volume);

// What a relative Seek comes to: nothing (no seeking possible), a seek to TargetMs (before the
// start: 0), or past the end the next file.
enum class TSeekKind { Ignore, SeekTo, Next };
struct TSeekPlan {
    TSeekKind Kind = TSeekKind::Ignore;
    std::int32_t TargetMs = 0;
    bool operator==(const TSeekPlan&) const = default;
};
TSeekPlan PlanSeek(bool canSeek, std::int32_t positionMs, std::int32_t lengthMs,
                   std::int64_t offsetUs);
// SetPosition: the target in ms, or nullopt when it is to be ignored (a stale or foreign track
// id, a position before 0 or past the length, no seeking possible).
std::optional<std::int32_t> PlanSetPosition(bool canSeek, const QString& currentTrackId,
                                            std::int32_t lengthMs, const QString& trackId,
                                            std::int64_t positionUs);

// OpenUri: the folder or file to open, or the reason it is refused (not an absolute file: URI
// of this computer, a missing path).
struct TOpenUri {
    QString Path;
    QString ErrorName; // a D-Bus error name; empty: Path is opened
    QString Error;     // the reason, for the caller
};
TOpenUri PathFromUri(const QString& uri);
