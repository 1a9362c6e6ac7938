// The meeting point: the pages' connections, the games they sit at, and the store behind them.
// A request changes a game in memory; Flush hands every change since the last flush to the store
// in one commit and only then tells the seats (a move is stored before it is announced). The
// store's work runs through a runner (a thread of its own in the server), and what the hub does
// with each result runs back on the hub's one thread; the hub does no input or output of its
// own: the network layer hands it messages, calls Flush soon after onPending, tells it when a
// connection's queue has drained, and calls Sweep now and then.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "server/game.h"
#include "server/store.h"
#include "server/store_thread.h"

namespace server {

// WebSocket close codes the hub and the network layer use (declared with the protocol).
using protocol::CloseGoingAway;
using protocol::CloseInternal;
using protocol::ClosePolicy;
using protocol::CloseReplaced;

// One page's connection, as the hub sees it.
class TLink {
  public:
    virtual ~TLink() = default;
    // Queues a message for the page.
    virtual void Send(std::string text) = 0;
    // Closes the connection with a close code and a reason, which never holds a secret.
    virtual void Close(uint16_t code, std::string reason) = 0;
    // The page's address, as counted for the limit of open games and written in the log.
    virtual const std::string& Address() const = 0;
    // How many messages wait to be written to the page. A page catching up is sent more only
    // while few wait; the rest follows when the network layer calls Drained.
    virtual std::size_t Queued() const = 0;
    // The hub has given the connection a seat (a create, join or hello that took one): the
    // network side closes a connection that takes none within its deadline.
    virtual void Seated() {}
};

struct THubOptions {
    int gamesPerAddress = 20; // games not over that one address may have created in a day
    int linksPerSeat = 4;     // connections open on one seat at once; one more replaces the oldest
    int abandonDays = 30;     // an unfinished game with no event for so long ends as abandoned
    int keepDays = 30;        // a finished game is kept so long after its end, then deleted
    std::function<int64_t()> clock;              // seconds since 1970; the system's when empty
    std::function<void(const std::string&)> log; // one line; nothing when empty
};

class TGameHub {
  public:
    TGameHub(TStoreRunner& store, THubOptions options);
    ~TGameHub();
    TGameHub(const TGameHub&) = delete;
    TGameHub& operator=(const TGameHub&) = delete;

    // A message from link; a link the hub has not seen is a new, unseated connection. A fault
    // while handling it closes that connection alone (1011).
    void Received(TLink* link, std::string_view text);
    // link is gone; the hub forgets it.
    void Closed(TLink* link);
    // link's queue has drained: a page catching up is sent what follows.
    void Drained(TLink* link);
    // Hands every change since the last flush to the store, and announces it once stored; while
    // a commit is under way, the next waits for it and then carries all that came meanwhile.
    void Flush();
    bool Pending() const { return !FDirty.empty(); }
    // Called when a first change waits for Flush.
    std::function<void()> onPending;
    // Whether any work of the store (a commit, a read, a sweep) is under way or waiting.
    bool Busy() const;
    // Runs then once nothing of the store is under way or waiting (at once when nothing is).
    void WhenIdle(std::function<void()> then);

    // Forgets what is old (unused invitations, finished games past their keeping, creators'
    // addresses past the limit's day) and ends the games nobody moved in for abandonDays.
    void Sweep();
    // Whether the store answered its latest work, and answers a probe within ProbeSeconds;
    // ProbeStore asks it again with a cheap read.
    bool StoreAnswers() const;
    void ProbeStore();
    static constexpr int64_t ProbeSeconds = 10;
    // The network layer is going: every link is forgotten without a word to it.
    void ForgetLinks();

    std::size_t GamesLoaded() const { return FGames.size(); }
    std::size_t SeatedLinks() const;
    // Appends the hub's figures in the Prometheus text format: seated connections, games in
    // memory, events stored, commits and their time, refusals by code, limits met, store errors.
    void WriteMetrics(std::string& out) const;

