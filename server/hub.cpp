// The hub: requests to games, group commits to the store, announcements to the seats.
#include "server/hub.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

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
    int64_t active = 0;    // when its latest stored change was made
    int64_t committed = 0; // events stored (and so announced)
    bool stored = false;   // its row exists
    bool secondStored = false;
    bool dirty = false;      // changed since the commit that holds or held it
    bool committing = false; // a change of it is in the commit under way
    std::vector<TLink*> seats[3];
    std::vector<TRequester> requesters; // whose applied requests are not stored yet
};

// A game's change in the commit under way, as it was handed to the store.
struct TGameHub::TFlushed {
    TLive* game;
    int64_t last;
    bool second;
    int64_t at;
    bool created;
};

namespace {

constexpr int64_t OpenGamesWindow = 24 * 60 * 60; // the limit counts a day's games
constexpr int64_t Day = 24 * 60 * 60;
constexpr std::size_t QueueLimit = 64; // messages waiting while a seat is read or stored
// The commit time histogram's upper bounds, in seconds.
constexpr double CommitBounds[] = {0.0005, 0.001, 0.002, 0.005, 0.01, 0.02, 0.05,
                                   0.1,    0.2,   0.5,   1,     2,    5};
constexpr const char* LimitNames[] = {"games_per_address", "links_per_seat", "takeback_asks",
                                      "events"};

int64_t SystemClock() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// What an exception says, in one line.
std::string What(std::exception_ptr failure) {
    try {
        if (failure) std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        std::string line = e.what();
        std::replace(line.begin(), line.end(), '\n', ' ');
        return line;
    } catch (...) {
    }
    return "an unknown fault";
}

} // namespace

TGameHub::TGameHub(TStoreRunner& store, THubOptions options)
    : FStore(store), FOptions(std::move(options)), FCommitBuckets(std::size(CommitBounds) + 1) {
    if (!FOptions.clock) FOptions.clock = SystemClock;
    for (const char* name : LimitNames) FLimitHits[name] = 0;
}

TGameHub::~TGameHub() = default;

void TGameHub::Log(const std::string& line) const {
    if (FOptions.log) FOptions.log(line);
}

bool TGameHub::Busy() const {
    return FCommitting || FSweeping || FProbing || FReads > 0 || !FDirty.empty();
}

void TGameHub::WhenIdle(std::function<void()> then) {
    FWhenIdle.push_back(std::move(then));
    Settled();
}

// After the store's work: those who wait for the hub to be idle are told once it is.
void TGameHub::Settled() {
    if (Busy() || FWhenIdle.empty()) return;
    std::vector<std::function<void()>> waiting;
    waiting.swap(FWhenIdle);
    for (auto& then : waiting) then();
}

TGameHub::THold::~THold() {
    if (--hub.FHold > 0) return;
    std::vector<std::string> ids;
    ids.swap(hub.FUnloadLater);
    for (const std::string& id : ids)
        if (auto it = hub.FGames.find(id); it != hub.FGames.end())
            hub.UnloadIfIdle(it->second.get());
}

std::size_t TGameHub::SeatedLinks() const {
    std::size_t seated = 0;
    for (const auto& [link, state] : FLinks) seated += state.game != nullptr;
    return seated;
}

// ---- Links ----

TGameHub::TRef TGameHub::RefOf(TLink* link) {
    auto [it, fresh] = FLinks.try_emplace(link);
    if (fresh) it->second.serial = ++FSerial;
    return {link, it->second.serial};
}

TGameHub::TLinkState* TGameHub::Alive(const TRef& ref) {
    auto it = FLinks.find(ref.link);
    if (it == FLinks.end() || it->second.serial != ref.serial || it->second.closing) return nullptr;
    return &it->second;
}

void TGameHub::Refuse(TLink* link, TRequest request, TRefusal code, const std::string& reason,
                      const char* limit) {
    ++FRefusals[static_cast<int>(code)];
    if (limit != nullptr) ++FLimitHits[limit];
    auto it = FLinks.find(link);
    const int64_t last = it != FLinks.end() && it->second.game ? it->second.game->committed : 0;
    link->Send(protocol::RefusedText(protocol::RequestName(request), code, reason, last));
}

