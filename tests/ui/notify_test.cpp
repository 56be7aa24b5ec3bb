// The pop-up: its fade timeline (driven step by step), reuse, the title fitting, the corner it
// sits in, and that it leaves the keyboard where it was.
#include "ui/Fonts.h"
#include "ui/Language.h"
#include "ui/UFormNotify.h"

#include "support/Poll.h"

#include <QAccessible>
#include <QApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using testsupport::WaitFor;

class NotifyTest : public ::testing::Test {
protected:
    void TearDown() override {
        // Each test starts without a pop-up.
        delete FormNotify;
        FormNotify = nullptr;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    static void DeletePending() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

// Read by a screen reader as a notification, title and information.
TEST_F(NotifyTest, AnnouncedAsANotification) {
    InstallAccessibleRoles();
    ShowNotify(QStringLiteral("Intro "), QStringLiteral("03:25  44.1 kHz  128 kbps"));
    ASSERT_NE(FormNotify, nullptr);
    const QAccessibleInterface* read = QAccessible::queryAccessibleInterface(FormNotify);
    EXPECT_EQ(read->role(), QAccessible::Notification);
    EXPECT_EQ(read->text(QAccessible::Name), QStringLiteral("Intro"));
    EXPECT_EQ(read->text(QAccessible::Description), QStringLiteral("03:25  44.1 kHz  128 kbps"));
    // Who plays gets a line of its own; the pop-up grows by it.
    ShowNotify(QStringLiteral("Intro "), QStringLiteral("03:25"), QStringLiteral("Ann"), "Live");
    EXPECT_EQ(read->text(QAccessible::Description), QStringLiteral("Ann - Live\n03:25"));
    EXPECT_EQ(FormNotify->height(), 58 + 12);
}

TEST_F(NotifyTest, StaysOpaqueThenFadesBy32AndClosesOnTheEighthTick) {
    ShowNotify(QStringLiteral("Intro "), QStringLiteral("03:25  44.1 kHz  128 kbps"));
    ASSERT_NE(FormNotify, nullptr);
    QPointer<TFormNotify> form = FormNotify;
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->AlphaBlendValue(), 255);
    EXPECT_DOUBLE_EQ(form->windowOpacity(), 1.0);
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(form->Timer1->interval(), 1000);

    for (int expected : {223, 191, 159, 127, 95, 63, 31}) {
        form->Timer1Timer();
        ASSERT_EQ(FormNotify, form.data()) << "closed early, before alpha " << expected;
        EXPECT_EQ(form->AlphaBlendValue(), expected);
        EXPECT_TRUE(form->AlphaBlend());
        EXPECT_NEAR(form->windowOpacity(), expected / 255.0, 0.5 / 255);
        EXPECT_TRUE(form->Timer1->isActive());
    }
    form->Timer1Timer();
    EXPECT_EQ(FormNotify, nullptr);
    DeletePending();
    EXPECT_TRUE(form.isNull()) << "the pop-up must delete itself once closed";

    // The next file gets a fresh, opaque pop-up.
    ShowNotify(QStringLiteral("Next "), QStringLiteral("01:00"));
    ASSERT_NE(FormNotify, nullptr);
    EXPECT_TRUE(FormNotify->isVisible());
    EXPECT_EQ(FormNotify->AlphaBlendValue(), 255);
}

TEST_F(NotifyTest, SecondStartWithinEightSecondsReusesThePopUpAndRestartsTheFade) {
    ShowNotify(QStringLiteral("First "), QStringLiteral("02:00  44.1 kHz  128 kbps"));
    QPointer<TFormNotify> form = FormNotify;
    ASSERT_FALSE(form.isNull());
    for (int i = 0; i < 5; ++i)
        form->Timer1Timer();
    ASSERT_EQ(form->AlphaBlendValue(), 95);

    ShowNotify(QStringLiteral("Second "), QStringLiteral("04:10  48 kHz  192 kbps"));
    EXPECT_EQ(FormNotify, form.data());
    EXPECT_EQ(form->AlphaBlendValue(), 255);
    EXPECT_DOUBLE_EQ(form->windowOpacity(), 1.0);
    EXPECT_EQ(form->Label1->text(), QStringLiteral("Second "));
    EXPECT_EQ(form->Label2->text(), QStringLiteral("04:10  48 kHz  192 kbps"));
    EXPECT_TRUE(form->Timer1->isActive());

    // The full eight seconds start again.
    for (int i = 0; i < 7; ++i)
        form->Timer1Timer();
    EXPECT_EQ(FormNotify, form.data());
    form->Timer1Timer();
    EXPECT_EQ(FormNotify, nullptr);
}

TEST_F(NotifyTest, TitleIsCutWithDotsToFitTheInformationLine) {
    const QString titles[] = {
        QStringLiteral("Intro "),
        QStringLiteral("A title of a song that is far too long for the pop-up "),
        QStringLiteral("WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW "),
        QStringLiteral("   padded and much too long for the small pop-up window   "),
        QString::fromUtf8(
            "\xF0\x9D\x84\x9E\xF0\x9D\x84\x9E\xF0\x9D\x84\x9E\xF0\x9D\x84\x9E\xF0\x9D\x84\x9E"
            "\xF0\x9D\x84\x9E\xF0\x9D\x84\x9E\xF0\x9D\x84\x9E\xF0\x9D\x84\x9E\xF0\x9D\x84\x9E"
            "\xF0\x9D\x84\x9E\xF0\x9D\x84\x9E\xF0\x9D\x84\x9E\xF0\x9D\x84\x9E\xF0\x9D\x84\x9E "),
    };
    for (const QString& title : titles) {
        SCOPED_TRACE(title.toStdString());
        ShowNotify(title, QStringLiteral("03:00"));
        ASSERT_NE(FormNotify, nullptr);
        const QLabel* label = FormNotify->Label1;
        const QFontMetrics fm = label->fontMetrics();
        const int width = FormNotify->Label2->width();
        ASSERT_EQ(width, 137);
        EXPECT_EQ(label->width(), width);
        const QString shown = label->text();
        if (fm.horizontalAdvance(title) <= width) {
            EXPECT_EQ(shown, title) << "a title that fits keeps its trailing space";
            continue;
        }
        ASSERT_TRUE(shown.endsWith(QStringLiteral("...")));
        EXPECT_LE(fm.horizontalAdvance(shown), width);
        const QString kept = shown.chopped(3);
        const QString trimmed = title.trimmed();
        EXPECT_TRUE(trimmed.startsWith(kept));
        EXPECT_FALSE(kept.isEmpty());
        EXPECT_FALSE(kept.back().isHighSurrogate()) << "a surrogate pair was split";
        // Cut no more than needed: one more character would not fit.
        const qsizetype next = trimmed.at(kept.size()).isHighSurrogate() ? 2 : 1;
        EXPECT_GT(fm.horizontalAdvance(trimmed.left(kept.size() + next) + QStringLiteral("...")),
                  width);
    }
}

// With the main window hidden in the tray, the pop-up is the only window on screen; its
// closing must not count as the last window closing, which would end the program.
TEST_F(NotifyTest, ClosingThePopUpDoesNotEndTheProgram) {
    // Only a running event loop ends on the last window; run one around the whole life.
    int lastClosed = 0;
    bool ranToTheEnd = false;
    const auto connection =
        QObject::connect(qApp, &QGuiApplication::lastWindowClosed, [&] { ++lastClosed; });
    QTimer::singleShot(0, [] {
        ShowNotify(QStringLiteral("Alone "), QStringLiteral("01:00"));
        for (int i = 0; i < 8 && FormNotify; ++i)
            FormNotify->Timer1Timer();
    });
    QTimer::singleShot(300, [&] {
        ranToTheEnd = true;
        QCoreApplication::exit(0);
    });
    QCoreApplication::exec();
    QObject::disconnect(connection);
    EXPECT_EQ(FormNotify, nullptr);
    EXPECT_TRUE(ranToTheEnd) << "closing the pop-up ended the event loop";
    EXPECT_EQ(lastClosed, 0);
}

TEST_F(NotifyTest, SitsInTheLowerRightCornerOfTheWorkArea) {
    ShowNotify(QStringLiteral("Corner "), QStringLiteral("00:30"));
    ASSERT_NE(FormNotify, nullptr);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(FormNotify->size(), QSize(180, 58));
    EXPECT_EQ(FormNotify->frameGeometry().bottomRight(), area.bottomRight());

    // A work area that does not begin at 0, 0 (a panel on the left or at the top).
    struct {
        QRect Area;
        QPoint Expected;
    } const cases[] = {
        {QRect(0, 0, 1024, 768), QPoint(844, 710)},
        {QRect(64, 0, 960, 768), QPoint(844, 710)},
        {QRect(0, 32, 1280, 992), QPoint(1100, 966)},
        {QRect(1920, 0, 1280, 1024), QPoint(3020, 966)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NotifyPosition(c.Area, QSize(180, 58)), c.Expected);
}

TEST_F(NotifyTest, LeavesTheKeyboardFocusWhereItWas) {
    QWidget window;
    auto* edit = new QLineEdit(&window);
    window.show();
    QApplication::setActiveWindow(&window);
    edit->setFocus();
    QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), &window);

