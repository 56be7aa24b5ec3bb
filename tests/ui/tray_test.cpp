// The window outside its own area and under the pointer: the tray icon's tips, frames,
// minimising and restoring; dropped folders and files; which spots drag the window; the about
// box.
#include "WindowFixture.h"

#include "ui/Icons.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QSystemTrayIcon>
#include <QTest>
#include <QUrl>
#include <cstdlib>
#include <filesystem>
#include <functional>

using testsupport::GenerateTone;
using testsupport::TWindowFixture;
using testsupport::WriteFile;

namespace {

class Tray : public TWindowFixture {
protected:
    void SetUp() override {
        TWindowFixture::SetUp();
        ShowAndStart();
    }
    QString Tip() const {
        return Window->TrayIconObject() ? Window->TrayIconObject()->toolTip() : QString();
    }
    QImage IconImage() const {
        return Window->TrayIconObject()->icon().pixmap(16, 16).toImage().convertToFormat(
            QImage::Format_ARGB32);
    }
    static QImage FrameImage(int i) {
        return TrayFrame(i).pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
    }
};

TEST_F(Tray, TipIsShortWithoutATitleAndLongAfterTheFirstStep) {
    Load({2});
    EXPECT_EQ(Window->TrayTip(false), QStringLiteral("Velodra"));
    Window->AddTrayIcon();
    ASSERT_TRUE(Window->HasTrayIcon());
    EXPECT_EQ(Tip(), QStringLiteral("Velodra"));
    Run(Form().ActPlay);
    Tick(9);
    EXPECT_EQ(Tip(), QStringLiteral("Velodra"));
    Tick(1);
    EXPECT_EQ(Tip(), QStringLiteral("Velodra\n\n00:00 - 00:06")) << "an empty title line";
    Tick(20);
    EXPECT_EQ(Tip(), QStringLiteral("Velodra\n\n00:03 - 00:06"));
}

TEST_F(Tray, TipWithATitleTurnsCarriageReturnsIntoLineBreaks) {
    Load({2});
    Player->MediaInfo.Title = QStringLiteral("Side A\r\nPart\rTwo");
    EXPECT_EQ(Window->TrayTip(false),
              QStringLiteral("Velodra\rSide A\r\nPart\rTwo\r00:00 - 00:06"));
    Window->AddTrayIcon();
    EXPECT_EQ(Tip(), QStringLiteral("Velodra\nSide A\nPart\nTwo\n00:00 - 00:06"));
    EXPECT_FALSE(Tip().contains(QLatin1Char('\r')));
}

TEST_F(Tray, OverlongTipIsShortenedWithDots) {
    Load({2});
    Player->MediaInfo.Title = QStringLiteral("0123456789").repeated(30);
    Window->AddTrayIcon();
    EXPECT_EQ(Tip().size(), 127);
    EXPECT_TRUE(Tip().endsWith(QStringLiteral("..."))) << qPrintable(Tip());
    EXPECT_TRUE(Tip().startsWith(QStringLiteral("Velodra\n0123456789")));
    // A tip that fits is not touched.
    Player->MediaInfo.Title = QStringLiteral("x").repeated(127 - 22);
    Window->ModifyTrayIcon(nullptr, Window->TrayTip(false));
    EXPECT_EQ(Tip().size(), 127);
    EXPECT_TRUE(Tip().endsWith(QStringLiteral("00:00 - 00:06")));
}

TEST_F(Tray, FramesRunOneTwoZeroOnlyWhilePlaying) {
    Device->DefaultLength = 600000;
    Load({1});
    Window->AddTrayIcon();
    EXPECT_EQ(IconImage(), FrameImage(0));
    Tick(30);
    EXPECT_EQ(Window->TrayFrame, 0) << "stopped: no animation";
    Run(Form().ActPlay);
    const int want[] = {1, 2, 0, 1, 2};
    for (int n : want) {
        Tick(9);
        const int before = Window->TrayFrame;
        Tick(1);
        ASSERT_NE(Window->TrayFrame, before) << "the frame changes at the full second";
        ASSERT_EQ(Window->TrayFrame, n);
        ASSERT_EQ(IconImage(), FrameImage(n)) << n;
    }
    Run(Form().ActPause);
    const QString tip = Tip();
    Tick(30);
    EXPECT_EQ(Window->TrayFrame, 2) << "paused: the icon rests";
    EXPECT_EQ(Tip(), tip);
    Run(Form().ActPause);
    Tick(10);
    EXPECT_EQ(Window->TrayFrame, 0);
    Run(Form().ActStop);
    Tick(30);
    EXPECT_EQ(Window->TrayFrame, 0);
    EXPECT_EQ(IconImage(), FrameImage(0));
}

TEST_F(Tray, NoIconNoAnimation) {
    Device->DefaultLength = 600000;
    Load({1});
    Run(Form().ActPlay);
    Tick(30);
    EXPECT_FALSE(Window->HasTrayIcon());
    EXPECT_EQ(Window->TrayFrame, 0);
}

class Minimise : public Tray, public ::testing::WithParamInterface<bool> {};

// Offscreen (and on a desktop without a notification area) there is no tray: the option then
// gives an ordinary minimise. Where a tray exists the icon replaces the window.
TEST_P(Minimise, SetsMinimizedAndRestoreClearsIt) {
    const bool toTray = GetParam();
    const bool tray = QSystemTrayIcon::isSystemTrayAvailable();
    Form().ActMinimizeToTray->setChecked(toTray);
    Window->showMinimized();
    QCoreApplication::processEvents();
    EXPECT_TRUE(Window->Minimized);
    EXPECT_EQ(Window->HasTrayIcon(), toTray && tray);
    EXPECT_EQ(Window->isHidden(), toTray && tray) << "hidden only when the icon stands in";
    Run(Form().ActRestore);
    QCoreApplication::processEvents();
    EXPECT_FALSE(Window->Minimized);
    EXPECT_FALSE(Window->HasTrayIcon());
    EXPECT_TRUE(Window->isVisible());
    EXPECT_FALSE(Window->windowState() & Qt::WindowMinimized);
}

INSTANTIATE_TEST_SUITE_P(ToTrayOnAndOff, Minimise, ::testing::Bool(),
                         [](const auto& p) { return p.param ? "ToTray" : "Plain"; });

TEST_F(Tray, IconClicksSingleDoesNothingDoubleRestoresRightOpensTheMenu) {
    Form().ActMinimizeToTray->setChecked(true);
    Window->showMinimized();
    // Stand in for the notification area: the icon and the hidden window.
    Window->AddTrayIcon();
    Window->hide();
    QSystemTrayIcon* icon = Window->TrayIconObject();
    ASSERT_NE(icon, nullptr);
    emit icon->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(Window->isHidden());
    EXPECT_TRUE(Window->HasTrayIcon());
    EXPECT_TRUE(Window->Minimized);

    emit icon->activated(QSystemTrayIcon::Context);
    EXPECT_TRUE(Window->PUTray->isVisible());
    EXPECT_EQ(Window->PUTray->defaultAction(), Form().ActRestore);
    Window->PUTray->close();

    emit Window->TrayIconObject()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_FALSE(Window->HasTrayIcon());
    EXPECT_TRUE(Window->isVisible());
    EXPECT_FALSE(Window->Minimized);
}

TEST_F(Tray, ClosingRemovesTheIcon) {
    Window->AddTrayIcon();
    Window->close();
    EXPECT_FALSE(Window->HasTrayIcon());
}

// ---- drops ----

struct TDropCase {
    const char* Name;
    std::vector<std::string> Items; // relative to the test folder
    std::string Root;               // the root afterwards; empty: unchanged
    std::string Refused;            // the item named in the message; empty: none
};

class Drop : public Tray, public ::testing::WithParamInterface<TDropCase> {
protected:
    void SetUp() override {
        Tray::SetUp();
        WriteFile(Dir / "A/a1.mp3", "x");
        WriteFile(Dir / "B/b1.mp3", "x");
        WriteFile(Dir / "B/b2.mp3", "x");
        WriteFile(Dir / "it's.mp3", "x");
        Load({1});
    }
    void SendDrop(const std::vector<std::string>& items) {
        QList<QUrl> urls;
        for (const std::string& item : items)
            urls << QUrl::fromLocalFile(QString::fromStdString(Dir / item));
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(Window.get(), &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Window.get(), &drop);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
};

TEST_P(Drop, FirstItemDecides) {
    const TDropCase& c = GetParam();
    const QString before = Player->RootFolder;
    SendDrop(c.Items);
    const QString want = c.Root.empty() ? before : QString::fromStdString(Dir / c.Root);
    EXPECT_EQ(Player->RootFolder, want);
    if (c.Refused.empty()) {
        EXPECT_TRUE(Messages.empty())
            << qPrintable(Messages.empty() ? QString() : Messages[0].Text);
        EXPECT_GT(Form().edFile->count(), 0);
        return;
    }
    ASSERT_EQ(Messages.size(), 1u);
    QString quoted = QString::fromStdString(Dir / c.Refused);
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    EXPECT_EQ(Messages[0].Text,
              QStringLiteral("'") + quoted + QStringLiteral("' is not a folder."));
    EXPECT_EQ(Messages[0].Icon, TMsgIcon::Error);
    EXPECT_EQ(Form().edFolder->count(), 1) << "the library stays";
}

std::string LongFolder() {
    std::string p = "deep";
    while (p.size() < 400)
        p += "/a_rather_long_folder_name_to_pass_the_old_limit";
    return p;
}

INSTANTIATE_TEST_SUITE_P(Items, Drop,
                         ::testing::Values(TDropCase{"Folder", {"A"}, "A", ""},
                                           TDropCase{"TwoFolders", {"B", "A"}, "B", ""},
                                           TDropCase{"File", {"A/a1.mp3"}, "", "A/a1.mp3"},
                                           TDropCase{"FileWithQuote", {"it's.mp3"}, "", "it's.mp3"},
                                           TDropCase{
                                               "FileThenFolder", {"A/a1.mp3", "B"}, "", "A/a1.mp3"},
                                           TDropCase{"Vanished", {"gone"}, "", "gone"}),
                         [](const auto& p) { return std::string(p.param.Name); });

TEST_F(Drop, PathBeyondTheOldLengthLimit) {
    const std::string folder = LongFolder();
    WriteFile(Dir / (folder + "/x.mp3"), "x");
    ASSERT_GT((Dir / folder).size(), 400u);
    SendDrop({folder});
    EXPECT_EQ(Player->RootFolder, QString::fromStdString(Dir / folder));
    EXPECT_EQ(Form().edFile->count(), 1);
    EXPECT_TRUE(Messages.empty());
}

TEST_F(Drop, TextWithoutUrlsIsNotTaken) {
    QMimeData data;
    data.setText(QString::fromStdString(Dir / "A"));
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QApplication::sendEvent(Window.get(), &enter);
    EXPECT_FALSE(enter.isAccepted());
}

// ---- dragging by the body ----

struct TSpot {
    const char* Name;
    std::function<QWidget*(Ui::TFormVelodra&)> Control; // what lies at the spot
    std::function<QPoint(Ui::TFormVelodra&)> At;
    bool Drags;
};

QPoint Centre(QWidget* w) {
    return w->mapTo(w->window(), w->rect().center());
}

class Spots : public Tray, public ::testing::WithParamInterface<TSpot> {
protected:
    void SetUp() override {
        Tray::SetUp();
        ASSERT_TRUE(GenerateTone(Dir / "lib/F0/t00.mp3", 0.5, "-c:a libmp3lame -b:a 128k"));
        const std::string cmd =
            "convert -size 200x200 xc:'#208040' '" + Dir / "lib/F0/folder.jpg" + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        Window->SetRootFolder(QString::fromStdString(Dir / "lib"));
        Window->UpdateCommandStates();
        SettlePicture();
        ASSERT_TRUE(Form().ImgFolder1->isVisible());
        ASSERT_FALSE(Form().LblMode->text().isEmpty());
        ASSERT_FALSE(Form().LblBitRate->text().isEmpty());
    }
};

TEST_P(Spots, DragOrNot) {
    const TSpot& s = GetParam();
    const QPoint p = s.At(Form());
    QWidget* under = Window->childAt(p);
    QWidget* want = s.Control(Form());
    // The spot must really be over the control meant (or inside it).
    ASSERT_TRUE(under == want || (under && want && want->isAncestorOf(under)))
        << "at " << p.x() << "," << p.y() << " lies "
        << qPrintable(under ? under->objectName() + " " + under->metaObject()->className()
                            : QStringLiteral("nothing"));
    EXPECT_EQ(Window->DragsWindow(p), s.Drags);
}

using UF = Ui::TFormVelodra;
INSTANTIATE_TEST_SUITE_P(
    Controls, Spots,
    ::testing::Values(
        TSpot{"Mode", [](UF& f) { return f.LblMode; }, [](UF& f) { return Centre(f.LblMode); },
              true},
        TSpot{"BitRate", [](UF& f) { return f.LblBitRate; },
              [](UF& f) { return Centre(f.LblBitRate); }, true},
        TSpot{"PositionShadow", [](UF& f) { return f.LblPosition2; },
              [](UF& f) { return f.LblPosition2->geometry().bottomRight(); }, true},
        TSpot{"TitleShadow", [](UF& f) { return f.LblTitle2; },
              [](UF& f) { return f.LblTitle2->geometry().bottomLeft() + QPoint(2, 0); }, true},
        TSpot{"Bevel", [](UF& f) { return f.BvlDisplay; },
              [](UF& f) { return QPoint(f.BvlDisplay->x(), 40); }, true},
        TSpot{"Picture", [](UF& f) { return f.ImgFolder1; }, [](UF&) { return QPoint(3, 110); },
              true},
        TSpot{"Title", [](UF& f) { return f.LblTitle; }, [](UF& f) { return Centre(f.LblTitle); },
              false},
        TSpot{"Position", [](UF& f) { return f.LblPosition; },
              [](UF& f) { return Centre(f.LblPosition); }, false},
        TSpot{"Duration", [](UF& f) { return f.LblDuration; },
              [](UF& f) { return Centre(f.LblDuration); }, false},
        TSpot{"Repeat", [](UF& f) { return f.LblLoop; }, [](UF& f) { return Centre(f.LblLoop); },
              false},
        TSpot{"Random", [](UF& f) { return f.LblShuffle; },
              [](UF& f) { return Centre(f.LblShuffle); }, false},
        TSpot{"Copyright", [](UF& f) { return f.LblCopyright; },
              [](UF& f) { return Centre(f.LblCopyright); }, false},
        TSpot{"FolderList", [](UF& f) { return f.edFolder; },
              [](UF& f) { return Centre(f.edFolder); }, false},
        TSpot{"FileList", [](UF& f) { return f.edFile; }, [](UF& f) { return Centre(f.edFile); },
              false},
        TSpot{"Bar", [](UF& f) { return f.ProgressBar1; },
              [](UF& f) { return Centre(f.ProgressBar1); }, false},
        TSpot{"ToolButton", [](UF& f) { return f.BtnNextFolder; },
              [](UF& f) { return Centre(f.BtnNextFolder); }, false}),
    [](const auto& p) { return std::string(p.param.Name); });

TEST_F(Tray, PlainDisplayAndEmptySpotsDrag) {
    const QPoint panel(15, 40);
    ASSERT_EQ(Window->childAt(panel), Form().Shape1);
    EXPECT_TRUE(Window->DragsWindow(panel));
    const QPoint empty(3, 110);
    ASSERT_EQ(Window->childAt(empty), nullptr);
    EXPECT_TRUE(Window->DragsWindow(empty));
}

TEST_F(Tray, TitleClickTogglesCompactAndRightClickOpensTheWindowMenu) {
    QTest::mouseClick(Form().LblTitle, Qt::LeftButton);
    EXPECT_TRUE(Form().ActCompact->isChecked());
    EXPECT_EQ(Window->height(), 150);
    QTest::mouseClick(Form().LblTitle, Qt::LeftButton);
    EXPECT_FALSE(Form().ActCompact->isChecked());

    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(15, 40),
                           Window->mapToGlobal(QPoint(15, 40)));
    QApplication::sendEvent(Window.get(), &menu);
    EXPECT_TRUE(Window->PopupMenu1->isVisible());
    Window->PopupMenu1->close();
}

// ---- about box ----

TEST_F(Tray, AboutWithoutAFileEndsAfterTheCountryLine) {
    Window->ActAboutExecute();
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

TEST_F(Tray, AboutWithAFileNamesFolderFileAndCounts) {
    Load({2, 1});
    Run(Form().ActNextFolder);
    Window->ActAboutExecute();
    ASSERT_EQ(Messages.size(), 1u);
    const QString& text = Messages[0].Text;
    EXPECT_TRUE(text.contains(QStringLiteral("\r\rCurrent media:\r"))) << qPrintable(text);
    EXPECT_TRUE(text.contains(QStringLiteral("\r    Folder: F1\r")));
    EXPECT_TRUE(text.contains(QStringLiteral("\r    File: t00.mp3\r")));
    EXPECT_TRUE(
        text.contains(QStringLiteral("\r    Root: ") + Player->RootFolder + QLatin1Char('\r')));
    EXPECT_TRUE(text.endsWith(QStringLiteral("\r    Count: 2 folders, 3 files")))
        << qPrintable(text);
}

TEST_F(Tray, AboutWithTheRootSelectedHasNoFolderLine) {
    WriteFile(Dir / "lib/top.mp3", "x");
    Load({1});
    const int root = Form().edFolder->findText(QStringLiteral("."));
    ASSERT_GE(root, 0);
    Form().edFolder->setCurrentIndex(root);
    Window->edFolderChange();
    Window->ActAboutExecute();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_FALSE(Messages[0].Text.contains(QStringLiteral("Folder:")))
        << qPrintable(Messages[0].Text);
    EXPECT_TRUE(Messages[0].Text.contains(QStringLiteral("\r    File: top.mp3\r")));
}

} // namespace
