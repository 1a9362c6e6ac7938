// The game controller: the timer-driven states, the moves, and the button requests.
#include <algorithm>
#include <cstdio>
#include <string>

#include "engine/random.h"
#include "engine/tables.h"
#include "ui/form.h"

namespace {

std::string Format(const char* format, int value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace

// ---- The tick ----

void TfrmGalMain::tmrTimerTimer() {
    if (!Running()) return;
    tmrTimer.Enabled = false;
    ReapSearches();
    switch (FState) {
    case gsStartThink:
        StartSearch();
        PollSearch(); // the worker may already have its answer
        break;
    case gsThinking:
        PollSearch();
        break;
    case gsTurnOver:
        ShowNextFlip();
        break;
    case gsAfterMove:
        if (AfterMove()) Announce();
        break;
    case gsAnnounce:
        Announce();
        break;
    case gsOnlineWait:
        OnlineNext();
        break;
    default:
        break;
    }
    // A question waits with the timer off: a failed search asks one.
    tmrTimer.Enabled = FState != gsAskNewGame;
}

// The search's inputs for the player to move; one random value is drawn for it here.
void TfrmGalMain::PrepareSearch(TSearch& search) {
    search.Prepare(FTurn, LevelDepth(FPlayerType[FTurn] - 1, FLevelBonus), BoardCells(),
                   game_random::Draw());
}

void TfrmGalMain::StartSearch() {
    FSearch = FNewSearch();
    if (FSearch) {
        PrepareSearch(*FSearch);
        // A search let go of may still hold the node table and the helpers until its next node:
        // the new one waits for them (on its own thread) rather than search alone without them.
        if (!FEndingSearches.empty()) FSearch->WaitForStopped();
        FSearch->Resume();
        FLastProgress = FSearch->FProgress.load();
        FThinkTicks = 0;
    }
    FState = gsThinking;
}

void TfrmGalMain::PollSearch() {
    int cell;
    if (FSearch) {
        int32_t progress = FSearch->FProgress.load();
        if (progress != FLastProgress) {
            // The line above FMsgLine says "THINKING..."; after a NO that returned straight to
            // the search start nothing was written again and FMsgLine is 0, so use line 0.
            // Painted, not said: a screen reader hears "THINKING..." once per search.
            PaintMessage(Format("THINKING... %d", FThinkTicks), std::max(FMsgLine - 1, 0), 1);
            FThinkTicks = (FThinkTicks + 1) % 999;
            FLastProgress = progress;
        }
        int32_t result = FSearch->FResult.load();
        if (result == ResultNotReady) return;
        // Think stores its answer just before it returns; the worker may still be running.
        LetGoOfSearch();
        if (result == ResultFailed) {
            SearchFailed();
            return;
        }
        cell = result;
    } else {
        // No thread could be made: search here, on the window's thread.
        PrepareSearch(*FRules);
        cell = FRules->Think();
    }
    ApplyMove(cell);
    FState = gsTurnOver;
}

// The worker could not search (a page's worker whose engine would not load): the person chooses
// between a new game (YES) and another try (NO announces the turn again, with a fresh search).
void TfrmGalMain::SearchFailed() {
    ClearMessages();
    FMsgLine = 0;
    FState = gsAnnounce;
    AskNewGame();
}

void TfrmGalMain::ShowNextFlip() {
    int cell = *FFlipPos;
    if (cell == -1) {
        Screen.Cursor = crDefault;
        FState = gsAfterMove;
        return;
    }
    DrawCell(cell, FTurn);
    ++FFlipPos;
    FCount[FTurn] += 1;
    FCount[Opponent(FTurn)] -= 1;
    DrawCounter(1, FCount[1]);
    DrawCounter(2, FCount[2]);
}

bool TfrmGalMain::AfterMove() {
    const int next = rules::NextMover(FTurn, BoardCells());
    if (next == 0) {
        GameOver();
        FState = gsGameOver;
        ForgetKeptGame(); // a finished game has nothing to resume
        return false;
    }
    if (next == FTurn) {
        ShowMessage(Format("@%1dDont' put !", Opponent(FTurn)), FMsgLine, 0);
        FMsgLine += 1;
    }
    FTurn = next;
    FState = gsAnnounce;
    return true;
}

void TfrmGalMain::Announce() {
    DrawTurnMarks(FTurn);
    ShowTurnMessage(FTurn, FMsgLine);
    FMsgLine += 1;
    // The seat's player makes the move: a person by a click, the computer by a search, a friend
    // by the server's event.
    const int player = FPlayerType[FTurn];
    if (player == PlayerFriend) {
        ShowMessage("Friend's turn !", FMsgLine, 0);
        AwaitServer();
    } else if (game_record::IsComputer(player)) {
        Screen.Cursor = crHourGlass;
        ShowMessage("THINKING...", FMsgLine, 0);
        FMsgLine += 1;
        FState = gsStartThink;
    } else if (OnlinePending()) {
        // This seat's put came from its other device before this device's person made one.
        AwaitServer();
    } else {
        // FMsgLine stays, so that "Don't put !" replaces this line.
        ShowMessage("Put Panel !", FMsgLine, 0);
        FState = gsWaitPut;
    }
}

// ---- Game set-up, moves and the result ----

void TfrmGalMain::StopSearch() {
    if (!FSearch) return;
    FSearch->Terminate();
    LetGoOfSearch();
}

void TfrmGalMain::LetGoOfSearch() {
    FEndingSearches.push_back(std::move(FSearch));
    ReapSearches();
}

void TfrmGalMain::ReapSearches() {
    std::erase_if(FEndingSearches, [](const auto& s) { return s->Finished(); });
}

void TfrmGalMain::NewGame() {
    LeaveOnline();
    StopSearch();
    FRecord = {};
    FTakenBack.clear();
    ForgetKeptGame();
    int32_t* board = BoardCells();
    FCount[0] = FCount[1] = FCount[2] = 0;
    for (int i = 0; i < BoardSize; ++i) {
        int32_t value = InitialBoard[i];
        board[i] = value;
        if (value >= 0) {
            DrawCell(i, value);
            FCount[value] += 1;
        }
    }
    DrawCounter(0, FCount[0]);
    DrawCounter(1, FCount[1]);
    DrawCounter(2, FCount[2]);
    FTurn = 1;
    DrawTurnMarks(1);
    DrawPlayerSelect(FPlayerType[1], FPlayerType[2]);
}

void TfrmGalMain::ApplyMove(int cell) {
    Screen.Cursor = crAppStart;
    int32_t* list = FRules->PutPanel(cell, FTurn, BoardCells());
    FFlipPos = list + 1;
    DrawCell(*FFlipPos, FTurn);
    ++FFlipPos;
    FCount[FTurn] += 1;
    FCount[0] -= 1;
    DrawCounter(FTurn, FCount[FTurn]);
    DrawCounter(0, FCount[0]);
    ClearMessages();
    FMsgLine = 0;
    RecordPut(cell);
}

void TfrmGalMain::GameOver() {
    ShowMessage("END GAME !!", 0, 0);
    const int winner = rules::Winner(FCount[1], FCount[2]);
    ShowMessage(winner != 0 ? Format("@%1dWIN !!", winner) : std::string("DRAWN GAME !!"), 1, 0);
    ShowMessage("NEW GAME ?", 2, 0);
}

// ---- Requests ----

void TfrmGalMain::Request(int request, int cell) {
    if (!Running()) return;
    if (request == rqFirstButton || request == rqSecondButton) {
        ClearMessages();
        FMsgLine = 0;
    }
    switch (request) {
    case rqPut:
        PutRequest(cell);
        break;
    case rqFirstButton:
        FirstButton();
        break;
    case rqSecondButton:
        SecondButton();
        break;
    case rqLevelPick:
        PickLevel();
        break;
    default:
        break;
    }
}

void TfrmGalMain::EndRequest() {
    if (FClosed) return;
    if (FState == gsClose) {
        ForgetKeptGame(); // END / YES: the player leaves the game
        LeaveOnline();
        Close();
        return;
    }
    tmrTimer.Enabled = FState > 100;
}

void TfrmGalMain::PutRequest(int cell) {
    // Only a person's turn puts; a worker never exists in that state, so the board is ours.
    if (FState != gsWaitPut) return;
    // The press may land off the board or on a panel although the last movement saw an empty
    // cell; putting there would overwrite a panel and upset the counters.
    if (cell < 0 || cell >= BoardSize || BoardCells()[cell] != CellEmpty) return;
    if (FRules->CheckPut(cell, BoardCells()) & FTurn) {
        if (FriendSeat() != 0) {
            // The server decides every move of a game with a friend: the put shows when its
            // event comes back.
            if (FOnlinePut) FOnlinePut(cell);
            FState = gsOnlineWait;
            return;
        }
        ApplyMove(cell);
        FState = gsTurnOver;
    } else {
        ShowMessage("Don't put !", FMsgLine, 1);
    }
}

void TfrmGalMain::FirstButton() {
    switch (FState) {
    case gsAskNewGame: // YES
    case gsGameOver:
        NewGame();
        DrawButtons(4);
        FState = gsSelect;
        break;
    case gsAskEnd: // YES
    case gsAskEndOver:
    case gsAskEndSelect:
        FState = gsClose;
        break;
    case gsSelect:
        DrawButtons(0);
        FState = gsAnnounce;
        // The game's record starts with the generator as the first search will find it.
        FRecord = game_record::TGameRecord(FPlayerType[1], FPlayerType[2], FLevelBonus != 0,
                                           game_random::State);
        KeepGame();
        break;
    default: // a game is running
        AskNewGame();
        break;
    }
}

void TfrmGalMain::SecondButton() {
    switch (FState) {
    case gsAskNewGame: // NO
    case gsAskEnd:
        CancelConfirm();
        break;
    case gsAskEndOver: // NO after a game: straight to a new one
        NewGame();
        DrawButtons(4);
        FState = gsSelect;
        break;
    case gsAskEndSelect: // NO in the player selection
        DrawPlayerSelect(FPlayerType[1], FPlayerType[2]);
        DrawButtons(4);
        FState = gsSelect;
        break;
    default: // 0, 3, 4 and every timer-driven state
        AskEnd();
        break;
    }
}

void TfrmGalMain::AskNewGame() {
    FSavedCursor = Screen.Cursor;
    Screen.Cursor = crDefault;
    ShowMessage("NEW GAME ?", FMsgLine, 0);
    DrawButtons(1);
    FReturnState = FState == gsWaitPut || FState == gsOnlineWait ? gsAnnounce : FState;
    FState = gsAskNewGame;
}

void TfrmGalMain::AskEnd() {
    FSavedCursor = Screen.Cursor;
    Screen.Cursor = crDefault;
    ShowMessage("Ｅ Ｎ Ｄ？", FMsgLine, 0);
    DrawButtons(3);
    if (FState == gsWaitPut || FState == gsOnlineWait || FState > 100) {
        FReturnState = FState == gsWaitPut || FState == gsOnlineWait ? gsAnnounce : FState;
        FState = gsAskEnd;
    } else {
        FState += 2; // 3 -> 5, 4 -> 6
    }
}

void TfrmGalMain::CancelConfirm() {
    if (FReturnState == gsThinking) {
        // The question cleared the turn line and the search line; the search goes on.
        ShowTurnMessage(FTurn, FMsgLine);
        FMsgLine += 1;
        ShowMessage("THINKING...", FMsgLine, 0);
        FMsgLine += 1;
    }
    DrawButtons(0);
    Screen.Cursor = FSavedCursor;
    FState = FReturnState;
}
