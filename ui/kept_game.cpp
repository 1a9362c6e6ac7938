// The game in progress kept between runs: written whole at GAME and at every move, forgotten
// when it ends or the player leaves it, and resumed at the next start.
#include <string>

#include "ui/form.h"

void TfrmGalMain::KeepGame() {
    // A game with a friend is the server's to keep.
    if (!FKeptGame || !FRecord.Started() || FriendSeat() != 0) return;
    // A failed write leaves the game as it was kept before, or nothing: play goes on.
    std::string error;
    FKeptGame->Write(game_record::FormatRecord(FRecord), error);
}

void TfrmGalMain::ForgetKeptGame() {
    if (FKeptGame) FKeptGame->Clear();
}

void TfrmGalMain::KeepGameIn(std::unique_ptr<TKeptText> kept) {
    FKeptGame = std::move(kept);
    FKeptGameProblem.clear();
    if (!Running() || !FKeptGame || FState != gsSelect) return;
    std::string text, error;
    const TKeptRead read = FKeptGame->Read(text, error);
    if (read == TKeptRead::Absent) return;
    game_record::TGameRecord record;
    if (read == TKeptRead::Failed || !game_record::ParseRecord(text, record, error)) {
        // The file stays until a new game replaces it: a newer program may still read it.
        FKeptGameProblem = "the last game could not be resumed: " + error;
        accSpoken.Say(FKeptGameProblem);
        return;
    }

    // The players and the strip as they were at GAME, then the game as it stood.
    FRecord = std::move(record);
    for (int player = 1; player <= 2; ++player) {
        FPlayerType[player] = FRecord.Player(player);
        DrawPlayerLabel(player, FPlayerType[player]);
    }
    FLevelBonus = FRecord.Bonus() ? BonusDepth : 0;
    Shape1.PenColor = FRecord.Bonus() ? StripOnPen : StripOff;
    Shape1.BrushColor = FRecord.Bonus() ? StripOnBrush : StripOff;
    DrawButtons(0);
    accSpoken.Say("resumed the last game");
    ReenterRecord();
    tmrTimer.Enabled = true;
}
