#pragma once
// Integer decoding from a byte range. Each reader takes the bytes left and reports whether the
// value was all there; on false the output is untouched.
#include <cstddef>
#include <cstdint>

namespace bytes {

inline bool BE(const std::uint8_t* p, std::size_t avail, std::size_t width, std::uint32_t& out) {
    if (avail < width || width > 4) return false;
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < width; ++i)
        v = (v << 8) | p[i];
    out = v;
    return true;
}
inline bool BE16(const std::uint8_t* p, std::size_t avail, std::uint32_t& out) {
    return BE(p, avail, 2, out);
}
inline bool BE24(const std::uint8_t* p, std::size_t avail, std::uint32_t& out) {
    return BE(p, avail, 3, out);
}
inline bool BE32(const std::uint8_t* p, std::size_t avail, std::uint32_t& out) {
    return BE(p, avail, 4, out);
}

// Synchsafe: 7 bits per byte, most significant first. The top bit of each byte is ignored, and
// wider forms (the 5-byte CRC) keep only the low 32 bits.
inline bool Synchsafe(const std::uint8_t* p, std::size_t avail, std::size_t width,
                      std::uint32_t& out) {
    if (avail < width) return false;
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < width; ++i)
        v = (v << 7) | (p[i] & 0x7Fu);
    out = static_cast<std::uint32_t>(v);
    return true;
}

inline bool LE16(const std::uint8_t* p, std::size_t avail, std::uint16_t& out) {
    if (avail < 2) return false;
    out = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    return true;
}
inline bool LE32(const std::uint8_t* p, std::size_t avail, std::uint32_t& out) {
    if (avail < 4) return false;
    out = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
          (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    return true;
}

} // namespace bytes
