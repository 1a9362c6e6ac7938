// One game between two devices as the server holds it: its two seats and the invitation (as
// their hashes: the server keeps no secret), its numbered events and the record they make. Every
// event goes through the engine's game of events (game_events), so nothing a page sends can change
// the board in a way the game would not. It does no input or output: the hub stores its new events,
// then announces them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/game_events.h"
#include "server/protocol.h"
#include "server/store.h"

namespace server {

// What a request came to: applied (new events follow Last() as it was), a repeat of a request
// already applied (nothing changes; the sender is to be sent what it missed), or refused with
// a code and a one-line reason (nothing changes).
struct TOutcome {
    enum TKind { Applied, Repeat, Refused } kind = Applied;
    protocol::TRefusal code = protocol::TRefusal::Rules;
    std::string reason;
    const char* limit = nullptr; // the limit met, for a refusal of code limit
};

class TServerGame {
  public:
    // A new game: player 1 seated with secret1, seat 2 open to the invitation; its id and
    // invitation follow from secret1 (secret::GameIdOf, secret::InvitationOf).
    static TServerGame New(std::string_view secret1);

    // The game a store holds, its events replayed through the rules; nothing with a one-line
    // reason in error when they do not replay or do not match its seats.
    static std::optional<TServerGame> Restore(const store::TStoredGame& stored, std::string& error);

    const std::string& Id() const { return FId; }
    // The seat secret opens (1 or 2), or 0; its hash compared in constant time.
    int SeatOf(std::string_view secret) const;
    // The hashes the store keeps: of a seat's secret (seat 2's empty until taken), of the
    // invitation.
    const std::string& SecretHash(int seat) const { return seat == 1 ? FSecret1 : FSecret2; }
    const std::string& InvitationHash() const { return FInvitation; }
    bool Joined() const { return !FSecret2.empty(); }
    bool Over() const { return FPlay.Over(); }
    // The number of the latest event; 0 before the first.
    int64_t Last() const { return static_cast<int64_t>(FEvents.size()); }
    const protocol::TEvent& Event(int64_t n) const { return FEvents[n - 1]; }
    const std::string& EventText(int64_t n) const { return FTexts[n - 1]; }
    const game_record::TGameRecord& Record() const { return FPlay.Record(); }
    // The digest of events 1..last (last at most Last()), as a page's hello carries it.
    std::string Digest(int64_t last) const;

    // ---- Requests of the seats ----
    // after is the latest event the sender had seen when it sent the request: a request must
    // answer the latest event, or it is out of step (or a repeat of the one that followed).

    // Takes seat 2 with the invitation for secret2; the same join again (the invitation and
    // secret2 of the seat's holder) is a repeat, any other join of a taken seat refused.
    TOutcome Join(std::string_view invitation, std::string secret2);
    // seat puts on cell; a pass of the other and the end follow as the rules decide.
    TOutcome Move(int seat, int cell, int64_t after);
    // seat asks to take back its latest put (and what came after it).
    TOutcome OfferTakeBack(int seat, int64_t after);
    // seat accepts or declines the other's open offer.
    TOutcome AnswerTakeBack(int seat, bool accept, int64_t after);
    // Ends a game nobody moved in for long with no result; false when it is over or has not
    // started.
    bool Abandon();

  private:
    TServerGame(std::string id, std::string secret1, std::string invitation);
    // Appends e (numbered next) when the engine's game takes it; its reason otherwise. The one
    // road of every event, live or replayed from the store.
    std::string Apply(protocol::TEvent e);
    // Whether a request that answered event after is in step; repeated says whether event
    // after + 1 is what the request would have made.
    std::optional<TOutcome> OutOfStep(int64_t after, bool repeated) const;

    std::string FId, FSecret1, FSecret2, FInvitation; // the id, and the hashes
    game_events::TEventGame FPlay;
    std::vector<protocol::TEvent> FEvents;
    std::vector<std::string> FTexts;
};

} // namespace server
