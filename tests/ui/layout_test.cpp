// The window's look: the four layouts and the moves between them, the shadow labels, the
// folder picture (also damaged ones), the title marquee, the channel-mode animation, the
// copyright blink and the translucency.
#include "WindowFixture.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QToolButton>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

using testsupport::TFormControls;
using testsupport::TWindowFixture;
using testsupport::WriteFile;

namespace {

bool MakePicture(const std::string& path, const char* colour = "#3366cc") {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    const std::string cmd = std::string("convert -size 240x240 xc:'") + colour + "' '" + path + "'";
    return std::system(cmd.c_str()) == 0 && std::filesystem::exists(path);
}

class Layout : public TWindowFixture {
protected:
    void SetUp() override {
        TWindowFixture::SetUp();
        ShowAndStart();
    }

    // Folders F0 (with a picture), F1 (none), F2 (with a picture), two files each.
    void LoadWithPictures() {
        MakeLibrary({2, 2, 2});
        ASSERT_TRUE(MakePicture(Dir / "lib/F0/folder.jpg"));
        ASSERT_TRUE(MakePicture(Dir / "lib/F2/folder.jpg", "#cc6633"));
        Load({2, 2, 2});
        SettlePicture();
    }

    std::vector<QToolButton*> Buttons() {
        return {Form().BtnPlay,       Form().BtnPause,    Form().BtnStop,     Form().BtnLoad,
                Form().BtnPrevFolder, Form().BtnPrevFile, Form().BtnNextFile, Form().BtnNextFolder};
    }

