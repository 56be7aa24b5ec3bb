// The about box text, the size wording in two locales, the mixer search and the mail link; the
// box as the About command shows it.
#include "WindowFixture.h"
#include "platform/Error.h"
#include "platform/FileName.h"
#include "support/TestAudio.h"
#include "ui/MessageBox.h"
#include "ui/UAbout.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QFile>
#include <QLocale>
#include <QMessageBox>
#include <QThread>
#include <QUrlQuery>
#include <filesystem>
#include <gtest/gtest.h>
#include <ostream>
#include <sys/stat.h>

// Readable failure messages.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

namespace {

const QLocale PointLocale(QLocale::English, QLocale::UnitedStates);
const QLocale CommaLocale(QLocale::German, QLocale::Germany);

// Sets the user's locale for one test and puts the old one back.
class TLocaleScope {
public:
    explicit TLocaleScope(const QLocale& locale) { QLocale::setDefault(locale); }
    ~TLocaleScope() { QLocale::setDefault(Saved); }

private:
    QLocale Saved;
};

QString Q(const std::string& s) {
    return DecodeFileName(s);
}

class AboutTest : public ::testing::Test {};

TEST_F(AboutTest, FileSizesReadInTheUsersLocale) {
    struct {
        qint64 Count;
        const char* Point;
        const char* Comma;
    } const cases[] = {
        {-1, "-1 B", "-1 B"},
        {0, "0 B", "0 B"},
        {999, "999 B", "999 B"},
        {1000, "0.98 KB", "0,98 KB"},
        {1010, "0.99 KB", "0,99 KB"},
        {1536, "1.5 KB", "1,5 KB"},
        {1023999, "1,000 KB", "1.000 KB"},
        {1030000, "0.98 MB", "0,98 MB"},
        {1536000, "1.46 MB", "1,46 MB"},
        {2147483648LL, "2 GB", "2 GB"},
        {1099511627776LL, "1,024 GB", "1.024 GB"},
    };
    for (const auto& c : cases) {
        {
            TLocaleScope scope(PointLocale);
            EXPECT_EQ(FormatFileSize(c.Count), QString::fromUtf8(c.Point)) << c.Count;
        }
        {
            TLocaleScope scope(CommaLocale);
            EXPECT_EQ(FormatFileSize(c.Count), QString::fromUtf8(c.Comma)) << c.Count;
        }
    }
}

TEST_F(AboutTest, TrailingZerosGoOnlyAfterTheDecimalSeparator) {
    struct {
        const QLocale& Locale;
        const char* In;
        const char* Out;
    } const cases[] = {
        {PointLocale, "1.50", "1.5"},       {PointLocale, "2.00", "2"},
        {PointLocale, "1,024.00", "1,024"}, {PointLocale, "10.0", "10"},
        {PointLocale, "100", "100"},        {PointLocale, "1,000", "1,000"},
        {CommaLocale, "1,50", "1,5"},       {CommaLocale, "1.000", "1.000"},
        {CommaLocale, "1.024,00", "1.024"}, {CommaLocale, "", ""},
    };
    for (const auto& c : cases) {
        TLocaleScope scope(c.Locale);
        EXPECT_EQ(StripTrailingZeros(QString::fromUtf8(c.In)), QString::fromUtf8(c.Out)) << c.In;
    }
}

TEST_F(AboutTest, FileSizeComesFromTheEntryAndIsMinusOneWhenGone) {
    testsupport::TTempDir dir;
    testsupport::WriteFile(dir / "a.mp3", std::string(1536, 'x'));
    testsupport::WriteFile(dir / "empty.mp3", "");
    // A name that is not UTF-8 must still be found.
    testsupport::WriteFile(dir / "caf\xE9.mp3", std::string(10, 'x'));
    EXPECT_EQ(FileSizeOf(Q(dir / "a.mp3")), 1536);
    EXPECT_EQ(FileSizeOf(Q(dir / "empty.mp3")), 0);
    EXPECT_EQ(FileSizeOf(Q(dir / "caf\xE9.mp3")), 10);
    EXPECT_EQ(FileSizeOf(Q(dir / "missing.mp3")), -1);
    EXPECT_EQ(FileSizeOf(QString()), -1);
}

TEST_F(AboutTest, WithNoFileOpenTheTextEndsAfterTheCountryLine) {
    TAboutInput in;
    in.Info.Title = QStringLiteral("Ignored while nothing is open");
    const QStringList lines = BuildAboutText(in).split(QLatin1Char('\r'));
    const QStringList expected = {
        QStringLiteral("Velodra"),
        QStringLiteral("version 3.4"),
        QString(),
        QStringLiteral("Folder oriented audio files player. Supports MP3, WMA, FLAC, Ogg Vorbis, "
                       "Opus, M4A and WAV."),
        QString(),
        QStringLiteral("please, send donation."),
        QString(),
        CopyrightText(),
        CountryText(),
    };
    EXPECT_EQ(lines, expected);
    EXPECT_FALSE(CopyrightText().isEmpty());
    EXPECT_FALSE(CountryText().isEmpty());
}

TAboutInput OpenFile(const std::string& path) {
    TAboutInput in;
    in.IsOpen = true;
    in.Info.Title = QStringLiteral("Intro");
    in.Info.Artist = QStringLiteral("Band");
    in.Info.Album = QStringLiteral("Best Of");
    in.Info.Track = 3;
    in.Info.Year = QStringLiteral("1999");
    in.Info.Genre = QStringLiteral("Rock");
    in.Info.ChannelMode = QStringLiteral("Joint Stereo");
    in.Info.SampleRate = 44100;
    in.Info.BitRate = 128;
    in.Info.Duration = 245000;
    in.Info.FilePath = Q(path);
    in.Info.Comment = QStringLiteral("Live");
    in.FolderText = QStringLiteral("Rock / Best Of");
    in.RootFolder = QStringLiteral("/music");
    in.FolderCount = 1234;
    in.TotalFileCount = 12345;
    return in;
}

TEST_F(AboutTest, OpenFileAddsTheCurrentMediaBlock) {
    TLocaleScope scope(PointLocale);
    testsupport::TTempDir dir;
    testsupport::WriteFile(dir / "01 Intro.mp3", std::string(1536, 'x'));
    const QStringList lines =
        BuildAboutText(OpenFile(dir / "01 Intro.mp3")).split(QLatin1Char('\r'));
    const QStringList expected = {
        QString(),
        QStringLiteral("Current media:"),
        QStringLiteral("    Title: Intro"),
        QStringLiteral("    Artist: Band"),
        QStringLiteral("    Album: Best Of"),
        QStringLiteral("    Track: 3"),
        QStringLiteral("    Year: 1999"),
        QStringLiteral("    Genre: Rock"),
        QStringLiteral("    Channel: Joint Stereo"),
        QStringLiteral("    Sample rate: 44.1 kHz"),
        QStringLiteral("    Bit rate: 128 kbps"),
        QStringLiteral("    Duration: 4m 5s"),
        QStringLiteral("    Folder: Rock / Best Of"),
        QStringLiteral("    File: 01 Intro.mp3"),
        QStringLiteral("    Size: 1.5 KB"),
        QStringLiteral("    Root: /music"),
        QStringLiteral("    Count: 1,234 folders, 12,345 files"),
        QStringLiteral("    Comment: Live"),
    };
    ASSERT_EQ(lines.size(), 9 + expected.size());
    EXPECT_EQ(lines.mid(9), expected);
}

TEST_F(AboutTest, EmptyFieldsAndTheRootFolderLeaveTheirLinesOut) {
    TLocaleScope scope(PointLocale);
    TAboutInput in = OpenFile("/nowhere/gone.mp3");
    in.Info = TMediaInfo{};
    in.Info.FilePath = QStringLiteral("/nowhere/gone.mp3");
    in.FolderText = QStringLiteral(".");
    const QStringList lines = BuildAboutText(in).split(QLatin1Char('\r'));
    const QStringList expected = {
        QString(),
        QStringLiteral("Current media:"),
        QStringLiteral("    Duration: 0m 0s"),
        QStringLiteral("    File: gone.mp3"),
        QStringLiteral("    Size: -1 B"),
        QStringLiteral("    Root: /music"),
        QStringLiteral("    Count: 1,234 folders, 12,345 files"),
    };
    EXPECT_EQ(lines.mid(9), expected);
}

TEST_F(AboutTest, SampleRateDropsAZeroDecimalAndKeepsTheTitleAsItIs) {
    struct {
        const QLocale& Locale;
        std::uint32_t Rate;
        const char* Line;
    } const cases[] = {
        {PointLocale, 96000, "    Sample rate: 96 kHz"},
        {PointLocale, 88200, "    Sample rate: 88.2 kHz"},
        {CommaLocale, 88200, "    Sample rate: 88,2 kHz"},
        {PointLocale, 48000, "    Sample rate: 48 kHz"},
        {PointLocale, 44100, "    Sample rate: 44.1 kHz"},
        {PointLocale, 8000, "    Sample rate: 8 kHz"},
        {CommaLocale, 48000, "    Sample rate: 48 kHz"},
        {CommaLocale, 22050, "    Sample rate: 22,1 kHz"},
    };
    for (const auto& c : cases) {
        TLocaleScope scope(c.Locale);
        TAboutInput in = OpenFile("/nowhere/a.mp3");
        in.Info.SampleRate = c.Rate;
        in.Info.Title =
            QStringLiteral("Tone at 5") + c.Locale.decimalPoint() + QStringLiteral("0 kHz");
        const QStringList lines = BuildAboutText(in).split(QLatin1Char('\r'));
        EXPECT_TRUE(lines.contains(QString::fromUtf8(c.Line))) << c.Line;
        EXPECT_TRUE(lines.contains(QStringLiteral("    Title: ") + in.Info.Title))
            << "title was changed";
    }
}

TEST_F(AboutTest, NamesThatAreNotUtf8ShowTheirBytesAsCharacters) {
    testsupport::TTempDir dir;
    testsupport::WriteFile(dir / "caf\xE9.mp3", std::string(999, 'x'));
    TAboutInput in = OpenFile(dir / "caf\xE9.mp3");
    const QStringList lines = BuildAboutText(in).split(QLatin1Char('\r'));
    EXPECT_TRUE(lines.contains(QString::fromUtf8("    File: caf\xC3\xA9.mp3")));
    EXPECT_TRUE(lines.contains(QStringLiteral("    Size: 999 B")));
}

// Fake mixers on a PATH of their own; each records its name and arguments.
class TFakePath {
public:
    explicit TFakePath(std::initializer_list<const char*> programs) : Saved(qgetenv("PATH")) {
        for (const char* p : programs) {
            const std::string path = Dir / p;
            testsupport::WriteFile(path, "#!/bin/sh\necho \"${0##*/} $*\" > '" + Marker() +
                                             ".tmp'\n/bin/mv '" + Marker() + ".tmp' '" + Marker() +
                                             "'\n");
            ::chmod(path.c_str(), 0755);
        }
        qputenv("PATH", QByteArray::fromStdString(Dir.Path.string()));
    }
    ~TFakePath() { qputenv("PATH", Saved); }
    std::string Marker() const { return Dir / "started"; }
    // What was started, waiting at most five seconds for it.
    QString Started() const {
        QFile f(QString::fromStdString(Marker()));
        for (QDeadlineTimer deadline(5000); !f.exists() && !deadline.hasExpired();)
            QThread::msleep(20);
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(f.readAll()).trimmed();
    }

private:
    testsupport::TTempDir Dir;
    QByteArray Saved;
};

TEST_F(AboutTest, MixerStartsTheFirstProgramFoundOnThePath) {
    struct {
        std::initializer_list<const char*> Present;
        const char* Started;
    } const cases[] = {
        {{"pavucontrol", "pavucontrol-qt", "kcmshell5"}, "pavucontrol"},
        {{"kcmshell5", "pavucontrol-qt"}, "pavucontrol-qt"},
        {{"kcmshell6", "gnome-control-center"}, "gnome-control-center sound"},
        {{"kcmshell5"}, "kcmshell5 kcm_pulseaudio"},
    };
    for (const auto& c : cases) {
        TFakePath path(c.Present);
        EXPECT_TRUE(StartMixer()) << c.Started;
        EXPECT_EQ(path.Started(), QString::fromUtf8(c.Started));
    }
}

TEST_F(AboutTest, MixerIsSilentWhenNoneIsInstalled) {
    TFakePath path({});
    EXPECT_FALSE(StartMixer());
    EXPECT_FALSE(std::filesystem::exists(path.Marker()));
}

class TUrlRecorder : public QObject {
    Q_OBJECT

public:
    QList<QUrl> Urls;
public slots:
    void Open(const QUrl& url) { Urls << url; }
};

TEST_F(AboutTest, CopyrightClickStartsAMailWithTheSubject) {
    TUrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &recorder, "Open");
    StartMail();
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
    ASSERT_EQ(recorder.Urls.size(), 1);
    const QUrl url = recorder.Urls.first();
    EXPECT_EQ(url.scheme(), QStringLiteral("mailto"));
    EXPECT_EQ(url.path(), ContactAddress());
    EXPECT_TRUE(ContactAddress().endsWith(QStringLiteral("@example.org")));
    EXPECT_EQ(QUrlQuery(url).queryItemValue(QStringLiteral("subject")),
              QStringLiteral("[Velodra]"));
}

