// The averaging move search: move listing, the recursive evaluation and the pick among the best.
//
// The public operations take the game's 32-bit boards. Below Evaluate the recursion runs on the
// bit form of a position (engine/bitboard.h), finds a side's moves with a few word operations,
// scores the moves just above the leaves in one pass, and remembers finished nodes in the node
// table (engine/node_table.h). Every score, progress count, node count and pick is the same as
// the plain walk through the rule operations gives: a remembered node adds the calls its subtree
// would have made.
#include "engine/search.h"

#include <cstring>

#include "engine/bitboard.h"
#include "engine/node_table.h"
#include "engine/rules.h"
#include "engine/tables.h"

namespace {

using bitboard::Bits;
using bitboard::Cells;
using bitboard::Position;

constexpr uint64_t ProgressMask = 0xFFFF;
constexpr int MaxMoves = PlayableCells; // no side has more moves than there are cells

constexpr Bits MakePriorityCells() {
    Bits b = {{0, 0, 0}};
    for (int cell = 0; cell < 97; ++cell)
        if (bitboard::IsPlayable(cell) && PriorityCell[cell] == 1) b = b | Cells.mask[cell];
    return b;
}
constexpr Bits PriorityCells = MakePriorityCells();

Position FromBoard(const int32_t* board) {
    Position pos = {};
    for (int cell = FirstPlayable; cell <= LastPlayable; ++cell) {
        const int32_t v = board[cell];
        if (bitboard::IsPlayable(cell) && (v == 1 || v == 2))
            pos.p[v - 1] = pos.p[v - 1] | Cells.mask[cell];
    }
    return pos;
}

// Holds the program's node table for one search, if no other search has it.
class TableLease {
  public:
    TableLease(bool wanted, int depth)
        : FTable(wanted ? node_table::Table::Lease(depth) : nullptr) {}
    ~TableLease() {
        if (FTable) FTable->Release();
    }
    TableLease(const TableLease&) = delete;
    TableLease& operator=(const TableLease&) = delete;
    node_table::Table* get() const { return FTable; }

  private:
    node_table::Table* FTable;
};

} // namespace

// One search below a public Evaluate call. `own` is the searching side for the whole tree.
class SearchRun {
  public:
    SearchRun(TSearch& search, int own, node_table::Table* table)
        : FSearch(search), FOwn(own), FTable(table), FNear(table ? table->Near(0) : nullptr),
          FProgressBase(static_cast<uint32_t>(search.FProgress.load(std::memory_order_relaxed))) {}

    // The valuation of the node reached by mover's move, with the remaining depth; -1 once
    // stopped.
    int32_t Node(const Position& pos, int mover, int depth);
    // A node as the caller meets it: from the table when it is there, else searched and kept.
    int32_t Visit(const Position& pos, int mover, int depth, uint64_t hash);
    // Nodes worth a table entry: all but the leaves, whose scores are cheaper to count again.
    static bool Remembered(int depth) { return depth >= 2 && depth <= node_table::MaxDepth; }
    node_table::Key KeyOf(const Position& pos, int mover, int depth) const {
        return node_table::KeyOf(pos, mover, FOwn, depth);
    }

    // Evaluate calls finished so far, remembered ones included.
    uint64_t Done() const { return FDone; }
    void Publish() {
        FSearch.FProgress.store(static_cast<int32_t>((FProgressBase + FDone) & ProgressMask),
                                std::memory_order_relaxed);
    }

  private:
    bool Stopped() const { return FSearch.Stopped(); }
    int32_t Leaf(const Position& pos) {
        ++FDone;
        return LeafScale * bitboard::WeightOf(pos.p[FOwn - 1]);
    }

    TSearch& FSearch;
    const int FOwn;
    node_table::Table* const FTable;
    node_table::NearEntry* const FNear; // this thread's own region of the table
    const uint32_t FProgressBase;
    uint64_t FDone = 0;
};

int32_t SearchRun::Visit(const Position& pos, int mover, int depth, uint64_t hash) {
    if (!FTable || !Remembered(depth)) return Node(pos, mover, depth);
    const node_table::Key key = KeyOf(pos, mover, depth);
    const bool near = depth == node_table::NearDepth;
    int32_t score;
    uint64_t calls;
    if (near ? node_table::Table::ProbeNear(FNear, key, hash, score, calls)
             : FTable->Probe(key, hash, score, calls)) {
        FDone += calls;
        return score;
    }
    const uint64_t before = FDone;
    score = Node(pos, mover, depth);
    if (near)
        node_table::Table::StoreNear(FNear, key, hash, score, FDone - before);
    else
        FTable->Store(key, hash, score, FDone - before);
    return score;
}

