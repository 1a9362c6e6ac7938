// The meeting point: the pages' connections, the games they sit at, and the store behind them.
// A request changes a game in memory; Flush writes every change since the last flush to the
// store in one transaction and only then tells the seats (a move is stored before it is
// announced). The hub runs on one thread and does no input or output of its own: the network
// layer hands it messages and calls Flush soon after onPending.
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
};

struct THubOptions {
    int gamesPerAddress = 20;       // games not over that one address may have created in a day
    int linksPerSeat = 4;           // connections open on one seat at once (tabs, a reconnect)
    std::function<int64_t()> clock; // seconds since 1970; the system's when empty
    std::function<void(const std::string&)> log; // one line; nothing when empty
};

class TGameHub {
  public:
    TGameHub(store::TGameStore& store, THubOptions options);
    ~TGameHub();

    // A message from link; a link the hub has not seen is a new, unseated connection.
    void Received(TLink* link, std::string_view text);
    // link is gone; the hub forgets it.
    void Closed(TLink* link);
    // Stores every change since the last flush, then announces it.
    void Flush();
    bool Pending() const { return !FDirty.empty() || !FAwaiting.empty(); }
    // Called when a first change waits for Flush.
    std::function<void()> onPending;

    std::size_t GamesLoaded() const { return FGames.size(); }

  private:
    struct TLive;
    struct TLinkState {
        TLive* game = nullptr;
        int seat = 0;
        int64_t sent = 0;     // the latest event sent to the page
        bool waiting = false; // a create or join is being stored
        bool closing = false;
    };
    enum class TAwait { Created, Joined, Record };
    struct TAwaiting {
        TLink* link;
        TLive* game;
        TAwait what;
    };

    void Log(const std::string& line) const;
    void Refuse(TLink* link, protocol::TRequest request, protocol::TRefusal code,
                const std::string& reason);
    void Violation(TLink* link, const std::string& reason);
    TLive* Find(const std::string& id, protocol::TRefusal& code, std::string& why);
    void MarkDirty(TLive* game);
    void Await(TLink* link, TLive* game, TAwait what);
    void Attach(TLink* link, TLive* game, int seat);
    void Detach(TLink* link, TLinkState& state);
    void Sync(TLink* link, TLinkState& state);
    void UnloadIfIdle(TLive* game);
    void SendRecord(TLink* link, const TLive* game);
    void Handle(TLink* link, TLinkState& state, const protocol::TClientMessage& m);
    void Create(TLink* link, const protocol::TClientMessage& m);
    void TakeSeat(TLink* link, const protocol::TClientMessage& m);
    // Answers a create or join (or its repeat) of a stored seat, and seats link there.
    void SeatAnswered(TLink* link, TLive* game, int seat, std::string answer);

    store::TGameStore& FStore;
    THubOptions FOptions;
    std::unordered_map<std::string, std::unique_ptr<TLive>> FGames;
    std::unordered_map<TLink*, TLinkState> FLinks;
    std::vector<TLive*> FDirty;
    std::vector<TAwaiting> FAwaiting;
};

} // namespace server
