// The desktop's pure parts: the media-player metadata of a file, what the bus's seek, position,
// loop, volume and open requests come to, and the arguments of a desktop notification.
#include "platform/FileName.h"
#include "support/TestAudio.h"
#include "ui/DesktopNotify.h"
#include "ui/MprisRules.h"

#include <QDBusObjectPath>
#include <QStringList>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

using testsupport::TTempDir;

QString TrackId(const QVariantMap& m) {
    return m.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path();
}

TEST(MprisMetadata, MapsTheOpenFile) {
    TMprisTrack t;
    t.FilePath = QStringLiteral("/music/Rock & Roll/01 Intro #1.mp3");
    t.Title = QStringLiteral("Intro");
    t.Artist = QStringLiteral("The Band");
    t.Album = QStringLiteral("Best Of");
    t.TrackNumber = 7;
    t.DurationMs = 185250;
    t.PicturePath = QStringLiteral("/music/Rock & Roll/Folder.JPG");
    const QVariantMap m = MprisMetadata(t);
    EXPECT_EQ(m.value("mpris:length").toLongLong(), 185250000);
    EXPECT_EQ(m.value("mpris:length").metaType(), QMetaType::fromType<qlonglong>());
    EXPECT_EQ(m.value("xesam:title").toString(), "Intro");
    EXPECT_EQ(m.value("xesam:artist").toStringList(), QStringList{"The Band"});
    EXPECT_EQ(m.value("xesam:album").toString(), "Best Of");
    EXPECT_EQ(m.value("xesam:trackNumber").toInt(), 7);
    EXPECT_EQ(m.value("xesam:url").toString(),
              "file:///music/Rock%20%26%20Roll/01%20Intro%20%231.mp3");
    EXPECT_EQ(m.value("mpris:artUrl").toString(), "file:///music/Rock%20%26%20Roll/Folder.JPG");
    EXPECT_TRUE(TrackId(m).startsWith("/org/velodra/Velodra/track/"));
}

TEST(MprisMetadata, LeavesOutWhatIsNotKnown) {
    TMprisTrack t;
    t.FilePath = QStringLiteral("/music/a.mp3");
    t.Title = QStringLiteral("a");
    const QVariantMap m = MprisMetadata(t);
    for (const char* key : {"xesam:artist", "xesam:album", "xesam:trackNumber", "mpris:artUrl"})
        EXPECT_FALSE(m.contains(key)) << key;
    EXPECT_EQ(m.value("mpris:length").toLongLong(), 0);
}

TEST(MprisMetadata, NoFileIsNoTrack) {
    const QVariantMap m = MprisMetadata({});
    EXPECT_EQ(TrackId(m), MprisNoTrack);
    EXPECT_EQ(m.size(), 1);
}

TEST(MprisMetadata, TrackIdsAreValidObjectPathsStablePerFile) {
    const QString a = QStringLiteral("/m/A/01 – Zwölf.mp3");
    const QString b = QStringLiteral("/m/A/02.mp3");
    EXPECT_EQ(MprisTrackId(a), MprisTrackId(a));
    EXPECT_NE(MprisTrackId(a), MprisTrackId(b));
    const QString id = MprisTrackId(a);
    const QString last = id.section(QLatin1Char('/'), -1);
    for (QChar c : last)
        EXPECT_TRUE(c.isLetterOrNumber() && c.unicode() < 128) << id.toStdString();
}

TEST(MprisMetadata, NamesThatAreNotUtf8StayLosslessAndTextsValid) {
    // The byte 0xE9 alone is not UTF-8: it travels as a lone surrogate.
    TMprisTrack t;
    t.FilePath = DecodeFileName(QByteArray("/m/caf\xe9.mp3"));
    t.Title = DecodeFileName(QByteArray("caf\xe9"));
    const QVariantMap m = MprisMetadata(t);
    EXPECT_EQ(m.value("xesam:url").toString(), "file:///m/caf%E9.mp3");
    EXPECT_EQ(m.value("xesam:title").toString(), QString::fromUtf8("caf\u00e9"));
}

