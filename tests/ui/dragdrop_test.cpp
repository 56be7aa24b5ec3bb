// The window under the pointer: dropped folders and files (only the first counts), the spots
// that drag the window and those that take their own clicks, the title's click and the menu.
#include "WindowFixture.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <cstdlib>
#include <functional>

using testsupport::TFormControls;
using testsupport::TWindowFixture;
using testsupport::WriteFile;

namespace {

class Pointer : public TWindowFixture {
protected:
    void SetUp() override {
        TWindowFixture::SetUp();
        ShowAndStart();
    }
};

struct TDropCase {
    const char* Name;
    std::vector<std::string> Items; // relative to the test folder
    std::string Root;               // the root afterwards; empty: unchanged
    std::string Refused;            // the item named in the message; empty: none
    const char* Why = "";           // ...and what the message says of it
};

class Drop : public Pointer, public ::testing::WithParamInterface<TDropCase> {
protected:
    void SetUp() override {
        Pointer::SetUp();
        WriteFile(Dir / "A/a1.mp3", "x");
        WriteFile(Dir / "B/b1.mp3", "x");
        WriteFile(Dir / "B/b2.mp3", "x");
        WriteFile(Dir / "it's.txt", "x");
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
        Settle();
    }
};

TEST_P(Drop, FirstItemDecides) {
    const TDropCase& c = GetParam();
    const QString before = Player->Library.RootFolder;
    SendDrop(c.Items);
    const QString want = c.Root.empty() ? before : QString::fromStdString(Dir / c.Root);
    EXPECT_EQ(Player->Library.RootFolder, want);
    if (c.Refused.empty()) {
        EXPECT_TRUE(Messages.empty())
            << qPrintable(Messages.empty() ? QString() : Messages[0].Text);
        EXPECT_GT(Form().edFile->count(), 0);
        return;
    }
    ASSERT_EQ(Messages.size(), 1u);
    QString quoted = QString::fromStdString(Dir / c.Refused);
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    EXPECT_EQ(Messages[0].Text, QStringLiteral("'") + quoted + QString::fromUtf8(c.Why));
    EXPECT_EQ(Messages[0].Icon, TMsgIcon::Error);
    EXPECT_EQ(Form().edFolder->count(), 1) << "the library stays";
}

std::string LongFolder() {
    std::string p = "deep";
    while (p.size() < 400)
        p += "/a_rather_long_folder_name_to_pass_the_old_limit";
    return p;
}

INSTANTIATE_TEST_SUITE_P(
    Items, Drop,
    ::testing::Values(
        TDropCase{"Folder", {"A"}, "A", ""}, TDropCase{"TwoFolders", {"B", "A"}, "B", ""},
        // A file plays; its folder becomes the root.
        TDropCase{"File", {"A/a1.mp3"}, "A", ""},
        TDropCase{"FileThenFolder", {"A/a1.mp3", "B"}, "A", ""},
        TDropCase{"NotAudioWithQuote", {"it's.txt"}, "", "it's.txt", "' is not an audio file."},
        TDropCase{"Vanished", {"gone"}, "", "gone", "' doesn't exist."}),
    [](const auto& p) { return std::string(p.param.Name); });

TEST_F(Drop, PathBeyondTheOldLengthLimit) {
    const std::string folder = LongFolder();
    WriteFile(Dir / (folder + "/x.mp3"), "x");
    ASSERT_GT((Dir / folder).size(), 400u);
    SendDrop({folder});
    EXPECT_EQ(Player->Library.RootFolder, QString::fromStdString(Dir / folder));
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

struct TSpot {
    const char* Name;
    std::function<QWidget*(TFormControls&)> Control; // what lies at the spot
    std::function<QPoint(TFormControls&)> At;
    bool Drags;
};

QPoint Centre(QWidget* w) {
    return w->mapTo(w->window(), w->rect().center());
}

class Spots : public Pointer, public ::testing::WithParamInterface<TSpot> {
protected:
    void SetUp() override {
        Pointer::SetUp();
        WriteFile(Dir / "lib/F0/t00.mp3", Mp3(""));
        const std::string cmd =
            "convert -size 200x200 xc:'#208040' '" + Dir / "lib/F0/folder.jpg" + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        LoadRoot(QString::fromStdString(Dir / "lib"));
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

using UF = TFormControls;
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

TEST_F(Pointer, PlainDisplayAndEmptySpotsDrag) {
    const QPoint panel(15, 40);
    ASSERT_EQ(Window->childAt(panel), Form().Shape1);
    EXPECT_TRUE(Window->DragsWindow(panel));
    const QPoint empty(3, 110);
    ASSERT_EQ(Window->childAt(empty), nullptr);
    EXPECT_TRUE(Window->DragsWindow(empty));
}

TEST_F(Pointer, TitleClickTogglesCompactAndRightClickOpensTheWindowMenu) {
    QTest::mouseClick(Form().LblTitle, Qt::LeftButton);
    EXPECT_TRUE(Form().ActCompact->isChecked());
    EXPECT_EQ(Window->height(), 150);
    QTest::mouseClick(Form().LblTitle, Qt::LeftButton);
    EXPECT_FALSE(Form().ActCompact->isChecked());

    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(15, 40),
                           Window->mapToGlobal(QPoint(15, 40)));
    QApplication::sendEvent(Window.get(), &menu);
    EXPECT_TRUE(Form().PopupMenu1->isVisible());
    Form().PopupMenu1->close();
}

} // namespace
