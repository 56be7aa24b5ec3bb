#pragma once
// The main window with a scripted device and a hand-driven clock, on a generated library.
#include "platform/ErrorReport.h"
#include "platform/FolderPicture.h"
#include "player/UFormPlayer.h"
#include "support/FakeClock.h"
#include "support/ScriptedMediaDevice.h"
#include "support/TestAudio.h"
#include "ui/UFormVelodra.h"
#include "ui_UFormVelodra.h"

#include <QApplication>
#include <QTimer>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <vector>

namespace testsupport {

inline QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "velodra_gui_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        auto* a = new QApplication(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Velodra"));
        return a;
    }();
    return *app;
}

class TWindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        TestApp();
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(Dir / "config"));
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(Dir / "run"));
        OldHandler = SetMessageHandler([this](const TMessage& m) { Messages.push_back(m); });
        MakeWindow();
    }
    // A new player and window, as a fresh process makes them.
    void MakeWindow() {
        auto device = std::make_unique<TScriptedMediaDevice>();
        Device = device.get();
        Device->DefaultLength = 6000;
        Clock = std::make_shared<TFakeClock>();
        Device->Clock = Clock;
        Player = std::make_unique<TFormPlayer>(std::move(device), Clock);
        Window = std::make_unique<TFormVelodra>();
        Window->SetFormPlayer(Player.get());
        Window->Rng.seed(7);
        Window->ui->ActPlayNotification->setChecked(false);
        Browsed.clear();
        Window->BrowseFolder = [this](QWidget*, const QString& text, const QString&) {
            Browsed << text;
            return NextBrowse;
        };
    }
    void TearDown() override {
        Window.reset();
        Player.reset();
        SetMessageHandler(OldHandler);
    }

    // Folders named F0, F1, ... with the given numbers of files "t00.mp3", "t01.mp3", ...
    QString MakeLibrary(const std::vector<int>& filesPerFolder) {
        for (size_t f = 0; f < filesPerFolder.size(); ++f)
            for (int i = 0; i < filesPerFolder[f]; ++i) {
                char name[64];
                std::snprintf(name, sizeof name, "lib/F%zu/t%02d.mp3", f, i);
                WriteFile(Dir / name, "not really audio");
            }
        return QString::fromStdString(Dir / "lib");
    }
    void Load(const std::vector<int>& filesPerFolder) {
        Window->SetRootFolder(MakeLibrary(filesPerFolder));
        Window->UpdateCommandStates();
    }

    // n ticks of the main timer, 100 ms of clock each.
    void Tick(int n = 1) {
        for (int i = 0; i < n; ++i) {
            Clock->Advance(100);
            Window->TmrMainTimer();
            Window->TmrMain->stop();
        }
    }
    // Ticks until the selection differs from (folder, file) or the player stops; at most
    // maxTicks.
    void RunUntilChange(int maxTicks = 200) {
        const int f = FolderIndex(), i = FileIndex();
        for (int t = 0; t < maxTicks; ++t) {
            Tick();
            if (FolderIndex() != f || FileIndex() != i || !Player->IsPlaying()) return;
        }
    }

    // The next run of the program: the window and player go, new ones are made.
    void Restart() {
        Window.reset();
        Player.reset();
        MakeWindow();
    }
    // Shows the window (the first-show layout) and runs the deferred start-up at once; the
    // main timer is left to the test's Tick.
    void ShowAndStart() {
        Window->show();
        Window->StartUp();
        Window->TmrMain->stop();
    }
    void WriteIni(const std::string& text) { WriteFile(Window->IniFileName.toStdString(), text); }
    std::string IniText() const {
        std::ifstream in(Window->IniFileName.toStdString(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    int FolderIndex() const { return Window->ui->edFolder->currentIndex(); }
    int FileIndex() const { return Window->ui->edFile->currentIndex(); }
    Ui::TFormVelodra& Form() { return *Window->ui; }
    void Run(QAction* a) {
        Window->Execute(a);
        Window->UpdateCommandStates();
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

    TTempDir Dir;
    TScriptedMediaDevice* Device = nullptr;
    std::shared_ptr<TFakeClock> Clock;
    std::unique_ptr<TFormPlayer> Player;
    std::unique_ptr<TFormVelodra> Window;
    std::vector<TMessage> Messages;
    QStringList Browsed;
    QString NextBrowse;
    TMessageHandler OldHandler;
};

} // namespace testsupport
