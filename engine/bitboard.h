// The search's form of a position: each player's panels as bits, every cell kept in both of its
// lines, so that all four directions are shifts inside a line.
//
// Twelve 16-bit lanes in three 64-bit words. Lanes 0-5 are the rows 1-6 (bit = column - 1);
// lanes 6-11 are the column lines of column pairs 1-2, 3-4, ..., 11-12 (bit = place along the
// line from row 1, two cells a row). Bits 12-15 of every lane are always clear, so a shift never
// carries one line into the next once it is masked with a player's or the empty cells. Shifting
// up moves toward column 12 in a row and toward row 6 in a column line (directions 2 and 3);
// shifting down toward column 1 and row 1 (directions 0 and 1).
#pragma once

#include <bit>
#include <cstdint>

#include "engine/board.h"
#include "engine/tables.h"

namespace bitboard {

constexpr int Lanes = 12;
constexpr int RowLanes = 6;
constexpr uint64_t LaneCells = 0x0FFF;
constexpr uint64_t AllCells = 0x0FFF0FFF0FFF0FFFull; // the twelve cells of every lane

struct Bits {
    uint64_t w[3];

    constexpr Bits operator|(const Bits& o) const {
        return {{w[0] | o.w[0], w[1] | o.w[1], w[2] | o.w[2]}};
    }
    constexpr Bits operator&(const Bits& o) const {
        return {{w[0] & o.w[0], w[1] & o.w[1], w[2] & o.w[2]}};
    }
    constexpr Bits operator~() const { return {{~w[0], ~w[1], ~w[2]}}; }
    constexpr bool Any() const { return (w[0] | w[1] | w[2]) != 0; }
    constexpr uint32_t Lane(int lane) const {
        return static_cast<uint32_t>(w[lane >> 2] >> ((lane & 3) * 16)) & LaneCells;
    }
    constexpr void SetLane(int lane, uint32_t v) {
        w[lane >> 2] |= static_cast<uint64_t>(v) << ((lane & 3) * 16);
    }
};

// Rows and column lines as the board's geometry gives them.
constexpr bool IsPlayable(int i) {
    return IsPlayableCell(i);
}

// Where a playable cell lies: its row lane and place, its column lane and place.
struct CellPlace {
    uint8_t row, x, column, y;
};

constexpr CellPlace PlaceOf(int cell) {
    const int r = cell / RowStride, c = cell % RowStride;
    const int pair = (c - 1) / 2;
    // In a column line each row gives its pair's two cells; the pair's class-0 or class-3
    // triangle comes first (the partner is the next cell toward row 6).
    const int cls = CellClass[cell];
    const bool first = cls == 0 || cls == 3;
    return {static_cast<uint8_t>(r - 1), static_cast<uint8_t>(c - 1),
            static_cast<uint8_t>(RowLanes + pair),
            static_cast<uint8_t>(2 * (r - 1) + (first ? 0 : 1))};
}

// Lanes of the same weights share a weight table: rows 1 and 6, the other rows, the column
// lines through the four corners, the other column lines.
constexpr int LaneKinds = 4;
constexpr int LaneKind(int lane) {
    if (lane < RowLanes) return lane == 0 || lane == RowLanes - 1 ? 0 : 1;
    return lane == RowLanes || lane == Lanes - 1 ? 2 : 3;
}

// What putting on a cell needs: where its two lanes lie in the words, its place in each, and
// for scoring a move just above the leaves the weights of it and of its partner.
struct CellInfo {
    uint8_t rowWord, rowShift, columnWord, columnShift;
    uint8_t x, y;      // its place in its row lane and in its column lane
    uint8_t row, pair; // its row (0-5) and column pair (0-5)
    uint8_t rowKind, columnKind;
    uint16_t partnerRow, partnerColumn; // the partner's bit in each of the two lanes
    int32_t weight, partnerWeight;
};

// One form's words that a set of the other form's lane turns into: [0] and [1] are words 0 and
// 1 for row lanes, 1 and 2 for column lanes.
struct TwoWords {
    uint64_t w[2];
};

struct CellTables {
    CellInfo info[BoardSize] = {};
    Bits mask[BoardSize] = {};       // the cell's two bits, 0 off the playing area
    uint8_t cellAt[Lanes * 16] = {}; // bit of either form -> cell index
    // A row's cells as column-lane bits, and a column pair's as row-lane bits, by halves of six
    // bits: [row or pair][half][pattern].
    TwoWords rowToColumns[RowLanes][2][64] = {};
    TwoWords columnToRows[RowLanes][2][64] = {};
    // The weight of the panels on a lane, by the lane's kind.
    uint8_t laneWeight[LaneKinds][1 << 12] = {};
};

constexpr CellTables MakeCellTables() {
    CellTables t;
    int32_t weightAt[Lanes][12] = {};
    for (int cell = 0; cell < BoardSize; ++cell) {
        if (!IsPlayable(cell)) continue;
        const CellPlace p = PlaceOf(cell);
        t.mask[cell].SetLane(p.row, 1u << p.x);
        t.mask[cell].SetLane(p.column, 1u << p.y);
        t.cellAt[p.row * 16 + p.x] = static_cast<uint8_t>(cell);
        t.cellAt[p.column * 16 + p.y] = static_cast<uint8_t>(cell);
        weightAt[p.row][p.x] = CellWeight[cell];
        weightAt[p.column][p.y] = CellWeight[cell];
        const int pair = p.column - RowLanes;
        for (int v = 0; v < 64; ++v) {
            // Column lanes start at bit 32 of word 1: [0] is word 1, [1] word 2.
            if ((v >> (p.x % 6)) & 1) {
                const int bit = p.column * 16 + p.y - 64;
                t.rowToColumns[p.row][p.x / 6][v].w[bit / 64] |= uint64_t{1} << (bit % 64);
            }
            if ((v >> (p.y % 6)) & 1) {
                const int bit = p.row * 16 + p.x;
                t.columnToRows[pair][p.y / 6][v].w[bit / 64] |= uint64_t{1} << (bit % 64);
            }
        }
        const int partner = cell + (CellClass[cell] == 0 || CellClass[cell] == 2 ? 1 : -1);
        const CellPlace q = PlaceOf(partner);
        t.info[cell] = {static_cast<uint8_t>(p.row >> 2),
                        static_cast<uint8_t>((p.row & 3) * 16),
                        static_cast<uint8_t>(p.column >> 2),
                        static_cast<uint8_t>((p.column & 3) * 16),
                        p.x,
                        p.y,
                        p.row,
                        static_cast<uint8_t>(pair),
                        static_cast<uint8_t>(LaneKind(p.row)),
                        static_cast<uint8_t>(LaneKind(p.column)),
                        static_cast<uint16_t>(1u << q.x),
                        static_cast<uint16_t>(1u << q.y),
                        CellWeight[cell],
                        CellWeight[partner]};
    }
    // Lanes of one kind weigh alike; each pattern is its lowest cell plus the rest.
    for (int lane = 0; lane < Lanes; ++lane)
        for (int v = 1; v < (1 << 12); ++v)
            t.laneWeight[LaneKind(lane)][v] =
                static_cast<uint8_t>(t.laneWeight[LaneKind(lane)][v & (v - 1)] +
                                     weightAt[lane][std::countr_zero(static_cast<unsigned>(v))]);
    return t;
}

inline constexpr CellTables Cells = MakeCellTables();

// The law everything here rests on: walking a lane from a cell's place meets the cells of the
// board's lines in their order, direction 0 down the row lane, 2 up it, 1 down the column lane
// and 3 up it, and the lane ends exactly where the walk meets the border.
constexpr bool LanesFollowTheLines() {
    for (int cell = 0; cell < BoardSize; ++cell) {
        if (!IsPlayable(cell)) continue;
        const CellPlace p = PlaceOf(cell);
        for (int d = 0; d < 4; ++d) {
            const int lane = d % 2 == 0 ? p.row : p.column;
            const int step = d < 2 ? -1 : 1;
            int place = (d % 2 == 0 ? p.x : p.y) + step;
            for (const int32_t* off = LineOffsets[d][CellClass[cell]]; *off != 0; ++off) {
                const int c = cell + *off;
                const bool inLane = place >= 0 && place < 12;
                if (!IsPlayable(c)) {
                    if (inLane) return false;
                    break;
                }
                if (!inLane || Cells.cellAt[lane * 16 + place] != c) return false;
                place += step;
            }
        }
    }
    return true;
}
static_assert(LanesFollowTheLines(), "the lanes are the board's lines");

// Calls f once with each cell of a set kept in both forms (a move found along a row, along a
// column line, or both), in ascending order.
template <class F> inline void ForEachCell(const Bits& set, F f) {
    // Every cell in row form: the row lanes, and the column lanes turned into row bits.
    uint64_t lo = set.w[0], hi = set.w[1] & 0xFFFFFFFFull;
    for (int pair = 0; pair < RowLanes; ++pair) {
        const uint32_t lane = set.Lane(RowLanes + pair);
        const TwoWords& a = Cells.columnToRows[pair][0][lane & 63];
        const TwoWords& b = Cells.columnToRows[pair][1][lane >> 6];
        lo |= a.w[0] | b.w[0];
        hi |= a.w[1] | b.w[1];
    }
    // One loop over both words: its end is the only branch that depends on the set.
    while ((lo | hi) != 0) {
        const bool low = lo != 0;
        const uint64_t word = low ? lo : hi;
        f(Cells.cellAt[std::countr_zero(word) + (low ? 0 : 64)]);
        lo = low ? lo & (lo - 1) : lo;
        hi = low ? hi : hi & (hi - 1);
    }
}

// The weighted panel count of a set given in row form (or in both forms).
inline int32_t WeightOf(const Bits& b) {
    const auto& edge = Cells.laneWeight[0];
    const auto& inner = Cells.laneWeight[1];
    return edge[b.Lane(0)] + inner[b.Lane(1)] + inner[b.Lane(2)] + inner[b.Lane(3)] +
           inner[b.Lane(4)] + edge[b.Lane(RowLanes - 1)];
}

// Every cell a player whose panels are own could put on, found through each lane both ways,
// in both forms: a row lane bit says a row direction brackets, a column lane bit a column one.
inline uint64_t MovesOneWord(uint64_t own, uint64_t opp) {
    const uint64_t empty = AllCells & ~(own | opp);
    // Occluded fills: from own panels through runs of opp, doubling the reach each step.
    uint64_t g = own, p = opp;
    g |= p & (g << 1);
    p &= p << 1;
    g |= p & (g << 2);
    p &= p << 2;
    g |= p & (g << 4);
    p &= p << 4;
    g |= p & (g << 8);
    uint64_t moves = empty & ((g & opp) << 1);
    g = own;
    p = opp;
    g |= p & (g >> 1);
    p &= p >> 1;
    g |= p & (g >> 2);
    p &= p >> 2;
    g |= p & (g >> 4);
    p &= p >> 4;
    g |= p & (g >> 8);
    moves |= empty & ((g & opp) >> 1);
    return moves;
}

inline Bits Moves(const Bits& own, const Bits& opp) {
    return {{MovesOneWord(own.w[0], opp.w[0]), MovesOneWord(own.w[1], opp.w[1]),
             MovesOneWord(own.w[2], opp.w[2])}};
}

// The places of one line that a panel put at x turns over, both ways along the line.
inline uint32_t LineFlips(uint32_t own, uint32_t opp, int x) {
    // Upward the carry of opp + (bit x+1) runs through the run of opp and lands on the cell
    // that ends it, which brackets only if it is own.
    const uint32_t next = 2u << x;
    const uint32_t up = (opp + next) & own;
    const uint32_t upFlips = (up - next) & (0u - (up != 0));
    // Downward the run ends at the highest cell below x that is not opp. With none, bit 0 is
    // opp, so the stand-in end there is never own.
    const uint32_t end = 1u << (31 - std::countl_zero((~opp & ((1u << x) - 1)) | 1u));
    const uint32_t downFlips = ((1u << x) - (end << 1)) & (0u - ((end & own) != 0));
    return upFlips | downFlips;
}

inline uint32_t RowLane(const Bits& b, const CellInfo& c) {
    return static_cast<uint32_t>(b.w[c.rowWord] >> c.rowShift) & LaneCells;
}
inline uint32_t ColumnLane(const Bits& b, const CellInfo& c) {
    return static_cast<uint32_t>(b.w[c.columnWord] >> c.columnShift) & LaneCells;
}

// The panels that the mover's panel on cell turns over, in both forms.
inline Bits Flips(const Bits& own, const Bits& opp, int cell) {
    const CellInfo& c = Cells.info[cell];
    const uint32_t row = LineFlips(RowLane(own, c), RowLane(opp, c), c.x);
    const uint32_t column = LineFlips(ColumnLane(own, c), ColumnLane(opp, c), c.y);
    const TwoWords& r0 = Cells.rowToColumns[c.row][0][row & 63];
    const TwoWords& r1 = Cells.rowToColumns[c.row][1][row >> 6];
    const TwoWords& c0 = Cells.columnToRows[c.pair][0][column & 63];
    const TwoWords& c1 = Cells.columnToRows[c.pair][1][column >> 6];
    Bits f = {{c0.w[0] | c1.w[0], c0.w[1] | c1.w[1] | r0.w[0] | r1.w[0], r0.w[1] | r1.w[1]}};
    f.w[c.rowWord] |= static_cast<uint64_t>(row) << c.rowShift;
    f.w[c.columnWord] |= static_cast<uint64_t>(column) << c.columnShift;
    return f;
}

// What the mover's panel on cell adds to the mover's weighted panel count: its own cell and the
// panels it turns over. The partner, which two directions may both turn, counts once.
inline int32_t Gain(const Bits& own, const Bits& opp, int cell) {
    const CellInfo& c = Cells.info[cell];
    const uint32_t row = LineFlips(RowLane(own, c), RowLane(opp, c), c.x);
    const uint32_t column = LineFlips(ColumnLane(own, c), ColumnLane(opp, c), c.y);
    const int32_t twice = ((row & c.partnerRow) != 0) & ((column & c.partnerColumn) != 0);
    return c.weight + Cells.laneWeight[c.rowKind][row] + Cells.laneWeight[c.columnKind][column] -
           twice * c.partnerWeight;
}

// Both players' panels: p[0] player 1's, p[1] player 2's.
struct Position {
    Bits p[2];
};

// Puts mover's panel on cell and turns over what it brackets.
inline void Play(Position& pos, int cell, int mover) {
    Bits& own = pos.p[mover - 1];
    Bits& opp = pos.p[2 - mover];
    const Bits f = Flips(own, opp, cell);
    own = own | f | Cells.mask[cell];
    opp = opp & ~f;
}

} // namespace bitboard
