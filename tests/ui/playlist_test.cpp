// The lists and the display as the session moves through the library: what a change shows and
// in which order, the end of the library, a file that can't be opened, a list dropped down.
#include "WindowFixture.h"
#include "player/JumpMatch.h"
#include "ui/UFormJump.h"
#include "ui/UFormNotify.h"

#include <QLineEdit>
#include <QListView>
#include <QTest>
#include <functional>

using testsupport::TWindowFixture;

namespace {

// Calls fn for each event of one type that reaches any object, while it lives.
class TEventRecorder : public QObject {
public:
    TEventRecorder(QEvent::Type type, std::function<void(QObject*)> fn)
        : Type(type), Fn(std::move(fn)) {
        qApp->installEventFilter(this);
    }
    ~TEventRecorder() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == Type) Fn(watched);
        return false;
    }

private:
    QEvent::Type Type;
    std::function<void(QObject*)> Fn;
};

class Changes : public TWindowFixture, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        TWindowFixture::SetUp();
        Device->RefuseQueue = !GetParam();
    }
};
INSTANTIATE_TEST_SUITE_P(MovedOrGapless, Changes, ::testing::Bool(),
                         [](const auto& p) { return p.param ? "Gapless" : "Moved"; });

// What the user sees at the change, in order: the list selects the new file, the caption
// names it, the pop-up shows it with the history already holding it, then the settings name
// it. The same for a move and a change without a gap.
TEST_P(Changes, EveryEffectOfAChangeComesInTheOrderOfAMove) {
    Load({2});
    Run(Form().ActShuffle);
    Run(Form().ActPlay); // file 0, so file 1 is the one left to play
    Form().ActPlayNotification->setChecked(true);
    delete FormNotify; // the pop-up is made anew and shown at the change
    FormNotify = nullptr;
    QStringList events;
    const auto state = [&] {
        QString s;
        if (Session->Played().Contains(0, 1)) s += QStringLiteral(" played");
        if (IniText().find("File=1") != std::string::npos) s += QStringLiteral(" saved");
        return s;
    };
    QObject::connect(Form().edFile, &QComboBox::currentIndexChanged, Window.get(),
                     [&](int i) { events << QStringLiteral("select %1").arg(i); });
    QObject::connect(Window.get(), &QWidget::windowTitleChanged, Window.get(),
                     [&](const QString& t) { events << QStringLiteral("caption ") + t; });
    const TEventRecorder shown(QEvent::Show, [&](QObject* o) {
        if (qobject_cast<TFormNotify*>(o)) events << QStringLiteral("pop-up") + state();
    });
    RunUntilChange();
    EXPECT_EQ(events,
              QStringList({QStringLiteral("select 1"), QStringLiteral("caption Velodra :: t01"),
                           QStringLiteral("pop-up played")}))
        << qPrintable(events.join(QStringLiteral(" | ")));
    ASSERT_TRUE(testsupport::WaitFor([&] { return state() == QStringLiteral(" played saved"); },
                                     std::chrono::seconds(5)));
}

TEST_P(Changes, TheEndOfTheLibraryShowsTheDurationOrWithReversedTimeZero) {
    for (const bool reversed : {false, true}) {
        Restart();
        Device->RefuseQueue = !GetParam();
        Load({1});
        Form().ActReversedElasped->setChecked(reversed);
        Run(Form().ActPlay);
        RunUntilChange();
        EXPECT_FALSE(Session->IsPlaying());
        EXPECT_EQ(Form().LblPosition->text(),
                  reversed ? QStringLiteral("00:00") : Form().LblDuration->text());
        EXPECT_EQ(Form().LblDuration->text(), QStringLiteral("00:06"));
    }
}

// A file that can't be opened: the report, no position bar, and the display and caption name
// the file that failed, not the one before it.
TEST_F(TWindowFixture, AFailedOpenNamesTheFileAndTheNextSelectionRetries) {
    Load({2});
    Device->FailEveryOpen = QStringLiteral("not an audio file");
    SelectFile(1);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_TRUE(Messages[0].Text.endsWith(QStringLiteral("t01.mp3'.\r\rnot an audio file")))
        << qPrintable(Messages[0].Text);
    EXPECT_EQ(Session->FileIndex(), 1);
    EXPECT_FALSE(Form().ProgressBar1->isEnabled());
    EXPECT_EQ(Form().LblTitle->text(), QStringLiteral("t01"));
    EXPECT_EQ(Window->windowTitle(), QStringLiteral("Velodra :: t01"));
    Device->FailEveryOpen.clear();
    SelectFile(0);
    EXPECT_TRUE(Session->FileOpen());
    EXPECT_TRUE(Form().ProgressBar1->isEnabled());
}

