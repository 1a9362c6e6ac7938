// The program entry of the web page: the game window on the web backend, its searches on threads
// of the program (the page shares its memory with workers) or, built without threads, on the
// page's search worker. The page passes "--seed N" when its address asks for a seed (?seed=N);
// otherwise the clock seeds, as on the desktop. The game in progress is kept in the browser's
// storage and resumed at the next visit; a kept game brings its own generator's state, so a
// seed starts only a game that is not resumed.
#include <emscripten.h>

#include <cstdint>
#include <exception>
#include <limits>
#include <memory>
#include <string>

#include "engine/game_events.h"
#include "engine/game_record.h"
#include "engine/random.h"
#include "engine/search_pool.h"
#include "platform/input_text.h"
#include "platform/web_app.h"
#include "platform/web_kept_text.h"
#include "server/protocol.h"
#include "ui/form.h"
#include "ui/host.h"
#include "ui/screen_geometry.h"
#if MELVARON_PAGE_SEARCH_WORKER
#include "web/app/page_search.h"
#endif

namespace {

TfrmGalMain* gForm = nullptr;
TWebApplication* gApp = nullptr;
// The texts of the events of the game with a friend that the game took, for the hello's digest.
protocol::THistoryDigest gHistory;

// A change of the game by the page's own messages, shown as a handler's is.
template <class F> void Change(F&& change) {
    if (gForm && gApp) gApp->Change(change);
}

// The name the game in progress is kept under in the site's storage.
constexpr const char* KeptGameName = "melvaron-game-in-progress";

// clang-format off
// A line beside the picture (why the kept game could not be resumed); the game says it itself.
EM_JS(void, PageTell, (const char* line), {
    Module.melvaronPage.tell(UTF8ToString(line), false);
});
EM_JS(void, PageRecord, (const char* text), {
    Module.melvaronPage.record(UTF8ToString(text));
});
// A game with a friend: the person's put and take-back ask go to the server through the page,
// and the page forgets its seat when the person leaves the game.
EM_JS(void, PageOnlinePut, (int cell), { Module.melvaronPage.online.put(cell); });
EM_JS(void, PageOnlineTakeBack, (), { Module.melvaronPage.online.takeBack(); });
EM_JS(void, PageOnlineLeft, (), { Module.melvaronPage.online.left(); });
// The text of the event the page hands over, which the history's digest takes in.
EM_JS(int, PageEventTextBytes, (), {
    return lengthBytesUTF8(Module.melvaronPage.online.eventText);
});
EM_JS(void, PageEventText, (char* out, int size), {
    stringToUTF8(Module.melvaronPage.online.eventText, out, size);
});
EM_JS(void, PageOnlineDigest, (const char* hex), {
    Module.melvaronPage.online.digested(UTF8ToString(hex));
});
// clang-format on

} // namespace

// The game's state number, as the replay tool's "state" prints it.
extern "C" EMSCRIPTEN_KEEPALIVE int melvaron_state() {
    return gForm ? gForm->FState : gsClose;
}

// One step of the replay's settle (a TSettleStep), for a test that holds the page's timer and
// steps the game itself: its pictures are then the replay's, however fast the page runs. The
// search is never waited for here; the caller asks again once it has let the page run.
extern "C" EMSCRIPTEN_KEEPALIVE int melvaron_settle_step() {
    if (!gForm) return static_cast<int>(TSettleStep::Awaited);
    return static_cast<int>(SettleStep(*gForm, melvaron_tick));
}

// Whether a game has started (its record can be had), and the record's text handed to the page.
extern "C" EMSCRIPTEN_KEEPALIVE int melvaron_record_started() {
    return gForm && gForm->FRecord.Started();
}
extern "C" EMSCRIPTEN_KEEPALIVE void melvaron_record() {
    PageRecord(gForm && gForm->FRecord.Started() ? game_record::FormatRecord(gForm->FRecord).c_str()
                                                 : "");
}

