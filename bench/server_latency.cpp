// melvaron-server-latency: how soon what the server says reaches the pages, one game at a time
// against a running melvaron-server on loopback. The messages that come two at once are the ones
// timed: "presence" right after "created", and a put that makes a pass or the end, whose second
// event a page needs before it knows whose turn it is. The clients set TCP_NODELAY, as browsers
// do, so the figures are the server's.
#include <boost/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "common/cli.h"
#include "server/beast.h"
#include "server/replica.h"

namespace json = boost::json;
using Clock = std::chrono::steady_clock;

namespace {

// One page's connection, read and written in turn.
class TPage {
  public:
    TPage(asio::io_context& io, uint16_t port) : FWs(io) {
        auto& socket = beast::get_lowest_layer(FWs);
        socket.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
        socket.socket().set_option(tcp::no_delay(true));
        FWs.handshake("127.0.0.1:" + std::to_string(port), "/play");
    }
    void Send(const json::object& o) { FWs.write(asio::buffer(json::serialize(o))); }
    // The next message; events go into the replica.
    json::object Next() {
        beast::flat_buffer buffer;
        FWs.read(buffer);
        json::object o = json::parse(beast::buffers_to_string(buffer.data())).as_object();
        if (o.at("type") == "created" || o.at("type") == "joined")
            secret = o.at("secret").as_string();
        if (o.at("type") == "refused")
            throw std::runtime_error("refused: " + json::serialize(o.at("reason")));
        if (o.at("type") == "event") {
            protocol::TEvent e;
            std::string error;
            if (!protocol::ParseEvent(json::serialize(o), e, error) || !replica.Apply(e, error))
                throw std::runtime_error("event: " + error);
        }
        return o;
    }
    json::object Until(std::string_view type) {
        for (;;)
            if (json::object o = Next(); o.at("type").as_string() == type) return o;
    }
    // Reads until the seat holds event n and what the rules make follow it (a pass, the end).
    void Through(int64_t n) {
        const auto& p = replica.Record().Position();
        while (replica.Last() < n || p.mustPass != 0 || (p.Over() && !replica.Over())) Next();
    }
    void Close() { FWs.close(websocket::close_code::normal); }

    server::TReplica replica;
    std::string secret;

  private:
    websocket::stream<beast::tcp_stream> FWs;
};

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void Report(const char* what, std::vector<double> ms) {
    if (ms.empty()) {
        std::printf("%s: none seen\n", what);
        return;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%s: %zu, median %.2f ms, max %.2f ms\n", what, ms.size(), ms[ms.size() / 2],
                ms.back());
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Plays whole games one at a time against a running melvaron-server on this "
                 "machine and times the messages the server sends two at once.",
                 "melvaron-server-latency"};
    cli::Setup(app);
    int port = 8080, games = 20;
    uint32_t seed = 1;
    cli::AddNumber(app, "--port N", port, 1, 65535, "the server's port on 127.0.0.1");
    cli::AddNumber(app, "--games N", games, 1, 10000,
                   "games played one after another (default 20)");
    cli::AddNumber(app, "--seed N", seed, 0, 4294967295, "the random moves' seed (default 1)");
    if (const int status = cli::Parse(app, argc, argv); status >= 0) return status;

    std::mt19937 rng(seed);
    std::vector<double> presence, plain, pass, end;
    try {
        asio::io_context io;
        for (int g = 0; g < games; ++g) {
            TPage one(io, static_cast<uint16_t>(port)), two(io, static_cast<uint16_t>(port));
            one.Send({{"type", "create"}});
            const json::object created = one.Until("created");
            const auto madeAt = Clock::now();
            one.Until("presence"); // the other seat, not here yet
            presence.push_back(Ms(Clock::now() - madeAt));
            two.Send({{"type", "join"},
                      {"game", created.at("game")},
                      {"invitation", created.at("invitation")}});
            two.Through(1);
            one.Through(1);
            TPage* seat[3] = {nullptr, &one, &two};
            while (!one.replica.Over()) {
                TPage& mover = *seat[one.replica.ToMove()];
                const int64_t after = mover.replica.Last();
                const auto sent = Clock::now();
                mover.Send({{"type", "move"},
                            {"secret", mover.secret},
                            {"cell", mover.replica.LegalPut(rng())},
                            {"after", after}});
                one.Through(after + 1);
                two.Through(after + 1);
                const double ms = Ms(Clock::now() - sent);
                const int64_t made = one.replica.Last() - after; // the put and what followed it
                (made == 1 ? plain : one.replica.Over() ? end : pass).push_back(ms);
            }
            one.Close();
            two.Close();
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", cli::OneLine(e.what()).c_str());
        return 1;
    }
    Report("presence after created", presence);
    Report("a put, at both seats", plain);
    Report("a put and the pass it makes, at both seats", pass);
    Report("a put and the end it makes, at both seats", end);
    return 0;
}
