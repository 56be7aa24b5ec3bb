#pragma once
// The session with a scripted device and a hand-driven clock, on a generated library, without
// widgets. The device's worker runs on the test's thread; every step settles the event loop,
// so what a command started has answered before the test looks.
#include "platform/ErrorReport.h"
#include "player/LibraryKeeper.h"
#include "player/Session.h"
#include "player/UFormPlayer.h"
#include "support/FakeClock.h"
#include "support/Poll.h"
#include "support/ScriptedMediaDevice.h"
#include "support/TestAudio.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace testsupport {

class TSessionFixture : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(Dir / "config"));
        qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(Dir / "cache"));
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(Dir / "run"));
        qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(Dir / "cache"));
        OldHandler = SetMessageHandler([this](const TMessage& m) { Messages.push_back(m); });
        MakeSession();
    }
    void TearDown() override {
        Session.reset();
        Player.reset();
        SetMessageHandler(OldHandler);
    }
    // A new player and session, as a fresh process makes them.
    void MakeSession() {
        auto device = std::make_unique<TScriptedMediaDevice>();
        Device = device.get();
        Device->DefaultLength = 6000;
        Clock = std::make_shared<TFakeClock>();
        Device->Clock = Clock;
        TPlaybackEngine::TOptions options;
        options.OwnThread = false;
        Player = std::make_unique<TFormPlayer>(std::move(device), Clock, options);
        Session = std::make_unique<TSession>(*Player);
    }

    // Runs the event loop until the scan and the device have answered everything asked.
    void Settle() {
        int idle = 0;
        for (int i = 0; i < 5000 && idle < 2; ++i) {
            QCoreApplication::processEvents();
            const bool scanning = Session->Scanning() || Session->Keeper().Checking();
            const bool busy = scanning || Player->Engine().Busy();
            idle = busy ? 0 : idle + 1;
            if (scanning) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
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
    void LoadRoot(const QString& root) {
        Session->OpenFolder(root);
        Settle();
    }
    void Load(const std::vector<int>& filesPerFolder) { LoadRoot(MakeLibrary(filesPerFolder)); }

    // A command as a key runs it; a choice in a list.
    bool Run(TCommand c) {
        const bool ran = Session->Run(c);
        Settle();
        return ran;
    }
    void SelectFolder(int index) {
        Session->SelectFolder(index);
        Settle();
    }
    void SelectFile(int index) {
        Session->SelectFile(index);
        Settle();
    }

    // n steps of 100 ms of clock, the device looked at after each.
    virtual void Tick(int n = 1) {
        for (int i = 0; i < n; ++i) {
            Clock->Advance(100);
            Player->Engine().PollNow();
            Settle();
        }
    }
    // Ticks until the selection differs from (folder, file) or playing stops; at most maxTicks.
    void RunUntilChange(int maxTicks = 200) {
        const int f = FolderIndex(), i = FileIndex();
        for (int t = 0; t < maxTicks; ++t) {
            Tick();
            if (FolderIndex() != f || FileIndex() != i || !Session->IsPlaying()) return;
        }
    }

    int FolderIndex() const { return Session->FolderIndex(); }
    int FileIndex() const { return Session->FileIndex(); }
    QString PathOf(int folder, int file) const { return Player->Library.FilePath(folder, file); }
    int Opens() const {
        return static_cast<int>(Device->Log.filter(QStringLiteral("Open ")).size());
    }

    TTempDir Dir;
    TScriptedMediaDevice* Device = nullptr;
    std::shared_ptr<TFakeClock> Clock;
    std::unique_ptr<TFormPlayer> Player;
    std::unique_ptr<TSession> Session;
    std::vector<TMessage> Messages;
    TMessageHandler OldHandler;
};

} // namespace testsupport