    void ExpectLayout(bool compact, bool picture) {
        TFormControls& f = Form();
        EXPECT_EQ(f.ActCompact->isChecked(), compact);
        EXPECT_EQ(Window->width(), 200);
        EXPECT_EQ(Window->height(), compact && !picture ? 150 : 200);
        EXPECT_EQ(f.ImgFolder1->isVisible(), picture);
        if (picture) {
            EXPECT_EQ(f.ImgFolder1->geometry(), Window->rect());
        }
        EXPECT_EQ(f.Shape1->isVisible(), !picture);
        EXPECT_TRUE(f.BvlDisplay->isVisible());
        EXPECT_EQ(f.edFolder->isVisible(), !compact);
        EXPECT_EQ(f.edFile->isVisible(), !compact);
        EXPECT_EQ(f.ProgressBar1->isVisible(), !(compact && picture));
        const bool fewButtons = compact && picture;
        const auto buttons = Buttons();
        for (size_t i = 0; i < buttons.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(buttons[i]->isVisible(), i < 3 || !fewButtons);
        }
        const int barWidth = fewButtons ? 3 * 23 : 8 * 23;
        EXPECT_EQ(f.ToolBar1->width(), barWidth);
        EXPECT_EQ(f.ToolBar1->x(), (200 - barWidth) / 2);
        for (int i = 0; fewButtons && i < 3; ++i)
            EXPECT_EQ(buttons[i]->x(), 23 * i);
        // The copyright label keeps to the bottom: in the plain compact form it takes the
        // folder list's place.
        EXPECT_EQ(f.LblCopyright->y(), compact && !picture ? f.edFolder->y() : 179);
        EXPECT_EQ(f.LblCopyright->x(), (200 - f.LblCopyright->width()) / 2);
        for (QLabel* shadow : {f.LblTitle2, f.LblPosition2, f.LblDuration2})
            EXPECT_EQ(shadow->isVisible(), picture) << qPrintable(shadow->objectName());
        EXPECT_EQ(f.LblCopyright2->isVisible(), picture && f.LblCopyright->isVisible());
    }
};

TEST_F(Layout, FixedSizeLabelsHoldTheirLongestTexts) {
    TFormControls& f = Form();
    // Times up to 99:59 in the 31 x 11 labels, in the face they are drawn with.
    for (QLabel* l : {static_cast<QLabel*>(f.LblPosition), static_cast<QLabel*>(f.LblDuration),
                      f.LblPosition2, f.LblDuration2}) {
        SCOPED_TRACE(qPrintable(l->objectName()));
        const QFontMetrics m(l->font());
        for (const char* t : {"00:00", "88:88", "59:59"}) {
            EXPECT_LE(m.horizontalAdvance(QString::fromLatin1(t)), l->width()) << t;
        }
        EXPECT_LE(m.ascent() + m.descent() - 2, l->height()) << "digits fit the label's height";
    }
    // The copyright line and the indicators fit the window.
    EXPECT_LE(f.LblCopyright->width(), Window->width());
    EXPECT_GE(f.LblCopyright->x(), 0);
    EXPECT_LE(f.LblShuffle->x() + f.LblShuffle->width(), f.BvlDisplay->geometry().right());
}

TEST_F(Layout, FirstShowLaysOutTheDisplay) {
    TFormControls& f = Form();
    EXPECT_EQ(Window->size(), QSize(200, 200));
    EXPECT_EQ(Window->State().FullHeight, 200);
    EXPECT_EQ(f.Shape1->geometry(), f.BvlDisplay->geometry().adjusted(1, 1, -1, -1));
    EXPECT_EQ(f.LblTitle->text(), QStringLiteral("Welcome to Velodra!"));
    EXPECT_EQ(f.LblTitle->x(), (200 - f.LblTitle->width()) / 2);
    EXPECT_EQ(f.LblTitle->y(), 8 + (61 - f.LblTitle->height()) / 2);
    EXPECT_EQ(f.LblTitle->width(), f.LblTitle->sizeHint().width()) << "sized to its text";
    EXPECT_EQ(f.LblPosition->text(), QStringLiteral("00:00"));
    EXPECT_TRUE(f.LblMode->text().isEmpty());
    EXPECT_EQ(f.ProgressBar1->value(), 0);
    EXPECT_FALSE(f.ProgressBar1->isEnabled());
    EXPECT_EQ(f.LblCopyright2->text(), f.LblCopyright->text());
    EXPECT_FALSE(f.LblCopyright->text().isEmpty());
    ExpectLayout(false, false);
}

TEST_F(Layout, ShadowsLieOnePixelRightAndDown) {
    TFormControls& f = Form();
    const auto expectOffset = [](QLabel* shadow, QLabel* label, int dy) {
        EXPECT_EQ(shadow->pos(), label->pos() + QPoint(1, dy)) << qPrintable(shadow->objectName());
    };
    expectOffset(f.LblTitle2, f.LblTitle, 1);
    EXPECT_EQ(f.LblTitle2->width(), f.LblTitle->width());
    expectOffset(f.LblPosition2, f.LblPosition, 1);
    expectOffset(f.LblDuration2, f.LblDuration, 1);
    expectOffset(f.LblCopyright2, f.LblCopyright, 1);
    EXPECT_EQ(f.LblPosition2->size(), f.LblPosition->size());

    LoadWithPictures();
    // The title changed with the file: its shadow now lies two pixels down.
    EXPECT_EQ(f.LblTitle->text(), QStringLiteral("t00"));
    expectOffset(f.LblTitle2, f.LblTitle, 2);
    EXPECT_EQ(f.LblTitle2->width(), f.LblTitle->width());
    EXPECT_EQ(f.LblTitle2->text(), f.LblTitle->text());
    EXPECT_EQ(f.LblPosition2->text(), f.LblPosition->text());
    for (QLabel* shadow : {f.LblTitle2, f.LblPosition2, f.LblDuration2, f.LblCopyright2})
        EXPECT_TRUE(shadow->isVisible()) << qPrintable(shadow->objectName());
    Run(f.ActCompact);
    expectOffset(f.LblCopyright2, f.LblCopyright, 1);
    Run(f.ActCompact);
    Run(f.ActNextFolder); // no picture: no shadows
    for (QLabel* shadow : {f.LblTitle2, f.LblPosition2, f.LblDuration2, f.LblCopyright2})
        EXPECT_FALSE(shadow->isVisible()) << qPrintable(shadow->objectName());
    Run(f.ActCompact);
    expectOffset(f.LblCopyright2, f.LblCopyright, 1);
}

struct TLayoutStep {
    const char* Name;
    QAction* TFormControls::*Action;
    bool Compact, Picture;
};

TEST_F(Layout, EveryTransitionBetweenTheFourLayouts) {
    using F = TFormControls;
    LoadWithPictures();
    {
        SCOPED_TRACE("loaded: the first folder has a picture");
        ExpectLayout(false, true);
    }
    const TLayoutStep steps[] = {
        {"compact on over the picture", &F::ActCompact, true, true},
        {"compact off over the picture", &F::ActCompact, false, true},
        {"to a folder without picture", &F::ActNextFolder, false, false},
        {"compact on, plain", &F::ActCompact, true, false},
        {"compact, to a folder with picture", &F::ActNextFolder, true, true},
        {"compact, back to the plain folder", &F::ActPrevFolder, true, false},
        {"compact off, plain", &F::ActCompact, false, false},
        {"compact on again, plain", &F::ActCompact, true, false},
        {"compact, picture again", &F::ActNextFolder, true, true},
        {"folder image off while compact", &F::ActFolderImage, true, false},
        {"folder image on while compact", &F::ActFolderImage, true, true},
        {"compact off over the picture", &F::ActCompact, false, true},
        {"folder image off, full", &F::ActFolderImage, false, false},
        {"folder image on, full", &F::ActFolderImage, false, true},
    };
    for (const TLayoutStep& step : steps) {
        SCOPED_TRACE(step.Name);
        Run(Form().*(step.Action));
        SettlePicture();
        ExpectLayout(step.Compact, step.Picture);
    }
    EXPECT_TRUE(Messages.empty());
}

TEST_F(Layout, CompactWithoutALibraryIsThePlainCompactForm) {
    Run(Form().ActCompact);
    ExpectLayout(true, false);
    Run(Form().ActFolderImage);
    Run(Form().ActFolderImage);
    ExpectLayout(true, false);
    Run(Form().ActCompact);
    ExpectLayout(false, false);
    EXPECT_TRUE(Messages.empty());
}

TEST_F(Layout, NoFolderSelectedMeansNoPictureAndNoMessage) {
    ASSERT_TRUE(Form().ActFolderImage->isChecked());
    ASSERT_EQ(Form().edFolder->currentIndex(), -1);
    Run(Form().ActFolderImage);
    Run(Form().ActFolderImage);
    ASSERT_TRUE(Form().ActFolderImage->isChecked());
    EXPECT_FALSE(Form().ImgFolder1->isVisible());
    EXPECT_TRUE(Form().Shape1->isVisible());
    EXPECT_TRUE(Messages.empty());
}

// Whether the picture shown has the given colour in its middle (JPEG leaves it a step off).
::testing::AssertionResult Shows(const TFormControls& f, const char* colour) {
    const QImage image = f.ImgFolder1->pixmap().toImage();
    const QColor got = image.pixelColor(image.width() / 2, image.height() / 2), want(colour);
    if (std::abs(got.red() - want.red()) <= 6 && std::abs(got.green() - want.green()) <= 6 &&
        std::abs(got.blue() - want.blue()) <= 6)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "shows " << got.name().toStdString();
}

class PictureArrival : public Layout, public ::testing::WithParamInterface<bool> {};

TEST_P(PictureArrival, PlainUntilItArrivesThenThePictureLayout) {
    const bool compact = GetParam();
    MakeLibrary({1, 1, 1, 1});
    ASSERT_TRUE(MakePicture(Dir / "lib/F1/folder.jpg", "#cc6633"));
    ASSERT_TRUE(MakePicture(Dir / "lib/F2/folder.jpg", "#3366cc"));
    ASSERT_TRUE(MakePicture(Dir / "lib/F3/folder.jpg", "#339966"));
    Load({1, 1, 1, 1});
    if (compact) Run(Form().ActCompact);
    // Without settling the event loop: the decode on its worker is not waited for.
    Form().ActNextFolder->trigger();
    {
        SCOPED_TRACE("asked for, not decoded yet");
        ExpectLayout(compact, false);
    }
    SettlePicture();
    {
        SCOPED_TRACE("arrived");
        ExpectLayout(compact, true);
    }
    EXPECT_TRUE(Shows(Form(), "#cc6633"));
    const QPixmap pixmap = Form().ImgFolder1->pixmap();
    EXPECT_EQ(pixmap.devicePixelRatio(), Window->devicePixelRatioF());
    EXPECT_GE(pixmap.width(), 200 * Window->devicePixelRatioF());

    // Back to a decoded picture: it is there at once.
    Run(Form().ActPrevFolder);
    ExpectLayout(compact, false);
    Run(Form().ActNextFolder);
    ExpectLayout(compact, true);
    EXPECT_TRUE(Shows(Form(), "#cc6633"));

    SettlePicture();
    // On before F2's picture is in, and back again: F2's answer comes too late, is not shown.
    Form().ActNextFolder->trigger();
    Form().ActPrevFolder->trigger();
    SettlePicture();
    Settle();
    ExpectLayout(compact, true);
    EXPECT_TRUE(Shows(Form(), "#cc6633"));
    Run(Form().ActNextFolder);
    ExpectLayout(compact, true);
    EXPECT_TRUE(Shows(Form(), "#3366cc")) << "kept although it came too late";
    // On to F3 and straight back to F0, which has none: the plain display stays.
    Run(Form().ActNextFolder);
    for (int i = 0; i < 3; ++i)
        Run(Form().ActPrevFolder);
    SettlePicture();
    ASSERT_EQ(FolderIndex(), 0);
    ExpectLayout(compact, false);
    EXPECT_TRUE(Messages.empty());
}

INSTANTIATE_TEST_SUITE_P(FullAndCompact, PictureArrival, ::testing::Bool(),
                         [](const auto& p) { return p.param ? "Compact" : "Full"; });

// A library copied from Windows: the picture's name in any letter case, next to the files that
// system's tools leave in music folders.
TEST_F(Layout, PicturesOfALibraryCopiedFromWindows) {
    const struct {
        const char* Folder;
        std::vector<std::pair<const char*, const char*>> Pictures; // name, colour
        const char* Shown;                                         // "" for the plain display
    } folders[] = {
        {"Artist/Album", {{"Folder.jpg", "#3366cc"}, {"AlbumArtSmall.jpg", "#cc6633"}}, "#3366cc"},
        {"Band/Live", {{"FOLDER.JPG", "#339966"}}, "#339966"},
        {"Band/Studio", {{"Folder.jpg", "#cc6633"}, {"folder.jpg", "#993399"}}, "#993399"},
        {"Choir", {{"AlbumArt_{5A1B}_Large.jpg", "#3366cc"}}, "#3366cc"},
    };
    for (const auto& f : folders) {
        const std::string folder = Dir / (std::string("lib/") + f.Folder);
        WriteFile(folder + "/01 Track.mp3", "not really audio");
        WriteFile(folder + "/desktop.ini", "[.ShellClassInfo]\r\n");
        WriteFile(folder + "/Thumbs.db", std::string(512, '\0'));
        for (const auto& [name, colour] : f.Pictures)
            ASSERT_TRUE(MakePicture(folder + "/" + name, colour));
    }
    LoadRoot(QString::fromStdString(Dir / "lib"));
    for (const auto& f : folders) {
        SCOPED_TRACE(f.Folder);
        ASSERT_EQ(Player->FolderPath(FolderIndex()),
                  QString::fromStdString(Dir / "lib/") + f.Folder);
        SettlePicture();
        const bool picture = *f.Shown != '\0';
        ExpectLayout(false, picture);
        if (picture) {
            EXPECT_TRUE(Shows(Form(), f.Shown));
        }
        Run(Form().ActNextFolder);
    }
}

struct TDamage {
    const char* Name;
    std::function<std::string(const std::string& goodJpeg)> Bytes;
};

class DamagedPicture : public Layout, public ::testing::WithParamInterface<TDamage> {};

TEST_P(DamagedPicture, ShowsThePlainDisplay) {
    MakeLibrary({1});
    const std::string good = Dir / "good.jpg";
    ASSERT_TRUE(MakePicture(good));
    std::ifstream in(good, std::ios::binary);
    const std::string jpeg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    WriteFile(Dir / "lib/F0/folder.jpg", GetParam().Bytes(jpeg));
    Load({1});
    SettlePicture();
    ExpectLayout(false, false);
    EXPECT_TRUE(Form().LblCopyright->isVisible());
    EXPECT_TRUE(Messages.empty());
    Run(Form().ActCompact);
    ExpectLayout(true, false);
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedPicture,
    ::testing::Values(
        TDamage{"Empty", [](const std::string&) { return std::string(); }},
        TDamage{"Text", [](const std::string&) { return std::string("not a picture at all\n"); }},
        TDamage{"HeaderOnly", [](const std::string& j) { return j.substr(0, 20); }},
        TDamage{"Truncated", [](const std::string& j) { return j.substr(0, j.size() / 3); }},
        TDamage{"MarkerSoup",
                [](const std::string& j) {
                    std::string s = j.substr(0, 2);
                    for (int i = 0; i < 2000; ++i)
                        s += "\xFF\xC0\x00\x02";
                    return s;
                }},
        TDamage{
            "PngInDisguise",
            [](const std::string&) { return std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16); }}),
    [](const auto& p) { return std::string(p.param.Name); });

