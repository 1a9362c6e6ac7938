// The server's game: requests checked and turned into events, events replayed through the rules.
#include "server/game.h"

#include "engine/rules.h"
#include "server/secret.h"

namespace server {

using game_record::PassCell;
using protocol::TEvent;
using protocol::TEventKind;

namespace {

TOutcome Refused(std::string reason) {
    return {TOutcome::Refused, std::move(reason)};
}

std::string PlayerText(int player) {
    return "player " + std::to_string(player);
}

} // namespace

TServerGame::TServerGame(std::string id, std::string secret1, std::string invitation)
    : FId(std::move(id)), FSecret1(std::move(secret1)), FInvitation(std::move(invitation)),
      FRecord(game_record::PlayerMan, game_record::PlayerMan, false, 0) {}

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
        game.FSecret1.empty() || stored.finished != game.FEnded) {
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

const TEvent* TServerGame::OpenOffer() const {
    return Last() > 0 && FEvents.back().kind == TEventKind::TakeBackOffer ? &FEvents.back()
                                                                          : nullptr;
}

int64_t TServerGame::TakeBackPoint(int player) const {
    const auto& moves = FRecord.Moves();
    for (std::size_t i = moves.size(); i-- > 0;)
        if (moves[i].player == player && moves[i].cell != PassCell) return static_cast<int64_t>(i);
    return -1;
}

std::string TServerGame::Apply(TEvent e) {
    e.n = Last() + 1;
    if (FEnded) return "the game is over: nothing may follow its end";
    switch (e.kind) {
    case TEventKind::Join:
        if (e.player != 2 || Last() != 0) return "only seat 2 joins, and only first";
        break;
    case TEventKind::Put:
    case TEventKind::Pass: {
        if (Last() == 0) return "seat 2 is still empty: the game starts when it is taken";
        std::string why;
        const int cell = e.kind == TEventKind::Pass ? PassCell : e.cell;
        if (!FRecord.Append({e.player, cell}, why)) return why;
        break;
    }
    case TEventKind::End: {
        const game_record::TPosition& p = FRecord.Position();
        if (!p.Over()) return "the game is not over: " + PlayerText(p.toMove) + " is to move";
        if (e.player != 0 || e.winner != rules::Winner(p.count[1], p.count[2]) ||
            e.count1 != p.count[1] || e.count2 != p.count[2])
            return "the end does not give the board's counts";
        FEnded = true;
        break;
    }
    case TEventKind::TakeBackOffer: {
        if (OpenOffer() != nullptr) return "a take-back is already asked";
        const int64_t keep = TakeBackPoint(e.player);
        if (keep < 0) return PlayerText(e.player) + " has no put to take back";
        if (e.moves != keep)
            return "a take-back by " + PlayerText(e.player) + " goes back to " +
                   std::to_string(keep) + " moves";
        break;
    }
    case TEventKind::TakeBack:
    case TEventKind::TakeBackRefused: {
        const TEvent* offer = OpenOffer();
        if (offer == nullptr) return "there is no take-back offer to answer";
        if (e.player != Opponent(offer->player))
            return PlayerText(offer->player) + "'s offer is answered by the other player";
        if (e.kind == TEventKind::TakeBack) {
            if (e.moves != offer->moves) return "a take-back keeps the moves its offer named";
            FRecord.Truncate(static_cast<std::size_t>(e.moves));
        }
        break;
    }
    }
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
    const game_record::TPosition& p = FRecord.Position();
    if (p.mustPass != 0) Apply({.kind = TEventKind::Pass, .player = p.mustPass});
    if (p.Over())
        Apply({.kind = TEventKind::End,
               .winner = rules::Winner(p.count[1], p.count[2]),
               .count1 = p.count[1],
               .count2 = p.count[2]});
    return {};
}

TOutcome TServerGame::OfferTakeBack(int seat, int64_t after) {
    auto repeated = [&] {
        const TEvent& e = Event(after + 1);
        return e.kind == TEventKind::TakeBackOffer && e.player == seat;
    };
    if (auto out = OutOfStep(after, after < Last() && repeated())) return *out;
    std::string why =
        Apply({.kind = TEventKind::TakeBackOffer, .player = seat, .moves = TakeBackPoint(seat)});
    if (!why.empty()) return Refused(why);
    return {};
}

TOutcome TServerGame::AnswerTakeBack(int seat, bool accept, int64_t after) {
    const TEventKind kind = accept ? TEventKind::TakeBack : TEventKind::TakeBackRefused;
    auto repeated = [&] {
        const TEvent& e = Event(after + 1);
        return e.kind == kind && e.player == seat;
    };
    if (auto out = OutOfStep(after, after < Last() && repeated())) return *out;
    const TEvent* offer = OpenOffer();
    std::string why = Apply({.kind = kind, .player = seat, .moves = offer ? offer->moves : 0});
    if (!why.empty()) return Refused(why);
    return {};
}

} // namespace server
