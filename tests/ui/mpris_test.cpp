// The media-player interface's wiring, without a bus: its methods run the window's commands
// (and nothing while they are disabled), its writes reach the options and the device, its
// announcements follow the changes, and a second start's hand-over acts as the user would.
#include "WindowFixture.h"

#include "ui/Mpris.h"
#include "ui/MprisRules.h"

#include <QDBusObjectPath>
#include <QImage>
#include <QTimer>
#include <QWheelEvent>
#include <cmath>
#include <tuple>

using testsupport::TWindowFixture;

namespace {

class Mpris : public TWindowFixture {
protected:
    void SetUp() override {
        TWindowFixture::SetUp();
        ShowAndStart();
        Service = std::make_unique<TMprisService>(*Session);
        QObject::connect(Service.get(), &TMprisService::PropertiesChanged,
                         [this](const QString&, const QVariantMap& m) { Announced.push_back(m); });
        QObject::connect(Service.get(), &TMprisService::Seeked,
                         [this](qlonglong us) { SeekedUs.push_back(us); });
    }
    void TearDown() override {
        Service.reset();
        TWindowFixture::TearDown();
    }
    QString Title() { return Service->Metadata().value("xesam:title").toString(); }
    QString TrackId() {
        return Service->Metadata().value("mpris:trackid").value<QDBusObjectPath>().path();
    }
    // Every announced value of one property, in order.
    QVariantList AnnouncedValues(const QString& key) const {
        QVariantList out;
        for (const QVariantMap& m : Announced)
            if (m.contains(key)) out << m.value(key);
        return out;
    }
    void LoadTitled() {
        const std::string lib = Dir / "titled";
        testsupport::WriteFile(lib + "/A/1.mp3", Mp3("One"));
        testsupport::WriteFile(lib + "/A/2.mp3", Mp3("Two"));
        testsupport::WriteFile(lib + "/B/3.mp3", Mp3("Three"));
        LoadRoot(QString::fromStdString(lib));
    }

