#pragma once
// The main window on a session whose device is scripted and whose clock moves only when told:
// the benchmarks of what the window does, with no sound and no wait for one.
#include "player/Session.h"
#include "player/UFormPlayer.h"
#include "support/FakeClock.h"
#include "support/ScriptedMediaDevice.h"
#include "ui/UFormVelodra.h"

#include <memory>

namespace bench {

struct TScriptedWindow {
    explicit TScriptedWindow(TPlaybackEngine::TOptions options = {})
        : Clock(std::make_shared<testsupport::TFakeClock>()),
          Player(MakeDevice(Clock, Device), Clock, options), Session(Player) {
        Window.SetSession(&Session);
    }

    std::shared_ptr<testsupport::TFakeClock> Clock;
    testsupport::TScriptedMediaDevice* Device = nullptr; // owned by the player
    TFormPlayer Player;
    TSession Session;
    TFormVelodra Window;

private:
    static std::unique_ptr<TMediaDevice>
    MakeDevice(const std::shared_ptr<testsupport::TFakeClock>& clock,
               testsupport::TScriptedMediaDevice*& device) {
        auto made = std::make_unique<testsupport::TScriptedMediaDevice>();
        made->Clock = clock;
        device = made.get();
        return made;
    }
};

} // namespace bench