class AboutBox : public testsupport::TWindowFixture {
protected:
    void SetUp() override {
        TWindowFixture::SetUp();
        ShowAndStart();
    }
};

TEST_F(AboutBox, AboutWithoutAFileEndsAfterTheCountryLine) {
    Run(Form().ActAbout);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Caption, QStringLiteral("About"));
    EXPECT_EQ(Messages[0].Icon, TMsgIcon::Information);
    const QStringList lines = Messages[0].Text.split(QLatin1Char('\r'));
    ASSERT_GE(lines.size(), 4);
    EXPECT_EQ(lines[0], QStringLiteral("Velodra"));
    EXPECT_EQ(lines[1], QStringLiteral("version 3.4"));
    EXPECT_FALSE(Messages[0].Text.contains(QStringLiteral("Current media:")));
    EXPECT_FALSE(lines.last().isEmpty()) << "no empty line after the country line";
}

TEST_F(AboutBox, AboutWithAFileNamesFolderFileAndCounts) {
    Load({2, 1});
    Run(Form().ActNextFolder);
    Run(Form().ActAbout);
    ASSERT_EQ(Messages.size(), 1u);
    const QString& text = Messages[0].Text;
    EXPECT_TRUE(text.contains(QStringLiteral("\r\rCurrent media:\r"))) << qPrintable(text);
    EXPECT_TRUE(text.contains(QStringLiteral("\r    Folder: F1\r")));
    EXPECT_TRUE(text.contains(QStringLiteral("\r    File: t00.mp3\r")));
    EXPECT_TRUE(text.contains(QStringLiteral("\r    Root: ") + Player->Library.RootFolder +
                              QLatin1Char('\r')));
    EXPECT_TRUE(text.endsWith(QStringLiteral("\r    Count: 2 folders, 3 files")))
        << qPrintable(text);
}