    std::unique_ptr<TMprisService> Service;
    std::vector<QVariantMap> Announced;
    std::vector<qlonglong> SeekedUs;
};

TEST_F(Mpris, MethodsRunTheCommands) {
    LoadTitled();
    EXPECT_EQ(Service->PlaybackStatus(), "Stopped");
    EXPECT_EQ(Title(), "One");
    Service->PlayPause();
    Settle();
    EXPECT_EQ(Service->PlaybackStatus(), "Playing");
    Service->Play(); // already playing: no restart
    Settle();
    EXPECT_EQ(Device->Count("Play"), 1);
    Service->PlayPause();
    Settle();
    EXPECT_EQ(Service->PlaybackStatus(), "Paused");
    EXPECT_EQ(Form().ActPause->text(), "Resume");
    Service->Pause(); // already paused: stays paused
    Settle();
    EXPECT_EQ(Service->PlaybackStatus(), "Paused");
    Service->Play(); // resumes where it was
    Settle();
    EXPECT_EQ(Service->PlaybackStatus(), "Playing");
    EXPECT_EQ(Device->Count("Resume"), 1);
    Service->Next();
    Settle();
    EXPECT_EQ(Title(), "Two");
    EXPECT_EQ(Service->PlaybackStatus(), "Playing");
    Service->Next();
    Settle();
    EXPECT_EQ(Title(), "Three");
    Service->Previous();
    Settle();
    EXPECT_EQ(Title(), "Two");
    Service->Stop();
    Settle();
    EXPECT_EQ(Service->PlaybackStatus(), "Stopped");
}

TEST_F(Mpris, DisabledCommandsDoNothing) {
    // No library: Play, Pause, the moves and seeking are all disabled.
    Tick();
    EXPECT_FALSE(Service->CanPlay() || Service->CanPause() || Service->CanGoNext() ||
                 Service->CanGoPrevious() || Service->CanSeek());
    Service->Play();
    Service->PlayPause();
    Service->Next();
    Service->Previous();
    Service->Seek(5000000);
    Service->SetPosition(QString::fromLatin1(MprisNoTrack), 0);
    Settle();
    EXPECT_TRUE(Device->Log.isEmpty()) << Device->Log.join(", ").toStdString();
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(TrackId(), MprisNoTrack);

    // The last file of the last folder without Repeat: no next.
    LoadTitled();
    Service->Next();
    Service->Next();
    Settle();
    EXPECT_EQ(Title(), "Three");
    EXPECT_FALSE(Service->CanGoNext());
    Service->Next();
    Settle();
    EXPECT_EQ(Title(), "Three");
}

TEST_F(Mpris, ChangesAreAnnouncedOnceAndThePositionNever) {
    LoadTitled();
    Settle();
    Announced.clear();
    Service->Play();
    Settle();
    EXPECT_EQ(AnnouncedValues("PlaybackStatus"), QVariantList{"Playing"});
    EXPECT_EQ(AnnouncedValues("CanPause"), QVariantList{true});
    Announced.clear();
    Tick(30); // three seconds of playing: nothing changes but the position
    EXPECT_TRUE(Announced.empty());
    Service->Next();
    Settle();
    const QVariantList metadata = AnnouncedValues("Metadata");
    ASSERT_EQ(metadata.size(), 1);
    EXPECT_EQ(metadata[0].toMap().value("xesam:title").toString(), "Two");
    Run(Form().ActLoop);
    Run(Form().ActShuffle);
    EXPECT_EQ(AnnouncedValues("LoopStatus"), QVariantList{"Playlist"});
    EXPECT_EQ(AnnouncedValues("Shuffle"), QVariantList{true});
    for (const QVariantMap& m : Announced)
        EXPECT_FALSE(m.contains("Position"));
}

TEST_F(Mpris, SeekAndSetPosition) {
    LoadTitled(); // files of three seconds
    Service->Play();
    Settle();
    Service->Seek(1000000);
    Settle();
    EXPECT_EQ(Device->Count("Seek 1000"), 1);
    EXPECT_EQ(Service->Position(), 1000000);
    EXPECT_EQ(SeekedUs, std::vector<qlonglong>{1000000});
    EXPECT_EQ(Service->PlaybackStatus(), "Playing"); // the bar's seek goes on playing

    const QString current = TrackId();
    Service->SetPosition(MprisTrackId(Player->MediaInfo.FilePath + "x"), 2000000); // stale id
    Service->SetPosition(current, 4000000);                                        // past the end
    Service->SetPosition(current, -1);
    Settle();
    EXPECT_EQ(Service->Position(), 1000000);
    Service->SetPosition(current, 2000000);
    Settle();
    EXPECT_EQ(Device->Count("Seek 2000"), 1);

    // Seeking while paused keeps it paused.
    Service->Pause();
    Settle();
    Service->Seek(-1500000);
    Settle();
    EXPECT_EQ(Device->Count("Seek 500"), 1);
    EXPECT_EQ(Service->PlaybackStatus(), "Paused");

    // Past the end: the next file.
    Service->Seek(10000000);
    Settle();
    EXPECT_EQ(Title(), "Two");
}

TEST_F(Mpris, ARestartWhilePlayingIsASeek) {
    Device->DefaultLength = 60000; // long enough to be well into it
    LoadTitled();
    Service->Play();
    Settle();
    Tick(25);
    SeekedUs.clear();
    Run(Form().ActPlay); // Play again: the same file from its start
    EXPECT_EQ(SeekedUs, std::vector<qlonglong>{0});
}

TEST_F(Mpris, LoopShuffleAndVolumeWrites) {
    LoadTitled();
    Service->SetLoopStatus("Playlist");
    EXPECT_TRUE(Form().ActLoop->isChecked());
    EXPECT_EQ(Service->LoopStatus(), "Playlist");
    Announced.clear();
    Service->SetLoopStatus("Track"); // no single-track repeat: refused, and said again
    EXPECT_TRUE(Form().ActLoop->isChecked());
    EXPECT_EQ(AnnouncedValues("LoopStatus"), QVariantList{"Playlist"});
    Service->SetLoopStatus("None");
    EXPECT_FALSE(Form().ActLoop->isChecked());

    Service->SetShuffle(true);
    EXPECT_TRUE(Form().ActShuffle->isChecked());
    Service->SetShuffle(true); // a write of the same value toggles nothing
    EXPECT_TRUE(Form().ActShuffle->isChecked());
    Service->SetShuffle(false);
    EXPECT_FALSE(Form().ActShuffle->isChecked());

    Announced.clear();
    const auto volume = [&](double v) {
        Service->SetVolume(v);
        Settle();
    };
    volume(1.7);
    EXPECT_EQ(Device->Volume(), 1.0);
    volume(0.25);
    EXPECT_EQ(Device->Volume(), 0.25);
    volume(std::nan(""));
    EXPECT_EQ(Device->Volume(), 0.25);
    volume(-3);
    EXPECT_EQ(Service->Volume(), 0.0);
    EXPECT_EQ(AnnouncedValues("Volume"), (QVariantList{0.25, 0.25, 0.0}));

    // The wheel over the window, a closed list too, steps by 5 % (a touchpad's small turns add
    // up) and shows it for a moment where the rate stands; the interface reads it.
    const QString rate = Form().LblBitRate->text();
    const std::tuple<QWidget*, int, int> turns[] = {
        {Form().edFolder, 240, 10}, {Window.get(), 60, 10}, {Window.get(), 60, 15}};
    for (const auto& [over, delta, want] : turns) {
        QWheelEvent e({5, 5}, {5, 5}, {}, {0, delta}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(over, &e);
        EXPECT_EQ(Service->Volume(), want / 100.0) << delta;
        EXPECT_EQ(Form().LblBitRate->text(), QStringLiteral("Volume %1 %").arg(want));
    }
    EXPECT_EQ(FolderIndex(), 0) << "a turn over a closed list is no choice in it";
    QMetaObject::invokeMethod(Window->findChild<QTimer*>(QStringLiteral("TmrVolume")), "timeout");
    EXPECT_EQ(Form().LblBitRate->text(), rate);
}

TEST_F(Mpris, OpenUriLoadsAFolderOrPlaysAFileAsADrop) {
    Load({1});
    LoadTitled();
    const QString other = QString::fromStdString(Dir / "lib");
    testsupport::WriteFile(Dir / "lib/notes.txt", "x");
    Service->OpenUri(FileUrl(other + "/notes.txt")); // not audio: refused
    Service->OpenUri("http://example.org/");
    Settle();
    EXPECT_EQ(Player->Library.RootFolder, QString::fromStdString(Dir / "titled"));
    Service->OpenUri(FileUrl(other));
    Settle();
    EXPECT_EQ(Player->Library.RootFolder, other);
    EXPECT_EQ(Form().edFolder->count(), 1);
    Service->OpenUri(FileUrl(QString::fromStdString(Dir / "titled/B/3.mp3")));
    Settle();
    EXPECT_EQ(Title(), "Three");
    EXPECT_EQ(Service->PlaybackStatus(), "Playing");
}

TEST_F(Mpris, ArtUrlOfThePictureShownOrNot) {
    MakeLibrary({1, 1});
    QImage picture(64, 64, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    ASSERT_TRUE(picture.save(QString::fromStdString(Dir / "lib/F0/Folder.JPG"), "JPG"));
    Load({1, 1});
    SettlePicture();
    const QString art = Service->Metadata().value("mpris:artUrl").toString();
    EXPECT_EQ(art, FileUrl(QString::fromStdString(Dir / "lib/F0/Folder.JPG")));
    Run(Form().ActFolderImage); // off: the desktop still shows it
    SettlePicture();
    EXPECT_EQ(Service->Metadata().value("mpris:artUrl").toString(), art);
    Run(Form().ActFolderImage);
    SelectFolder(1); // no picture there
    SettlePicture();
    EXPECT_FALSE(Service->Metadata().contains("mpris:artUrl"));
}

TEST_F(Mpris, RaiseAndHandOver) {
    LoadTitled();
    Window->showMinimized();
    QCoreApplication::processEvents();
    Service->Raise();
    Settle();
    EXPECT_FALSE(Window->isMinimized());

    // A second start with a folder: loaded as a drop is.
    const QString other = MakeLibrary({2});
    Session->HandOver(other);
    Settle();
    Settle();
    EXPECT_EQ(Player->Library.RootFolder, other);
    // With something else: the command line's report, and the library stays; a relative name
    // names nothing here.
    for (const QString& bad : {other + "/gone", QStringLiteral("F0")}) {
        Messages.clear();
        Session->HandOver(bad);
        Settle();
        ASSERT_EQ(Messages.size(), 1u);
        EXPECT_EQ(Messages[0].Text, "Invalid folder: " + bad);
    }
    EXPECT_EQ(Messages[0].Icon, TMsgIcon::Error);
    EXPECT_EQ(Player->Library.RootFolder, other);
    // Without an argument: just to the front.
    Window->showMinimized();
    QCoreApplication::processEvents();
    Session->HandOver(std::nullopt);
    Settle();
    EXPECT_FALSE(Window->isMinimized());
    EXPECT_EQ(Messages.size(), 1u);
}

} // namespace
