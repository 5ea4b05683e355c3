// The show's one pseudo-random generator: integers 0 to 32767 inclusive. The photo window seeds it;
// the catalogue's random choice and the photo placement draw from it.
#pragma once

#include <cstdint>

namespace quillmere {

class RandomSource {
public:
    static constexpr int32_t kMax = 32767;

    // The generator of this process, shared by the catalogue and the cycle.
    static RandomSource& Process();

    void Seed(uint32_t seed) { m_state = seed; }

    // A linear congruential step; the upper bits are the better ones, so 15 of them are returned.
    int32_t Next() {
        m_state = m_state * 214013u + 2531011u;
        return static_cast<int32_t>((m_state >> 16) & 0x7FFFu);
    }

private:
    uint32_t m_state = 1;
};

}  // namespace quillmere
