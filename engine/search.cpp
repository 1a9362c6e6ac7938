// The averaging move search: move listing, the recursive evaluation and the pick among the best.
//
// The public operations take the game's 32-bit boards. Below Evaluate the recursion runs on the
// bit form of a position (engine/bitboard.h), finds a side's moves with a few word operations,
// scores the moves just above the leaves in one pass, and remembers finished nodes in the node
// table (engine/node_table.h). Every score, progress count, node count and pick is the same as
// the plain walk through the rule operations gives: a remembered node adds the calls its subtree
// would have made.
#include "engine/search.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "engine/bitboard.h"
#include "engine/node_table.h"
#include "engine/rules.h"
#include "engine/search_pool.h"
#include "engine/tables.h"

namespace {

using bitboard::Bits;
using bitboard::Cells;
using bitboard::Position;

constexpr uint64_t ProgressMask = 0xFFFF;
constexpr int ParallelDepth = 5;        // the shallowest search that several threads share
constexpr int MaxMoves = PlayableCells; // no side has more moves than there are cells
// How often a search waiting for a stopped one looks again: nothing wakes it, since a stop or a
// release that had to wake it would have to take a lock, maybe on a page's main thread.
constexpr std::chrono::microseconds LetGoPoll{100};

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

} // namespace

// Holds a node table for one search (own, or else the program's), if no other search has it.
class TableLease {
  public:
    TableLease(bool wanted, node_table::Table* own, int depth)
        : FWanted(!wanted ? nullptr
                  : own   ? own
                          : &node_table::Table::Program()),
          FDepth(depth) {
        Take();
    }
    ~TableLease() {
        if (FTable) FTable->Release();
    }
    TableLease(const TableLease&) = delete;
    TableLease& operator=(const TableLease&) = delete;
    node_table::Table* get() const { return FTable; }
    // Tries again for a table another search had; false while one has it still.
    bool Take() {
        if (FWanted && !FTable) FTable = FWanted->TryLease(FDepth);
        return FTable || !FWanted || !FWanted->Usable();
    }

  private:
    node_table::Table* const FWanted; // null when the search goes without
    const int FDepth;
    node_table::Table* FTable = nullptr;
};

class SearchRun;

// The root moves of one search and what the threads working on them share: each move's answer
// once some thread has finished it, and the progress shown so far. Every thread walks all the
// moves, each from another one and visiting children in another rotation, and takes the
// answers of moves already finished; since a node's score and call count depend on the node
// alone, whichever thread finishes a move has the one-thread answer.
struct RootWork {
    struct Move {
        Position pos;
        uint64_t hash = 0;
        std::atomic<int32_t> score{-1}; // -1 until some thread has finished the move
        std::atomic<uint64_t> calls{0}; // its Evaluate calls, set before its score
        std::atomic<uint64_t> shown{0}; // the most of its calls any thread has shown
    };

    RootWork(TSearch& search, node_table::Table* table, int own, int mover, int depth, int count,
             int threads, uint32_t progressBase)
        : search(search), table(table), own(own), mover(mover), depth(depth), count(count),
          threads(threads), progressBase(progressBase) {}

    TSearch& search;
    node_table::Table* const table;
    const int own, mover, depth, count, threads;
    const uint32_t progressBase;
    Move moves[MaxMoves];
    std::atomic<uint64_t> shown{0};    // the moves' shown calls, summed
    std::atomic<bool> finished{false}; // every move has its answer: the other threads may stop

    void Run(int thread);
    static void RunOn(void* work, int thread) { static_cast<RootWork*>(work)->Run(thread); }
    // Raises what move i shows to calls; only ever up, so the sum never passes the final count.
    void Show(Move& m, uint64_t calls) {
        uint64_t old = m.shown.load(std::memory_order_relaxed);
        while (calls > old)
            if (m.shown.compare_exchange_weak(old, calls, std::memory_order_relaxed)) {
                shown.fetch_add(calls - old, std::memory_order_relaxed);
                break;
            }
    }
    // FProgress is written by thread 0 alone, so that it only grows.
    void Publish() {
        search.ShowProgress(
            static_cast<int32_t>((progressBase + shown.load(std::memory_order_relaxed)) & 0xFFFF));
    }
};

// One thread's search below the root moves. `own` is the searching side for the whole tree.
class SearchRun {
  public:
    SearchRun(RootWork& work, int thread)
        : FWork(work), FOwn(work.own), FTable(work.table),
          FNear(work.table ? work.table->Near(thread) : nullptr), FThread(thread),
          FThreads(work.threads), FShowStep(work.threads > 1 ? 1024 : 0) {}

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
    uint64_t MoveCalls() const { return FDone - FMoveStart; }
    // Starts on root move m: its calls are counted from here.
    void Begin(RootWork::Move& m) {
        FMove = &m;
        FMoveStart = FDone;
        FShown = 0;
    }
    // Shows the calls finished in the current root move. Several threads share the counts, so
    // they show theirs in steps rather than at every node.
    void Publish() {
        const uint64_t calls = FDone - FMoveStart;
        if (calls - FShown < FShowStep) return;
        FShown = calls;
        FWork.Show(*FMove, calls);
        if (FThread == 0) FWork.Publish();
    }

  private:
    bool Stopped() const {
        return FWork.search.Stopped() || FWork.finished.load(std::memory_order_relaxed);
    }
    int32_t Leaf(const Position& pos) {
        ++FDone;
        return LeafScale * bitboard::WeightOf(pos.p[FOwn - 1]);
    }

