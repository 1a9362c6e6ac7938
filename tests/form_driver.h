// Test helper: drives one TfrmGalMain as the window would (ticks only while the timer is on,
// presses inside the request frame) and checks the controller's invariants.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "engine/random.h"
#include "engine/tables.h"
#include "ui/form.h"
#include "ui/host.h"

// Sanitized builds run several times slower: long sessions there take fewer events.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool SanitizedBuild = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr bool SanitizedBuild = true;
#else
inline constexpr bool SanitizedBuild = false;
#endif
#else
inline constexpr bool SanitizedBuild = false;
#endif

struct TPixel {
    int x, y;
};

// A pixel well inside every playable cell, found through CellAt once.
inline const std::vector<TPixel>& CellPixels() {
    static const std::vector<TPixel> pixels = [] {
        std::vector<std::vector<TPixel>> hits(BoardSize);
        for (int y = 0; y < ScreenHeight; ++y)
            for (int x = 0; x < BoardAreaWidth; ++x) {
                int cell = TfrmGalMain::CellAt(x, y);
                if (cell >= 0 && cell < BoardSize) hits[cell].push_back({x, y});
            }
        std::vector<TPixel> out(BoardSize, TPixel{-1, -1});
        for (int c = 0; c < BoardSize; ++c)
            if (!hits[c].empty()) out[c] = hits[c][hits[c].size() / 2];
        return out;
    }();
    return pixels;
}

inline TPixel CellPixel(int cell) {
    return CellPixels()[cell];
}

// Centre of a side-panel item.
inline TPixel ItemPixel(int item) {
    const TPoint p = PanelItemRect(item).Centre();
    return {p.x, p.y};
}

// The first cell where player may put, or -1.
inline int FirstLegal(const Board& b, int player) {
    for (int c = FirstPlayable; c <= LastPlayable; ++c)
        if (b[c] == CellEmpty && (TThinkThread::CheckPut(c, b.data()) & player)) return c;
    return -1;
}

// The arrow keys that lead the keyboard's cursor from one cell to another, fewest first.
inline std::vector<TKey> ArrowsBetween(int from, int to) {
    static constexpr struct {
        TKey key;
        int dx, dy;
    } arrows[] = {
        {TKey::vkLeft, -1, 0}, {TKey::vkRight, 1, 0}, {TKey::vkUp, 0, -1}, {TKey::vkDown, 0, 1}};
    std::map<int, std::pair<int, TKey>> cameFrom{{from, {from, TKey::vkLeft}}};
    std::vector<int> queue{from};
    for (size_t i = 0; i < queue.size() && !cameFrom.count(to); ++i)
        for (const auto& a : arrows) {
            const int next = CellToward(queue[i], a.dx, a.dy);
            if (cameFrom.emplace(next, std::make_pair(queue[i], a.key)).second)
                queue.push_back(next);
        }
    std::vector<TKey> keys;
    for (int c = to; c != from && cameFrom.count(c); c = cameFrom[c].first)
        keys.insert(keys.begin(), cameFrom[c].second);
    return keys;
}