// The natural width of a text in the title's face, as an auto-sized label measures it.
int NaturalWidth(const QLabel* label, const QString& text) {
    return QFontMetrics(label->font()).horizontalAdvance(text);
}

// A text of exactly the given natural width, made of two letters of different widths.
QString TextOfWidth(const QLabel* label, int width) {
    const QString pairs[][2] = {{"W", "i"}, {"M", "l"}, {"e", "i"}, {"o", "."}, {"n", "l"}};
    for (const auto& pair : pairs)
        for (int a = 0; a < 40; ++a)
            for (int b = 0; b < 60; ++b) {
                const QString s = pair[0].repeated(a) + pair[1].repeated(b);
                if (NaturalWidth(label, s) == width) return s;
            }
    return QString();
}

TEST_F(Layout, MarqueeStartsOnePixelBeyondTheBevelLessTen) {
    TFormControls& f = Form();
    const int usable = f.BvlDisplay->width() - 10;
    ASSERT_EQ(usable, 174);
    const QString fits = TextOfWidth(f.LblTitleTest, usable);
    const QString wider = TextOfWidth(f.LblTitleTest, usable + 1);
    ASSERT_FALSE(fits.isEmpty());
    ASSERT_FALSE(wider.isEmpty());
    WriteFile(Dir / "lib/t0.mp3", Mp3(fits.toStdString()));
    WriteFile(Dir / "lib/t1.mp3", Mp3(wider.toStdString()));
    WriteFile(Dir / "lib/t2.mp3", Mp3("Short"));
    LoadRoot(QString::fromStdString(Dir / "lib"));

    EXPECT_EQ(Window->State().TitleScrollPos, -1) << "exactly the usable width does not scroll";
    EXPECT_EQ(f.LblTitle->text(), fits);
    EXPECT_EQ(f.LblTitle->width(), f.LblTitle->sizeHint().width());
    EXPECT_EQ(f.LblTitle->x(), (200 - f.LblTitle->width()) / 2);
    EXPECT_EQ(Window->windowTitle(), QStringLiteral("Velodra :: ") + fits);

    SelectFile(1);
    EXPECT_EQ(Window->State().TitleText, wider);
    EXPECT_EQ(Window->State().TitleScrollPos, 0);
    EXPECT_EQ(f.LblTitle->width(), usable);
    EXPECT_EQ(f.LblTitle->x(), (200 - usable) / 2);
    EXPECT_EQ(f.LblTitle2->width(), usable);

    // Back to a short title: the label sizes itself again.
    SelectFile(2);
    EXPECT_EQ(Window->State().TitleScrollPos, -1);
    EXPECT_LT(f.LblTitle->width(), usable);
    EXPECT_EQ(f.LblTitle->width(), f.LblTitle->sizeHint().width());
}