    RootWork& FWork;
    const int FOwn;
    node_table::Table* const FTable;
    node_table::NearEntry* const FNear; // this thread's own region of the table
    const int FThread, FThreads;
    const uint64_t FShowStep;
    uint64_t FDone = 0;
    RootWork::Move* FMove = nullptr;
    uint64_t FMoveStart = 0, FShown = 0;
};

void RootWork::Run(int thread) {
    SearchRun run(*this, thread);
    const int first = thread * count / threads;
    for (int k = 0; k < count; ++k) {
        if (search.Stopped()) return;
        Move& m = moves[(first + k) % count];
        if (m.score.load(std::memory_order_acquire) >= 0) continue;
        run.Begin(m);
        const int32_t score = run.Visit(m.pos, mover, depth, m.hash);
        if (score < 0) return; // stopped, or every move has its answer
        const uint64_t calls = run.MoveCalls();
        m.calls.store(calls, std::memory_order_relaxed);
        m.score.store(score, std::memory_order_release);
        Show(m, calls);
        if (thread == 0) Publish();
    }
    finished.store(true, std::memory_order_relaxed);
}

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
    // search of its elder siblings to arrive. Each thread starts at another child, so that
    // threads meeting in a node share its children out rather than search the same ones.
    int i = FThread == 0 ? 0 : FThread * count / FThreads;
    for (int left = count; left > 0; --left) {
        if (Stopped()) return -1;
        const Child& c = children[i];
        if (++i == count) i = 0;
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
    std::copy_n(board, BoardSize, FPosition.begin());
    FBoard = FPosition.data();
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
    if ((p != 1 && p != 2) || cell < 0 || cell > LastPlayable || !bitboard::IsPlayable(cell))
        return 0;
    const int32_t cells[1] = {cell};
    int32_t score = -1;
    return ScoreMoves(cells, 1, side, board, depth, false, false, &score) ? score : -1;
}

int TSearch::Threads() const {
    return FThreads > 0 ? FThreads : search_pool::DefaultThreads();
}

void TSearch::WaitForLetGo(TableLease& lease, bool helpers) {
    const auto free = [&] { return lease.Take() && (!helpers || !search_pool::Busy()); };
    if (free() || FStoppedWait <= std::chrono::milliseconds::zero()) return;
    FWaiting.store(true, std::memory_order_relaxed);
    const auto deadline = std::chrono::steady_clock::now() + FStoppedWait;
    do std::this_thread::sleep_for(LetGoPoll);
    while (!free() && !Stopped() && std::chrono::steady_clock::now() < deadline);
    FWaiting.store(false, std::memory_order_relaxed);
}

bool TSearch::ScoreMoves(const int32_t* cells, int count, int side, const int32_t* board, int depth,
                         bool newAge, bool mayBlock, int32_t* scores) {
    const int p = side < 0 ? -side : side;
    // Without the table the threads could not share their finished nodes; a shallow search is
    // over before helpers could be woken.
    const int wanted = FUseNodeTable && depth >= ParallelDepth
                           ? std::clamp(Threads(), 1, node_table::MaxThreads)
                           : 1;
    TableLease lease(FUseNodeTable, FOwnTable, depth);
    if (mayBlock) WaitForLetGo(lease, wanted > 1);
    node_table::Table* const table = lease.get();
    if (table && newAge) table->NewAge();
    const int threads = table ? wanted : 1;
    const uint32_t base = static_cast<uint32_t>(FProgress.load(std::memory_order_relaxed));
    RootWork work(*this, table, side > 0 ? p : 3 - p, p, depth, count, threads, base);
    const Position root = FromBoard(board);
    for (int i = 0; i < count; ++i) {
        RootWork::Move& m = work.moves[i];
        m.pos = root;
        bitboard::Play(m.pos, cells[i], p);
        if (table) m.hash = node_table::HashOf(node_table::KeyOf(m.pos, p, work.own, depth));
    }
    FThreadsUsed.store(search_pool::Run(threads, &RootWork::RunOn, &work),
                       std::memory_order_relaxed);
    FTableUsed.store(table != nullptr, std::memory_order_relaxed);

    uint64_t calls = 0;
    for (int i = 0; i < count; ++i) {
        scores[i] = work.moves[i].score.load(std::memory_order_acquire);
        if (scores[i] < 0) {
            // Stopped: a stopped search shows the calls it finished.
            FNodes += work.shown.load(std::memory_order_relaxed);
            work.Publish();
            return false;
        }
        calls += work.moves[i].calls.load(std::memory_order_relaxed);
    }
    FNodes += calls;
    ShowProgress(static_cast<int32_t>((base + calls) & ProgressMask));
    return true;
}

int TSearch::Think(bool mayBlock) {
    int32_t list[MoveListSize];
    const int priorityEnd = ListMoves(FSide, FBoard, list);
    if (FDepth >= 1) {
        if (priorityEnd > 0) list[priorityEnd] = -1;
        int count = 0;
        while (list[count] >= 0) ++count;
        if (count >= 2) {
            int32_t scores[MoveListSize];
            if (!ScoreMoves(list, count, FSide, FBoard, FDepth, true, mayBlock, scores)) return -1;
            int32_t best[MoveListSize];
            int bestCount = 0;
            int32_t bestScore = -1;
            for (int i = 0; i < count; ++i) {
                const int32_t r = scores[i];
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
