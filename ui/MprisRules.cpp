#include "ui/MprisRules.h"

#include "platform/Error.h"
#include "platform/FileName.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDBusObjectPath>
#include <QStringList>
#include <QUrl>
#include <algorithm>
#include <cmath>

QString MprisTrackId(const QString& filePath) {
    if (filePath.isEmpty()) return QString::fromLatin1(MprisNoTrack);
    // A digest of the name's bytes: stable across runs, and only [0-9a-f] in the object path.
    const QByteArray digest =
        QCryptographicHash::hash(EncodeFileName(filePath), QCryptographicHash::Sha1).toHex();
    return QStringLiteral("/org/velodra/Velodra/track/f") + QString::fromLatin1(digest);
}

QString FileUrl(const QString& path) {
    return QStringLiteral("file://") +
           QString::fromLatin1(EncodeFileName(path).toPercentEncoding(QByteArrayLiteral("/")));
}

QVariantMap MprisMetadata(const TMprisTrack& track) {
    QVariantMap m;
    m.insert(QStringLiteral("mpris:trackid"),
             QVariant::fromValue(QDBusObjectPath(MprisTrackId(track.FilePath))));
    if (track.FilePath.isEmpty()) return m;
    m.insert(QStringLiteral("mpris:length"), qlonglong(std::max(track.DurationMs, 0)) * 1000);
    m.insert(QStringLiteral("xesam:title"), DisplayFileName(track.Title));
    if (!track.Artist.isEmpty())
        m.insert(QStringLiteral("xesam:artist"), QStringList{DisplayFileName(track.Artist)});
    if (!track.Album.isEmpty())
        m.insert(QStringLiteral("xesam:album"), DisplayFileName(track.Album));
    if (track.TrackNumber > 0) m.insert(QStringLiteral("xesam:trackNumber"), track.TrackNumber);
    m.insert(QStringLiteral("xesam:url"), FileUrl(track.FilePath));
    if (!track.PicturePath.isEmpty())
        m.insert(QStringLiteral("mpris:artUrl"), FileUrl(track.PicturePath));
    return m;
}

QString PlaybackStatusName(bool playing, bool paused) {
    if (paused) return QStringLiteral("Paused");
    return playing ? QStringLiteral("Playing") : QStringLiteral("Stopped");
}

QString LoopStatusName(bool repeat) {
    return repeat ? QStringLiteral("Playlist") : QStringLiteral("None");
}

std::optional<bool> RepeatFromLoopStatus(const QString& status) {
    if (status == QLatin1String("None")) return false;
    if (status == QLatin1String("Playlist")) return true;
    return std::nullopt;
}

std::optional<double> ClampVolume(double volume) {
    if (std::isnan(volume)) return std::nullopt;
    return std::clamp(volume, 0.0, 1.0);
}

namespace {
std::int32_t UsToMs(std::int64_t us) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(us / 1000, INT32_MIN, INT32_MAX));
}
} // namespace

TSeekPlan PlanSeek(bool canSeek, std::int32_t positionMs, std::int32_t lengthMs,
                   std::int64_t offsetUs) {
    if (!canSeek) return {};
    const std::int64_t target = std::int64_t{positionMs} + UsToMs(offsetUs);
    if (target >= lengthMs) return {TSeekKind::Next, 0};
    return {TSeekKind::SeekTo, static_cast<std::int32_t>(std::max<std::int64_t>(target, 0))};
}

std::optional<std::int32_t> PlanSetPosition(bool canSeek, const QString& currentTrackId,
                                            std::int32_t lengthMs, const QString& trackId,
                                            std::int64_t positionUs) {
    if (!canSeek || trackId != currentTrackId || positionUs < 0 ||
        positionUs > std::int64_t{lengthMs} * 1000)
        return std::nullopt;
    return UsToMs(positionUs);
}

TOpenUri PathFromUri(const QString& uri) {
    const QUrl url(uri, QUrl::StrictMode);
    const QString shown = DisplayFileName(uri);
    if (!url.isValid() || url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) != 0)
        return {{},
                QStringLiteral("org.freedesktop.DBus.Error.NotSupported"),
                QCoreApplication::translate("TMpris", "Only file: URIs can be opened, not %1.")
                    .arg(shown)};
    if (!url.host().isEmpty() && url.host() != QLatin1String("localhost"))
        return {{},
                QStringLiteral("org.freedesktop.DBus.Error.NotSupported"),
                QCoreApplication::translate("TMpris", "%1 is not on this computer.").arg(shown)};
    // The path's bytes as the URL carries them: names need not be UTF-8.
    const QByteArray bytes =
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    // No name holds a NUL: cut there, it would name another place ("/etc/hostname%00.mp3").
    if (bytes.contains('\0'))
        return {{},
                QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                QCoreApplication::translate("TMpris", "%1 is not a file name.").arg(shown)};
    const QString path = DecodeFileName(bytes);
    // "file:Music" names no place of its own: the player's working folder is not the caller's.
    if (!path.startsWith(QLatin1Char('/')))
        return {
            {},
            QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
            QCoreApplication::translate("TMpris", "%1 is not an absolute file: URI.").arg(shown)};
    if (IsDirectory(path) || IsExistingFile(path)) return {path, {}, {}};
    return {{},
            QStringLiteral("org.freedesktop.DBus.Error.FileNotFound"),
            QCoreApplication::translate("TMpris", "%1 doesn't exist.")
                .arg(QuotedStr(DisplayFileName(path)))};
}
