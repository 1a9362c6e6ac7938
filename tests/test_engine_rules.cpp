// The rule operations: brackets per direction, legality masks, putting and turning over.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "engine/tables.h"
#include "engine/think_thread.h"
#include "test_engine_reference.h"

namespace {

Board EmptyBoard() {
    Board b = InitialBoard;
    for (int c : {48, 49, 62, 63}) b[c] = CellEmpty;
    return b;
}

Board With(std::initializer_list<std::pair<int, std::initializer_list<int>>> panels) {
    Board b = EmptyBoard();
    for (const auto& [player, cells] : panels)
        for (int c : cells) b[c] = player;
    return b;
}

std::vector<int32_t> Flips() {
    std::vector<int32_t> out;
    for (int i = 0; i < FlipListSize; ++i) {
        out.push_back(FlipList[i]);
        if (i >= 1 && FlipList[i] == -1) break;
    }
    return out;
}

TEST(Rules, StartPositionMovesAndDirections) {
    struct Case {
        int cell;
        int lines[4]; // CheckLine per direction
    };
    const Case cases[] = {
        {50, {1, 0, 0, 1}},
        {61, {0, 1, 1, 0}},
        {47, {0, 0, 2, 2}},
        {64, {2, 2, 0, 0}},
    };
    for (const Case& c : cases)
        for (int d = 0; d < 4; ++d)
            EXPECT_EQ(TThinkThread::CheckLine(c.cell, d, InitialBoard.data()), c.lines[d])
                << c.cell << "/" << d;

    std::vector<int> legal[3];
    for (int cell = FirstPlayable; cell <= LastPlayable; ++cell) {
        if (InitialBoard[cell] != CellEmpty) continue;
        const int mask = TThinkThread::CheckPut(cell, InitialBoard.data());
        EXPECT_NE(mask, 3) << cell;
        for (int p : {1, 2})
            if (mask & p) legal[p].push_back(cell);
    }
    EXPECT_EQ(legal[1], (std::vector<int>{50, 61}));
    EXPECT_EQ(legal[2], (std::vector<int>{47, 64}));
    EXPECT_EQ(TThinkThread::CheckBoard(InitialBoard.data()), 3);
}

TEST(Rules, FlipListsOfPuts) {
    struct Case {
        const char* what;
        Board board;
        int cell, player;
        std::vector<int32_t> flips;
    };
    const Case cases[] = {
        // The partner 49 heads both bracketing directions and is turned and listed once.
        {"start 1 on 50", InitialBoard, 50, 1, {1, 50, 49, -1}},
        {"start 1 on 61", InitialBoard, 61, 1, {1, 61, 62, -1}},
        {"start 2 on 47", InitialBoard, 47, 2, {1, 47, 48, -1}},
        {"start 2 on 64", InitialBoard, 64, 2, {1, 64, 63, -1}},
        {"brackets nothing", InitialBoard, 15, 1, {0, 15, -1}},
        // Direction 0, then direction 1 from the partner 78, then direction 2 passing over 78.
        {"order across directions",
         With({{2, {75, 76, 78, 64, 63, 49, 50, 79, 80}}, {1, {74, 36, 81}}}),
         77,
         1,
         {9, 77, 76, 75, 78, 64, 63, 49, 50, 79, 80, -1}},
        {"nineteen panels",
         With({{2, {16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 30, 29, 43, 44, 58, 57, 71, 72, 86}},
               {1, {26, 85}}}),
         15,
         1,
         {19, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 30, 29, 43, 44, 58, 57, 71, 72, 86, -1}},
    };
    for (const Case& c : cases) {
        Board b = c.board;
        const Board before = b;
        int32_t* list = TThinkThread::PutPanel(c.cell, c.player, b.data());
        EXPECT_EQ(list, FlipList) << c.what;
        EXPECT_EQ(Flips(), c.flips) << c.what;
        EXPECT_EQ(b[c.cell], c.player) << c.what;
        for (size_t i = 2; i + 1 < c.flips.size(); ++i) EXPECT_EQ(b[c.flips[i]], c.player);
        int changed = 0;
        for (int i = 0; i < BoardSize; ++i) changed += b[i] != before[i];
        EXPECT_EQ(changed, c.flips[0] + 1) << c.what;
    }
    Board start = InitialBoard;
    TThinkThread::PutPanel(50, 1, start.data());
    for (int c : {48, 49, 50, 63}) EXPECT_EQ(start[c], 1) << c;
    EXPECT_EQ(start[62], 2);
}

TEST(Rules, LineAnswers) {
    struct Case {
        const char* what;
        Board board;
        int cell, direction, answer;
    };
    const Case cases[] = {
        {"run into the border", With({{2, {25, 26}}}), 24, 2, 0},
        {"run fills the line", With({{2, {16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26}}}), 15, 2, 0},
        {"run closed by the last cell",
         With({{2, {16, 17, 18, 19, 20, 21, 22, 23, 24, 25}}, {1, {26}}}), 15, 2, 1},
        {"own run closed by the other", With({{1, {23, 22}}, {2, {21}}}), 24, 0, 2},
        {"own run into an empty cell", With({{1, {23, 22}}}), 24, 0, 0},
        {"both may put: row", With({{2, {46, 34}}, {1, {45, 33}}}), 47, 0, 1},
        {"both may put: column", With({{2, {46, 34}}, {1, {45, 33}}}), 47, 1, 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TThinkThread::CheckLine(c.cell, c.direction, c.board.data()), c.answer) << c.what;
    EXPECT_EQ(TThinkThread::CheckPut(24, With({{2, {25, 26}}}).data()), 0);
    EXPECT_EQ(TThinkThread::CheckPut(47, With({{2, {46, 34}}, {1, {45, 33}}}).data()), 3);
}

TEST(Rules, FullBoardHasNoMoves) {
    Board b = InitialBoard;
    for (int i = FirstPlayable; i <= LastPlayable; ++i)
        if (b[i] == CellEmpty) b[i] = 1 + (i % 3 == 0);
    EXPECT_EQ(TThinkThread::CheckBoard(b.data()), 0);
}

// Laws over positions from random legal play: what PutPanel turns is exactly the bracketed
// runs, the border ring survives, and CheckBoard is the OR of CheckPut.
TEST(Rules, LawsOverRandomPlay) {
    const int moves = reference::RandomGames(
        7, 60, [](const Board& before, int side, int cell, const Board& after) {
            int mask = 0;
            for (int c = 0; c < BoardSize; ++c)
                if (before[c] == CellEmpty) mask |= TThinkThread::CheckPut(c, before.data());
            ASSERT_EQ(TThinkThread::CheckBoard(before.data()), mask);

            // The runs each bracketing direction should turn, from the board before the move.
            std::vector<int> expected;
            for (int d = 0; d < 4; ++d) {
                if (!(TThinkThread::CheckLine(cell, d, before.data()) & side)) continue;
                for (const int32_t* off = LineOffsets[d][CellClass[cell]]; *off != 0; ++off) {
                    const int c = cell + *off;
                    if (before[c] != 3 - side) break;
                    if (std::find(expected.begin(), expected.end(), c) == expected.end())
                        expected.push_back(c);
                }
            }
            const std::vector<int32_t> flips = Flips();
            ASSERT_EQ(flips[1], cell);
            std::vector<int> turned(flips.begin() + 2, flips.end() - 1);
            EXPECT_EQ(flips[0], static_cast<int32_t>(turned.size()));
            EXPECT_EQ(turned, expected) << "move " << cell << " by " << side;
            EXPECT_FALSE(turned.empty());
            for (int i = 0; i < BoardSize; ++i) {
                const bool isTurned = std::find(turned.begin(), turned.end(), i) != turned.end();
                if (i == cell || isTurned)
                    EXPECT_EQ(after[i], side);
                else
                    EXPECT_EQ(after[i], before[i]) << i;
            }
            ASSERT_TRUE(table_laws::BorderRingIntact(after));
        });
    EXPECT_GT(moves, 2000);
}

} // namespace
