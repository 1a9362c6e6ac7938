// TfrmGalMain: the game's one window. It owns the game and is its controller; its members live
// in several files by concern (see the file list in docs/ARCHITECTURE.md).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/board.h"
#include "engine/game_events.h"
#include "engine/game_record.h"
#include "engine/search_worker.h"
#include "engine/think_thread.h"
#include "platform/accessible_text.h"
#include "platform/cursor.h"
#include "platform/image.h"
#include "platform/kept_text.h"
#include "platform/keys.h"
#include "platform/mouse.h"
#include "platform/overlay.h"
#include "platform/shape.h"
#include "platform/text.h"
#include "platform/timer.h"
#include "ui/screen_layout.h"

// Game-flow states. The numbers carry meaning: above 100 the timer runs the game, state + 2
// turns 3 into 5 and 4 into 6, and 129 is the return state of 0.
constexpr int gsWaitPut = 0;
constexpr int gsAskNewGame = 1;
constexpr int gsAskEnd = 2;
constexpr int gsGameOver = 3;
constexpr int gsSelect = 4;
constexpr int gsAskEndOver = 5;
constexpr int gsAskEndSelect = 6;
// A game with a friend on another device: the server's next event is awaited (the friend's put,
// or this device's own put coming back). Events act as requests do here.
constexpr int gsOnlineWait = 7;
constexpr int gsStartThink = 110;
constexpr int gsThinking = 115;
constexpr int gsTurnOver = 121;
constexpr int gsAfterMove = 128;
constexpr int gsAnnounce = 129;
constexpr int gsClose = -1;
// A person is awaited at this state and below; above it the timer runs the game.
constexpr int gsAwaitedMax = 100;

// Requests the mouse handlers make of the controller. The buttons' requests are their item
// numbers, so a press on a button requests the item under the pointer.
constexpr int rqNone = -1;
constexpr int rqPut = 0;
constexpr int rqFirstButton = piFirstButton;
constexpr int rqSecondButton = piSecondButton;
constexpr int rqLevelPick = 12;

// The player types beyond the record's kinds (MAN and the levels): a friend on another device,
// whose moves come from a server. Its label is a person's.
constexpr int PlayerFriend = game_record::PlayerKinds;

// What Enter or Space presses: the keyboard's cell, the item Tab reached, or (when the mouse
// moved last) wherever the pointer is.
enum class TKeyTarget { ktPointer, ktCell, ktItem };

class TfrmGalMain {
  public:
    TfrmGalMain();
    ~TfrmGalMain();
    TfrmGalMain(const TfrmGalMain&) = delete;
    TfrmGalMain& operator=(const TfrmGalMain&) = delete;

    // ---- Components ----
    TImage imgScreen{ScreenWidth, ScreenHeight, ColBack};
    TShape Shape1;
    TTimer tmrTimer;
    TOverlay ovlKeyCursor;     // the keyboard's cell, shown over the picture
    TAccessibleText accSpoken; // the message lines and the answers to R, for a screen reader

    // ---- Start-up and shutdown (startup.cpp) ----
    void FormCreate();
    void FormClose();
    // Closes the window: runs FormClose once; afterwards no handler does anything. A kept game
    // stays, as after a crash: only the player's own close (CloseBox, END / YES) forgets it.
    void Close();
    // The close box: the player leaves, so the kept game goes too.
    void CloseBox();
    bool Closed() const { return FClosed; }

    // ---- Controller (controller.cpp) ----
    void tmrTimerTimer();
    void NewGame();
    void GameOver();
    void ApplyMove(int cell);
    void Request(int request, int cell); // rqPut (on cell), rqFirstButton, rqSecondButton
    void EndRequest();                   // the request frame's close: close, timer on, or off

    // ---- Input (input.cpp) ----
    void imgScreenMouseMove(int x, int y);
    void imgScreenMouseDown(TMouseButton button, int x, int y);
    void Shape1MouseDown();
    void PickLevel();

