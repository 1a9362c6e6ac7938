// The averaging move search: move listing, the recursive evaluation and the pick among the best.
//
// The public operations work on the game's 32-bit boards. Below Evaluate the recursion runs on
// a compact private form of the position (one byte per cell, the empty cells as a bit set, both
// players' weighted panel counts carried along) and reaches every cell through precomputed rays,
// so a node costs one small copy, one move and one pass over the empty cells. Every score,
// progress count and pick is the same as a plain walk through the rule operations would give.
#include <bit>
#include <cstring>

#include "engine/search.h"

#include "engine/rules.h"
#include "engine/tables.h"

namespace {

constexpr int32_t LeafScale = 10000; // a leaf is worth 10000 per unit of weighted panel count
constexpr int32_t ProgressWrap = 0xFFFF;

constexpr bool IsPlayableIndex(int i) {
    const int r = i / RowStride, c = i % RowStride;
    return r >= 1 && r <= 6 && c >= 1 && c <= 12;
}

// Ray[cell][d]: the cells met from cell in direction d, nearest first, cut at the first border
// cell and closed by cell 0, which is border in every position. A walk therefore stops on a
// value <= 0 without testing for the end of its list.
struct RayTable {
    uint8_t cell[97][4][12] = {};
};
constexpr RayTable MakeRays() {
    RayTable t;
    for (int cell = 0; cell < 97; ++cell) {
        if (!IsPlayableIndex(cell)) continue;
        for (int d = 0; d < 4; ++d) {
            int n = 0;
            for (const int32_t* off = LineOffsets[d][CellClass[cell]]; *off != 0; ++off) {
                const int c = cell + *off;
                if (c < 0 || c >= BoardSize || !IsPlayableIndex(c)) break;
                t.cell[cell][d][n++] = static_cast<uint8_t>(c);
            }
            t.cell[cell][d][n] = 0;
        }
    }
    return t;
}
constexpr RayTable Ray = MakeRays();
static_assert(InitialBoard[0] == CellBorder, "rays end on cell 0, which must be border");

// Weight of a panel on each cell, 0 off the playing area so any index may be looked up.
struct WeightTable {
    int32_t w[BoardSize] = {};
};
constexpr WeightTable MakeWeights() {
    WeightTable t;
    for (int i = 0; i < 97; ++i)
        if (IsPlayableIndex(i)) t.w[i] = CellWeight[i];
    return t;
}
constexpr WeightTable Weight = MakeWeights();

// The two directions whose first cell is the partner, by class; and the partner's offset.
constexpr unsigned PartnerDirections[4] = {0b1100, 0b0011, 0b0110, 0b1001};
constexpr int PartnerOffset[4] = {+1, -1, +1, -1};

// Sets of cells as 128-bit masks over cell indexes.
using CellBits = unsigned __int128;
constexpr CellBits Bit(int cell) {
    return CellBits{1} << cell;
}

constexpr CellBits MakeCellBits(bool (*pick)(int)) {
    CellBits b = 0;
    for (int i = 0; i < 97; ++i)
        if (IsPlayableIndex(i) && pick(i)) b |= Bit(i);
    return b;
}
constexpr CellBits PriorityBits = MakeCellBits([](int i) { return PriorityCell[i] == 1; });
// Cells whose neighbour one row up (class 0, 3) or one row down (class 1, 2) is a first cell.
constexpr CellBits UpNeighbourBits =
    MakeCellBits([](int i) { return CellClass[i] == 0 || CellClass[i] == 3; });
constexpr CellBits DownNeighbourBits =
    MakeCellBits([](int i) { return CellClass[i] == 1 || CellClass[i] == 2; });

// The cells next to some cell of s: those whose first cell in some direction lies in s.
constexpr CellBits Neighbours(CellBits s) {
    return (s << 1) | (s >> 1) | ((s << RowStride) & UpNeighbourBits) |
           ((s >> RowStride) & DownNeighbourBits);
}

constexpr bool NeighboursMatchRays() {
    for (int cell = 0; cell < 97; ++cell) {
        if (!IsPlayableIndex(cell)) continue;
        CellBits fromRays = 0;
        for (int d = 0; d < 4; ++d) {
            const int first = Ray.cell[cell][d][0];
            if (IsPlayableIndex(first)) fromRays |= Bit(first);
        }
        for (int other = 0; other < 97; ++other) {
            if (!IsPlayableIndex(other)) continue;
            const bool viaRays = (fromRays & Bit(other)) != 0;
            const bool viaShifts = (Neighbours(Bit(other)) & Bit(cell)) != 0;
            if (viaRays != viaShifts) return false;
        }
    }
    return true;
}
static_assert(NeighboursMatchRays(), "the shift form of the first-cell relation is exact");

struct alignas(16) Cells {
    int8_t v[BoardSize];
};

// A position as the recursion carries it.
struct Position {
    Cells b;
    CellBits empty;
    CellBits panels[3]; // by player (entry 0 unused)
    int32_t weight[3];  // weighted panel count by player (entry 0 unused)
};

// One player's legal moves in one position, priority cells first and every group in ascending
// order, as the move listing orders them.
struct MoveList {
    uint8_t cell[72];
    int32_t gain[72]; // with gains: the weight of the panels each move turns over
    int count;
    int priorityCount;
};

// Puts p's panel on cell and turns over what it brackets, keeping the sets and counts in step.
inline void Play(Position& pos, int cell, int p) {
    const int q = 3 - p;
    Cells& b = pos.b;
    int run[4];
    // All brackets are decided before anything turns: the partner may head two of them.
    for (int d = 0; d < 4; ++d) {
        const uint8_t* r = Ray.cell[cell][d];
        int k = 0;
        while (b.v[r[k]] == q) ++k;
        run[d] = (k > 0 && b.v[r[k]] == p) ? k : 0;
    }
    b.v[cell] = static_cast<int8_t>(p);
    CellBits turned = 0;
    int32_t gained = 0;
    for (int d = 0; d < 4; ++d) {
        const uint8_t* r = Ray.cell[cell][d];
        for (int k = 0; k < run[d]; ++k) {
            const int c = r[k];
            if (b.v[c] == q) {
                b.v[c] = static_cast<int8_t>(p);
                turned |= Bit(c);
                gained += Weight.w[c];
            }
        }
    }
    pos.empty &= ~Bit(cell);
    pos.panels[p] |= turned | Bit(cell);
    pos.panels[q] &= ~turned;
    pos.weight[p] += Weight.w[cell] + gained;
    pos.weight[q] -= gained;
}

// Appends who's legal moves among the cells of bits (offset by base). With Gains, also records
// for each move the weight of the panels it would turn over.
template <bool Gains>
inline void ScanCells(const Cells& b, uint64_t bits, int base, int who, MoveList& mv) {
    const int other = 3 - who;
    while (bits) {
        const int cell = base + std::countr_zero(bits);
        bits &= bits - 1;
        const auto& rays = Ray.cell[cell];
        unsigned dirs = 0; // directions in which who brackets a run
        int32_t gain = 0;
        for (int d = 0; d < 4; ++d) {
            const uint8_t* r = rays[d];
            if (b.v[r[0]] != other) continue;
            int k = 1;
            while (b.v[r[k]] == other) ++k;
            if (b.v[r[k]] != who) continue;
            dirs |= 1u << d;
            if constexpr (Gains)
                for (int j = 0; j < k; ++j) gain += Weight.w[r[j]];
        }
        if (dirs == 0) continue;
        if constexpr (Gains) {
            const int cls = CellClass[cell];
            if ((dirs & PartnerDirections[cls]) == PartnerDirections[cls])
                gain -= Weight.w[cell + PartnerOffset[cls]]; // the partner turns only once
            mv.gain[mv.count] = gain;
        }
        mv.cell[mv.count++] = static_cast<uint8_t>(cell);
    }
}

template <bool Gains> inline void ScanSet(const Cells& b, CellBits set, int who, MoveList& mv) {
    ScanCells<Gains>(b, static_cast<uint64_t>(set), 0, who, mv);
    ScanCells<Gains>(b, static_cast<uint64_t>(set >> 64), 64, who, mv);
}

// Lists who's legal moves. Only empty cells next to a panel of the other player can be moves.
// With priorityOnly the other cells are not looked at when a priority move exists, since the
// list would be cut to the priority moves anyway.
template <bool Gains>
inline void FindMoves(const Position& pos, int who, bool priorityOnly, MoveList& mv) {
    const CellBits candidates = pos.empty & Neighbours(pos.panels[3 - who]);
    mv.count = 0;
    ScanSet<Gains>(pos.b, candidates & PriorityBits, who, mv);
    mv.priorityCount = mv.count;
    if (priorityOnly && mv.count > 0) return;
    ScanSet<Gains>(pos.b, candidates & ~PriorityBits, who, mv);
}

} // namespace