TEST_F(TWindowFixture, ListsShowCleanedNames) {
    testsupport::WriteFile(Dir / "lib/Best_Of__Rock/My__Song_.mp3", "x");
    testsupport::WriteFile(Dir / "lib/Best_Of__Rock/Sub_Dir/b.MP3", "x");
    LoadRoot(QString::fromStdString(Dir / "lib"));
    ASSERT_EQ(Form().edFolder->count(), 2);
    EXPECT_EQ(Form().edFolder->itemText(0), QStringLiteral("Best Of Rock"));
    EXPECT_EQ(Form().edFolder->itemText(1), QStringLiteral("Best Of Rock / Sub Dir"));
    EXPECT_EQ(Form().edFile->itemText(0), QStringLiteral("My Song "));
}

// The file list dropped down when the track changes: the list, the title and the settings
// follow the file that plays, and choosing the shown item afterwards does not restart it.
TEST_F(TWindowFixture, ATrackChangeWhileTheListIsDroppedDownIsShown) {
    Load({3});
    Run(Form().ActPlay);
    emit Form().edFile->DropDown();
    RunUntilChange();
    EXPECT_EQ(Form().edFile->currentIndex(), 1);
    EXPECT_EQ(Form().LblTitle->text(), QStringLiteral("t01"));
    emit Form().edFile->CloseUp();
    const int plays = Device->Count(QStringLiteral("Play"));
    SelectFile(1);
    EXPECT_EQ(Device->Count(QStringLiteral("Play")), plays) << "the playing file goes on";
    ASSERT_TRUE(testsupport::WaitFor([&] { return IniText().find("File=1") != std::string::npos; },
                                     std::chrono::seconds(5)));
}

// Jump to File: typed words and a key, then where the session is; the window follows a rescan.
TEST_F(TWindowFixture, JumpToFileChoosesAsTheListsDoAndFollowsTheLibrary) {
    Load({2, 3});
    Window->findChild<QAction*>(QStringLiteral("ActJumpToFile"))->trigger();
    auto* jump = Window->findChild<TFormJump*>(QStringLiteral("FormJump"));
    ASSERT_TRUE(jump);
    auto* field = jump->findChild<QLineEdit*>(QStringLiteral("edSearch"));
    auto* list = jump->findChild<QListView*>(QStringLiteral("lbMatches"));
    EXPECT_EQ(field->accessibleName(), QStringLiteral("Search"));
    EXPECT_EQ(list->accessibleName(), QStringLiteral("Matches"));
    auto answered = [&] {
        for (int i = 0; i < 2000 && !jump->Search().Settled(); ++i)
            QTest::qWait(5);
        Settle();
        return jump->Search().Settled();
    };
    const struct {
        const char* Typed;
        std::vector<Qt::Key> Keys;
        bool Play; // playing (else stopped) before and after the jump
        int Folder, File;
        bool Open; // the window after the keys
    } rows[] = {
        {"F1 T02", {Qt::Key_Return}, false, 1, 2, false},           // stopped: selected only
        {"t00", {Qt::Key_Escape}, false, 1, 2, false},              // no change
        {"t01 f0", {Qt::Key_Return}, true, 0, 1, false},            // playing: it plays
        {"f1", {Qt::Key_Return}, false, 1, 0, false},               // a folder's words: its first
        {"f1", {Qt::Key_Down, Qt::Key_Return}, false, 1, 1, false}, // Down: the next match
        {"zzz", {Qt::Key_Return}, false, 1, 1, true},               // nothing found, nothing done
    };
    for (const auto& row : rows) {
        Run(row.Play ? TCommand::Play : TCommand::Stop);
        Window->findChild<QAction*>(QStringLiteral("ActJumpToFile"))->trigger();
        ASSERT_TRUE(jump->isVisible());
        QTest::keyClicks(field, QString::fromLatin1(row.Typed)); // the old text is selected
        if (row.Keys.size() > 1) {
            ASSERT_TRUE(answered());
        }
        for (const Qt::Key key : row.Keys)
            QTest::keyClick(field, key);
        ASSERT_TRUE(answered()) << row.Typed;
        EXPECT_EQ(std::tuple(jump->isVisible(), Session->FolderIndex(), Session->FileIndex(),
                             Session->IsPlaying()),
                  std::tuple(row.Open, row.Folder, row.File, row.Play))
            << row.Typed;
    }
    // Open on "t02" while a rescan finds another folder holding one.
    field->setText(QStringLiteral("t02"));
    ASSERT_TRUE(answered());
    EXPECT_EQ(jump->Search().Matches().size(), 1u);
    Load({3, 3});
    ASSERT_TRUE(answered());
    EXPECT_EQ(jump->Search().Matches().size(), 2u);
}

} // namespace