    // ---- Keyboard (keyboard.cpp) ----
    // The keys make the mouse's own movements and presses: arrows move over the cells, Tab and
    // Shift+Tab over the items a click could press now, Enter or Space press left, Escape right,
    // B the strip, R says where the keyboard is. U and Shift+U, which no click makes, take back
    // and put again. False when the key was of no use (Tab past the last item, B outside the
    // selection, U with nothing to take back), so that a front end may give it to others.
    bool FormKeyDown(TKey key, bool shift);

    // ---- The game's record: take-back and the kept game (take_back.cpp, kept_game.cpp) ----
    // U takes back the last put of a person and every move since, back to that person's turn;
    // Shift+U puts the latest moves taken back again. Each acts in a game in progress or over
    // (states 0, 3 and above 100) and returns false when it has nothing to do.
    bool TakeBack();
    bool PutAgain();
    // From now on keeps the game in progress in kept (written at GAME and at every move, cleared
    // when the game ends or the player leaves it), and resumes the game kept there. Call once,
    // right after FormCreate; kept may be null.
    void KeepGameIn(std::unique_ptr<TKeptText> kept);
    // Why the kept game could not be resumed, one line, or empty: for a front end to show.
    const std::string& KeptGameProblem() const { return FKeptGameProblem; }

    // ---- A game with a friend on another device, through a server (online.cpp) ----
    // The friend is one more kind of player (PlayerFriend): its seat's moves are the server's
    // events, awaited at its turn as a search is (state gsOnlineWait, looked at each tick). The
    // server decides every move of such a game, this device's person's too: a put is only handed
    // to FOnlinePut and shows when its event comes back, and U goes to FOnlineTakeBack.
    // FOnlineLeft is told when the person leaves the game (NEW GAME, END).
    std::function<void(int cell)> FOnlinePut;
    std::function<void()> FOnlineTakeBack;
    std::function<void()> FOnlineLeft;
    // Leaves whatever game runs and enters a new game with a friend at its start, this device's
    // person at seat and the friend at the other.
    void OnlineStart(int seat);
    // This device's seat in a game with a friend, or 0 in a local game.
    int OnlineSeat() const;
    // The server's next event, taken as the server took it (game_events): false, and nothing
    // changes, when it may not come next. With show, the moves it adds are shown in turn, as a
    // local move is, and a game it cuts back (a take-back) at once; without, the window waits
    // for OnlineShowAll (a catch-up, a reload).
    bool OnlineEvent(const game_events::TEvent& event, bool show = true);
    // Shows the game as the events so far make it at once, without turning panels one by one
    // (a reload, a reconnection, a reset).
    void OnlineShowAll();
    // The game goes on here as a local game between two persons (the server no longer has it,
    // or the person left it); FOnlineLeft is told.
    void LeaveOnline();

    // ---- Side panel drawing (draw_panel.cpp) ----
    void DrawText(int x, int y, TColor shadow, TColor colour, int height, int width,
                  const std::string& text);
    void ShowMessage(const std::string& text, int line, int clearFirst);
    void ShowTurnMessage(int player, int line);
    void ClearMessages();
    void DrawRestLabel();
    void DrawCounter(int index, int value);
    void DrawTurnMarks(int player);
    void DrawPlayerLabel(int player, int type);
    void DrawButtons(int index);
    // A message line as a screen reader says it: a swatch as its player's number, full-width
    // letters as plain ones.
    static std::string SpokenMessage(const std::string& text);

    // ---- Board drawing and hit testing (draw_board.cpp) ----
    void DrawCell(int cell, int value);
    static int CellAt(int x, int y);

    // ---- Title picture, player selection, hover marks (draw_title.cpp) ----
    void DrawTitle();
    void DrawPlayerSelect(int type1, int type2);
    void DrawLevelBox(int player, int box, int selected);
    void DrawHover(int position, int on);