// One search below a public Evaluate call. `own` is the searching side for the whole tree.
class SearchRun {
  public:
    SearchRun(TSearch& search, int own) : FThread(search), FOwn(own) {}

    // Evaluates p's move on cell in the position parent with the given remaining depth. The
    // caller has already looked at the terminate flag.
    int Node(const Position& parent, int cell, int p, int depth);

  private:
    bool Stopped() const { return FThread.Stopped(); }
    void Finished(uint32_t calls) {
        // Only this thread writes the count; the window merely compares successive readings.
        auto& progress = FThread.FProgress;
        progress.store((progress.load(std::memory_order_relaxed) + static_cast<int32_t>(calls)) &
                           ProgressWrap,
                       std::memory_order_relaxed);
        FThread.FNodes += calls;
    }
    // Lists the moves of who, the next mover; the searching side's with gains when its moves
    // would be leaves.
    void List(const Position& pos, int who, bool leavesBelow, MoveList& mv) const {
        const bool own = who == FOwn;
        if (own && leavesBelow)
            FindMoves<true>(pos, who, true, mv);
        else
            FindMoves<false>(pos, who, own, mv);
    }

    TSearch& FThread;
    const int FOwn;
};

int SearchRun::Node(const Position& parent, int cell, int p, int depth) {
    Position pos = parent;
    Play(pos, cell, p);

    if (depth == 1) {
        Finished(1);
        return LeafScale * pos.weight[FOwn];
    }

    // The next mover is the other player if they can put, else the same player again; if
    // neither can, the game ends here.
    const bool leavesBelow = depth == 2; // own moves below this node would be leaves
    MoveList mv;
    int next = 3 - p;
    List(pos, next, leavesBelow, mv);
    if (mv.count == 0) {
        next = p;
        List(pos, next, leavesBelow, mv);
        if (mv.count == 0) {
            Finished(1);
            return LeafScale * pos.weight[FOwn];
        }
    }

    const bool ownNext = next == FOwn;
    const int childDepth = ownNext ? depth - 1 : depth;
    // The searching side keeps to its priority cells whenever it has a move on one.
    const int count = ownNext && mv.priorityCount > 0 ? mv.priorityCount : mv.count;

    int32_t sum = 0;
    if (ownNext && childDepth == 1) {
        // The children are leaves: each one's score is known from this position alone.
        const int32_t base = pos.weight[FOwn];
        for (int i = 0; i < count; ++i) {
            if (Stopped()) {
                Finished(static_cast<uint32_t>(i));
                return -1;
            }
            sum += LeafScale * (base + Weight.w[mv.cell[i]] + mv.gain[i]);
        }
        Finished(static_cast<uint32_t>(count) + 1);
        return sum / count;
    }

    for (int i = 0; i < count; ++i) {
        if (Stopped()) return -1;
        const int r = Node(pos, mv.cell[i], next, childDepth);
        if (r < 0) return r;
        sum += r;
    }
    Finished(1);
    return sum / count;
}

