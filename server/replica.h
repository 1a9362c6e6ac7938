// A seat's copy of a game, made only of the events the server announced, as a page keeps it: the
// C++ clients (the tests, the load benchmark) play from it.
#pragma once

#include <cstdint>
#include <string>

#include "engine/game_events.h"
#include "server/protocol.h"

namespace server {

class TReplica {
  public:
    // Applies the event after the latest; false with a one-line reason when it is not the next
    // one or the rules refuse it (the copy then is as it was).
    bool Apply(const protocol::TEvent& e, std::string& error);
    int64_t Last() const { return FGame.Last(); }
    // The digest of the events held, as a hello carries it.
    std::string Digest() const { return FDigest.Hex(); }
    bool Over() const { return FGame.Over(); }
    const game_record::TGameRecord& Record() const { return FGame.Record(); }
    // The player whose put comes next, 0 when none can come.
    int ToMove() const { return FGame.ToMove(); }
    // One of the legal puts of the player to move, chosen by pick; -1 when there is none.
    int LegalPut(uint32_t pick) const;

  private:
    game_events::TEventGame FGame;
    protocol::THistoryDigest FDigest;
};

} // namespace server
