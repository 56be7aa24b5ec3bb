// The loading window over a real scan: the counts it shows, that it is up only while the scan
// runs, and that its Abort button and Escape stop the scan through the events the scan
// processes after each file.
#include "player/UFormPlayer.h"
#include "support/ScriptedMediaDevice.h"
#include "support/TestAudio.h"
#include "ui/UFormLoading.h"

#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <gtest/gtest.h>
#include <thread>

// Exported by QtGui; what Qt's own test library uses to let a key reach window shortcuts.
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject* o, ulong timestamp, int k,
                                               Qt::KeyboardModifiers mods, const QString& text,
                                               bool autorep, ushort count);

namespace {

// Runs fn at each event processing of the scan (a zero timer fires once per pass).
class TPerFile {
public:
    explicit TPerFile(std::function<void(int)> fn) {
        QObject::connect(&Timer, &QTimer::timeout, [this, fn = std::move(fn)] { fn(++Calls); });
        Timer.start(0);
    }
    int Calls = 0;
    QTimer Timer;
};

class Loading : public ::testing::Test {
protected:
    void MakeFiles(const std::vector<std::string>& names) {
        for (const std::string& n : names)
            testsupport::WriteFile(Dir / n, "");
    }
    QString Root() const { return QString::fromStdString(Dir.Path.string()); }
    QString Label() { return Window.findChild<QLabel*>(QStringLiteral("LblLoad"))->text(); }
    QPushButton* Abort() { return Window.findChild<QPushButton*>(QStringLiteral("Button1")); }

    testsupport::TTempDir Dir;
    TFormPlayer Player{std::make_unique<testsupport::TScriptedMediaDevice>()};
    TFormLoading Window{Player};
};

TEST_F(Loading, ShownDuringTheScanWithTheCountsAndHiddenAfter) {
    MakeFiles({"a.mp3", "b.mp3", "S/c.mp3"});
    QStringList labels;
    bool visible = false, scanning = false;
    TPerFile watch([&](int) {
        labels.append(Label());
        visible = visible || Window.isVisible();
        scanning = scanning || Player.Scanning();
    });
    Player.LoadFolder(Root(), {}, &Window);
    ASSERT_FALSE(labels.isEmpty());
    EXPECT_EQ(labels.first(), QStringLiteral("Loading... (1 folders, 1 files)"));
    EXPECT_TRUE(visible);
    EXPECT_TRUE(scanning);
    EXPECT_FALSE(Window.isVisible());
    EXPECT_EQ(Window.objectName(), QStringLiteral("FormPlayer"));
}

TEST_F(Loading, CountsUseTheLocaleThousandsSeparator) {
    const QLocale saved;
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    std::vector<std::string> names;
    for (int i = 0; i < 2000; ++i)
        names.push_back("t" + std::to_string(i) + ".mp3");
    MakeFiles(names);
    QStringList labels;
    // Slow the scan down so that the label is rewritten several times.
    TPerFile watch([&](int) {
        labels.append(Label());
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    });
    Player.LoadFolder(Root(), {}, &Window);
    QLocale::setDefault(saved);
    const QRegularExpression form(R"(^Loading\.\.\. \(1 folders, (\d{1,3}(,\d{3})*) files\)$)");
    bool sawThousands = false;
    for (const QString& l : labels) {
        const QRegularExpressionMatch m = form.match(l);
        ASSERT_TRUE(m.hasMatch()) << l.toStdString();
        sawThousands = sawThousands || m.captured(1).contains(QLatin1Char(','));
    }
    EXPECT_TRUE(sawThousands);
}

TEST_F(Loading, AbortButtonKeepsWhatWasFound) {
    MakeFiles({"a.mp3", "b.mp3", "c.mp3", "S/d.mp3"});
    TPerFile click([&](int) { Abort()->click(); });
    Player.LoadFolder(Root(), {}, &Window);
    EXPECT_EQ(Player.Library.TotalFileCount(), 1);
    EXPECT_FALSE(Window.isVisible());
}

TEST_F(Loading, EscapeActsAsAbort) {
    MakeFiles({"a.mp3", "b.mp3", "c.mp3"});
    bool consumed = false;
    TPerFile press([&](int calls) {
        // The key is the application's: it goes to whichever window is active (under a window
        // manager the main window; the offscreen platform activates any window it shows).
        if (calls == 2)
            consumed = qt_sendShortcutOverrideEvent(&Window, 0, Qt::Key_Escape, Qt::NoModifier,
                                                    QString(), false, 1);
    });
    Player.LoadFolder(Root(), {}, &Window);
    EXPECT_TRUE(consumed);
    EXPECT_EQ(Player.Library.TotalFileCount(), 2);
}

TEST_F(Loading, HiddenAgainWhenTheScanFails) {
    MakeFiles({"notes.txt"});
    EXPECT_ANY_THROW(Player.LoadFolder(Root(), {}, &Window));
    EXPECT_EQ(Label(), QStringLiteral("Loading... (0 folders, 0 files)")) << "it was shown";
    EXPECT_FALSE(Window.isVisible());
    EXPECT_FALSE(Player.Scanning());
}

} // namespace
