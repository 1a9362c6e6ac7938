// The game's random generator: a 32-bit linear congruential sequence, one state per thread.
#pragma once

#include <cstdint>

namespace game_random {

// Each thread has its own state; the game draws only on the window's thread.
inline thread_local uint32_t State = 0;

// The state after one draw from state: a game's record derives the state at any move from the
// state at its start this way.
constexpr uint32_t Step(uint32_t state) {
    return state * 22695477u + 1u;
}

// The next value, 0..32767.
inline int32_t Draw() {
    State = Step(State);
    return static_cast<int32_t>((State >> 16) & 0x7FFFu);
}

// Starts the sequence at seed; the first value after seeding is thrown away.
inline void Seed(uint32_t seed) {
    State = seed;
    Draw();
}

} // namespace game_random