    ShowNotify(QStringLiteral("Quiet "), QStringLiteral("01:00"));
    QCoreApplication::processEvents();
    ASSERT_NE(FormNotify, nullptr);
    EXPECT_TRUE(FormNotify->isVisible());
    EXPECT_EQ(QApplication::activeWindow(), &window);
    EXPECT_EQ(QApplication::focusWidget(), edit);
    EXPECT_FALSE(FormNotify->isActiveWindow());
}

TEST_F(NotifyTest, ShowsTheLeftHalfOfTheNotesPictureInTheDesignedFaces) {
    ShowNotify(QStringLiteral("Look "), QStringLiteral("01:00"));
    ASSERT_NE(FormNotify, nullptr);
    const QPixmap picture = FormNotify->Image1->pixmap();
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), QSize(16, 16));
    EXPECT_EQ(picture.toImage().pixelColor(0, 15).alpha(), 0) << "lower-left pixel is see-through";
    EXPECT_EQ(FormNotify->GroupBox1->title(), QStringLiteral("Velodra"));
    EXPECT_EQ(FormNotify->Label1->font().pixelSize(), 15);
    EXPECT_EQ(QFontInfo(FormNotify->Label1->font()).family(), SerifFamily());
    EXPECT_EQ(FormNotify->Label2->font().pixelSize(), 9);
    EXPECT_TRUE(FormNotify->Label2->alignment() & Qt::AlignRight);
    EXPECT_EQ(FormNotify->palette().color(QPalette::Window),
              QApplication::palette().color(QPalette::ToolTipBase));
}

