// The loading window over a real scan on the session's worker: the counts it shows, that it is
// up only while the scan runs, and that its Abort button and Escape stop the scan.
#include "support/SessionFixture.h"
#include "ui/UFormLoading.h"

#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <filesystem>
#include <gtest/gtest.h>

// Exported by QtGui; what Qt's own test library uses to let a key reach window shortcuts.
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject* o, ulong timestamp, int k,
                                               Qt::KeyboardModifiers mods, const QString& text,
                                               bool autorep, ushort count);

namespace {

class Loading : public testsupport::TSessionFixture {
protected:
    void SetUp() override {
        TSessionFixture::SetUp();
        Window = std::make_unique<TFormLoading>(*Session);
    }
    void TearDown() override {
        Window.reset();
        TSessionFixture::TearDown();
    }
    // folders x files empty .mp3 files below the root
    QString MakeTree(int folders, int files) {
        for (int f = 0; f < folders; ++f)
            for (int i = 0; i < files; ++i)
                testsupport::WriteFile(
                    Dir / ("lib/F" + std::to_string(f) + "/" + std::to_string(i) + ".mp3"), "");
        return QString::fromStdString(Dir / "lib");
    }
    QString Label() { return Window->findChild<QLabel*>(QStringLiteral("LblLoad"))->text(); }

    std::unique_ptr<TFormLoading> Window;
};

TEST_F(Loading, ShownDuringTheScanWithItsCountsInTheLocalesFormAndHiddenAfter) {
    const QLocale saved;
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    const QString root = MakeTree(2, 1100);
    Session->OpenFolder(root);
    EXPECT_TRUE(Window->isVisible());
    EXPECT_TRUE(Label().startsWith(QStringLiteral("Loading... ("))) << qPrintable(Label());
    Settle();
    QLocale::setDefault(saved);
    EXPECT_FALSE(Window->isVisible());
    EXPECT_EQ(Label(), QStringLiteral("Loading... (2 folders, 2,200 files)"));
    EXPECT_EQ(Window->objectName(), QStringLiteral("FormPlayer"));
    EXPECT_EQ(Window->windowTitle(), QStringLiteral("Velodra")) << "as the task bar shows it";
}

// Abort (the button, or Escape, which goes to whichever window is active) keeps what was found.
TEST_F(Loading, AbortAndEscapeStopTheScan) {
    const QString root = MakeTree(20, 250);
    for (const bool escape : {false, true}) {
        SCOPED_TRACE(escape ? "Escape" : "Abort");
        Session->OpenFolder(root);
        ASSERT_TRUE(Window->isVisible());
        if (escape)
            EXPECT_TRUE(qt_sendShortcutOverrideEvent(Window.get(), 0, Qt::Key_Escape,
                                                     Qt::NoModifier, QString(), false, 1));
        else
            Window->findChild<QPushButton*>(QStringLiteral("Button1"))->click();
        Settle();
        EXPECT_LT(Player->Library.TotalFileCount(), 5000);
        EXPECT_FALSE(Window->isVisible());
    }
}

TEST_F(Loading, HiddenAgainWhenTheScanFails) {
    testsupport::WriteFile(Dir / "lib/notes.txt", "");
    Session->OpenFolder(QString::fromStdString(Dir / "lib"));
    Settle();
    EXPECT_EQ(Label(), QStringLiteral("Loading... (0 folders, 0 files)")) << "it was shown";
    EXPECT_FALSE(Window->isVisible());
    ASSERT_EQ(Messages.size(), 1u);
}

} // namespace
