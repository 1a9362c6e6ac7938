// The server's game: requests checked and turned into events, events replayed through the rules.
#include "server/game.h"

#include "server/secret.h"

namespace server {

using protocol::TEvent;
using protocol::TEventKind;
using protocol::TRefusal;

namespace {

TOutcome Refused(TRefusal code, std::string reason) {
    return {TOutcome::Refused, code, std::move(reason)};
}

} // namespace

TServerGame::TServerGame(std::string id, std::string secret1, std::string invitation)
    : FId(std::move(id)), FSecret1(std::move(secret1)), FInvitation(std::move(invitation)) {}

TServerGame TServerGame::New(std::string_view secret1) {
    return TServerGame(secret::GameIdOf(secret1), secret::Hashed(secret1),
                       secret::Hashed(secret::InvitationOf(secret1)));
}

std::optional<TServerGame> TServerGame::Restore(const store::TStoredGame& stored,
                                                std::string& error) {
    TServerGame game(stored.id, stored.secret1, stored.invitation);
    game.FSecret2 = stored.secret2;
    for (std::size_t i = 0; i < stored.events.size(); ++i) {
        TEvent e;
        std::string why;
        if (!protocol::ParseEvent(stored.events[i], e, why) || e.n != static_cast<int64_t>(i) + 1 ||
            !(why = game.Apply(e)).empty()) {
            error = "game " + stored.id + ": event " + std::to_string(i + 1) + ": " +
                    (why.empty() ? "it is not event " + std::to_string(i + 1) : why);
            return std::nullopt;
        }
    }
    // Seat 2 has a secret exactly when its join is among the events.
    const bool joinEvent = game.Last() >= 1 && game.Event(1).kind == TEventKind::Join;
    if (joinEvent != game.Joined() || game.FSecret1.empty() || stored.finished != game.Over()) {
        error = "game " + stored.id + ": its seats or its end do not match its events";
        return std::nullopt;
    }
    return game;
}

int TServerGame::SeatOf(std::string_view secret) const {
    // Both are compared whatever the first gives, so the time says nothing of which matched.
    const std::string hash = secret::Hashed(secret);
    const bool one = secret::SameSecret(hash, FSecret1);
    const bool two = Joined() && secret::SameSecret(hash, FSecret2);
    return one ? 1 : two ? 2 : 0;
}

std::string TServerGame::Digest(int64_t last) const {
    protocol::THistoryDigest digest;
    for (int64_t n = 1; n <= last && n <= Last(); ++n) digest.Add(EventText(n));
    return digest.Hex();
}

std::string TServerGame::Apply(TEvent e) {
    e.n = Last() + 1;
    std::string why;
    if (!FPlay.Take(e, why)) return why;
    FEvents.push_back(e);
    FTexts.push_back(protocol::EventText(e));
    return {};
}

std::optional<TOutcome> TServerGame::OutOfStep(int64_t after, bool repeated) const {
    if (after == Last()) return std::nullopt;
    if (after > Last())
        return Refused(TRefusal::Step, "event " + std::to_string(after) +
                                           " has not happened (the latest is " +
                                           std::to_string(Last()) + ")");
    if (repeated) return TOutcome{TOutcome::Repeat, {}, {}};
    return Refused(TRefusal::Step, "the game has moved on to event " + std::to_string(Last()));
}

TOutcome TServerGame::Join(std::string_view invitation, std::string secret2) {
    // Everything is compared whatever the outcome, so the time says nothing of what matched.
    std::string hash = secret::Hashed(secret2);
    const bool invited = secret::SameSecret(secret::Hashed(invitation), FInvitation);
    const bool holder = Joined() && secret::SameSecret(hash, FSecret2);
    const bool first = secret::SameSecret(hash, FSecret1);
    if (!invited) return Refused(TRefusal::Secret, "the invitation does not open game " + FId);
    if (Joined()) {
        if (holder) return {TOutcome::Repeat, {}, {}};
        return Refused(TRefusal::Secret, "seat 2 of game " + FId + " is taken");
    }
    if (first) return Refused(TRefusal::Rules, "seat 2's secret may not be seat 1's");
    const std::string why = Apply({.kind = TEventKind::Join, .player = 2});
    if (!why.empty()) return Refused(TRefusal::Rules, why);
    FSecret2 = std::move(hash);
    return {};
}

TOutcome TServerGame::Move(int seat, int cell, int64_t after) {
    auto repeated = [&] {
        const TEvent& e = Event(after + 1);
        return e.kind == TEventKind::Put && e.player == seat && e.cell == cell;
    };
    if (auto out = OutOfStep(after, after < Last() && repeated())) return *out;
    std::string why = Apply({.kind = TEventKind::Put, .player = seat, .cell = cell});
    if (!why.empty()) return Refused(TRefusal::Rules, why);
    // What the rules decide after a put: the other's pass, the end. Each is sure to apply.
    const game_record::TPosition& p = Record().Position();
    if (p.mustPass != 0) Apply({.kind = TEventKind::Pass, .player = p.mustPass});
    if (p.Over()) Apply(FPlay.BoardEnd());
    return {};
}

TOutcome TServerGame::OfferTakeBack(int seat, int64_t after) {
    auto repeated = [&] {
        const TEvent& e = Event(after + 1);
        return e.kind == TEventKind::TakeBackOffer && e.player == seat;
    };
    if (auto out = OutOfStep(after, after < Last() && repeated())) return *out;
    const int64_t keep = FPlay.TakeBackPoint(seat);
    if (!Over() && FPlay.OpenOffer() == nullptr && keep >= 0) {
        // The limits, where the rules would allow the ask: a row of declined asks, and the room
        // the game needs to be finished from where the take-back would leave it (the ask, its
        // answer, then every put and pass that may follow, and the end).
        if (FPlay.DeclinedInARow(seat) >= protocol::MaxDeclinedInARow) {
            TOutcome out =
                Refused(TRefusal::Limit, "player " + std::to_string(seat) + " asked " +
                                             std::to_string(protocol::MaxDeclinedInARow) +
                                             " take-backs in a row: put first");
            out.limit = "takeback_asks";
            return out;
        }
        const auto kept = Record().PositionAt(static_cast<std::size_t>(keep));
        if (Last() + 2 + game_events::EventsToFinish(kept) > protocol::MaxEvents) {
            TOutcome out = Refused(TRefusal::Limit,
                                   "game " + FId + " has too many events for another take-back");
            out.limit = "events";
            return out;
        }
    }
    std::string why = Apply({.kind = TEventKind::TakeBackOffer, .player = seat, .moves = keep});
    if (!why.empty()) return Refused(TRefusal::Rules, why);
    return {};
}

TOutcome TServerGame::AnswerTakeBack(int seat, bool accept, int64_t after) {
    const TEventKind kind = accept ? TEventKind::TakeBack : TEventKind::TakeBackDeclined;
    auto repeated = [&] {
        const TEvent& e = Event(after + 1);
        return e.kind == kind && e.player == seat;
    };
    if (auto out = OutOfStep(after, after < Last() && repeated())) return *out;
    const TEvent* offer = FPlay.OpenOffer();
    std::string why = Apply({.kind = kind, .player = seat, .moves = offer ? offer->moves : 0});
    if (!why.empty()) return Refused(TRefusal::Rules, why);
    return {};
}

bool TServerGame::Abandon() {
    if (!Joined() || Over()) return false;
    return Apply(FPlay.AbandonedEnd()).empty();
}

} // namespace server