void TSearch::Prepare(int side, int depth, const int32_t* board, int32_t random) {
    FSide = side;
    FDepth = depth;
    FBoard = board;
    FRandom = random;
    FResult.store(ResultNotReady);
    FProgress.store(0);
}

int TSearch::ListMoves(int side, const int32_t* board, int32_t* list) {
    int32_t others[MoveListSize];
    int n = 0, m = 0;
    for (int cell = 0; cell <= LastPlayable; ++cell) {
        if (board[cell] != CellEmpty || !(rules::CheckPut(cell, board) & side)) continue;
        if (PriorityCell[cell] == 1)
            list[n++] = cell;
        else
            others[m++] = cell;
    }
    const int priorityEnd = n;
    for (int i = 0; i < m; ++i) list[n++] = others[i];
    list[n] = -1;
    return priorityEnd;
}

int TSearch::Evaluate(int cell, int side, const int32_t* board, int depth) {
    if (Stopped()) return -1;
    const int p = side < 0 ? -side : side;
    // Outside the domain (no such player, no such cell) there is nothing to play or weigh.
    if ((p != 1 && p != 2) || cell < 0 || cell > LastPlayable || !IsPlayableIndex(cell)) return 0;
    const int own = side > 0 ? p : 3 - p;

    Position pos = {};
    for (int i = 0; i < BoardSize; ++i) {
        // Off the playing area every cell is border, whatever the caller's ring holds.
        const int32_t v = IsPlayableIndex(i) ? board[i] : CellBorder;
        pos.b.v[i] = static_cast<int8_t>(v);
        if (v == CellEmpty) {
            pos.empty |= Bit(i);
        } else if (v == 1 || v == 2) {
            pos.panels[v] |= Bit(i);
            pos.weight[v] += Weight.w[i];
        }
    }
    SearchRun run(*this, own);
    return run.Node(pos, cell, p, depth);
}

int TSearch::Think() {
    int32_t list[MoveListSize];
    const int priorityEnd = ListMoves(FSide, FBoard, list);
    if (FDepth >= 1) {
        if (priorityEnd > 0) list[priorityEnd] = -1;
        int count = 0;
        while (list[count] >= 0) ++count;
        if (count >= 2) {
            int32_t best[MoveListSize];
            int bestCount = 0;
            int32_t bestScore = -1;
            for (int i = 0; i < count; ++i) {
                const int32_t r = Evaluate(list[i], FSide, FBoard, FDepth);
                if (r < 0) return -1;
                if (r > bestScore) {
                    bestCount = 0;
                    bestScore = r;
                }
                if (r == bestScore) best[bestCount++] = list[i];
            }
            best[bestCount] = -1;
            std::memcpy(list, best, sizeof(int32_t) * (bestCount + 1));
        }
    }
    int count = 0;
    while (list[count] >= 0) ++count;
    // The pick scales FRandom (0..32767) onto the list; out-of-range values are held to it.
    int64_t index = (static_cast<int64_t>(FRandom) * count) >> 15;
    if (index >= count) index = count - 1;
    if (index < 0) index = 0;
    const int32_t result = list[index]; // -1 when the side has no move at all
    FResult.store(result);
    return result;
}
