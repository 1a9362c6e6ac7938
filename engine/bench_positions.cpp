// The bench positions: reached by random legal play from the start (game generator, seed
// 20240611), stopped at 44 down to 30 empty cells, written out so that they never drift.
#include "engine/bench_positions.h"

#include <cstdlib>
#include <string>

#include "engine/board_text.h"

const BenchPosition BenchPositions[BenchPositionCount] = {
    {1, // 44 empty
     "....1122....\n"
     "....112222..\n"
     "...111111111\n"
     "..2222112...\n"
     "....2..1....\n"
     "............\n"},
    {2, // 43 empty
     "..2..11.....\n"
     ".111111111..\n"
     "...211221111\n"
     "...11122....\n"
     "....2.22....\n"
     "............\n"},
    {1, // 42 empty
     ".....22.....\n"
     "...11122....\n"
     "22222222111.\n"
     "..22111111..\n"
     "...21.22....\n"
     "............\n"},
    {1, // 41 empty
     "......2.....\n"
     "....1.22....\n"
     "...22222222.\n"
     "..1111111111\n"
     "...22222....\n"
     ".....1111...\n"},
    {2, // 39 empty
     ".....1......\n"
     "...21122....\n"
     "222211221111\n"
     ".1111111111.\n"
     "....11.2....\n"
     "....11......\n"},
    {2, // 38 empty
     "...111111...\n"
     "..1122222...\n"
     ".1112211222.\n"
     "...122111...\n"
     "....2211....\n"
     ".....2......\n"},
    {2, // 37 empty
     "....11......\n"
     "...211111...\n"
     ".122112211..\n"
     ".1221122222.\n"
     "..111122....\n"
     "....11......\n"},
    {2, // 36 empty
     "......11....\n"
     "....2.11....\n"
     "...12211111.\n"
     ".222221111..\n"
     "...22222112.\n"
     "....111111..\n"},
    {1, // 34 empty
     "......22....\n"
     "...11.22....\n"
     ".21122221111\n"
     "2211112211..\n"
     "2...112222..\n"
     "....1111....\n"},
    {2, // 33 empty
     "......11....\n"
     "....1.1111..\n"
     "..2211222222\n"
     "...21122112.\n"
     ".12211221...\n"
     "..222222....\n"},
    {1, // 32 empty
     ".11..2222...\n"
     "11111111....\n"
     "1122221111..\n"
     "22222222222.\n"
     "...222.1....\n"
     ".....2......\n"},
    {2, // 30 empty
     "......11.2..\n"
     "....111122..\n"
     ".11111222222\n"
     "..2211112222\n"
     "...211222222\n"
     ".....122....\n"},
};

Board BenchBoard(int i) {
    Board board;
    std::string error;
    if (i < 0 || i >= BenchPositionCount || !ParseBoard(BenchPositions[i].diagram, board, error))
        std::abort(); // the table is fixed at build time; a bad entry is a programming error
    return board;
}
