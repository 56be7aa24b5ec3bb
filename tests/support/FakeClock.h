#pragma once
// A tick clock that moves only when the test says so.
#include "platform/Clock.h"

#include <cstdint>

namespace testsupport {

class TFakeClock final : public TClock {
public:
    explicit TFakeClock(std::uint32_t start = 1000) : Now(start) {}
    std::uint32_t TickCount() override { return Now; }
    // Wraps like the system's tick count.
    void Advance(std::uint32_t ms) { Now += ms; }
    std::uint32_t Now;
};

} // namespace testsupport