void TGameHub::Drop(TLink* link, uint16_t code, const std::string& reason) {
    auto it = FLinks.find(link);
    if (it == FLinks.end() || it->second.closing) return;
    TLinkState& state = it->second;
    state.closing = true;
    state.busy = false;
    state.queued.clear();
    // What the others are told of it may fail too; the link goes whatever happens.
    try {
        Detach(link, state);
    } catch (...) {
        state.game = nullptr;
    }
    ForgetAwaits(link);
    try {
        link->Close(code, reason);
    } catch (...) {
    }
}

void TGameHub::Violation(TLink* link, const std::string& reason) {
    Log("connection from " + link->Address() + " closed: " + reason);
    Drop(link, ClosePolicy, reason);
}

void TGameHub::Fault(TLink* link, const char* what) {
    Log("connection from " + link->Address() + " failed: " + what);
    Drop(link, CloseInternal, "the server failed this connection's request");
}

void TGameHub::ForgetAwaits(TLink* link) {
    std::vector<TLive*> left;
    for (auto a = FAwaiting.begin(); a != FAwaiting.end();) {
        if (a->who.link == link) {
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

void TGameHub::Received(TLink* link, std::string_view text) {
    THold hold(*this);
    RefOf(link);
    TLinkState& state = FLinks[link];
    if (state.closing) return;
    protocol::TClientMessage m;
    std::string why;
    if (!protocol::ParseClientMessage(text, m, why)) {
        Violation(link, why);
        return;
    }
    if (state.busy) {
        if (state.queued.size() >= QueueLimit) {
            Violation(link, "too many messages while its seat is read or stored");
            return;
        }
        state.queued.push_back(std::move(m));
        return;
    }
    Dispatch(link, m);
}

void TGameHub::Dispatch(TLink* link, const protocol::TClientMessage& m) {
    try {
        Handle(link, FLinks[link], m);
    } catch (const std::exception& e) {
        Fault(link, e.what());
    } catch (...) {
        Fault(link, "an unknown fault");
    }
}

void TGameHub::Drain(TLink* link) {
    for (;;) {
        auto it = FLinks.find(link);
        if (it == FLinks.end()) return;
        TLinkState& state = it->second;
        if (state.busy || state.closing || state.queued.empty()) return;
        const protocol::TClientMessage m = std::move(state.queued.front());
        state.queued.erase(state.queued.begin());
        Dispatch(link, m);
    }
}

void TGameHub::Closed(TLink* link) {
    THold hold(*this);
    auto it = FLinks.find(link);
    if (it == FLinks.end()) return;
    try {
        Detach(link, it->second);
    } catch (...) { // a presence that could not be sent: the others learn it when they come back
    }
    ForgetAwaits(link);
    FLinks.erase(link);
}

void TGameHub::Drained(TLink* link) {
    THold hold(*this);
    auto it = FLinks.find(link);
    if (it == FLinks.end() || it->second.closing || it->second.game == nullptr) return;
    try {
        Sync(link, it->second);
    } catch (const std::exception& e) {
        Fault(link, e.what());
    }
}

void TGameHub::ForgetLinks() {
    FLinks.clear();
    FAwaiting.clear();
    for (auto& [id, live] : FGames)
        for (auto& seat : live->seats) seat.clear();
}

// ---- Requests ----

void TGameHub::Handle(TLink* link, TLinkState& state, const protocol::TClientMessage& m) {
    switch (m.type) {
    case TRequest::Create:
    case TRequest::Join:
    case TRequest::Hello:
        if (state.game != nullptr) {
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
    if (state.game == nullptr) {
        Refuse(link, m.type, TRefusal::Rules, "this connection has no seat");
        return;
    }
    TLive* game = state.game;
    // The seat's secret comes with every request, not only the one that took the seat.
    if (!secret::SameSecret(m.secret, state.secret)) {
        Refuse(link, m.type, TRefusal::Secret,
               "the secret does not open seat " + std::to_string(state.seat));
        return;
    }
    if (m.type == TRequest::Record) {
        if (game->committed < game->game.Last())
            Await(link, game, TAwait::Record, m); // the record once what it holds is stored
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
        game->requesters.push_back({RefOf(link), m.type, g.Last()});
        MarkDirty(game);
        break;
    case TOutcome::Repeat: // sent again: the page is told what it missed, its move among it
        Sync(link, state);
        break;
    case TOutcome::Refused:
        Refuse(link, m.type, out.code, out.reason, out.limit);
        Sync(link, state);
        break;
    }
}

void TGameHub::Create(TLink* link, const protocol::TClientMessage& m) {
    // The game's id and invitation follow from the page's secret: the same create again finds
    // the game it made, stored or not, and is answered as the first was.
    const std::string id = secret::GameIdOf(m.secret);
    if (auto it = FGames.find(id); it != FGames.end())
        CreateIn(link, m, it->second.get());
    else
        Read(link, m, id);
}

void TGameHub::TakeSeat(TLink* link, const protocol::TClientMessage& m) {
    if (auto it = FGames.find(m.game); it != FGames.end())
        SeatIn(link, m, it->second.get());
    else
        Read(link, m, m.game);
}

// A seat request for a game not in memory: the store is read (and, for a create, the creator's
// open games counted), and the request goes on once it answers.
void TGameHub::Read(TLink* link, const protocol::TClientMessage& m, const std::string& id) {
    struct TResult {
        std::optional<store::TStoredGame> game;
        int open = 0;
    };
    auto result = std::make_shared<TResult>();
    const TRef who = RefOf(link);
    const bool create = m.type == TRequest::Create;
    const std::string address = link->Address();
    const int64_t since = FOptions.clock() - OpenGamesWindow;
    FLinks[link].busy = true;
    ++FReads;
    FStore.Run(
        [result, id, create, address, since](store::TGameStore& store) {
            result->game = store.Load(id);
            if (create && !result->game) result->open = store.CountOpen(address, since);
        },
        [this, result, who, m, id](std::exception_ptr failure) {
            THold hold(*this);
            --FReads;
            TLinkState* state = Alive(who);
            if (failure)
                StoreFailed("game " + id + ": cannot be read", failure);
            else
                FStoreAnswers = true;
            if (state == nullptr) return;
            state->busy = false;
            try {
                TLive* game = failure ? nullptr : Insert(id, result->game);
                if (failure || (result->game && game == nullptr))
                    Refuse(who.link, m.type, TRefusal::Again, "game " + id + " cannot be read now");
                else if (m.type != TRequest::Create && game == nullptr)
                    Refuse(who.link, m.type, TRefusal::Gone, "there is no game " + id);
                else if (game == nullptr)
                    NewGame(who.link, m, result->open);
                else if (m.type == TRequest::Create)
                    CreateIn(who.link, m, game);
                else
                    SeatIn(who.link, m, game);
            } catch (const std::exception& e) {
                Fault(who.link, e.what());
            }
            Drain(who.link);
            Settled();
        });
}

TGameHub::TLive* TGameHub::Insert(const std::string& id,
                                  const std::optional<store::TStoredGame>& stored) {
    if (auto it = FGames.find(id); it != FGames.end()) return it->second.get();
    if (!stored) return nullptr;
    std::string error;
    std::optional<TServerGame> game = TServerGame::Restore(*stored, error);
    if (!game) {
        Log(error);
        return nullptr;
    }
    auto live = std::make_unique<TLive>(std::move(*game));
    live->creator = stored->creator;
    live->created = stored->created;
    live->active = stored->active;
    live->committed = live->game.Last();
    live->stored = true;
    live->secondStored = live->game.Joined();
    TLive* raw = live.get();
    FGames.emplace(id, std::move(live));
    return raw;
}

void TGameHub::CreateIn(TLink* link, const protocol::TClientMessage& m, TLive* game) {
    if (game->game.SeatOf(m.secret) != 1) {
        Refuse(link, m.type, TRefusal::Secret,
               "the secret opens no seat of game " + game->game.Id());
        UnloadIfIdle(game);
    } else if (!game->stored) {
        Await(link, game, TAwait::Created, m);
    } else {
        Seat(link, game, 1, m.secret,
             protocol::CreatedText(game->game.Id(), m.secret, secret::InvitationOf(m.secret)), 0);
    }
}

void TGameHub::NewGame(TLink* link, const protocol::TClientMessage& m, int openInStore) {
    int open = openInStore;
    for (const auto& [id, live] : FGames)
        if (!live->stored && live->creator == link->Address()) ++open;
    if (open >= FOptions.gamesPerAddress) {
        Refuse(link, m.type, TRefusal::Limit,
               "this address has " + std::to_string(open) +
                   " games not over; finish one before creating another",
               "games_per_address");
        return;
    }
    auto live = std::make_unique<TLive>(TServerGame::New(m.secret));
    live->creator = link->Address();
    live->created = live->active = FOptions.clock();
    TLive* game = live.get();
    FGames.emplace(game->game.Id(), std::move(live));
    MarkDirty(game);
    Await(link, game, TAwait::Created, m);
}

void TGameHub::SeatIn(TLink* link, const protocol::TClientMessage& m, TLive* game) {
    const std::string& id = game->game.Id();
    if (m.type == TRequest::Join) {
        if (!game->game.Joined() &&
            FOptions.clock() - game->created >= protocol::InvitationSeconds) {
            Refuse(link, m.type, TRefusal::Gone, "the invitation to game " + id + " has expired");
            UnloadIfIdle(game);
            return;
        }
        const TOutcome out = game->game.Join(m.invitation, m.secret);
        if (out.kind == TOutcome::Refused) {
            Refuse(link, m.type, out.code, out.reason);
            UnloadIfIdle(game);
        } else if (out.kind == TOutcome::Applied || !game->secondStored) {
            if (out.kind == TOutcome::Applied) MarkDirty(game);
            Await(link, game, TAwait::Joined, m);
        } else {
            Seat(link, game, 2, m.secret, protocol::JoinedText(id, m.secret), 0);
        }
        return;
    }
    const int seat = game->game.SeatOf(m.secret);
    if (seat == 0) {
        Refuse(link, m.type, TRefusal::Secret, "the secret opens no seat of game " + id);
        UnloadIfIdle(game);
        return;
    }
    if (seat == 2 && !game->secondStored) {
        Refuse(link, m.type, TRefusal::Again, "seat 2 of game " + id + " is still being stored");
        return;
    }
    // A page that holds more than the store has, or a history of its own (another server's
    // data, a database restored from a backup), starts again.
    const bool reset = m.last > game->committed || game->game.Digest(m.last) != m.digest;
    Seat(link, game, seat, m.secret, protocol::WelcomeText(id, seat, game->committed, reset),
         reset ? 0 : m.last);
}

void TGameHub::Seat(TLink* link, TLive* game, int seat, const std::string& secret,
                    std::string answer, int64_t from) {
    link->Send(std::move(answer));
    Attach(link, game, seat);
    TLinkState& state = FLinks[link];
    state.secret = secret;
    state.sent = from;
    Sync(link, state);
}

void TGameHub::MarkDirty(TLive* game) {
    if (game->dirty) return;
    const bool first = FDirty.empty();
    game->dirty = true;
    FDirty.push_back(game);
    if (first && onPending) onPending();
}

void TGameHub::Await(TLink* link, TLive* game, TAwait what,
                     const protocol::TClientMessage& request) {
    FAwaiting.push_back({RefOf(link), game, what, request, game->game.Last()});
    // A seat being stored holds the connection's later messages until it is.
    if (what != TAwait::Record) FLinks[link].busy = true;
}

void TGameHub::Attach(TLink* link, TLive* game, int seat) {
    TLinkState& state = FLinks[link];
    state.game = game;
    state.seat = seat;
    link->Seated();
    const bool arrived = game->seats[seat].empty();
    game->seats[seat].push_back(link);
    const int other = 3 - seat;
    link->Send(protocol::PresenceText(other, !game->seats[other].empty()));
    if (arrived)
        for (TLink* l : game->seats[other]) l->Send(protocol::PresenceText(seat, true));
    // One connection too many: the oldest gives way, and the seat stays taken.
    while (static_cast<int>(game->seats[seat].size()) > std::max(1, FOptions.linksPerSeat)) {
        TLink* oldest = game->seats[seat].front();
        ++FLimitHits["links_per_seat"];
        Log("game " + game->game.Id() + ": seat " + std::to_string(seat) + ": a connection from " +
            oldest->Address() + " replaced by a newer one");
        Drop(oldest, CloseReplaced, "replaced by a newer connection of the same seat");
    }
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
    if (game == nullptr) return;
    // A long way behind, the page is sent a window at a time, the next when its queue drains.
    while (state.sent < game->committed && link->Queued() < protocol::CatchUpWindow)
        link->Send(game->game.EventText(++state.sent));
}

void TGameHub::UnloadIfIdle(TLive* game) {
    if (FHold > 0) {
        FUnloadLater.push_back(game->game.Id());
        return;
    }
    if (game->dirty || game->committing || !game->seats[1].empty() || !game->seats[2].empty())
        return;
    for (const TAwaiting& a : FAwaiting)
        if (a.game == game) return;
    FGames.erase(game->game.Id());
}

void TGameHub::SendRecord(TLink* link, const TLive* game) {
    link->Send(
        protocol::RecordText(game->game.Id(), game_record::FormatRecord(game->game.Record())));
}

// ---- Commits ----

void TGameHub::Flush() {
    if (FCommitting || FDirty.empty()) return; // a commit under way flushes again when it ends
    std::vector<TLive*> dirty;
    dirty.swap(FDirty);
    const int64_t now = FOptions.clock();
    std::vector<store::TGameChange> changes;
    std::vector<TFlushed> flushed;
    try {
        changes.reserve(dirty.size());
        flushed.reserve(dirty.size());
        for (TLive* live : dirty) {
            const TServerGame& g = live->game;
            store::TGameChange c;
            c.id = g.Id();
            if (!live->stored) {
                c.create = true;
                c.secret1 = g.SecretHash(1);
                c.invitation = g.InvitationHash();
                c.creator = live->creator;
                c.created = live->created;
            }
            if (g.Joined() && !live->secondStored) c.secret2 = g.SecretHash(2);
            c.firstEvent = live->committed + 1;
            for (int64_t n = c.firstEvent; n <= g.Last(); ++n) c.events.push_back(g.EventText(n));
            c.finished = g.Over() && g.Last() > live->committed;
            c.at = now;
            changes.push_back(std::move(c));
            flushed.push_back({live, g.Last(), g.Joined(), now, !live->stored});
        }
    } catch (const std::exception& e) {
        Log(std::string("cannot make a commit: ") + e.what());
        FDirty = std::move(dirty); // they stay changed, for the next flush
        return;
    }
    for (TLive* live : dirty) {
        live->dirty = false;
        live->committing = true;
    }
    FCommitting = true;
    struct TResult {
        std::vector<store::TGameChange> changes;
        std::vector<store::TCommitOutcome> outcomes;
        double seconds = 0;
    };
    auto result = std::make_shared<TResult>();
    result->changes = std::move(changes);
    auto list = std::make_shared<std::vector<TFlushed>>(std::move(flushed));
    FStore.Run(
        [result](store::TGameStore& store) {
            const auto start = std::chrono::steady_clock::now();
            result->outcomes = store.Commit(result->changes);
            result->seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        },
        [this, result, list](std::exception_ptr failure) {
            Committed(*list, result->outcomes, result->seconds, failure);
        });
}

void TGameHub::Committed(std::vector<TFlushed>& flushed,
                         std::vector<store::TCommitOutcome>& outcomes, double seconds,
                         std::exception_ptr failure) {
    THold hold(*this);
    FCommitting = false;
    ++FCommits;
    FCommitSeconds += seconds;
    const std::size_t bucket =
        std::lower_bound(std::begin(CommitBounds), std::end(CommitBounds), seconds) -
        std::begin(CommitBounds);
    ++FCommitBuckets[bucket];
    if (failure || outcomes.size() != flushed.size()) {
        // Nothing of it was stored: each game is as if it had failed alone.
        StoreFailed("cannot store " + std::to_string(flushed.size()) + " games", failure);
        outcomes.assign(flushed.size(), {store::TCommitResult::Failed, What(failure)});
    } else {
        FStoreAnswers = true;
    }

    std::vector<TLive*> stored;
    std::vector<std::pair<TLive*, TRefusal>> lost;
    for (std::size_t i = 0; i < flushed.size(); ++i) {
        const TFlushed& f = flushed[i];
        TLive* live = f.game;
        live->committing = false;
        const TServerGame& g = live->game;
        if (outcomes[i].result != store::TCommitResult::Stored) {
            const bool conflict = outcomes[i].result == store::TCommitResult::Conflict;
            if (!conflict) ++FStoreErrors;
            Log("game " + g.Id() + (conflict ? ": another writer was first: " : ": not stored: ") +
                outcomes[i].error);
            lost.push_back({live, conflict ? TRefusal::Step : TRefusal::Again});
            continue;
        }
        if (f.created) Log("game " + g.Id() + ": created by " + live->creator);
        if (f.second && !live->secondStored) Log("game " + g.Id() + ": seat 2 taken");
        const bool ended = f.last > live->committed && g.Over() && f.last == g.Last();
        if (ended) {
            const protocol::TEvent& end = g.Event(g.Last());
            Log("game " + g.Id() + ": over, " + std::to_string(end.count1) + " to " +
                std::to_string(end.count2) +
                (end.reason == protocol::TEndReason::Abandoned ? ", abandoned" : ""));
        }
        FEventsStored += static_cast<uint64_t>(f.last - live->committed);
        if (f.last > live->committed) live->active = f.at;
        live->committed = f.last;
        live->stored = true;
        live->secondStored = f.second;
        auto& r = live->requesters;
        r.erase(std::remove_if(r.begin(), r.end(),
                               [&](const TRequester& q) { return q.upto <= live->committed; }),
                r.end());
        stored.push_back(live);
    }

    // The new seats first, so that they are sent their game's events with the others; the
    // records last, so that they hold what was just announced.
    auto ready = [](const TAwaiting& a) {
        const TLive* g = a.game;
        return a.what == TAwait::Created  ? g->stored
               : a.what == TAwait::Joined ? g->secondStored
                                          : g->committed >= a.events;
    };
    std::vector<TAwaiting> answered;
    for (auto a = FAwaiting.begin(); a != FAwaiting.end();) {
        if (!a->game->committing &&
            std::find(stored.begin(), stored.end(), a->game) != stored.end() && ready(*a)) {
            answered.push_back(std::move(*a));
            a = FAwaiting.erase(a);
        } else {
            ++a;
        }
    }
    for (const TAwaiting& a : answered)
        if (a.what != TAwait::Record) Answer(a);
    for (TLive* live : stored)
        for (int seat = 1; seat <= 2; ++seat)
            for (TLink* l : std::vector<TLink*>(live->seats[seat])) {
                try {
                    Sync(l, FLinks[l]);
                } catch (const std::exception& e) {
                    Fault(l, e.what());
                }
            }
    for (const TAwaiting& a : answered)
        if (a.what == TAwait::Record) Answer(a);
    for (TLive* live : stored) UnloadIfIdle(live);
    for (const TAwaiting& a : answered) Drain(a.who.link);
    for (const auto& [live, code] : lost) Reload(live, code);
    if (!FDirty.empty()) Flush();
    Settled();
}

void TGameHub::Answer(const TAwaiting& a) {
    TLinkState* state = Alive(a.who);
    if (state == nullptr) return;
    TLink* link = a.who.link;
    try {
        const std::string& id = a.game->game.Id();
        const std::string& secret = a.request.secret;
        switch (a.what) {
        case TAwait::Created:
            state->busy = false;
            Seat(link, a.game, 1, secret,
                 protocol::CreatedText(id, secret, secret::InvitationOf(secret)), 0);
            break;
        case TAwait::Joined:
            state->busy = false;
            Seat(link, a.game, 2, secret, protocol::JoinedText(id, secret), 0);
            break;
        case TAwait::Record:
            SendRecord(link, a.game);
            break;
        }
    } catch (const std::exception& e) {
        Fault(link, e.what());
    }
}

// A game whose change the store did not take: it leaves memory and is read again as stored.
// The requests that made the change are refused with code (again: send it again; step: another
// writer moved the game on), its seats are sent what the store holds, and the creates and joins
// that waited for it are answered from what it holds.
void TGameHub::Reload(TLive* live, TRefusal code) {
    const std::string id = live->game.Id();
    std::vector<TSeated> seated;
    for (int seat = 1; seat <= 2; ++seat)
        for (TLink* l : live->seats[seat]) {
            seated.push_back({RefOf(l), seat});
            TLinkState& state = FLinks[l];
            state.game = nullptr;
            state.busy = true;
        }
    std::vector<TAwaiting> awaits;
    for (auto a = FAwaiting.begin(); a != FAwaiting.end();) {
        if (a->game == live) {
            awaits.push_back(std::move(*a));
            a = FAwaiting.erase(a);
        } else {
            ++a;
        }
    }
    for (TAwaiting& a : awaits) {
        a.game = nullptr;
        if (auto it = FLinks.find(a.who.link); it != FLinks.end()) it->second.busy = true;
    }
    const std::vector<TRequester> requesters = live->requesters;
    FDirty.erase(std::remove(FDirty.begin(), FDirty.end(), live), FDirty.end());
    FGames.erase(id);

    auto result = std::make_shared<std::optional<store::TStoredGame>>();
    ++FReads;
    FStore.Run([result, id](store::TGameStore& store) { *result = store.Load(id); },
               [this, result, id, code, seated, awaits, requesters](std::exception_ptr failure) {
                   THold hold(*this);
                   --FReads;
                   if (failure) StoreFailed("game " + id + ": cannot be read", failure);
                   TLive* game = nullptr;
                   try {
                       game = failure ? nullptr : Insert(id, *result);
                   } catch (const std::exception& e) {
                       Log("game " + id + ": cannot be read again: " + e.what());
                   }
                   for (const TSeated& s : seated) {
                       TLinkState* state = Alive(s.who);
                       if (state == nullptr) continue;
                       state->busy = false;
                       if (game == nullptr) {
                           Drop(s.who.link, CloseInternal, "the game could not be stored");
                           continue;
                       }
                       try {
                           Attach(s.who.link, game, s.seat);
                       } catch (const std::exception& e) {
                           Fault(s.who.link, e.what());
                       }
                   }
                   const std::string why =
                       code == TRefusal::Step
                           ? "game " + id + " moved on meanwhile"
                           : "game " + id + " could not be stored; send it again";
                   for (const TRequester& q : requesters)
                       if (TLinkState* state = Alive(q.who)) {
                           try {
                               Refuse(q.who.link, q.request, code, why);
                               Sync(q.who.link, *state);
                           } catch (const std::exception& e) {
                               Fault(q.who.link, e.what());
                           }
                       }
                   for (const TSeated& s : seated)
                       if (TLinkState* state = Alive(s.who)) {
                           try {
                               Sync(s.who.link, *state);
                           } catch (const std::exception& e) {
                               Fault(s.who.link, e.what());
                           }
                       }
                   for (const TAwaiting& a : awaits) {
                       TLinkState* state = Alive(a.who);
                       if (state == nullptr) continue;
                       state->busy = false;
                       // Another writer's game answers a create or join as any repeat; one
                       // the store could not take is for the page to send again.
                       if (game != nullptr && (code == TRefusal::Step || a.what == TAwait::Record))
                           Dispatch(a.who.link, a.request);
                       else
                           Refuse(a.who.link, a.request.type, TRefusal::Again, why);
                   }
                   if (game != nullptr) UnloadIfIdle(game);
                   for (const TSeated& s : seated) Drain(s.who.link);
                   for (const TAwaiting& a : awaits) Drain(a.who.link);
                   Settled();
               });
}

void TGameHub::StoreFailed(const std::string& what, std::exception_ptr failure) {
    FStoreAnswers = false;
    ++FStoreErrors;
    Log(what + ": " + What(failure));
}

// ---- Keeping and forgetting ----

void TGameHub::Sweep() {
    if (FSweeping) return;
    FSweeping = true;
    const int64_t now = FOptions.clock();
    store::TSweepRules rules;
    rules.invitationsBefore = now - protocol::InvitationSeconds;
    rules.finishedBefore = now - std::max(1, FOptions.keepDays) * Day;
    rules.creatorsBefore = now - OpenGamesWindow;
    rules.idleBefore = now - std::max(1, FOptions.abandonDays) * Day;
    for (const auto& [id, live] : FGames) rules.keep.push_back(id);
    auto result = std::make_shared<store::TSweepResult>();
    const int64_t idleBefore = rules.idleBefore;
    FStore.Run([result, rules](store::TGameStore& store) { *result = store.Sweep(rules); },
               [this, result, idleBefore](std::exception_ptr failure) {
                   Swept(*result, failure, idleBefore);
               });
}

void TGameHub::Swept(store::TSweepResult& result, std::exception_ptr failure, int64_t idleBefore) {
    THold hold(*this);
    FSweeping = false;
    if (failure) {
        StoreFailed("cannot sweep the store", failure);
        Settled();
        return;
    }
    FStoreAnswers = true;
    if (result.invitationsExpired + result.finishedDeleted + result.creatorsForgotten > 0)
        Log("swept: " + std::to_string(result.invitationsExpired) + " invitations expired, " +
            std::to_string(result.finishedDeleted) + " finished games deleted, " +
            std::to_string(result.creatorsForgotten) + " creators forgotten");
    for (const store::TStoredGame& stored : result.idle) {
        try {
            TLive* live = Insert(stored.id, stored);
            if (live == nullptr) continue;
            // Memory may know of a later change than the store had when it was swept.
            if (!live->dirty && !live->committing && live->active <= idleBefore &&
                live->game.Abandon())
                MarkDirty(live);
            else
                UnloadIfIdle(live);
        } catch (const std::exception& e) {
            Log("game " + stored.id + ": cannot be abandoned: " + e.what());
        }
    }
    Settled();
}

bool TGameHub::StoreAnswers() const {
    // A store stuck in its work answers nothing: a probe that waits too long says so.
    return FStoreAnswers && !(FProbing && FOptions.clock() - FProbeSince >= ProbeSeconds);
}

void TGameHub::ProbeStore() {
    if (FProbing) return;
    FProbing = true;
    FProbeSince = FOptions.clock();
    FStore.Run([](store::TGameStore& store) { store.Ping(); },
               [this](std::exception_ptr failure) {
                   FProbing = false;
                   if (failure)
                       StoreFailed("the store does not answer", failure);
                   else
                       FStoreAnswers = true;
                   Settled();
               });
}

// ---- Figures ----

void TGameHub::WriteMetrics(std::string& out) const {
    auto metric = [&](const char* name, const char* type, const char* help) {
        out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
    };
    auto sample = [&](const std::string& name, double value) {
        char number[32];
        std::snprintf(number, sizeof number, "%.17g", value);
        out += name + " " + number + "\n";
    };
    metric("melvaron_hub_seated_connections", "gauge", "Connections seated at a game.");
    sample("melvaron_hub_seated_connections", static_cast<double>(SeatedLinks()));
    metric("melvaron_hub_games_in_memory", "gauge", "Games the hub holds in memory.");
    sample("melvaron_hub_games_in_memory", static_cast<double>(FGames.size()));
    metric("melvaron_hub_events_stored_total", "counter", "Events stored and announced.");
    sample("melvaron_hub_events_stored_total", static_cast<double>(FEventsStored));
    metric("melvaron_hub_commits_total", "counter", "Commits to the store.");
    sample("melvaron_hub_commits_total", static_cast<double>(FCommits));
    metric("melvaron_hub_commit_seconds", "histogram", "Time the store took for a commit.");
    uint64_t cumulative = 0;
    for (std::size_t i = 0; i < std::size(CommitBounds); ++i) {
        cumulative += FCommitBuckets[i];
        char bound[32];
        std::snprintf(bound, sizeof bound, "%g", CommitBounds[i]);
        sample(std::string("melvaron_hub_commit_seconds_bucket{le=\"") + bound + "\"}",
               static_cast<double>(cumulative));
    }
    cumulative += FCommitBuckets.back();
    sample("melvaron_hub_commit_seconds_bucket{le=\"+Inf\"}", static_cast<double>(cumulative));
    sample("melvaron_hub_commit_seconds_sum", FCommitSeconds);
    sample("melvaron_hub_commit_seconds_count", static_cast<double>(FCommits));
    metric("melvaron_hub_refusals_total", "counter", "Requests refused, by code.");
    for (int code = 0; code < protocol::Refusals; ++code)
        sample(std::string("melvaron_hub_refusals_total{code=\"") + protocol::RefusalNames[code] +
                   "\"}",
               static_cast<double>(FRefusals[code]));
    metric("melvaron_hub_limit_hits_total", "counter",
           "Requests a limit of the hub met, by limit.");
    for (const char* name : LimitNames)
        sample(std::string("melvaron_hub_limit_hits_total{limit=\"") + name + "\"}",
               static_cast<double>(FLimitHits.at(name)));
    metric("melvaron_hub_store_errors_total", "counter", "Work of the store that failed.");
    sample("melvaron_hub_store_errors_total", static_cast<double>(FStoreErrors));
}

} // namespace server