  private:
    struct TLive;
    struct TLinkState {
        uint64_t serial = 0; // tells a link from a later one at the same address in memory
        TLive* game = nullptr;
        int seat = 0;
        std::string secret; // the seat's secret, as this connection gave it
        int64_t sent = 0;   // the latest event sent to the page
        bool busy = false;  // a seat request waits for the store; later messages wait in queued
        bool closing = false;
        // A vector: most links never queue one, and a deque would allocate for each at once.
        std::vector<protocol::TClientMessage> queued;
    };
    // A link as it was when a wait for the store began.
    struct TRef {
        TLink* link;
        uint64_t serial;
    };
    enum class TAwait { Created, Joined, Record };
    struct TAwaiting {
        TRef who;
        TLive* game;
        TAwait what;
        protocol::TClientMessage request;
        int64_t events = 0; // a record: the events that must be stored first
    };
    struct TRequester {
        TRef who;
        protocol::TRequest request;
        int64_t upto; // the latest event once the request was applied
    };
    struct TSeated {
        TRef who;
        int seat;
    };
    struct TFlushed;
    // While one is held, games leave memory only when the last goes: a loop over games and
    // links never meets one that a fault on the way unloaded.
    struct THold {
        explicit THold(TGameHub& hub) : hub(hub) { ++hub.FHold; }
        ~THold();
        TGameHub& hub;
    };

    void Log(const std::string& line) const;
    TRef RefOf(TLink* link);
    TLinkState* Alive(const TRef& ref);
    void Refuse(TLink* link, protocol::TRequest request, protocol::TRefusal code,
                const std::string& reason, const char* limit = nullptr);
    void Violation(TLink* link, const std::string& reason);
    void Fault(TLink* link, const char* what);
    void Drop(TLink* link, uint16_t code, const std::string& reason);
    void Dispatch(TLink* link, const protocol::TClientMessage& m);
    void Drain(TLink* link);
    void Handle(TLink* link, TLinkState& state, const protocol::TClientMessage& m);
    void Create(TLink* link, const protocol::TClientMessage& m);
    void TakeSeat(TLink* link, const protocol::TClientMessage& m);
    void Read(TLink* link, const protocol::TClientMessage& m, const std::string& id);
    void CreateIn(TLink* link, const protocol::TClientMessage& m, TLive* game);
    void NewGame(TLink* link, const protocol::TClientMessage& m, int openInStore);
    void SeatIn(TLink* link, const protocol::TClientMessage& m, TLive* game);
    // The game a store read gave, or the one memory already holds; nothing when it does not
    // restore.
    TLive* Insert(const std::string& id, const std::optional<store::TStoredGame>& stored);
    void Seat(TLink* link, TLive* game, int seat, const std::string& secret, std::string answer,
              int64_t from);
    void MarkDirty(TLive* game);
    void Await(TLink* link, TLive* game, TAwait what, const protocol::TClientMessage& request);
    void Attach(TLink* link, TLive* game, int seat);
    void Detach(TLink* link, TLinkState& state);
    void ForgetAwaits(TLink* link);
    void Sync(TLink* link, TLinkState& state);
    void UnloadIfIdle(TLive* game);
    void SendRecord(TLink* link, const TLive* game);
    void Committed(std::vector<TFlushed>& flushed, std::vector<store::TCommitOutcome>& outcomes,
                   double seconds, std::exception_ptr failure);
    void Answer(const TAwaiting& a);
    void Reload(TLive* game, protocol::TRefusal code);
    void Swept(store::TSweepResult& result, std::exception_ptr failure, int64_t idleBefore);
    void StoreFailed(const std::string& what, std::exception_ptr failure);
    void Settled();

    TStoreRunner& FStore;
    THubOptions FOptions;
    std::unordered_map<std::string, std::unique_ptr<TLive>> FGames;
    std::unordered_map<TLink*, TLinkState> FLinks;
    uint64_t FSerial = 0;
    std::vector<TLive*> FDirty;
    std::vector<TAwaiting> FAwaiting;
    bool FCommitting = false, FSweeping = false, FProbing = false;
    int FReads = 0; // store reads under way
    bool FStoreAnswers = true;
    int64_t FProbeSince = 0; // when the probe under way was asked
    int FHold = 0;
    std::vector<std::string> FUnloadLater; // games to unload when the last hold goes
    std::vector<std::function<void()>> FWhenIdle;

    // The figures.
    uint64_t FEventsStored = 0, FCommits = 0, FStoreErrors = 0;
    uint64_t FRefusals[protocol::Refusals] = {};
    std::unordered_map<std::string, uint64_t> FLimitHits;
    std::vector<uint64_t> FCommitBuckets; // per bound of CommitBounds, and one beyond
    double FCommitSeconds = 0;
};

} // namespace server
