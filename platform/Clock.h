#pragma once
// The system tick count: milliseconds, 32 bits, wrapping. Injectable for tests.
#include <cstdint>
#include <memory>

class TClock {
public:
    virtual ~TClock() = default;
    virtual std::uint32_t TickCount() = 0;
};

// Monotonic clock in ms, truncated to 32 bits.
std::shared_ptr<TClock> SystemClock();