// A game with a friend on another device (web/site/friend.js speaks to the server): start one at
// a seat, hand over the server's events field by field (the kind and the end's reason as the
// site's facts number them), show them all at once. An event gives 1 when the game took it.
extern "C" EMSCRIPTEN_KEEPALIVE void melvaron_online_start(int seat) {
    if (seat != 1 && seat != 2) return;
    Change([=] { gForm->OnlineStart(seat); });
    gHistory = {};
}
extern "C" EMSCRIPTEN_KEEPALIVE int melvaron_online_seat() {
    return gForm ? gForm->OnlineSeat() : 0;
}
extern "C" EMSCRIPTEN_KEEPALIVE int melvaron_online_event(double n, int kind, int player, int cell,
                                                          int winner, int count1, int count2,
                                                          int reason, double moves, int show) {
    using namespace game_events;
    // A number of the page's is a JavaScript number: whole, but perhaps beyond any event's.
    constexpr double Largest = 1e15;
    if (kind < 0 || kind >= EventKinds || reason < 0 || reason >= EndReasons || !(n >= 0) ||
        n > Largest || !(moves >= 0) || moves > Largest)
        return 0;
    const TEvent event{.n = static_cast<int64_t>(n),
                       .kind = static_cast<TEventKind>(kind),
                       .player = player,
                       .cell = cell,
                       .winner = winner,
                       .count1 = count1,
                       .count2 = count2,
                       .reason = static_cast<TEndReason>(reason),
                       .moves = static_cast<int64_t>(moves)};
    bool taken = false;
    Change([&] { taken = gForm->OnlineEvent(event, show != 0); });
    if (taken) {
        std::string text(static_cast<size_t>(PageEventTextBytes()), '\0');
        PageEventText(text.data(), static_cast<int>(text.size()) + 1);
        gHistory.Add(text);
    }
    return taken;
}
extern "C" EMSCRIPTEN_KEEPALIVE void melvaron_online_show_all() {
    Change([] { gForm->OnlineShowAll(); });
}
extern "C" EMSCRIPTEN_KEEPALIVE void melvaron_online_leave() {
    Change([] { gForm->LeaveOnline(); });
}
// The digest of the events the game took since its start, as the hello carries it, handed to
// the page.
extern "C" EMSCRIPTEN_KEEPALIVE void melvaron_online_digest() {
    PageOnlineDigest(gHistory.Hex().c_str());
}

// For a test that plays by clicks: the board cell under client pixel (x, y) or -1, and whether
// the player to move may put on cell now.
extern "C" EMSCRIPTEN_KEEPALIVE int melvaron_cell_at(int x, int y) {
    return TfrmGalMain::CellAt(x, y);
}
extern "C" EMSCRIPTEN_KEEPALIVE int melvaron_may_put(int cell) {
    if (!gForm || cell < FirstPlayable || cell > LastPlayable) return 0;
    Board& board = *gForm->FBoard;
    return board[cell] == CellEmpty && (TThinkThread::CheckPut(cell, board.data()) & gForm->FTurn);
}

// Whether a press at client pixel (x, y) reaches a board cell or a side-panel item: the page
// widens the strip's target for a finger only over pixels where nothing else answers.
extern "C" EMSCRIPTEN_KEEPALIVE int melvaron_answers_at(int x, int y) {
    return x < BoardAreaWidth || PanelItemAt(x, y) != piNone;
}

int main(int argc, char** argv) {
    int64_t seed = -1;
    if (argc == 3 && std::string(argv[1]) == "--seed") {
        if (ParseDecimal(argv[2], seed) != TDecimal::Ok || seed < 0 ||
            seed > std::numeric_limits<uint32_t>::max()) {
            TWebApplication::Fail("seed: " + QuotedInput(argv[2], 40, TShownBytes::Ascii) +
                                  " is not a number from 0 to 4294967295");
            return 1;
        }
    } else if (argc != 1) {
        TWebApplication::Fail("the page passed arguments the program does not know");
        return 1;
    }
    try {
        // The page's event loop outlives main: the window and its backend stay for good.
        static TfrmGalMain form;
        gForm = &form;
#if MELVARON_PAGE_SEARCH_WORKER
        // No shared memory: each search goes to the page's worker, by messages.
        form.FNewSearch = [] { return std::unique_ptr<TSearchWorker>(new TPageSearch); };
#else
        // The search's helpers are made now, on the page's thread: a thread that the search's
        // own thread made would start only once this thread took the request, and a stop must
        // never find the search waiting for that.
        search_pool::Prestart(search_pool::DefaultThreads());
#endif
        form.FormCreate(); // seeds with the clock; a given seed replaces that, as in the replay
        if (seed >= 0) game_random::Seed(static_cast<uint32_t>(seed));
        if (form.Closed()) {
            TWebApplication::Fail("the game window could not be created");
            return 1;
        }
        form.KeepGameIn(std::make_unique<TWebKeptText>(KeptGameName));
        form.FOnlinePut = [](int cell) { PageOnlinePut(cell); };
        form.FOnlineTakeBack = [] { PageOnlineTakeBack(); };
        form.FOnlineLeft = [] { PageOnlineLeft(); };
        if (!form.KeptGameProblem().empty()) PageTell(form.KeptGameProblem().c_str());
        static TWebApplication app(MakeFormHost(form));
        gApp = &app;
        app.Start();
    } catch (const std::exception& e) {
        TWebApplication::Fail(e.what());
        return 1;
    }
    return 0;
}
