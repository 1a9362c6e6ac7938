// A seat's copy of a game from its events.
#include "server/replica.h"

#include "engine/rules.h"

namespace server {

bool TReplica::Apply(const protocol::TEvent& e, std::string& error) {
    if (!FGame.Take(e, error)) return false;
    // The server's text of an event is the one EventText writes.
    FDigest.Add(protocol::EventText(e));
    return true;
}

int TReplica::LegalPut(uint32_t pick) const {
    const int player = ToMove();
    if (player == 0) return -1;
    const auto& board = Record().Position().board;
    int cells[PlayableCells];
    int count = 0;
    for (int cell = FirstPlayable; cell <= LastPlayable; ++cell)
        if (board[cell] == CellEmpty && (rules::CheckPut(cell, board.data()) & player))
            cells[count++] = cell;
    return count == 0 ? -1 : cells[pick % static_cast<uint32_t>(count)];
}

} // namespace server
