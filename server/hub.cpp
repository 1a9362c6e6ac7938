// The hub: requests to games, group commits to the store, announcements to the seats.
#include "server/hub.h"

#include <algorithm>
#include <chrono>

#include "server/secret.h"

namespace server {

using protocol::TRefusal;
using protocol::TRequest;

// A game in memory with what of it the store already holds.
struct TGameHub::TLive {
    explicit TLive(TServerGame g) : game(std::move(g)) {}
    TServerGame game;
    std::string creator;
    int64_t created = 0;
    int64_t committed = 0; // events stored (and so announced)
    bool stored = false;   // its row exists
    bool secondStored = false;
    bool dirty = false;
    std::vector<TLink*> seats[3];
};

namespace {

constexpr int64_t OpenGamesWindow = 24 * 60 * 60; // the limit counts a day's games

int64_t SystemClock() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

TGameHub::TGameHub(store::TGameStore& store, THubOptions options)
    : FStore(store), FOptions(std::move(options)) {
    if (!FOptions.clock) FOptions.clock = SystemClock;
}

TGameHub::~TGameHub() = default;

void TGameHub::Log(const std::string& line) const {
    if (FOptions.log) FOptions.log(line);
}

void TGameHub::Refuse(TLink* link, TRequest request, TRefusal code, const std::string& reason) {
    auto it = FLinks.find(link);
    const int64_t last = it != FLinks.end() && it->second.game ? it->second.game->committed : 0;
    link->Send(protocol::RefusedText(protocol::RequestName(request), code, reason, last));
}

void TGameHub::Violation(TLink* link, const std::string& reason) {
    Log("connection from " + link->Address() + " closed: " + reason);
    TLinkState& state = FLinks[link];
    Detach(link, state);
    state.closing = true;
    link->Close(ClosePolicy, reason);
}

TGameHub::TLive* TGameHub::Find(const std::string& id, TRefusal& code, std::string& why) {
    if (auto it = FGames.find(id); it != FGames.end()) return it->second.get();
    std::optional<store::TStoredGame> stored;
    code = TRefusal::Again;
    try {
        stored = FStore.Load(id);
    } catch (const store::TStoreError& e) {
        Log("game " + id + ": cannot be read: " + e.what());
        why = "game " + id + " cannot be read now";
        return nullptr;
    }
    if (!stored) {
        code = TRefusal::Gone;
        why = "there is no game " + id;
        return nullptr;
    }
    std::string error;
    std::optional<TServerGame> game = TServerGame::Restore(*stored, error);
    if (!game) {
        Log(error);
        why = "game " + id + " cannot be read now";
        return nullptr;
    }
    auto live = std::make_unique<TLive>(std::move(*game));
    live->creator = stored->creator;
    live->created = stored->created;
    live->committed = live->game.Last();
    live->stored = true;
    live->secondStored = live->game.Joined();
    TLive* raw = live.get();
    FGames.emplace(id, std::move(live));
    return raw;
}

void TGameHub::MarkDirty(TLive* game) {
    if (game->dirty) return;
    const bool first = !Pending();
    game->dirty = true;
    FDirty.push_back(game);
    if (first && onPending) onPending();
}

void TGameHub::Await(TLink* link, TLive* game, TAwait what) {
    const bool first = !Pending();
    FAwaiting.push_back({link, game, what});
    if (what != TAwait::Record) FLinks[link].waiting = true;
    if (first && onPending) onPending();
}

void TGameHub::Attach(TLink* link, TLive* game, int seat) {
    TLinkState& state = FLinks[link];
    state.game = game;
    state.seat = seat;
    state.waiting = false;
    const bool arrived = game->seats[seat].empty();
    game->seats[seat].push_back(link);
    const int other = 3 - seat;
    link->Send(protocol::PresenceText(other, !game->seats[other].empty()));
    if (arrived)
        for (TLink* l : game->seats[other]) l->Send(protocol::PresenceText(seat, true));
}

void TGameHub::Detach(TLink* link, TLinkState& state) {
    TLive* game = state.game;
    state.game = nullptr;
    if (game == nullptr) return;
    auto& links = game->seats[state.seat];
    links.erase(std::remove(links.begin(), links.end(), link), links.end());
    if (links.empty())
        for (TLink* l : game->seats[3 - state.seat])
            l->Send(protocol::PresenceText(state.seat, false));
    UnloadIfIdle(game);
}

void TGameHub::Sync(TLink* link, TLinkState& state) {
    const TLive* game = state.game;
    for (int64_t n = state.sent + 1; n <= game->committed; ++n) link->Send(game->game.EventText(n));
    state.sent = std::max(state.sent, game->committed);
}

void TGameHub::UnloadIfIdle(TLive* game) {
    if (game->dirty || !game->seats[1].empty() || !game->seats[2].empty()) return;
    for (const TAwaiting& a : FAwaiting)
        if (a.game == game) return;
    FGames.erase(game->game.Id());
}

void TGameHub::SendRecord(TLink* link, const TLive* game) {
    link->Send(
        protocol::RecordText(game->game.Id(), game_record::FormatRecord(game->game.Record())));
}

void TGameHub::Received(TLink* link, std::string_view text) {
    TLinkState& state = FLinks[link];
    if (state.closing) return;
    protocol::TClientMessage m;
    std::string why;
    if (!protocol::ParseClientMessage(text, m, why)) {
        Violation(link, why);
        return;
    }
    Handle(link, state, m);
}

void TGameHub::Handle(TLink* link, TLinkState& state, const protocol::TClientMessage& m) {
    const bool seated = state.game != nullptr;
    switch (m.type) {
    case TRequest::Create:
    case TRequest::Join:
    case TRequest::Hello:
        if (seated || state.waiting) {
            Refuse(link, m.type, TRefusal::Rules, "this connection already has a seat");
            return;
        }
        if (m.type == TRequest::Create)
            Create(link, m);
        else
            TakeSeat(link, m);
        return;
    case TRequest::Move:
    case TRequest::TakeBack:
    case TRequest::TakeBackAnswer:
    case TRequest::Record:
        break;
    }
    if (!seated) {
        Refuse(link, m.type, TRefusal::Rules,
               state.waiting ? "the seat is still being stored" : "this connection has no seat");
        return;
    }
    TLive* game = state.game;
    // The seat's secret comes with every request, not only the hello that took the seat.
    if (!secret::SameSecret(m.secret, game->game.Secret(state.seat))) {
        Refuse(link, m.type, TRefusal::Secret,
               "the secret does not open seat " + std::to_string(state.seat));
        return;
    }
    if (m.type == TRequest::Record) {
        if (game->dirty)
            Await(link, game, TAwait::Record); // the record once what it holds is stored
        else
            SendRecord(link, game);
        return;
    }
    TServerGame& g = game->game;
    const TOutcome out = m.type == TRequest::Move ? g.Move(state.seat, m.cell, m.after)
                         : m.type == TRequest::TakeBack
                             ? g.OfferTakeBack(state.seat, m.after)
                             : g.AnswerTakeBack(state.seat, m.accept, m.after);
    switch (out.kind) {
    case TOutcome::Applied:
        MarkDirty(game);
        break;
    case TOutcome::Repeat: // sent again: the page is told what it missed, its move among it
        Sync(link, state);
        break;
    case TOutcome::Refused:
        Refuse(link, m.type, out.code, out.reason);
        Sync(link, state);
        break;
    }
}

void TGameHub::Create(TLink* link, const protocol::TClientMessage& m) {
    // The game's id and invitation follow from the page's secret: the same create again finds
    // the game it made, stored or not, and is answered as the first was.
    const std::string id = secret::GameIdOf(m.secret);
    TRefusal code;
    std::string why;
    if (TLive* game = Find(id, code, why)) {
        if (game->game.SeatOf(m.secret) != 1) {
            Refuse(link, m.type, TRefusal::Secret, "the secret opens no seat of game " + id);
            UnloadIfIdle(game);
        } else if (!game->stored) {
            Await(link, game, TAwait::Created);
        } else {
            SeatAnswered(link, game, 1,
                         protocol::CreatedText(id, m.secret, game->game.Invitation()));
        }
        return;
    }
    if (code != TRefusal::Gone) {
        Refuse(link, m.type, code, why);
        return;
    }
    const int64_t now = FOptions.clock();
    int open = 0;
    try {
        open = FStore.CountOpen(link->Address(), now - OpenGamesWindow);
    } catch (const store::TStoreError& e) {
        Log(std::string("cannot count open games: ") + e.what());
        Refuse(link, m.type, TRefusal::Again, "no game can be created now");
        return;
    }
    for (const auto& [id, live] : FGames)
        if (!live->stored && live->creator == link->Address()) ++open;
    if (open >= FOptions.gamesPerAddress) {
        Refuse(link, m.type, TRefusal::Limit,
               "this address has " + std::to_string(open) +
                   " games not over; finish one before creating another");
        return;
    }
    auto live = std::make_unique<TLive>(TServerGame(id, m.secret, secret::InvitationOf(m.secret)));
    live->creator = link->Address();
    live->created = now;
    TLive* game = live.get();
    FGames.emplace(id, std::move(live));
    MarkDirty(game);
    Await(link, game, TAwait::Created);
}

void TGameHub::TakeSeat(TLink* link, const protocol::TClientMessage& m) {
    TRefusal code;
    std::string why;
    TLive* game = Find(m.game, code, why);
    if (game == nullptr) {
        Refuse(link, m.type, code, why);
        return;
    }
    if (m.type == TRequest::Join) {
        const TOutcome out = game->game.Join(m.invitation, m.secret);
        if (out.kind == TOutcome::Refused) {
            Refuse(link, m.type, out.code, out.reason);
            UnloadIfIdle(game);
        } else if (out.kind == TOutcome::Applied || !game->secondStored) {
            if (out.kind == TOutcome::Applied) MarkDirty(game);
            Await(link, game, TAwait::Joined);
        } else {
            SeatAnswered(link, game, 2, protocol::JoinedText(game->game.Id(), m.secret));
        }
        return;
    }
    const int seat = game->game.SeatOf(m.secret);
    if (seat == 0) {
        Refuse(link, m.type, TRefusal::Secret,
               "the secret opens no seat of game " + game->game.Id());
        UnloadIfIdle(game);
        return;
    }
    if (seat == 2 && !game->secondStored) {
        Refuse(link, m.type, TRefusal::Again,
               "seat 2 of game " + game->game.Id() + " is still being stored");
        return;
    }
    if (static_cast<int>(game->seats[seat].size()) >= FOptions.linksPerSeat) {
        Refuse(link, m.type, TRefusal::Limit,
               "seat " + std::to_string(seat) + " of game " + game->game.Id() +
                   " has too many connections");
        return;
    }
    // A page that holds more than the store has, or a history of its own (another server's
    // data, a database restored from a backup), starts again.
    const bool reset = m.last > game->committed || game->game.Digest(m.last) != m.digest;
    link->Send(protocol::WelcomeText(game->game.Id(), seat, game->committed, reset));
    Attach(link, game, seat);
    TLinkState& state = FLinks[link];
    state.sent = reset ? 0 : m.last;
    Sync(link, state);
}

void TGameHub::SeatAnswered(TLink* link, TLive* game, int seat, std::string answer) {
    link->Send(std::move(answer));
    Attach(link, game, seat);
    TLinkState& state = FLinks[link];
    state.sent = 0;
    Sync(link, state);
}

void TGameHub::Closed(TLink* link) {
    auto it = FLinks.find(link);
    if (it == FLinks.end()) return;
    Detach(link, it->second);
    FLinks.erase(it);
    std::vector<TLive*> left;
    for (auto a = FAwaiting.begin(); a != FAwaiting.end();) {
        if (a->link == link) {
            left.push_back(a->game);
            a = FAwaiting.erase(a);
        } else {
            ++a;
        }
    }
    std::sort(left.begin(), left.end());
    left.erase(std::unique(left.begin(), left.end()), left.end());
    for (TLive* game : left) UnloadIfIdle(game);
}

void TGameHub::Flush() {
    if (!Pending()) return;
    std::vector<TLive*> dirty;
    dirty.swap(FDirty);
    std::vector<TAwaiting> awaiting;
    awaiting.swap(FAwaiting);

    std::vector<store::TGameChange> changes;
    changes.reserve(dirty.size());
    for (TLive* live : dirty) {
        const TServerGame& g = live->game;
        store::TGameChange c;
        c.id = g.Id();
        if (!live->stored) {
            c.create = true;
            c.secret1 = g.Secret(1);
            c.invitation = g.Invitation();
            c.creator = live->creator;
            c.created = live->created;
        }
        if (g.Joined() && !live->secondStored) c.secret2 = g.Secret(2);
        c.firstEvent = live->committed + 1;
        for (int64_t n = c.firstEvent; n <= g.Last(); ++n) c.events.push_back(g.EventText(n));
        c.finished = g.Over() && g.Last() > live->committed;
        changes.push_back(std::move(c));
    }
    try {
        if (!changes.empty()) FStore.Commit(changes);
    } catch (const store::TStoreError& e) {
        // The games in memory are ahead of the store: drop them and their connections; the
        // pages come back and are sent what the store holds. Every awaited reply is of one of
        // these games.
        Log(std::string("cannot store ") + std::to_string(dirty.size()) + " games: " + e.what());
        auto drop = [this](TLink* l) {
            TLinkState& state = FLinks[l];
            state.game = nullptr;
            state.waiting = false;
            state.closing = true;
            l->Close(CloseInternal, "the game could not be stored");
        };
        for (const TAwaiting& a : awaiting) drop(a.link);
        for (TLive* live : dirty) {
            for (int seat = 1; seat <= 2; ++seat)
                for (TLink* l : live->seats[seat]) drop(l);
            FGames.erase(live->game.Id());
        }
        return;
    }
    for (TLive* live : dirty) {
        const TServerGame& g = live->game;
        if (!live->stored) Log("game " + g.Id() + ": created by " + live->creator);
        if (g.Joined() && !live->secondStored) Log("game " + g.Id() + ": seat 2 taken");
        if (g.Over() && g.Last() > live->committed) {
            const protocol::TEvent& end = g.Event(g.Last());
            Log("game " + g.Id() + ": over, " + std::to_string(end.count1) + " to " +
                std::to_string(end.count2));
        }
        live->stored = true;
        live->secondStored = g.Joined();
        live->committed = g.Last();
        live->dirty = false;
    }
    // The new seats first, so that they are sent their game's events with the others; the
    // records last, so that they hold what was just announced.
    for (const TAwaiting& a : awaiting) {
        const TServerGame& g = a.game->game;
        if (a.what == TAwait::Created) {
            a.link->Send(protocol::CreatedText(g.Id(), g.Secret(1), g.Invitation()));
            Attach(a.link, a.game, 1);
        } else if (a.what == TAwait::Joined) {
            a.link->Send(protocol::JoinedText(g.Id(), g.Secret(2)));
            Attach(a.link, a.game, 2);
        }
        // A repeat answered with the first: it has what the game holds, from event 1.
        FLinks[a.link].sent = 0;
    }
    for (TLive* live : dirty)
        for (int seat = 1; seat <= 2; ++seat)
            for (TLink* l : live->seats[seat]) Sync(l, FLinks[l]);
    for (const TAwaiting& a : awaiting)
        if (a.what == TAwait::Record) SendRecord(a.link, a.game);
    for (TLive* live : dirty) UnloadIfIdle(live);
}

} // namespace server