TEST_F(Layout, MarqueeRotatesOncePerSecondAndWrapsToOne) {
    WriteFile(Dir / "lib/t.mp3", Mp3("A title far too wide for the display panel"));
    LoadRoot(QString::fromStdString(Dir / "lib"));
    const TWindowState state = Window->State();
    ASSERT_EQ(state.TitleScrollPos, 0);
    const QString s = state.TitleText + QStringLiteral("    ");
    const int n = static_cast<int>(s.size());
    const auto rotation = [&](int r) { return s.mid(r) + s.left(r); };
    Tick(9);
    EXPECT_EQ(Form().LblTitle->text(), state.TitleText) << "nothing before the first second";
    for (int step = 0; step <= 2 * n + 3; ++step) {
        Tick(10);
        const int r = step == 0 ? 0 : (step - 1) % n + 1;
        ASSERT_EQ(Form().LblTitle->text(), rotation(r)) << "step " << step;
        ASSERT_EQ(Form().LblTitle2->text(), rotation(r)) << "step " << step;
    }
    EXPECT_EQ(rotation(n), s);
}

TEST_F(Layout, ChannelModeAnimationPhasesAndPause) {
    Device->DefaultLength = 600000;
    for (const char* name : {"lib/F0/t00.mp3", "lib/F0/t01.mp3"})
        WriteFile(Dir / name, Mp3(""));
    LoadRoot(QString::fromStdString(Dir / "lib"));
    const QString mode = Player->MediaInfo.ChannelMode;
    ASSERT_FALSE(mode.isEmpty());
    QLabel* label = Form().LblMode;
    const auto form = [&](int phase) {
        const int depth = phase / 3;
        return QStringLiteral("(").repeated(depth) + (depth ? QStringLiteral(" ") : QString()) +
               mode + (depth ? QStringLiteral(" ") : QString()) +
               QStringLiteral(")").repeated(depth);
    };
    EXPECT_EQ(form(9), QStringLiteral("((( ") + mode + QStringLiteral(" )))"));

    Tick(10);
    EXPECT_EQ(label->text(), mode) << "stopped: no animation";
    EXPECT_EQ(Window->State().LblModeTag, 0);

    Run(Form().ActPlay);
    for (int k = 1; k <= 26; ++k) {
        Tick(5);
        ASSERT_EQ(Window->State().LblModeTag, k % 12) << k;
        ASSERT_EQ(label->text(), form(k % 12)) << k;
        ASSERT_EQ(label->x(), (200 - label->width()) / 2) << k;
        ASSERT_EQ(label->width(), label->sizeHint().width()) << k;
    }
    // Phase 2 now; on to phase 4, then pause.
    Tick(10);
    ASSERT_EQ(label->text(), form(4));
    Run(Form().ActPause);
    Tick(40);
    EXPECT_EQ(Window->State().LblModeTag, 4) << "a pause freezes the animation";
    EXPECT_EQ(label->text(), form(4));
    Run(Form().ActPause);
    Tick(5);
    EXPECT_EQ(Window->State().LblModeTag, 5);
    Tick(5);
    EXPECT_EQ(label->text(), form(6));

    // A new file starts over at phase 0.
    Run(Form().ActNextFile);
    EXPECT_EQ(Window->State().LblModeTag, 0);
    EXPECT_EQ(label->text(), mode);
    ASSERT_TRUE(Session->IsPlaying());
    Tick(15);
    EXPECT_EQ(label->text(), form(3));

    Run(Form().ActStop);
    EXPECT_EQ(label->text(), mode) << "stop shows the plain mode";
    Tick(30);
    EXPECT_EQ(label->text(), mode);
}