TEST(MprisRules, StatusAndLoop) {
    EXPECT_EQ(PlaybackStatusName(false, false), "Stopped");
    EXPECT_EQ(PlaybackStatusName(true, false), "Playing");
    EXPECT_EQ(PlaybackStatusName(true, true), "Paused");
    for (bool repeat : {false, true})
        EXPECT_EQ(RepeatFromLoopStatus(LoopStatusName(repeat)), repeat);
    for (const char* refused : {"Track", "", "none", "Playlist "})
        EXPECT_EQ(RepeatFromLoopStatus(QString::fromLatin1(refused)), std::nullopt) << refused;
}

TEST(MprisRules, VolumeIsHeldToItsRange) {
    const std::pair<double, double> cases[] = {{0.0, 0.0},
                                               {0.35, 0.35},
                                               {1.0, 1.0},
                                               {1.7, 1.0},
                                               {-0.2, 0.0},
                                               {std::numeric_limits<double>::infinity(), 1.0},
                                               {-std::numeric_limits<double>::infinity(), 0.0}};
    for (const auto& [in, want] : cases)
        EXPECT_EQ(ClampVolume(in), want) << in;
    EXPECT_EQ(ClampVolume(std::nan("")), std::nullopt);
}

struct TSeekCase {
    bool CanSeek;
    std::int32_t Position, Length;
    std::int64_t OffsetUs;
    TSeekPlan Want;
};

TEST(MprisRules, SeekPlans) {
    const TSeekCase cases[] = {
        {true, 10000, 60000, 5000000, {TSeekKind::SeekTo, 15000}},
        {true, 10000, 60000, -4000000, {TSeekKind::SeekTo, 6000}},
        {true, 3000, 60000, -10000000, {TSeekKind::SeekTo, 0}}, // before the start: the start
        {true, 58000, 60000, 2000000, {TSeekKind::Next, 0}},    // to the end: the next file
        {true, 58000, 60000, 9000000000000, {TSeekKind::Next, 0}},
        {true, 1000, 60000, -9000000000000, {TSeekKind::SeekTo, 0}},
        {false, 10000, 60000, 5000000, {TSeekKind::Ignore, 0}},
    };
    for (const TSeekCase& c : cases)
        EXPECT_EQ(PlanSeek(c.CanSeek, c.Position, c.Length, c.OffsetUs), c.Want)
            << c.Position << " + " << c.OffsetUs;
}

TEST(MprisRules, SetPositionTakesOnlyTheCurrentTrackWithinItsLength) {
    const QString current = MprisTrackId(QStringLiteral("/m/a.mp3"));
    const QString stale = MprisTrackId(QStringLiteral("/m/b.mp3"));
    EXPECT_EQ(PlanSetPosition(true, current, 60000, current, 12345678), 12345);
    EXPECT_EQ(PlanSetPosition(true, current, 60000, current, 60000000), 60000);
    EXPECT_EQ(PlanSetPosition(true, current, 60000, current, 60000001), std::nullopt);
    EXPECT_EQ(PlanSetPosition(true, current, 60000, current, -1), std::nullopt);
    EXPECT_EQ(PlanSetPosition(true, current, 60000, stale, 1000), std::nullopt);
    EXPECT_EQ(PlanSetPosition(true, current, 60000, MprisNoTrack, 1000), std::nullopt);
    EXPECT_EQ(PlanSetPosition(false, current, 60000, current, 1000), std::nullopt);
}

