// The show's arithmetic is signed 32-bit with wrap-around and truncating division. These helpers
// give exactly those results without relying on signed overflow, which C++ leaves undefined.
#pragma once

#include <cstdint>
#include <limits>

namespace quillmere {

constexpr int32_t WrapAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

constexpr int32_t WrapSub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

constexpr int32_t WrapMul(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// Truncates toward zero. INT_MIN / -1 wraps to INT_MIN instead of trapping, and a zero divisor
// gives 0: every caller divides a count that is 0 whenever its divisor is.
constexpr int32_t TruncDiv(int32_t a, int32_t b) {
    if (b == 0) {
        return 0;
    }
    if (b == -1) {
        return WrapSub(0, a);
    }
    return a / b;
}

// Opacities are worked out as integers and handed to the window system as their low 8 bits.
constexpr uint8_t LowByte(int32_t v) {
    return static_cast<uint8_t>(static_cast<uint32_t>(v) & 0xFFu);
}

}  // namespace quillmere