class CopyrightBlink : public Layout, public ::testing::WithParamInterface<bool> {};

TEST_P(CopyrightBlink, AtTheMinutesWrapOnlyOverAPicture) {
    const bool picture = GetParam();
    MakeLibrary({1, 1});
    if (picture) {
        ASSERT_TRUE(MakePicture(Dir / "lib/F0/folder.jpg"));
    }
    Load({1, 1});
    SettlePicture();
    ASSERT_EQ(Form().ImgFolder1->isVisible(), picture);
    QLabel* copyright = Form().LblCopyright;
    QLabel* shadow = Form().LblCopyright2;
    Tick(599);
    EXPECT_TRUE(copyright->isVisible()) << "not before the minute";
    EXPECT_EQ(Window->State().TmrMainTag, 59900);
    Tick(1);
    EXPECT_EQ(Window->State().TmrMainTag, 0);
    EXPECT_EQ(copyright->isVisible(), !picture);
    EXPECT_FALSE(shadow->isVisible());
    Tick(600);
    EXPECT_TRUE(copyright->isVisible());
    EXPECT_EQ(shadow->isVisible(), picture);
    if (picture) {
        Tick(600);
        ASSERT_FALSE(copyright->isVisible());
        Run(Form().ActNextFolder); // to the plain display: the label is back for good
        EXPECT_TRUE(copyright->isVisible());
        EXPECT_FALSE(shadow->isVisible());
        Tick(600);
        EXPECT_TRUE(copyright->isVisible());
    }
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutPicture, CopyrightBlink, ::testing::Bool(),
                         [](const auto& p) { return p.param ? "Picture" : "Plain"; });

