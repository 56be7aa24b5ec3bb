#pragma once
// The main window over the session with a scripted device and a hand-driven clock, on a
// generated library. The tests work the window as a user does, through its controls, found by
// their object names.
#include "platform/FolderPicture.h"
#include "player/Settings.h"
#include "support/SessionFixture.h"
#include "tags/Builders.h"
#include "ui/UFormVelodra.h"
#include "ui/Widgets.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QMenu>
#include <QProgressBar>
#include <QTimer>
#include <QToolButton>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <vector>

namespace testsupport {

// The controls of the main window, under the names of its form.
struct TFormControls {
    QAction *ActPlay, *ActPause, *ActStop, *ActLoad, *ActPrevFolder, *ActPrevFile, *ActNextFile,
        *ActNextFolder, *ActReversedElasped, *ActLoop, *ActShuffle, *ActCompact, *ActAbout,
        *FileExit1, *ActMixer, *ActInclWMA, *ActInclOther, *ActRestore, *ActMinimizeToTray,
        *ActFolderImage, *ActPlayNotification, *ActNaturalOrder, *OpacityNone, *Opacity25,
        *Opacity50, *Opacity75;
    TDropDownList *edFolder, *edFile;
    QLabel *LblTitle, *LblTitle2, *LblTitleTest, *LblPosition, *LblPosition2, *LblDuration,
        *LblDuration2, *LblMode, *LblBitRate, *LblLoop, *LblShuffle, *LblCopyright, *LblCopyright2,
        *ImgFolder1;
    QFrame *BvlDisplay, *Shape1;
    QProgressBar* ProgressBar1;
    QWidget* ToolBar1;
    QToolButton *BtnPlay, *BtnPause, *BtnStop, *BtnLoad, *BtnPrevFolder, *BtnPrevFile, *BtnNextFile,
        *BtnNextFolder;
    QTimer* TmrMain;
    QMenu *PopupMenu1, *PUTray;

    void Find(QWidget& window) {
        auto find = [&]<typename T>(T*& slot, const char* name) {
            slot = window.findChild<T*>(QString::fromLatin1(name));
            if (!slot) ADD_FAILURE() << "no control " << name;
        };
#define VELODRA_FIND(name) find(name, #name)
        VELODRA_FIND(ActPlay), VELODRA_FIND(ActPause), VELODRA_FIND(ActStop);
        VELODRA_FIND(ActLoad), VELODRA_FIND(ActPrevFolder), VELODRA_FIND(ActPrevFile);
        VELODRA_FIND(ActNextFile), VELODRA_FIND(ActNextFolder), VELODRA_FIND(ActReversedElasped);
        VELODRA_FIND(ActLoop), VELODRA_FIND(ActShuffle), VELODRA_FIND(ActCompact);
        VELODRA_FIND(ActAbout), VELODRA_FIND(FileExit1), VELODRA_FIND(ActMixer);
        VELODRA_FIND(ActInclWMA), VELODRA_FIND(ActInclOther), VELODRA_FIND(ActRestore),
            VELODRA_FIND(ActMinimizeToTray);
        VELODRA_FIND(ActFolderImage), VELODRA_FIND(ActPlayNotification), VELODRA_FIND(OpacityNone);
        VELODRA_FIND(Opacity25), VELODRA_FIND(Opacity50), VELODRA_FIND(Opacity75);
        VELODRA_FIND(ActNaturalOrder);
        VELODRA_FIND(edFolder), VELODRA_FIND(edFile);
        VELODRA_FIND(LblTitle), VELODRA_FIND(LblTitle2), VELODRA_FIND(LblTitleTest);
        VELODRA_FIND(LblPosition), VELODRA_FIND(LblPosition2), VELODRA_FIND(LblDuration);
        VELODRA_FIND(LblDuration2), VELODRA_FIND(LblMode), VELODRA_FIND(LblBitRate);
        VELODRA_FIND(LblLoop), VELODRA_FIND(LblShuffle), VELODRA_FIND(LblCopyright);
        VELODRA_FIND(LblCopyright2), VELODRA_FIND(ImgFolder1);
        VELODRA_FIND(BvlDisplay), VELODRA_FIND(Shape1), VELODRA_FIND(ProgressBar1);
        VELODRA_FIND(ToolBar1), VELODRA_FIND(BtnPlay), VELODRA_FIND(BtnPause);
        VELODRA_FIND(BtnStop), VELODRA_FIND(BtnLoad), VELODRA_FIND(BtnPrevFolder);
        VELODRA_FIND(BtnPrevFile), VELODRA_FIND(BtnNextFile), VELODRA_FIND(BtnNextFolder);
        VELODRA_FIND(TmrMain), VELODRA_FIND(PopupMenu1), VELODRA_FIND(PUTray);
#undef VELODRA_FIND
    }
};

class TWindowFixture : public TSessionFixture {
protected:
    void SetUp() override {
        TSessionFixture::SetUp();
        MakeWindow();
    }
    // A new player, session and window, as a fresh process makes them.
    void MakeWindow() {
        Window = std::make_unique<TFormVelodra>();
        MakeSession();
        Window->SetSession(Session.get());
        C.Find(*Window);
        C.ActPlayNotification->setChecked(false);
        Browsed.clear();
        Window->SetBrowseFolder([this](QWidget*, const QString& text, const QString&,
                                       std::function<void(const QString&)> chosen) {
            Browsed << text;
            if (!NextBrowse.isEmpty()) chosen(NextBrowse);
        });
    }
    void TearDown() override {
        Window.reset();
        TSessionFixture::TearDown();
    }