// Until done() holds, which another thread brings about; false after a minute without.
inline bool Until(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Searches that go only as far as the test lets them: each report of progress waits until the
// test has allowed that many, so a search is surely still running when a test needs one, however
// busy the machine (a deep search from the start position is over in a few milliseconds). A
// held search runs on one thread: helpers would go on searching while its own thread waits at a
// report, and could finish the search before the test allowed the reports it counts on. A
// stopped search, or an opened gate, goes on freely.
class TSearchGate {
  public:
    // Lets the searches make `steps` more reports of progress.
    void Allow(int steps = 1) { FAllowed.fetch_add(steps); }
    // The reports made so far; the latest waits while it is beyond what was allowed.
    int Reported() const { return FReported.load(); }
    void Open() { FOpen.store(true); }

    // A worker for the window, as the window makes one, but held by this gate.
    std::unique_ptr<TSearchWorker> Make() {
        auto search = TThread::TryCreate<TThinkThread>(true);
        if (search) {
            search->SetThreads(1);
            FHeld.push_back({this, &search->TerminateFlag()});
            search->SetProgressHook(&Report, &FHeld.back());
        }
        return search;
    }

  private:
    struct THeld {
        TSearchGate* gate;
        const std::atomic<bool>* stop;
    };
    static void Report(void* context, int32_t) {
        const THeld& h = *static_cast<THeld*>(context);
        const int report = h.gate->FReported.fetch_add(1) + 1;
        while (report > h.gate->FAllowed.load() && !h.gate->FOpen.load() && !h.stop->load())
            std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    std::atomic<int> FAllowed{0}, FReported{0};
    std::atomic<bool> FOpen{false};
    std::deque<THeld> FHeld; // one per search, made on the test's thread
};

class FormDriver {
  public:
    explicit FormDriver(uint32_t seed = 12345) : form(std::make_unique<TfrmGalMain>()) {
        form->FormCreate();
        game_random::Seed(seed); // reproducible computer moves
    }
    ~FormDriver() {
        gate.Open(); // before the window goes, which waits for what it let go of
        form.reset();
    }
    FormDriver(const FormDriver&) = delete;
    FormDriver& operator=(const FormDriver&) = delete;

    // The window's searches from now on wait for the gate's leave at each report of progress.
    void HoldSearches() {
        form->FNewSearch = [this] { return gate.Make(); };
    }

    TfrmGalMain& f() { return *form; }
    TfrmGalMain* operator->() { return form.get(); }

    // One tick, delivered only while the timer is on, as the window does.
    bool Tick() {
        if (form->Closed() || !form->tmrTimer.Enabled) return false;
        form->tmrTimer.OnTimer();
        return true;
    }

    // Ticks until a person is waited for or the timer is off, as a scripted session's settle;
    // seen, when given, is told the state after every tick.
    int Settle(int maxTicks = 100000, const std::function<void(int)>& seen = {}) {
        return static_cast<int>(SettleForm(
            *form,
            [&] {
                Tick();
                if (seen) seen(form->FState);
            },
            maxTicks));
    }

    void Move(int x, int y) { form->imgScreenMouseMove(x, y); }
    void Press(int x, int y, TMouseButton b = TMouseButton::mbLeft) {
        form->imgScreenMouseDown(b, x, y);
    }
    void Click(TPixel p, TMouseButton b = TMouseButton::mbLeft) {
        Move(p.x, p.y);
        Press(p.x, p.y, b);
    }
    void ClickItem(int item) { Click(ItemPixel(item)); }
    void ClickCell(int cell) { Click(CellPixel(cell)); }
    void Strip() { form->Shape1.OnMouseDown(); }
    bool Key(TKey key, bool shift = false) { return form->FormKeyDown(key, shift); }

    // In the player selection: choose both players' types.
    void ChoosePlayers(int type1, int type2) {
        ClickItem(LevelBoxItem(1, type1));
        ClickItem(LevelBoxItem(2, type2));
    }
    // From the player selection: choose the players and start the game.
    void Start(int type1, int type2) {
        ChoosePlayers(type1, type2);
        ClickItem(piFirstButton);
    }

    int Cell(int i) { return (*form->FBoard)[i]; }

    // Writes a position into the running game (only while no worker exists) and its counters.
    void SetPosition(const Board& b) {
        *form->FBoard = b;
        for (int i = 0; i < 3; ++i) form->FCount[i] = 0;
        for (int v : b)
            if (v >= 0) form->FCount[v] += 1;
    }

    TSearchGate gate; // outlives the window, whose stopped searches it may still hold
    std::unique_ptr<TfrmGalMain> form;
};

// The controller's invariants that hold between any two events.
inline void ExpectInvariants(TfrmGalMain& f, const char* where) {
    SCOPED_TRACE(where);
    if (f.Closed()) {
        EXPECT_FALSE(f.tmrTimer.Enabled);
        EXPECT_EQ(f.FSearch, nullptr);
        return;
    }
    const int32_t* c = f.FCount.get();
    EXPECT_EQ(c[0] + c[1] + c[2], PlayableCells);
    // While the turned-over panels are shown the counters catch up one per tick; a question
    // asked meanwhile pauses them.
    bool catchingUp =
        f.FState == gsTurnOver ||
        ((f.FState == gsAskNewGame || f.FState == gsAskEnd) && f.FReturnState == gsTurnOver);
    if (!catchingUp) {
        int n[3] = {0, 0, 0};
        for (int v : *f.FBoard)
            if (v >= 0) n[v] += 1;
        EXPECT_EQ(n[0], c[0]);
        EXPECT_EQ(n[1], c[1]);
        EXPECT_EQ(n[2], c[2]);
    }
    if (f.FSearch) {
        bool allowed =
            f.FState == gsThinking ||
            ((f.FState == gsAskNewGame || f.FState == gsAskEnd) && f.FReturnState == gsThinking);
        EXPECT_TRUE(allowed) << "worker alive in state " << f.FState;
    }
    // Questions and the selection wait with the timer off; the timer-driven states run it.
    if (f.FState > 100) {
        EXPECT_TRUE(f.tmrTimer.Enabled) << "state " << f.FState;
    }
    if (f.FState >= gsAskNewGame && f.FState <= gsAskEndSelect && f.FState != gsGameOver) {
        EXPECT_FALSE(f.tmrTimer.Enabled) << "state " << f.FState;
    }
}

// Sets a flag for the test's length and always clears it again.
struct NoThreadsScope {
    NoThreadsScope() { TThread::FailCreationForTesting(true); }
    ~NoThreadsScope() { TThread::FailCreationForTesting(false); }
};
