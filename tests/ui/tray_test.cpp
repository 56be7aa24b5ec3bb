// The notification-area icon: its tips, frames, clicks and menu; minimising and restoring.
#include "WindowFixture.h"

#include "ui/Icons.h"

#include <QMenu>
#include <QSystemTrayIcon>
#include <tuple>

using testsupport::TWindowFixture;

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
    ASSERT_TRUE((Window->TrayIconObject() != nullptr));
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

TEST_F(Tray, TipGivesWhoPlaysALineWhereTheTimeStillFits) {
    Load({2});
    Player->MediaInfo.Title = QStringLiteral("Intro");
    const QString many = QStringLiteral("x").repeated(100);
    const std::tuple<QString, QString, QString> cases[] = {{"Ann", "Live", "Ann - Live\r"},
                                                           {"", "Live", "Live\r"},
                                                           {"Ann", many, "Ann\r"},
                                                           {many, "", ""}};
    for (const auto& [artist, album, who] : cases) {
        Player->MediaInfo.Artist = artist;
        Player->MediaInfo.Album = album;
        EXPECT_EQ(Window->TrayTip(false), "Velodra\rIntro\r" + who + "00:00 - 00:06");
    }
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
    EXPECT_EQ(Window->State().TrayFrame, 0) << "stopped: no animation";
    Run(Form().ActPlay);
    const int want[] = {1, 2, 0, 1, 2};
    for (int n : want) {
        Tick(9);
        const int before = Window->State().TrayFrame;
        Tick(1);
        ASSERT_NE(Window->State().TrayFrame, before) << "the frame changes at the full second";
        ASSERT_EQ(Window->State().TrayFrame, n);
        ASSERT_EQ(IconImage(), FrameImage(n)) << n;
    }
    Run(Form().ActPause);
    const QString tip = Tip();
    Tick(30);
    EXPECT_EQ(Window->State().TrayFrame, 2) << "paused: the icon rests";
    EXPECT_EQ(Tip(), tip);
    Run(Form().ActPause);
    Tick(10);
    EXPECT_EQ(Window->State().TrayFrame, 0);
    Run(Form().ActStop);
    Tick(30);
    EXPECT_EQ(Window->State().TrayFrame, 0);
    EXPECT_EQ(IconImage(), FrameImage(0));
}

TEST_F(Tray, NoIconNoAnimation) {
    Device->DefaultLength = 600000;
    Load({1});
    Run(Form().ActPlay);
    Tick(30);
    EXPECT_FALSE((Window->TrayIconObject() != nullptr));
    EXPECT_EQ(Window->State().TrayFrame, 0);
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
    EXPECT_TRUE(Window->State().Minimized);
    EXPECT_EQ((Window->TrayIconObject() != nullptr), toTray && tray);
    EXPECT_EQ(Window->isHidden(), toTray && tray) << "hidden only when the icon stands in";
    Run(Form().ActRestore);
    QCoreApplication::processEvents();
    EXPECT_FALSE(Window->State().Minimized);
    EXPECT_FALSE((Window->TrayIconObject() != nullptr));
    EXPECT_TRUE(Window->isVisible());
    EXPECT_FALSE(Window->windowState() & Qt::WindowMinimized);
}

INSTANTIATE_TEST_SUITE_P(ToTrayOnAndOff, Minimise, ::testing::Bool(),
                         [](const auto& p) { return p.param ? "ToTray" : "Plain"; });

// A single click (all a StatusNotifierItem host sends) restores, as a double click does.
TEST_F(Tray, IconClicksSingleAndDoubleRestoreRightOpensTheMenu) {
    Form().ActMinimizeToTray->setChecked(true);
    Window->showMinimized();
    // Stand in for the notification area: the icon and the hidden window.
    Window->AddTrayIcon();
    Window->hide();
    QSystemTrayIcon* icon = Window->TrayIconObject();
    ASSERT_NE(icon, nullptr);
    emit icon->activated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(Window->isHidden());
    EXPECT_FALSE((Window->TrayIconObject() != nullptr));
    EXPECT_FALSE(Window->State().Minimized);
    Window->showMinimized();
    Window->AddTrayIcon();
    Window->hide();

    emit Window->TrayIconObject()->activated(QSystemTrayIcon::Context);
    EXPECT_TRUE(Form().PUTray->isVisible());
    EXPECT_EQ(Form().PUTray->defaultAction(), Form().ActRestore);
    Form().PUTray->close();

    emit Window->TrayIconObject()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_FALSE((Window->TrayIconObject() != nullptr));
    EXPECT_TRUE(Window->isVisible());
    EXPECT_FALSE(Window->State().Minimized);
}

TEST_F(Tray, ClosingRemovesTheIcon) {
    Window->AddTrayIcon();
    Window->close();
    EXPECT_FALSE((Window->TrayIconObject() != nullptr));
}

} // namespace