TEST_F(Layout, TranslucentOnlyOnceThePointerHasLeft) {
    EXPECT_DOUBLE_EQ(Window->windowOpacity(), 1.0);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(Window.get(), &leave);
    EXPECT_NEAR(Window->windowOpacity(), 200.0 / 255.0, 0.002);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(205, 129));
    QApplication::sendEvent(Window.get(), &enter);
    EXPECT_DOUBLE_EQ(Window->windowOpacity(), 1.0);
}

TEST_F(Layout, GrowingBackToFullHeightStaysOnTheScreen) {
    const QRect area = Window->screen()->availableGeometry();
    Run(Form().ActCompact);
    ASSERT_EQ(Window->height(), 150);
    // The compact window fits just above the bottom edge; the full one would not.
    Window->move(area.left() + 40, area.bottom() - 160);
    ASSERT_TRUE(area.contains(Window->frameGeometry()));
    Run(Form().ActCompact);
    EXPECT_EQ(Window->height(), 200);
    EXPECT_TRUE(area.contains(Window->frameGeometry()))
        << Window->frameGeometry().bottom() << " below " << area.bottom();
    EXPECT_EQ(Window->frameGeometry().bottom(), area.bottom());
    EXPECT_EQ(Window->x(), area.left() + 40) << "only moved as far as needed";
}

} // namespace
