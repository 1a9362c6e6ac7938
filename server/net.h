// The network side of melvaron-server (Boost.Beast on one io_context, one thread): HTTP for the
// site's files and the WebSocket of the game, with their limits; the hub decides everything
// about games. Nothing of Beast shows here, so that the program's entry stays light.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "server/hub.h"
#include "server/store.h"

namespace server {

struct TNetState; // the sockets, the hub and the sessions, in net.cpp

struct TNetOptions {
    std::string address = "127.0.0.1";
    uint16_t port = 8080; // 0: any free port
    std::filesystem::path site;
    std::vector<std::string> origins; // pages of other origins allowed to play
    double messagesPerSecond = 10;    // a connection's budget: so many a second on average,
    double messageBurst = 40;         // and so many at once
    THubOptions hub;
    std::function<void(const std::string&)> log;
};

class TNetServer {
  public:
    TNetServer(store::TGameStore& store, TNetOptions options);
    ~TNetServer();
    // Binds the address; false with a one-line reason.
    bool Listen(std::string& error);
    // The port listened on (the one chosen, for port 0).
    uint16_t Port() const;
    // Serves until SIGTERM or SIGINT, then stores what is pending, closes every connection (a
    // WebSocket with going-away) and returns.
    void Run();

  private:
    std::unique_ptr<TNetState> F;
};

} // namespace server