// Only on a real display server: the pop-up shows in a screenshot of the screen's corner and
// the window the user types in keeps the keyboard. Run under Xvfb by the end-to-end script.
TEST_F(NotifyTest, AppearsInTheCornerOfARealScreenWithoutTakingTheFocus) {
    if (QGuiApplication::platformName() != QStringLiteral("xcb"))
        GTEST_SKIP() << "needs an X display";
    QWidget window;
    window.setGeometry(40, 40, 200, 80);
    auto* edit = new QLineEdit(&window);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == &window; }, 5s));
    edit->setFocus();

    ShowNotify(QStringLiteral("On screen "), QStringLiteral("03:00  44.1 kHz  128 kbps"));
    ASSERT_NE(FormNotify, nullptr);
    ASSERT_TRUE(WaitFor(
        [] { return FormNotify->isVisible() && FormNotify->windowHandle()->isExposed(); }, 5s));
    // Give the server time to paint, then look at the screen itself.
    WaitFor([] { return false; }, 500ms);
    QScreen* screen = QGuiApplication::primaryScreen();
    const QImage shot = screen->grabWindow(0).toImage();
    const QByteArray save = qgetenv("VELODRA_SCREENSHOT");
    if (!save.isEmpty()) shot.save(QString::fromLocal8Bit(save));
    const QRect area = screen->availableGeometry();
    const QColor panel = FormNotify->palette().color(QPalette::Window);
    // Panel1's 4-pixel border runs round the group box: it lies just inside the corner.
    for (const QPoint p : {area.bottomRight() - QPoint(1, 1), area.bottomRight() - QPoint(178, 1),
                           area.bottomRight() - QPoint(1, 56)})
        EXPECT_EQ(shot.pixelColor(p).rgb(), panel.rgb()) << p.x() << "," << p.y();
    // Just outside the pop-up is the bare screen.
    EXPECT_NE(shot.pixelColor(area.bottomRight() - QPoint(181, 1)).rgb(), panel.rgb());
    EXPECT_EQ(QApplication::activeWindow(), &window);
    EXPECT_EQ(QApplication::focusWidget(), edit);
}

} // namespace
