// The server's game: requests checked and turned into events, events replayed through the rules.
#include "server/game.h"

#include "server/secret.h"

namespace server {

using protocol::TEvent;
using protocol::TEventKind;

namespace {

TOutcome Refused(std::string reason) {
    return {TOutcome::Refused, std::move(reason)};
}

} // namespace

TServerGame::TServerGame(std::string id, std::string secret1, std::string invitation)
    : FId(std::move(id)), FSecret1(std::move(secret1)), FInvitation(std::move(invitation)) {}

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
    // Seat 2 has a secret exactly when its join is among the events, and then no invitation.
    const bool joinEvent = game.Last() >= 1 && game.Event(1).kind == TEventKind::Join;
    if (joinEvent != game.Joined() || (game.Joined() && !game.FInvitation.empty()) ||
        game.FSecret1.empty() || stored.finished != game.Over()) {
        error = "game " + stored.id + ": its seats or its end do not match its events";
        return std::nullopt;
    }
    return game;
}

int TServerGame::SeatOf(std::string_view secret) const {
    // Both are compared whatever the first gives, so the time says nothing of which matched.
    const bool one = secret::SameSecret(secret, FSecret1);
    const bool two = Joined() && secret::SameSecret(secret, FSecret2);
    return one ? 1 : two ? 2 : 0;
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
        return Refused("event " + std::to_string(after) + " has not happened (the latest is " +
                       std::to_string(Last()) + ")");
    if (repeated) return TOutcome{TOutcome::Repeat, {}};
    return Refused("the game has moved on to event " + std::to_string(Last()));
}

TOutcome TServerGame::Join(std::string_view invitation, std::string secret2) {
    // The invitation is compared even when spent, so a spent one costs the same time.
    const bool matches = secret::SameSecret(invitation, FInvitation);
    if (Joined()) return Refused("seat 2 of game " + FId + " is taken");
    if (!matches) return Refused("the invitation does not open game " + FId);
    const std::string why = Apply({.kind = TEventKind::Join, .player = 2});
    if (!why.empty()) return Refused(why);
    FSecret2 = std::move(secret2);
    FInvitation.clear();
    return {};
}

TOutcome TServerGame::Move(int seat, int cell, int64_t after) {
    auto repeated = [&] {
        const TEvent& e = Event(after + 1);
        return e.kind == TEventKind::Put && e.player == seat && e.cell == cell;
    };
    if (auto out = OutOfStep(after, after < Last() && repeated())) return *out;
    std::string why = Apply({.kind = TEventKind::Put, .player = seat, .cell = cell});
    if (!why.empty()) return Refused(why);
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
    std::string why = Apply(
        {.kind = TEventKind::TakeBackOffer, .player = seat, .moves = FPlay.TakeBackPoint(seat)});
    if (!why.empty()) return Refused(why);
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
    if (!why.empty()) return Refused(why);
    return {};
}

} // namespace server