int32_t SearchRun::Node(const Position& pos, int mover, int depth) {
    if (depth == 1) return Leaf(pos);

    // The next mover is the other player if they can put, else the same player again; if
    // neither can, the game ends here.
    int next = 3 - mover;
    Bits moves = bitboard::Moves(pos.p[next - 1], pos.p[mover - 1]);
    if (!moves.Any()) {
        next = mover;
        moves = bitboard::Moves(pos.p[mover - 1], pos.p[2 - mover]);
        if (!moves.Any()) return Leaf(pos);
    }
    const bool ownNext = next == FOwn;
    const int childDepth = ownNext ? depth - 1 : depth;
    if (ownNext) {
        // The searching side keeps to its priority cells whenever it has a move on one.
        const Bits priority = moves & PriorityCells;
        if (priority.Any()) moves = priority;
    }

    int32_t sum = 0;
    int count = 0;
    if (ownNext && childDepth == 1) {
        // The children are leaves: each one is the searching side's weight after its move.
        if (Stopped()) return -1;
        const Bits& own = pos.p[FOwn - 1];
        const Bits& opp = pos.p[2 - FOwn];
        const int32_t base = bitboard::WeightOf(own);
        bitboard::ForEachCell(moves, [&](int cell) {
            sum += LeafScale * (base + bitboard::Gain(own, opp, cell));
            ++count;
        });
        FDone += static_cast<uint64_t>(count) + 1;
        return sum / count; // progress is shown by the nodes above, often enough
    }

    // Every child is made first, so that the table can fetch all their entries at once.
    struct Child {
        Position pos;
        uint64_t hash;
    };
    Child children[MaxMoves];
    const bool remembered = FTable && Remembered(childDepth);
    bitboard::ForEachCell(moves, [&](int cell) {
        Child& c = children[count++];
        c.pos = pos;
        bitboard::Play(c.pos, cell, next);
        c.hash = 0;
        if (remembered) {
            c.hash = node_table::HashOf(KeyOf(c.pos, next, childDepth));
            if (childDepth != node_table::NearDepth) FTable->Prefetch(c.hash);
        }
    });
    // Each child is looked up just before it would be searched, so its entry has had the
    // search of its elder siblings to arrive.
    for (int i = 0; i < count; ++i) {
        if (Stopped()) return -1;
        const Child& c = children[i];
        const int32_t r = Visit(c.pos, next, childDepth, c.hash);
        if (r < 0) return r;
        sum += r;
    }
    ++FDone;
    Publish();
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
    TableLease lease(FUseNodeTable, depth);
    return EvaluateWith(lease.get(), cell, side, board, depth);
}

int TSearch::EvaluateWith(node_table::Table* table, int cell, int side, const int32_t* board,
                          int depth) {
    if (Stopped()) return -1;
    const int p = side < 0 ? -side : side;
    // Outside the domain (no such player, no such cell) there is nothing to play or weigh.
    if ((p != 1 && p != 2) || cell < 0 || cell > LastPlayable || !bitboard::IsPlayable(cell))
        return 0;
    Position pos = FromBoard(board);
    bitboard::Play(pos, cell, p);
    SearchRun run(*this, side > 0 ? p : 3 - p, table);
    const int32_t score =
        run.Visit(pos, p, depth, table ? node_table::HashOf(run.KeyOf(pos, p, depth)) : 0);
    FNodes += run.Done();
    run.Publish(); // a stopped search shows the calls it finished
    return score;
}

int TSearch::Think() {
    int32_t list[MoveListSize];
    const int priorityEnd = ListMoves(FSide, FBoard, list);
    if (FDepth >= 1) {
        if (priorityEnd > 0) list[priorityEnd] = -1;
        int count = 0;
        while (list[count] >= 0) ++count;
        if (count >= 2) {
            TableLease lease(FUseNodeTable, FDepth);
            if (lease.get()) lease.get()->NewAge();
            int32_t best[MoveListSize];
            int bestCount = 0;
            int32_t bestScore = -1;
            for (int i = 0; i < count; ++i) {
                const int32_t r = EvaluateWith(lease.get(), list[i], FSide, FBoard, FDepth);
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