    // ---- Game state ----
    std::unique_ptr<Board> FBoard;
    std::unique_ptr<int32_t[]> FCount; // [0] empty cells, [1], [2] panels of each player
    // [1], [2]: 0 MAN, 1..6 computer LV0..LV5, PlayerFriend a friend on another device.
    std::unique_ptr<int32_t[]> FPlayerType;
    int32_t FTurn = 0;
    int32_t FState = 0;
    int32_t FReturnState = 0;
    TCursor FSavedCursor = crDefault;
    int32_t FHover = 0;
    int32_t FLastHover = 0;
    int32_t FMsgLine = 0;
    const int32_t* FFlipPos = nullptr; // next FlipList entry to show
    int32_t FLevelBonus = 0;
    std::unique_ptr<TSearchWorker> FSearch;
    std::unique_ptr<TThinkThread> FRules;
    int32_t FLastProgress = 0;
    int32_t FThinkTicks = 0;
    // The keyboard: its cell (shown only after an arrow key, until the mouse moves), what Enter
    // presses, and where the pointer last moved to.
    int32_t FKeyCell = KeyStartCell;
    TKeyTarget FKeyTarget = TKeyTarget::ktPointer;
    TPoint FPointer = {0, 0};
    int32_t FButtonPair = 4; // the labels DrawButtons last showed
    // The game since GAME, move by move (not started in the selection); the moves taken back,
    // each U's in one entry, latest last, until a new move.
    game_record::TGameRecord FRecord;
    std::vector<std::vector<game_record::TMove>> FTakenBack;

    // How state 110 makes its worker; null when none can be had. A thread of this program unless
    // a front end gives another (a page without shared memory: a worker with its own engine).
    std::function<std::unique_ptr<TSearchWorker>()> FNewSearch = [] {
        return std::unique_ptr<TSearchWorker>(TThread::TryCreate<TThinkThread>(true));
    };

  private:
    // ---- Controller steps (controller.cpp) ----
    void StopSearch();
    void LetGoOfSearch();
    void ReapSearches();
    void PrepareSearch(TSearch& search);
    void StartSearch();
    void PollSearch();
    void SearchFailed();
    void ShowNextFlip();
    bool AfterMove(); // false when the game has ended
    void Announce();
    void PutRequest(int cell);
    void FirstButton();
    void SecondButton();
    void AskNewGame();
    void AskEnd();
    void CancelConfirm();
    // ShowMessage without saying the line: the search's progress.
    void PaintMessage(const std::string& text, int line, int clearFirst);

    // ---- Record steps (take_back.cpp, kept_game.cpp) ----
    bool InGame() const; // a game in progress or over, in a state that takes U
    void RecordPut(int cell);
    // The board, counters and turn of FRecord's position, entered just after its latest move
    // was shown: the next ticks decide the turn and write its lines as the game did.
    void ReenterRecord();
    void KeepGame();
    void ForgetKeptGame();
    // Says which moves were taken back (none: nothing).
    void SayTakenBack(const std::vector<game_record::TMove>& moves);

    // ---- Online steps (online.cpp) ----
    // The seat of type PlayerFriend, or 0.
    int FriendSeat() const;
    bool OnlinePending() const {
        return FOnlineGame.Record().Moves().size() > FRecord.Moves().size();
    }
    // Awaits the server's next event (state gsOnlineWait), shown at once when it is here.
    void AwaitServer();
    // Shows the next event's put when the window may (state gsOnlineWait).
    void OnlineNext();
    // The game as the server's events make it; FRecord follows it move by move on the screen.
    game_events::TEventGame FOnlineGame;

    // ---- Input and keyboard steps (input.cpp, keyboard.cpp) ----
    // What a pointer movement onto item does, wherever it came from (mouse or keys).
    void HoverItem(int item);
    void ShowKeyCursor();
    void HideKeyCursor();
    int NextTabItem(int from, bool back) const;
    // What R says (speech.cpp).
    std::string PlaceText() const;
    std::string CountsText() const;

    // Handlers run only between a successful FormCreate and the close.
    bool Running() const { return !FClosed && FBoard && FRules; }
    int32_t* BoardCells() { return FBoard->data(); }
    bool FClosed = false;
    // Searches let go of, stopped or done, kept until nothing runs for them: the window never
    // waits for a worker (a page's main thread must not), and a search reads only its own copy
    // of the board, so nothing of the game has to wait either.
    std::vector<std::unique_ptr<TSearchWorker>> FEndingSearches;
    std::unique_ptr<TKeptText> FKeptGame; // where the game in progress is kept, if anywhere
    std::string FKeptGameProblem;
    // The Gothic at each size DrawText has used.
    TFontSet FFonts{GothicFace};
};
