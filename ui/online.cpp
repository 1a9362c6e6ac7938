// A game with a friend on another device: the friend's seat moves by the server's events, each
// shown as a local move is shown, and this device's own puts only go to the server.
#include <cstddef>
#include <string>
#include <vector>

#include "engine/random.h"
#include "ui/form.h"

using game_record::PassCell;
using game_record::PlayerMan;
using game_record::TMove;

void TfrmGalMain::OnlineStart(int seat) {
    if (!Running()) return;
    tmrTimer.Enabled = false;
    // A new game with a friend is not the person leaving the last one: nobody is told.
    if (const int friendSeat = FriendSeat()) FPlayerType[friendSeat] = PlayerMan;
    NewGame();
    for (int player = 1; player <= 2; ++player) {
        FPlayerType[player] = player == seat ? PlayerMan : PlayerFriend;
        DrawPlayerLabel(player, PlayerMan); // both are persons
    }
    FRecord = game_record::TGameRecord(PlayerMan, PlayerMan, false, game_random::State);
    FOnlineGame = game_events::TEventGame(FRecord);
    DrawButtons(0);
    ReenterRecord();
    tmrTimer.Enabled = true;
}

int TfrmGalMain::FriendSeat() const {
    if (!FPlayerType) return 0;
    return FPlayerType[1] == PlayerFriend ? 1 : FPlayerType[2] == PlayerFriend ? 2 : 0;
}

int TfrmGalMain::OnlineSeat() const {
    const int friendSeat = FriendSeat();
    return friendSeat == 0 ? 0 : 3 - friendSeat;
}

bool TfrmGalMain::OnlineEvent(const game_events::TEvent& event, bool show) {
    if (!Running() || FriendSeat() == 0) return false;
    const std::vector<TMove> before = FOnlineGame.Record().Moves();
    std::string error;
    if (!FOnlineGame.Take(event, error)) return false;
    if (!show) return true;
    const std::vector<TMove>& moves = FOnlineGame.Record().Moves();
    if (moves.size() < before.size()) {
        // Taken back: the game as it now stands, at once.
        SayTakenBack({before.begin() + static_cast<std::ptrdiff_t>(moves.size()), before.end()});
        OnlineShowAll();
        return true;
    }
    // A put waited for may come from this seat's other device as well as from the friend; a
    // pass that the window's game already holds changes nothing.
    if (FState == gsWaitPut && OnlinePending()) FState = gsOnlineWait;
    OnlineNext();
    return true;
}

void TfrmGalMain::AwaitServer() {
    FState = gsOnlineWait;
    OnlineNext();
}

void TfrmGalMain::OnlineNext() {
    if (FState != gsOnlineWait || !OnlinePending()) return;
    const TMove next = FOnlineGame.Record().Moves()[FRecord.Moves().size()];
    // A pass comes into FRecord with the put that forced it. Anything else that differs from
    // what this window's game expects is not guessed at: the game is shown as the server has it.
    if (next.cell == PassCell || next.player != FTurn ||
        !(FRules->CheckPut(next.cell, BoardCells()) & FTurn)) {
        OnlineShowAll();
        return;
    }
    ApplyMove(next.cell);
    FState = gsTurnOver;
    tmrTimer.Enabled = true;
}

void TfrmGalMain::OnlineShowAll() {
    if (!Running() || FriendSeat() == 0) return;
    const int asking = FState;
    FRecord = FOnlineGame.Record();
    FTakenBack.clear();
    ReenterRecord();
    if (asking == gsAskNewGame || asking == gsAskEnd) {
        // The question stays open; its NO announces the turn of the game as it is now.
        FReturnState = FState;
        FState = asking;
        ShowMessage(asking == gsAskNewGame ? "NEW GAME ?" : "Ｅ Ｎ Ｄ？", 0, 0);
        tmrTimer.Enabled = false;
        return;
    }
    DrawButtons(0);
    tmrTimer.Enabled = true;
}

void TfrmGalMain::LeaveOnline() {
    const int friendSeat = FriendSeat();
    if (friendSeat == 0) return;
    // The friend's seat is a person's at this window from now on.
    FPlayerType[friendSeat] = PlayerMan;
    FOnlineGame = {};
    // A turn that waited for the server is now this window's to announce, to a person.
    if (FState == gsOnlineWait) {
        FState = gsAnnounce;
        tmrTimer.Enabled = true;
    }
    if (FOnlineLeft) FOnlineLeft();
}