TEST_F(AboutBox, AboutWithTheRootSelectedHasNoFolderLine) {
    testsupport::WriteFile(Dir / "lib/top.mp3", "x");
    Load({1});
    const int root = Form().edFolder->findText(QStringLiteral("."));
    ASSERT_GE(root, 0);
    SelectFolder(root);
    Run(Form().ActAbout);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_FALSE(Messages[0].Text.contains(QStringLiteral("Folder:")))
        << qPrintable(Messages[0].Text);
    EXPECT_TRUE(Messages[0].Text.contains(QStringLiteral("\r    File: top.mp3\r")));
}

} // namespace

#include "about_test.moc"

namespace {

// One box at a time, none waiting in an event loop of its own: further messages while it is
// open go aside (to the tray tip or the pop-up) instead of stacking boxes; a name of megabytes
// is cut before it is laid out.
TEST(MessageBoxes, OneAtATimeAndHugeNamesCut) {
    QStringList aside;
    const auto tell = [&](const QString& text) { aside << text; };
    const QString huge = QStringLiteral("/") + QString(1 << 20, QLatin1Char('x'));
    for (int i = 0; i < 3; ++i)
        ShowMessageBox({TMsgIcon::Error, QStringLiteral("Velodra"),
                        QStringLiteral("Invalid folder: ") + ShortenedForDisplay(huge)},
                       tell);
    int shown = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
            ++shown;
            EXPECT_LT(box->text().size(), 1100);
            box->close();
        }
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(aside.size(), 2);
    EXPECT_TRUE(testsupport::WaitFor([] { return !MessageBoxOpen(); }, std::chrono::seconds(2)));
    EXPECT_EQ(QuotedStr(huge).size(), 1000 + 3);
}

} // namespace
