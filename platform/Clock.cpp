#include "platform/Clock.h"

#include <chrono>

namespace {
class TSystemClock final : public TClock {
public:
    std::uint32_t TickCount() override {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
        return static_cast<std::uint32_t>(ms.count());
    }
};
} // namespace

std::shared_ptr<TClock> SystemClock() {
    static auto clock = std::make_shared<TSystemClock>();
    return clock;
}
