// Take-back and putting again: the game's record cut back to a person's turn or made whole
// again, and the window put where the game stood then, as the game itself had put it.
#include <algorithm>
#include <string>

#include "engine/random.h"
#include "ui/form.h"

using game_record::PassCell;
using game_record::TMove;

namespace {

// "player 1's move on row 3, column 5 and 2 moves after it": the puts of moves, which start
// with the person's.
std::string MovesText(const std::vector<TMove>& moves) {
    int puts = -1; // the puts after the first
    for (const TMove& m : moves) puts += m.cell != PassCell;
    std::string text = "player " + std::to_string(moves.front().player) + "'s move on " +
                       game_record::CellName(moves.front().cell);
    if (puts > 0)
        text += " and " + std::to_string(puts) + (puts == 1 ? " move" : " moves") + " after it";
    return text;
}

} // namespace

bool TfrmGalMain::InGame() const {
    return Running() && FRecord.Started() &&
           (FState == gsWaitPut || FState == gsOnlineWait || FState == gsGameOver || FState > 100);
}

void TfrmGalMain::RecordPut(int cell) {
    FTakenBack.clear(); // a new move: what was taken back stays so
    if (!FRecord.Started()) return;
    std::string error;
    if (FRecord.Put(cell, error)) {
        KeepGame();
        return;
    }
    // The board was set up other than by moves (a test's position): there is no record to keep.
    FRecord = {};
    ForgetKeptGame();
}

bool TfrmGalMain::TakeBack() {
    if (!InGame()) return false;
    if (const int friendSeat = FriendSeat()) {
        // Only by the friend's consent: the server asks, and its take-back event re-enters the
        // position. A finished game is not taken back.
        const std::vector<TMove>& moves = FOnlineGame.Record().Moves();
        const bool put = std::any_of(moves.begin(), moves.end(), [&](const TMove& m) {
            return m.player != friendSeat && m.cell != PassCell;
        });
        if (FState == gsGameOver || !put || !FOnlineTakeBack) return false;
        FOnlineTakeBack();
        return true;
    }
    const std::vector<TMove>& moves = FRecord.Moves();
    size_t at = moves.size();
    auto personsPut = [&](const TMove& m) {
        return m.cell != PassCell && FRecord.Player(m.player) == game_record::PlayerMan;
    };
    while (at > 0 && !personsPut(moves[at - 1])) --at;
    if (at == 0) return false; // no person has put yet, or two computers play
    --at;

    tmrTimer.Enabled = false;
    StopSearch(); // let go of, as NEW GAME does: the window never waits
    FTakenBack.emplace_back(moves.begin() + static_cast<std::ptrdiff_t>(at), moves.end());
    SayTakenBack(FTakenBack.back());
    FRecord.Truncate(at);
    ReenterRecord();
    KeepGame();
    EndRequest();
    return true;
}

bool TfrmGalMain::PutAgain() {
    // (A game with a friend has nothing here: its take-backs are the server's events.)
    if (!InGame() || FTakenBack.empty()) return false;
    tmrTimer.Enabled = false;
    StopSearch();
    const std::vector<TMove> moves = std::move(FTakenBack.back());
    FTakenBack.pop_back();
    std::string error;
    // The passes come again with the puts that forced them.
    for (const TMove& m : moves)
        if (m.cell != PassCell) FRecord.Put(m.cell, error);
    accSpoken.Say("put again: " + MovesText(moves));
    ReenterRecord();
    KeepGame();
    EndRequest();
    return true;
}

void TfrmGalMain::SayTakenBack(const std::vector<TMove>& moves) {
    if (!moves.empty()) accSpoken.Say("taken back: " + MovesText(moves));
}

void TfrmGalMain::ReenterRecord() {
    const game_record::TPosition& p = FRecord.Position();
    *FBoard = p.board;
    for (int cell = FirstPlayable; cell <= LastPlayable; ++cell) DrawCell(cell, p.board[cell]);
    for (int slot = 0; slot < 3; ++slot) {
        FCount[slot] = p.count[slot];
        DrawCounter(slot, FCount[slot]);
    }
    // Each computer search so far drew one value: the next draws what it drew in the game.
    game_random::State = FRecord.Random();
    Screen.Cursor = crDefault;
    // As when the latest move's last panel has turned: state 128 finds who moves next, with a
    // pass line when the other must pass, and announces the turn. Before the first move, as
    // just after GAME: state 129 announces player 1.
    FTurn = p.lastPutter != 0 ? p.lastPutter : 1;
    DrawTurnMarks(FTurn);
    ClearMessages();
    FMsgLine = 0;
    FState = p.lastPutter != 0 ? gsAfterMove : gsAnnounce;
}
