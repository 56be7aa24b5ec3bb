#include "player/UFormPlayer.h"

TFormPlayer::TFormPlayer(std::unique_ptr<TMediaDevice> device, std::shared_ptr<TClock> clock)
    : Device(device ? std::move(device) : CreateGstMediaDevice()),
      ClockSource(clock ? std::move(clock) : SystemClock()) {}

TFormPlayer::~TFormPlayer() {
    // The audio device goes with the player.
    if (Device) Device->Close();
}