TEST(MprisRules, OpenUriTakesOnlyLocalAbsolutePaths) {
    TTempDir dir;
    const QString root = QString::fromStdString(dir.Path.string());
    std::filesystem::create_directories(dir.Path / "My Music");
    testsupport::WriteFile(dir / "song.mp3", "x");
    const QString url = FileUrl(root + QStringLiteral("/My Music"));
    EXPECT_EQ(PathFromUri(url).Path, root + QStringLiteral("/My Music"));
    EXPECT_TRUE(PathFromUri(url).Error.isEmpty());
    EXPECT_EQ(PathFromUri(FileUrl(root + QStringLiteral("/song.mp3"))).Path,
              root + QStringLiteral("/song.mp3"));
    EXPECT_EQ(PathFromUri(QStringLiteral("file://localhost") + url.mid(7)).Path,
              root + QStringLiteral("/My Music"));
    // A folder whose name is not UTF-8 comes back byte for byte.
    const QByteArray odd = dir.Path.string().c_str() + QByteArray("/caf\xe9");
    std::filesystem::create_directories(odd.toStdString());
    EXPECT_EQ(EncodeFileName(PathFromUri(FileUrl(DecodeFileName(odd))).Path), odd);

    const std::pair<QString, const char*> refused[] = {
        {QStringLiteral("http://example.org/music/"), "org.freedesktop.DBus.Error.NotSupported"},
        {QStringLiteral("file://otherhost/music"), "org.freedesktop.DBus.Error.NotSupported"},
        {QStringLiteral("not a uri at all"), "org.freedesktop.DBus.Error.NotSupported"},
        {QStringLiteral("file:My%20Music"), "org.freedesktop.DBus.Error.InvalidArgs"},
        {FileUrl(root + QStringLiteral("/gone")), "org.freedesktop.DBus.Error.FileNotFound"},
        // Cut at the NUL it would name the folder above.
        {FileUrl(root) + QStringLiteral("/song.mp3%00.mp3"),
         "org.freedesktop.DBus.Error.InvalidArgs"},
        {FileUrl(root) + QStringLiteral("%00/x.mp3"), "org.freedesktop.DBus.Error.InvalidArgs"},
    };
    for (const auto& [uri, name] : refused) {
        const TOpenUri r = PathFromUri(uri);
        EXPECT_TRUE(r.Path.isEmpty()) << uri.toStdString();
        EXPECT_EQ(r.ErrorName, name) << uri.toStdString();
        EXPECT_FALSE(r.Error.isEmpty());
    }
    EXPECT_TRUE(PathFromUri(FileUrl(root + "/gone")).Error.contains("'" + root + "/gone'"));
}

TEST(DesktopNotify, ArgumentsOfNotify) {
    const QVariantList a = NotifyArguments(41, QStringLiteral("Rock <&> Roll "),
                                           QStringLiteral("03:05  44.1 kHz  128 kbps"));
    ASSERT_EQ(a.size(), 8);
    EXPECT_EQ(a[0].toString(), "Velodra");
    EXPECT_EQ(a[1].metaType(), QMetaType::fromType<uint>());
    EXPECT_EQ(a[1].toUInt(), 41u);
    EXPECT_EQ(a[2].toString(), "org.velodra.Velodra");
    EXPECT_EQ(a[3].toString(), "Rock <&> Roll"); // the summary is plain text
    EXPECT_EQ(a[4].toString(), "03:05  44.1 kHz  128 kbps");
    EXPECT_TRUE(a[5].toStringList().isEmpty());
    EXPECT_EQ(a[6].toMap().value("desktop-entry").toString(), "org.velodra.Velodra");
    EXPECT_EQ(a[7].toInt(), 8000);
    EXPECT_FALSE(a[6].toMap().contains("image-path"));
    EXPECT_EQ(NotifyArguments(0, "t", "i", "/m/a b.jpg")[6].toMap().value("image-path"),
              "file:///m/a%20b.jpg");
    // The body may be read as markup.
    EXPECT_EQ(NotifyArguments(0, "t", "a <b> & c")[4].toString(), "a &lt;b&gt; &amp; c");
}

} // namespace
