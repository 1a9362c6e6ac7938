// The network side of melvaron-server (Boost.Beast on one io_context, one thread): HTTP for the
// site's files and the WebSocket of the game, with their limits, and the operator's own listener
// of the metrics; the hub decides everything about games. Nothing of Beast shows here, so that the
// program's entry stays light.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "server/hub.h"
#include "server/log.h"
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
    // The door: connections open at once in all and per address (an IPv6 /64 counted as one),
    // and how long a WebSocket may stay open without taking a seat.
    int maxConnections = 10000;
    int connectionsPerAddress = 64;
    int unseatedSeconds = 10;
    // Proxies whose X-Forwarded-For names the page (door::NormalAddress form).
    std::vector<std::string> trustedProxies;
    // The operator's listener of /metrics and /healthz; none when metricsAddress is empty.
    std::string metricsAddress = "127.0.0.1";
    uint16_t metricsPort = 9190;
    THubOptions hub;
    TLog log;
};

class TNetServer {
  public:
    TNetServer(store::TGameStore& store, TNetOptions options);
    ~TNetServer();
    // Binds the address and the metrics' one; false with a one-line reason.
    bool Listen(std::string& error);
    // The ports listened on (the ones chosen, for port 0); MetricsPort is 0 without metrics.
    uint16_t Port() const;
    uint16_t MetricsPort() const;
    // Serves until SIGTERM or SIGINT, then stores what is pending, closes every connection (a
    // WebSocket with going-away) and returns.
    void Run();

  private:
    std::unique_ptr<TNetState> F;
};

} // namespace server
