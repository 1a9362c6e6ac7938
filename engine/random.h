// The game's random generator: a 32-bit linear congruential sequence, one state per thread.
#pragma once

#include <cstdint>

namespace game_random {

// Each thread has its own state; the game draws only on the window's thread.
inline thread_local uint32_t State = 0;

// The next value, 0..32767.
inline int32_t Draw() {
    State = State * 22695477u + 1u;
    return static_cast<int32_t>((State >> 16) & 0x7FFFu);
}

// Starts the sequence at seed; the first value after seeding is thrown away.
inline void Seed(uint32_t seed) {
    State = seed;
    Draw();
}

} // namespace game_random
