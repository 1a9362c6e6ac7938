// A seat's copy of a game from its events.
#include "server/replica.h"

#include "engine/rules.h"

namespace server {

using protocol::TEventKind;

bool TReplica::Apply(const protocol::TEvent& e, std::string& error) {
    if (e.n != FLast + 1) {
        error = "event " + std::to_string(e.n) + " is not the next after " + std::to_string(FLast);
        return false;
    }
    switch (e.kind) {
    case TEventKind::Put:
    case TEventKind::Pass:
        if (!FRecord.Append({e.player, e.kind == TEventKind::Pass ? game_record::PassCell : e.cell},
                            error))
            return false;
        break;
    case TEventKind::TakeBack:
        FRecord.Truncate(static_cast<std::size_t>(e.moves));
        break;
    case TEventKind::End:
        FEnded = true;
        break;
    case TEventKind::Join:
    case TEventKind::TakeBackOffer:
    case TEventKind::TakeBackRefused:
        break;
    }
    FLast = e.n;
    return true;
}

int TReplica::LegalPut(uint32_t pick) const {
    const int player = ToMove();
    if (player == 0) return -1;
    const auto& board = FRecord.Position().board;
    int cells[PlayableCells];
    int count = 0;
    for (int cell = FirstPlayable; cell <= LastPlayable; ++cell)
        if (board[cell] == CellEmpty && (rules::CheckPut(cell, board.data()) & player))
            cells[count++] = cell;
    return count == 0 ? -1 : cells[pick % static_cast<uint32_t>(count)];
}

} // namespace server