    // A small MP3 that the readers take for real: an ID3v2 title, then 120 frames at 128 kbit/s,
    // 44.1 kHz, Joint Stereo (three seconds).
    static std::string Mp3(const std::string& title) {
        using namespace build;
        std::string s = Id3v2(3, Frame23("TIT2", Text(0, title)));
        for (int i = 0; i < 120; ++i)
            s += MpegFrame(MpegHeader(3, 1, 9, 0, 1), 418);
        return s;
    }
    // A WMA header with the given sampling rate, 128 kbit/s, mono.
    static std::string Wma(std::uint32_t sampleRate) {
        using namespace build;
        std::string s =
            AsfHeader(AsfFileProperties(128000) + AsfStreamProperties(1, sampleRate, 16000), 2);
        s.resize(200000, '\0');
        return s;
    }

    // The Load command, with the folder browser answering root.
    void LoadRoot(const QString& root) {
        NextBrowse = root;
        C.ActLoad->trigger();
        Settle();
        NextBrowse.clear();
        Browsed.clear();
    }
    void Load(const std::vector<int>& filesPerFolder) { LoadRoot(MakeLibrary(filesPerFolder)); }

    // A choice in a list, as the mouse makes it.
    void Choose(QComboBox* list, int index) {
        list->setCurrentIndex(index);
        emit list->activated(index);
        Settle();
    }
    void SelectFolder(int index) { Choose(C.edFolder, index); }
    void SelectFile(int index) { Choose(C.edFile, index); }

    // n ticks of the main timer, 100 ms of clock each, the device looked at after each.
    void Tick(int n = 1) override {
        for (int i = 0; i < n; ++i) {
            Clock->Advance(100);
            Player->Engine().PollNow();
            Settle();
            C.TmrMain->setInterval(100);
            Window->TmrMainTimer();
            C.TmrMain->stop();
        }
    }

    // The next run of the program: the window and player go, new ones are made.
    void Restart() {
        Window.reset();
        Session.reset();
        Player.reset();
        MakeWindow();
    }
    // Shows the window and lets the deferred start-up run; the main timer is left to Tick.
    void ShowAndStart() {
        Window->show();
        ASSERT_TRUE(WaitFor([&] { return Window->State().StartUpDone; }, std::chrono::seconds(5)));
        C.TmrMain->stop();
        Settle();
    }
    std::string IniPath() const { return Window->SettingsKeeper().FileName().toStdString(); }
    void WriteIni(const std::string& text) { WriteFile(IniPath(), text); }
    std::string IniText() const {
        std::ifstream in(IniPath(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    TFormControls& Form() { return C; }
    // A command, as its key or menu entry runs it.
    using TSessionFixture::Run;
    void Run(QAction* a) {
        a->trigger();
        Settle();
    }
    // The folder picture is decoded on a worker: handles events until its answer is in.
    void SettlePicture() {
        const auto* loader = Window->findChild<TFolderPicture*>();
        ASSERT_TRUE(loader);
        ASSERT_TRUE(WaitFor(
            [&] {
                QCoreApplication::processEvents();
                return loader->IsIdle();
            },
            std::chrono::seconds(10)));
    }

    std::unique_ptr<TFormVelodra> Window;
    TFormControls C{};
    QStringList Browsed;
    QString NextBrowse;
};

} // namespace testsupport
