// A fixed set of midgame positions shared by the probe's bench, the benchmark and the tests.
#pragma once

#include <cstdint>

#include "engine/board.h"

struct BenchPosition {
    int32_t side;        // the player to move; it has at least two candidate moves
    const char* diagram; // six rows of twelve cells, as the board reader takes them
};

constexpr int BenchPositionCount = 12;
extern const BenchPosition BenchPositions[BenchPositionCount];

// The slowest moves of LV5+ in seeded real games, as the probe's `hardest` command finds them.
constexpr int HardPositionCount = 12;
extern const BenchPosition HardPositions[HardPositionCount];

// The board of position i (0 <= i < BenchPositionCount).
Board BenchBoard(int i);
// The board of any position of the two sets.
Board BenchBoard(const BenchPosition& position);
