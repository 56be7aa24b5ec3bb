#include "player/UFormPlayer.h"

#include <algorithm>
#include <limits>

TFormPlayer::TFormPlayer(std::unique_ptr<TMediaDevice> device, std::shared_ptr<TClock> clock,
                         TPlaybackEngine::TOptions options)
    : ClockSource(clock ? std::move(clock) : SystemClock()),
      PlaybackEngine(std::make_unique<TPlaybackEngine>(
          device ? std::move(device) : CreateGstMediaDevice(), ClockSource, options)) {}

// The audio device goes with the player (the engine closes it).
TFormPlayer::~TFormPlayer() = default;

std::int32_t TFormPlayer::PercentOf(std::int32_t position) const {
    const std::int64_t duration = MediaInfo.Duration;
    if (duration <= 0) return 0;
    // In 64 bits: a 32-bit product overflows on tracks longer than about six hours.
    const std::int64_t scaled = static_cast<std::int64_t>(std::max(position, 0)) * 100;
    std::int64_t q = scaled / duration;
    const std::int64_t twice = (scaled % duration) * 2;
    if (twice > duration || (twice == duration && (q & 1) != 0)) ++q; // halves to even
    // Audio that runs on past its stated length keeps the bar full.
    return static_cast<std::int32_t>(std::min<std::int64_t>(q, 100));
}

QString TFormPlayer::FormatTime(std::int32_t ms) {
    // Remaining time past the stated duration is negative: show nothing left.
    if (ms < 0) return QStringLiteral("00:00");
    const std::int32_t s = ms / 1000;
    return QString::asprintf("%.2d:%.2d", static_cast<int>(static_cast<std::uint16_t>(s / 60)),
                             static_cast<int>(static_cast<std::uint16_t>(s % 60)));
}
