// A game as its events: each checked against the rules and the events before it.
#include "engine/game_events.h"

#include "engine/rules.h"

namespace game_events {

using game_record::PassCell;

namespace {

std::string PlayerText(int player) {
    return "player " + std::to_string(player);
}

} // namespace

int64_t EventsToFinish(const game_record::TPosition& position) {
    return 2 * static_cast<int64_t>(position.count[0]) + 1;
}

TEventGame::TEventGame()
    : TEventGame(
          game_record::TGameRecord(game_record::PlayerMan, game_record::PlayerMan, false, 0)) {}

TEventGame::TEventGame(game_record::TGameRecord start) : FRecord(std::move(start)) {}

const TEvent* TEventGame::OpenOffer() const {
    return FLast > 0 && FLatest.kind == TEventKind::TakeBackOffer ? &FLatest : nullptr;
}

int64_t TEventGame::TakeBackPoint(int player) const {
    const auto& moves = FRecord.Moves();
    for (std::size_t i = moves.size(); i-- > 0;)
        if (moves[i].player == player && moves[i].cell != PassCell) return static_cast<int64_t>(i);
    return -1;
}

TEvent TEventGame::BoardEnd() const {
    const game_record::TPosition& p = FRecord.Position();
    return {.n = FLast + 1,
            .kind = TEventKind::End,
            .winner = rules::Winner(p.count[1], p.count[2]),
            .count1 = p.count[1],
            .count2 = p.count[2]};
}

TEvent TEventGame::AbandonedEnd() const {
    TEvent e = BoardEnd();
    e.winner = 0;
    e.reason = TEndReason::Abandoned;
    return e;
}

std::string TEventGame::Refusal(const TEvent& e) const {
    if (e.n != FLast + 1)
        return "event " + std::to_string(e.n) + " is not the next after " + std::to_string(FLast);
    if (FEnded) return "the game is over: nothing may follow its end";
    if (e.kind != TEventKind::End && e.player != 1 && e.player != 2)
        return "there is no player " + std::to_string(e.player);
    if (e.kind != TEventKind::Join && !Joined())
        return "seat 2 is still empty: the game starts when it is taken";
    const game_record::TPosition& p = FRecord.Position();
    switch (e.kind) {
    case TEventKind::Join:
        if (e.player != 2 || Joined()) return "only seat 2 joins, and only first";
        return {};
    case TEventKind::Put:
        if (e.cell < 0) return "cell " + std::to_string(e.cell) + " is not on the board";
        return {}; // the record's rules decide the rest
    case TEventKind::Pass:
        return {};
    case TEventKind::End: {
        if (e.player != 0) return "an end names no player";
        if (e.count1 != p.count[1] || e.count2 != p.count[2])
            return "the end does not give the board's counts";
        if (e.reason == TEndReason::Abandoned)
            return e.winner == 0 ? "" : "an abandoned game has no winner";
        if (!p.Over()) return "the game is not over: " + PlayerText(p.toMove) + " is to move";
        if (e.winner != rules::Winner(p.count[1], p.count[2]))
            return "the end does not name the board's winner";
        return {};
    }
    case TEventKind::TakeBackOffer: {
        if (OpenOffer() != nullptr) return "a take-back is already asked";
        const int64_t keep = TakeBackPoint(e.player);
        if (keep < 0) return PlayerText(e.player) + " has no put to take back";
        if (e.moves != keep)
            return "a take-back by " + PlayerText(e.player) + " goes back to " +
                   std::to_string(keep) + " moves";
        return {};
    }
    case TEventKind::TakeBack:
    case TEventKind::TakeBackDeclined: {
        const TEvent* offer = OpenOffer();
        if (offer == nullptr) return "there is no take-back ask to answer";
        if (e.player != Opponent(offer->player))
            return PlayerText(offer->player) + "'s ask is answered by the other player";
        if (e.kind == TEventKind::TakeBack && e.moves != offer->moves)
            return "a take-back keeps the moves its ask named";
        return {};
    }
    }
    return "an unknown kind of event";
}

bool TEventGame::Take(const TEvent& e, std::string& error) {
    error = Refusal(e);
    if (!error.empty()) return false;
    switch (e.kind) {
    case TEventKind::Put:
    case TEventKind::Pass:
        if (!FRecord.Append({e.player, e.kind == TEventKind::Pass ? PassCell : e.cell}, error))
            return false;
        if (e.kind == TEventKind::Put) FDeclined[e.player] = 0;
        break;
    case TEventKind::End:
        FEnded = true;
        break;
    case TEventKind::TakeBack:
        FRecord.Truncate(static_cast<std::size_t>(e.moves));
        FDeclined[FLatest.player] = 0;
        break;
    case TEventKind::TakeBackDeclined:
        ++FDeclined[FLatest.player];
        break;
    case TEventKind::Join:
    case TEventKind::TakeBackOffer:
        break;
    }
    FLatest = e;
    ++FLast;
    return true;
}

} // namespace game_events
