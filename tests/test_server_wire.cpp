// melvaron-server as a page meets it: the real program on a loopback port, raw WebSocket clients
// playing whole games, sending what no page should, coming back after a drop, and a server
// killed with SIGKILL in the middle of games and started again on its data.
#include <gtest/gtest.h>

#include <boost/json.hpp>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "server/beast.h"
#include "server/game.h"
#include "server/replica.h"
#include "server/secret.h"
#include "server/sqlite_store.h"
#include "tests/subprocess.h"

namespace json = boost::json;
using namespace std::chrono_literals;

extern char** environ;

namespace {

// A bound on any one wait, so that a fault fails the test instead of hanging it.
constexpr auto Patience = 60s;

// The server program on a port of its choosing, with its own site and data folders, which go
// with it; its log goes to a file of the folder, shown when the test fails.
class TServer {
  public:
    explicit TServer(std::filesystem::path folder) : FFolder(std::move(folder)) {
        std::filesystem::create_directories(FFolder / "site");
        std::ofstream(FFolder / "site" / "index.html") << "<!doctype html><title>t</title>\n";
        std::ofstream(FFolder / "site" / "melvaron.wasm") << "wasm";
    }
    ~TServer() {
        if (FPid > 0) Kill();
        if (::testing::Test::HasFailure())
            std::fprintf(stderr, "the server's log:\n%s", Log().c_str());
        std::filesystem::remove_all(FFolder);
    }

    // Options beyond the test's own; files > 0 starts the server with that many descriptors;
    // env holds NAME=VALUE settings beside the test's own environment.
    std::vector<std::string> options, env;
    int files = 0;

    void Start() {
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const std::string log = (FFolder / "server.log").string();
        posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                         0600);
        const std::string program = subprocess::Program("server/melvaron-server");
        const std::string site = (FFolder / "site").string(), data = (FFolder / "data").string();
        std::vector<std::string> args = {program, "--listen",  "127.0.0.1:0", "--site",
                                         site,    "--data",    data,          "--games-per-address",
                                         "1000",  "--metrics", "127.0.0.1:0"};
        args.insert(args.end(), options.begin(), options.end());
        if (files > 0) // the limit of the shell that becomes the server, hard and soft
            args.insert(
                args.begin(),
                {"/bin/sh", "-c", "ulimit -n " + std::to_string(files) + " && exec \"$@\"", "sh"});
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> settings(env);
        std::vector<char*> envp;
        for (char** e = environ; *e != nullptr; ++e) envp.push_back(*e);
        for (std::string& e : settings) envp.push_back(e.data());
        envp.push_back(nullptr);
        ASSERT_EQ(posix_spawn(&FPid, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        // The first line names the ports once the server listens.
        std::string line;
        char c;
        pollfd p{out[0], POLLIN, 0};
        while (line.find('\n') == std::string::npos && poll(&p, 1, 60000) > 0 &&
               read(out[0], &c, 1) == 1)
            line += c;
        close(out[0]);
        const std::size_t at = line.find("http://127.0.0.1:");
        ASSERT_NE(at, std::string::npos) << "the server did not start: " << line << Log();
        FPort = std::stoi(line.substr(at + 17));
        const std::size_t metrics = line.find("metrics on http://127.0.0.1:");
        ASSERT_NE(metrics, std::string::npos) << line;
        FMetricsPort = std::stoi(line.substr(metrics + 28));
    }
    // Stops the server as the system would at shutdown.
    void Terminate() { kill(FPid, SIGTERM); }
    void Kill() {
        kill(FPid, SIGKILL);
        Wait();
    }
    int Port() const { return FPort; }
    int MetricsPort() const { return FMetricsPort; }
    pid_t Pid() const { return FPid; }
    std::filesystem::path Data() const { return FFolder / "data"; }
    std::filesystem::path Site() const { return FFolder / "site"; }
    // The exit status once the server has ended.
    int Wait() {
        int status = 0;
        waitpid(FPid, &status, 0);
        FPid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // What the server has logged so far.
    std::string Log() const { return subprocess::ReadFile((FFolder / "server.log").string()); }

  private:
    std::filesystem::path FFolder;
    pid_t FPid = -1;
    int FPort = 0, FMetricsPort = 0;
};

// How a test's connection reaches the server: from which loopback address, as which page,
// through which proxy's header.
struct TReach {
    std::string origin;       // the page's; empty: the server's own
    std::string source;       // the local address; empty: the system's choice
    std::string forwardedFor; // an X-Forwarded-For field; empty: none
    std::string host;         // the Host field; empty: the server's address
};

// A TCP connection to the server from source (any of loopback's 127/8).
void Connect(tcp::socket& socket, int port, const std::string& source) {
    const tcp::endpoint server(asio::ip::make_address("127.0.0.1"), static_cast<uint16_t>(port));
    socket.open(tcp::v4());
    if (!source.empty()) socket.bind(tcp::endpoint(asio::ip::make_address(source), 0));
    socket.connect(server);
}

// A page's connection, played by hand, and its copy of the game.
class TClient {
  public:
    explicit TClient(int port, std::string origin = "")
        : TClient(port, TReach{origin, "", "", ""}) {}
    TClient(int port, const TReach& reach) : FWs(FIo) {
        Connect(beast::get_lowest_layer(FWs).socket(), port, reach.source);
        const std::string host =
            reach.host.empty() ? "127.0.0.1:" + std::to_string(port) : reach.host;
        const std::string origin =
            reach.origin.empty() ? "http://127.0.0.1:" + std::to_string(port) : reach.origin;
        FWs.set_option(
            websocket::stream_base::decorator([origin, reach](websocket::request_type& r) {
                r.set(http::field::origin, origin);
                if (!reach.forwardedFor.empty()) r.set("X-Forwarded-For", reach.forwardedFor);
            }));
        FWs.handshake(host, "/play");
    }

    void Send(const std::string& text) { FWs.write(asio::buffer(text)); }
    void SendBinary(const std::string& bytes) {
        FWs.binary(true);
        FWs.write(asio::buffer(bytes));
        FWs.text(true);
    }
    // A message as a page sends it: the seat's secret with every request (create and join
    // with one of the page's own), a hello with the digest of what the copy holds.
    void Send(json::object o) {
        const std::string type(o.at("type").as_string()); // a copy: o grows below
        if ((type == "create" || type == "join") && !o.contains("secret"))
            o["secret"] = secret::RandomHex(protocol::SecretBytes);
        if (type == "hello" && !o.contains("digest")) o["digest"] = replica.Digest();
        if (type == "create" || type == "join" || type == "hello")
            secret = o.at("secret").as_string();
        if (!o.contains("secret")) o["secret"] = secret;
        Send(json::serialize(o));
    }

    // The next message; an empty object once the connection is closed (CloseCode() says how).
    json::object Next() {
        beast::flat_buffer buffer;
        beast::error_code ec;
        bool done = false;
        FWs.async_read(buffer, [&](beast::error_code e, std::size_t) {
            ec = e;
            done = true;
        });
        FIo.restart();
        FIo.run_for(Patience);
        if (!done) {
            ADD_FAILURE() << "no message within the test's patience";
            beast::get_lowest_layer(FWs).close();
            FIo.restart();
            FIo.run();
            return {};
        }
        if (ec) return {};
        json::object o = json::parse(beast::buffers_to_string(buffer.data())).as_object();
        // A reset: the page's copy goes, and the game comes again from event 1.
        if (o.at("type") == "welcome" && o.at("reset") == true) replica = {};
        if (o.at("type") == "event") {
            protocol::TEvent e;
            std::string error;
            EXPECT_TRUE(protocol::ParseEvent(json::serialize(o), e, error)) << error;
            EXPECT_TRUE(replica.Apply(e, error)) << error;
        }
        return o;
    }
    // Messages up to and with the first of type; the last is empty when none came.
    std::vector<json::object> Until(const char* type) {
        std::vector<json::object> got;
        do got.push_back(Next());
        while (!got.back().empty() && got.back().at("type") != type);
        return got;
    }
    // The connection cut as a phone's is, without a close: nothing sent after reaches the page.
    void Cut() {
        beast::error_code ignored;
        beast::get_lowest_layer(FWs).socket().shutdown(tcp::socket::shutdown_both, ignored);
        beast::get_lowest_layer(FWs).close();
    }
    // Reads on until the server closes; its close code.
    int CloseCode() {
        while (!Next().empty()) {
        }
        return FWs.reason().code;
    }

    server::TReplica replica;
    std::string secret; // the seat's, once it has one

  private:
    asio::io_context FIo;
    websocket::stream<beast::tcp_stream> FWs;
};

int64_t Number(const json::object& o, const char* key) {
    return o.at(key).as_int64();
}
std::string Text(const json::object& o, const char* key) {
    return std::string(o.at(key).as_string());
}

struct TSeats {
    std::string game, secret1, secret2, invitation;
};

// A game between a and b, each seated and at event 1 (the join).
TSeats Meet(TClient& a, TClient& b) {
    TSeats s;
    a.Send(json::object{{"type", "create"}});
    const json::object created = a.Until("created").back();
    s.game = Text(created, "game");
    s.secret1 = Text(created, "secret");
    s.invitation = Text(created, "invitation");
    b.Send(json::object{{"type", "join"}, {"game", s.game}, {"invitation", s.invitation}});
    s.secret2 = Text(b.Until("joined").back(), "secret");
    b.Until("event");
    a.Until("event");
    return s;
}

json::object Move(int cell, int64_t after) {
    return {{"type", "move"}, {"cell", cell}, {"after", after}};
}

json::object Hello(const TSeats& s, int seat, int64_t last) {
    return {{"type", "hello"},
            {"game", s.game},
            {"secret", seat == 1 ? s.secret1 : s.secret2},
            {"last", last}};
}

// Reads until c holds the put that followed event after and what the rules made follow it: the
// other's pass, the end.
void ReadMoveThrough(TClient& c, int64_t after) {
    const auto& p = c.replica.Record().Position();
    while (c.replica.Last() == after || p.mustPass != 0 || (p.Over() && !c.replica.Over()))
        if (c.Next().empty()) return;
}

// The seat to move puts a random legal panel; both seats read it.
void PlayOne(TClient* seats[3], std::mt19937& rng) {
    TClient& mover = *seats[seats[1]->replica.ToMove()];
    const int64_t after = mover.replica.Last();
    mover.Send(Move(mover.replica.LegalPut(rng()), after));
    for (int s = 1; s <= 2; ++s) ReadMoveThrough(*seats[s], after);
}

struct ServerWire : ::testing::Test {
    std::filesystem::path folder = subprocess::TempPath("server");
    TServer server{folder};
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(server.Start()); }
};

} // namespace

TEST_F(ServerWire, TwoSeatsPlayAWholeGameAndBothGetItsRecord) {
    TClient one(server.Port());
    auto two = std::make_unique<TClient>(server.Port());
    const TSeats seats = Meet(one, *two);
    TClient* by[3] = {nullptr, &one, two.get()};
    std::mt19937 rng(11);
    for (int i = 0; i < 12; ++i) PlayOne(by, rng);

    // Seat 2 drops; seat 1 plays on when it may; seat 2 comes back with its latest event and
    // is sent exactly what came after it.
    const server::TReplica kept = two->replica;
    two = std::make_unique<TClient>(server.Port());
    by[2] = two.get();
    EXPECT_EQ(one.Until("presence").back().at("here"), false);
    if (one.replica.ToMove() == 1) {
        const int64_t after = one.replica.Last();
        one.Send(Move(one.replica.LegalPut(rng()), after));
        ReadMoveThrough(one, after);
    }
    two->replica = kept;
    two->Send(Hello(seats, 2, kept.Last()));
    const json::object welcome = two->Until("welcome").back();
    EXPECT_EQ(welcome.at("reset"), false);
    EXPECT_EQ(Number(welcome, "last"), one.replica.Last());
    while (two->replica.Last() < one.replica.Last()) ASSERT_FALSE(two->Next().empty());
    EXPECT_EQ(two->replica.Record().Moves(), one.replica.Record().Moves());

    while (!one.replica.Over()) PlayOne(by, rng);
    while (!two->replica.Over()) ASSERT_FALSE(two->Next().empty());
    one.Send(json::object{{"type", "record"}});
    two->Send(json::object{{"type", "record"}});
    const std::string record = Text(one.Until("record").back(), "text");
    EXPECT_EQ(Text(two->Until("record").back(), "text"), record);
    EXPECT_EQ(record, game_record::FormatRecord(one.replica.Record()));
    game_record::TGameRecord read;
    std::string error;
    EXPECT_TRUE(game_record::ParseRecord(record, read, error)) << error;
    EXPECT_TRUE(read.Position().Over());
}

TEST_F(ServerWire, WhatNoPageShouldSendIsRefusedOrClosed) {
    TClient one(server.Port()), two(server.Port());
    const TSeats seats = Meet(one, two);
    const int64_t at = one.replica.Last();
    struct TCase {
        json::object message;
        const char* reason;
    };
    const TCase refused[] = {
        {Move(47, at), "player 1 is to move"},  // seat 2 out of turn
        {Move(15, at), "may not put"},          // an illegal cell
        {Move(48, at), "not empty"},            // a taken cell
        {Move(50, at + 3), "has not happened"}, // an event to come
    };
    for (const TCase& c : refused) {
        TClient& sender = Number(c.message, "cell") == 47 ? two : one;
        sender.Send(c.message);
        const json::object reply = sender.Until("refused").back();
        EXPECT_NE(Text(reply, "reason").find(c.reason), std::string::npos) << Text(reply, "reason");
    }
    // Another seat's secret opens nothing.
    json::object stolen = Move(50, at);
    stolen["secret"] = seats.secret2;
    one.Send(stolen);
    EXPECT_NE(Text(one.Until("refused").back(), "reason").find("does not open seat 1"),
              std::string::npos);
    // A put sent twice for the same event is applied once.
    one.Send(Move(50, at));
    one.Send(Move(50, at));
    one.Send(json::object{{"type", "record"}});
    const auto got = one.Until("record");
    int events = 0;
    for (const auto& m : got) events += m.at("type") == "event";
    EXPECT_EQ(events, 1);
    EXPECT_EQ(one.replica.Last(), at + 1);

    // A third device: the invitation is spent and the seats' secrets are not its own.
    TClient third(server.Port());
    third.Send(
        json::object{{"type", "join"}, {"game", seats.game}, {"invitation", seats.invitation}});
    EXPECT_NE(Text(third.Until("refused").back(), "reason").find("taken"), std::string::npos);
    third.Send(Hello(TSeats{seats.game, std::string(32, '0'), "", ""}, 1, 0));
    EXPECT_EQ(third.Until("refused").size(), 1u);

    // Broken shapes, binary frames, frames beyond the cap and floods end the connection.
    struct TClose {
        std::function<void(TClient&)> send;
        int code;
    };
    const TClose closes[] = {
        {[](TClient& c) { c.Send("{\"type\":\"move\""); }, 1008},
        {[](TClient& c) { c.Send(R"({"type":"move","cell":50,"after":1,"extra":0})"); }, 1008},
        {[](TClient& c) { c.SendBinary("\x01\x02"); }, 1008},
        {[](TClient& c) { c.Send(std::string(protocol::MaxMessageBytes + 1, ' ')); }, 1009},
        {[](TClient& c) {
             for (int i = 0; i < 200; ++i)
                 c.Send(R"({"type":"record","secret":"00000000000000000000000000000000"})");
         },
         1008},
    };
    for (const TClose& c : closes) {
        TClient client(server.Port());
        try {
            c.send(client);
        } catch (const beast::system_error&) { // the server may close while a flood is sent
        }
        EXPECT_EQ(client.CloseCode(), c.code);
    }
    // None of it changed the game.
    TClient back(server.Port());
    back.Send(Hello(seats, 2, 0));
    EXPECT_EQ(Number(back.Until("welcome").back(), "last"), at + 1);
}

TEST_F(ServerWire, HttpServesTheSiteIsolatedAndRefusesOtherOrigins) {
    asio::io_context io;
    auto get = [&](http::verb verb, const std::string& target) {
        beast::tcp_stream stream(io);
        stream.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"),
                                     static_cast<uint16_t>(server.Port())));
        http::request<http::empty_body> request(verb, target, 11);
        request.set(http::field::host, "127.0.0.1");
        http::write(stream, request);
        beast::flat_buffer buffer;
        http::response_parser<http::string_body> parser;
        parser.skip(verb == http::verb::head);
        http::read(stream, buffer, parser);
        return parser.release();
    };
    const auto page = get(http::verb::get, "/");
    EXPECT_EQ(page.result(), http::status::ok);
    EXPECT_EQ(page["Cross-Origin-Opener-Policy"], "same-origin");
    EXPECT_EQ(page["Cross-Origin-Embedder-Policy"], "require-corp");
    EXPECT_EQ(page["Cross-Origin-Resource-Policy"], "same-origin");
    EXPECT_EQ(page[http::field::content_type], "text/html; charset=utf-8");
    EXPECT_EQ(get(http::verb::head, "/melvaron.wasm")[http::field::content_type],
              "application/wasm");
    EXPECT_EQ(get(http::verb::get, "/../data/games.sqlite3").result(), http::status::bad_request);
    EXPECT_EQ(get(http::verb::get, "/%2e%2e/data/games.sqlite3").result(),
              http::status::bad_request);
    EXPECT_EQ(get(http::verb::get, "/missing.js").result(), http::status::not_found);
    EXPECT_EQ(get(http::verb::post, "/").result(), http::status::method_not_allowed);
    EXPECT_THROW(TClient(server.Port(), "https://elsewhere.example"), beast::system_error);
}

// SIGKILL while moves are on their way: every game goes on from its last stored event and each
// page is sent exactly what it missed, never a game that went back.
TEST_F(ServerWire, AKilledServerGoesOnFromItsStore) {
    constexpr int Games = 3;
    std::vector<std::unique_ptr<TClient>> clients;
    std::vector<TSeats> seats;
    std::mt19937 rng(5);
    for (int g = 0; g < Games; ++g) {
        clients.push_back(std::make_unique<TClient>(server.Port()));
        clients.push_back(std::make_unique<TClient>(server.Port()));
        seats.push_back(Meet(*clients[2 * g], *clients[2 * g + 1]));
        TClient* by[3] = {nullptr, clients[2 * g].get(), clients[2 * g + 1].get()};
        for (int i = 0; i < 4 + 3 * g; ++i) PlayOne(by, rng);
    }
    // A move is sent in every game, and the server dies before anyone reads what became of it.
    std::vector<json::object> inFlight;
    for (int g = 0; g < Games; ++g) {
        TClient& mover = *clients[2 * g + clients[2 * g]->replica.ToMove() - 1];
        inFlight.push_back(Move(mover.replica.LegalPut(rng()), mover.replica.Last()));
        mover.Send(inFlight.back());
    }
    server.Kill();
    std::vector<server::TReplica> held;
    for (auto& c : clients) held.push_back(c->replica);
    clients.clear();

    ASSERT_NO_FATAL_FAILURE(server.Start());
    for (int g = 0; g < Games; ++g) {
        for (int seat = 1; seat <= 2; ++seat) {
            clients.push_back(std::make_unique<TClient>(server.Port()));
            TClient& c = *clients.back();
            c.replica = held[2 * g + seat - 1];
            c.Send(Hello(seats[g], seat, c.replica.Last()));
            const json::object welcome = c.Until("welcome").back();
            EXPECT_EQ(welcome.at("reset"), false) << "the store lost an announced event";
            EXPECT_GE(Number(welcome, "last"), c.replica.Last());
            while (c.replica.Last() < Number(welcome, "last")) ASSERT_FALSE(c.Next().empty());
        }
        TClient* by[3] = {nullptr, clients[2 * g].get(), clients[2 * g + 1].get()};
        // The move in flight was stored or not: sent again, it is applied once either way.
        const int moverSeat = held[2 * g].ToMove();
        const int64_t after = Number(inFlight[g], "after");
        if (by[moverSeat]->replica.Last() == after) {
            by[moverSeat]->Send(inFlight[g]);
            for (TClient* c : {by[1], by[2]}) ReadMoveThrough(*c, after);
        }
        while (!by[1]->replica.Over()) PlayOne(by, rng);
        while (!by[2]->replica.Over()) ASSERT_FALSE(by[2]->Next().empty());
        EXPECT_EQ(by[1]->replica.Record().Moves(), by[2]->replica.Record().Moves());
    }
    clients.clear();
    server.Terminate();
    EXPECT_EQ(server.Wait(), 0);
}

TEST_F(ServerWire, AStopSaysGoingAwayAndEndsCleanly) {
    TClient one(server.Port()), two(server.Port());
    Meet(one, two);
    server.Terminate();
    EXPECT_EQ(one.CloseCode(), 1001);
    EXPECT_EQ(two.CloseCode(), 1001);
    EXPECT_EQ(server.Wait(), 0);
}

// ---- The door: limits, the proxy's address, the HTTP surface, the operator's view ----

namespace {

// A server started by the test itself, with the options the test gives.
struct ServerDoor : ::testing::Test {
    std::filesystem::path folder = subprocess::TempPath("door");
    TServer server{folder};
};

// Bytes sent as they are on a fresh connection (none: only read), and all that comes back
// until the server closes.
std::string Exchange(int port, const std::string& bytes, const std::string& source = "") {
    asio::io_context io;
    tcp::socket socket(io);
    Connect(socket, port, source);
    beast::error_code ec;
    if (!bytes.empty()) {
        asio::write(socket, asio::buffer(bytes), ec);
        socket.shutdown(tcp::socket::shutdown_send, ec);
    }
    std::string got;
    char chunk[4096];
    while (!ec) got.append(chunk, socket.read_some(asio::buffer(chunk), ec));
    return got;
}

std::string Get(int port, const std::string& target) {
    return Exchange(port,
                    "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
}

// A figure's value in /metrics, e.g. Metric(port, "melvaron_accept_errors_total"); -1 when the
// line is not there.
int64_t Metric(int port, const std::string& sample) {
    const std::string text = Get(port, "/metrics");
    const std::size_t at = text.find("\n" + sample + " ");
    return at == std::string::npos ? -1 : std::stoll(text.substr(at + sample.size() + 2));
}

// Waits until holds() or the test's patience ends; whether it held.
bool WaitFor(const std::function<bool()>& holds) {
    const auto end = std::chrono::steady_clock::now() + Patience;
    while (!holds()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(20ms); // a poll of a state, not a wait for one
    }
    return true;
}

// The CPU seconds a process has used, from /proc.
double CpuSeconds(pid_t pid) {
    const std::string stat = subprocess::ReadFile("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14) ticks += std::stod(field); // utime, stime
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

} // namespace

TEST_F(ServerDoor, OneAddressHoldsItsShareWhileAnotherGetsIn) {
    server.options = {"--connections-per-address", "8"};
    ASSERT_NO_FATAL_FAILURE(server.Start());
    const int port = server.Port(), metrics = server.MetricsPort();
    asio::io_context io;
    std::vector<std::unique_ptr<tcp::socket>> idle;
    for (int i = 0; i < 8; ++i) {
        idle.push_back(std::make_unique<tcp::socket>(io));
        Connect(*idle.back(), port, "127.0.0.1");
    }
    ASSERT_TRUE(
        WaitFor([&] { return Metric(metrics, "melvaron_connections_accepted_total") == 8; }));
    // The ninth and every one after it: refused before anything is read, in one line, and
    // logged once.
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Exchange(port, "", "127.0.0.1").substr(0, 12), "HTTP/1.1 503");
    EXPECT_EQ(
        Metric(metrics, R"(melvaron_connections_refused_total{limit="connections_per_address"})"),
        5);
    EXPECT_EQ(Count(server.Log(), "connection from 127.0.0.1 refused: 8 open from it"), 1);

    // Another address plays meanwhile; a place given back is taken again.
    TClient one(port, TReach{"", "127.0.0.2", "", ""});
    one.Send(json::object{{"type", "create"}});
    const json::object created = one.Until("created").back();
    idle.pop_back();
    ASSERT_TRUE(
        WaitFor([&] { return Metric(metrics, R"(melvaron_connections_open{kind="http"})") == 7; }));
    TClient two(port, TReach{"", "127.0.0.1", "", ""});
    two.Send(json::object{
        {"type", "join"}, {"game", created.at("game")}, {"invitation", created.at("invitation")}});
    EXPECT_EQ(two.Until("joined").back().at("type"), "joined");
}

// Idle sockets past the server's descriptors: while it cannot accept it waits instead of
// spinning, the seated pages play on, and once the sockets go a fresh page gets in.
TEST_F(ServerDoor, IdleSocketsPastTheDescriptorLimit) {
    server.files = 64;
    server.options = {"--connections-per-address", "1000", "--max-connections", "1000"};
    ASSERT_NO_FATAL_FAILURE(server.Start());
    const int port = server.Port();
    auto one = std::make_unique<TClient>(port), two = std::make_unique<TClient>(port);
    const TSeats seats = Meet(*one, *two);
    asio::io_context io;
    std::vector<std::unique_ptr<tcp::socket>> idle;
    for (int i = 0; i < 100; ++i) {
        idle.push_back(std::make_unique<tcp::socket>(io));
        Connect(*idle.back(), port, ""); // the backlog takes what the server cannot
    }
    ASSERT_TRUE(WaitFor([&] { return server.Log().find("cannot accept") != std::string::npos; }));
    const double before = CpuSeconds(server.Pid());
    const auto start = std::chrono::steady_clock::now();
    TClient* by[3] = {nullptr, one.get(), two.get()};
    std::mt19937 rng(3);
    PlayOne(by, rng);
    std::this_thread::sleep_for(2s); // the window over which the CPU is measured
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // A spinning accept loop takes all of a core; waiting takes next to nothing.
    EXPECT_LT(CpuSeconds(server.Pid()) - before, 0.25 * seconds);

    idle.clear();
    two.reset();
    two = std::make_unique<TClient>(port);
    two->replica = one->replica;
    two->Send(Hello(seats, 2, one->replica.Last()));
    EXPECT_EQ(Number(two->Until("welcome").back(), "last"), one->replica.Last());
    by[2] = two.get();
    PlayOne(by, rng);
    EXPECT_TRUE(WaitFor(
        [&] { return server.Log().find("accepting connections again") != std::string::npos; }));
    EXPECT_EQ(Metric(server.MetricsPort(), "melvaron_unseated_closed_total"), 0);
}

TEST_F(ServerDoor, AWebSocketThatTakesNoSeatIsClosed) {
    // A game made first, so that the seat below is taken by a hello, at once, and no slow
    // commit can outlast the short deadline.
    ASSERT_NO_FATAL_FAILURE(server.Start());
    TSeats game;
    {
        TClient one(server.Port());
        one.Send(json::object{{"type", "create"}});
        const json::object created = one.Until("created").back();
        game.game = Text(created, "game");
        game.secret1 = Text(created, "secret");
    }
    server.Terminate();
    ASSERT_EQ(server.Wait(), 0);
    server.options = {"--unseated-timeout", "1"};
    ASSERT_NO_FATAL_FAILURE(server.Start());

    TClient seated(server.Port());
    seated.Send(Hello(game, 1, 0));
    seated.Until("welcome");
    TClient idle(server.Port());
    EXPECT_EQ(idle.CloseCode(), 1008);
    EXPECT_EQ(Metric(server.MetricsPort(), "melvaron_unseated_closed_total"), 1);
    seated.Send(json::object{{"type", "record"}});
    EXPECT_EQ(seated.Until("record").back().at("type"), "record");
}

TEST_F(ServerDoor, ATrustedProxyNamesThePage) {
    server.options = {"--trusted-proxy", "127.0.0.2", "--connections-per-address", "2",
                      "--log-level",     "info"};
    ASSERT_NO_FATAL_FAILURE(server.Start());
    const int port = server.Port();
    const TReach page{"", "127.0.0.2", "192.0.2.1, 203.0.113.7", ""};
    // The proxy's connections are its pages': two of one page, not a third; another page's
    // through the same proxy; the header from anyone else is nobody's word.
    TClient first(port, page), second(port, page);
    EXPECT_THROW(TClient(port, page), beast::system_error);
    TClient other(port, TReach{"", "127.0.0.2", "203.0.113.8", ""});
    TClient direct(port, TReach{"", "127.0.0.3", "203.0.113.7", ""});
    EXPECT_THROW(TClient(port, TReach{"", "127.0.0.2", "", ""}), beast::system_error);
    EXPECT_EQ(Exchange(port, "GET / HTTP/1.1\r\nX-Forwarded-For: nonsense\r\n\r\n", "127.0.0.2")
                  .substr(0, 12),
              "HTTP/1.1 400");

    // The page's address is the one the hub counts and the log names.
    first.Send(json::object{{"type", "create"}});
    const json::object created = first.Until("created").back();
    direct.Send(json::object{{"type", "create"}});
    const json::object createdDirect = direct.Until("created").back();
    const std::string log = server.Log();
    EXPECT_NE(log.find(": created by 203.0.113.7"), std::string::npos);
    EXPECT_NE(log.find(": created by 127.0.0.3"), std::string::npos);
    // Every line has its level, and no secret a page was given is in any.
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);)
        EXPECT_TRUE(line.rfind("melvaron-server: info: ", 0) == 0 ||
                    line.rfind("melvaron-server: warning: ", 0) == 0 ||
                    line.rfind("melvaron-server: error: ", 0) == 0)
            << line;
    for (const json::object* c : {&created, &createdDirect})
        for (const char* key : {"secret", "invitation"})
            EXPECT_EQ(log.find(Text(*c, key)), std::string::npos) << key;
}

TEST_F(ServerDoor, TheHttpSurfaceAnswersEveryRequestWithAStatusLine) {
    server.options = {"--origin", "https://games.example"};
    ASSERT_NO_FATAL_FAILURE(server.Start());
    const int port = server.Port(), metrics = server.MetricsPort();
    struct TCase {
        std::string request;
        const char* status;
    };
    const TCase cases[] = {
        {"POST / HTTP/1.1\r\nHost: a\r\nContent-Length: 5\r\n\r\nhello", "413"},
        {"GET / HTTP/1.1\r\nHost: a\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
         "413"},
        {"GET / HTTP/1.1\r\nHost: a\r\nContent-Length: 0\r\n\r\n", "200"},
        {"NOT HTTP AT ALL\r\n\r\n", "400"},
        {"GET / HTTP/1.1\r\nHost: a\r\nX-Long: " + std::string(9000, 'x') + "\r\n\r\n", "431"},
        {"GET /metrics HTTP/1.1\r\nHost: a\r\n\r\n", "404"}, // only on the operator's listener
    };
    for (const TCase& c : cases)
        EXPECT_EQ(Exchange(port, c.request).substr(0, 12), std::string("HTTP/1.1 ") + c.status)
            << c.request.substr(0, 40);

    // The page's origin against the server's own names and --origin, never the request's Host:
    // a page that a DNS name of another site led here keeps that name.
    const std::string own = "127.0.0.1:" + std::to_string(port);
    struct TOrigin {
        std::string origin, host;
        bool allowed;
    };
    const TOrigin origins[] = {
        {"http://" + own, "", true},
        {"http://localhost:" + std::to_string(port), "", true},
        {"https://games.example", "", true},
        {"http://rebound.example:" + std::to_string(port),
         "rebound.example:" + std::to_string(port), false},
    };
    for (const TOrigin& o : origins) {
        const TReach reach{o.origin, "", "", o.host};
        if (o.allowed)
            EXPECT_NO_THROW(TClient(port, reach)) << o.origin;
        else
            EXPECT_THROW(TClient(port, reach), beast::system_error) << o.origin;
    }

    // The operator's listener: the health and the figures, nothing of the site.
    EXPECT_EQ(Get(metrics, "/healthz").substr(0, 12), "HTTP/1.1 200");
    const std::string text = Get(metrics, "/metrics");
    EXPECT_NE(text.find("Content-Type: text/plain; version=0.0.4"), std::string::npos);
    EXPECT_NE(text.find("# TYPE melvaron_connections_open gauge"), std::string::npos);
    EXPECT_NE(text.find("\nmelvaron_http_requests_total{status=\"413\"} 2\n"), std::string::npos);
    EXPECT_NE(text.find("\nmelvaron_http_requests_total{status=\"403\"} 1\n"), std::string::npos);
    EXPECT_EQ(Get(metrics, "/").substr(0, 12), "HTTP/1.1 404");
}

TEST_F(ServerDoor, BadOptionsAreOneLineAndAnExitStatus) {
    const std::string site = (folder / "site").string(), data = (folder / "data").string();
    struct TCase {
        std::vector<std::string> args;
        int status;
        const char* line;
    };
    const TCase cases[] = {
        {{"--metrics", "127.0.0.1"}, 2, "--metrics: '127.0.0.1' is not ADDR:PORT"},
        {{"--trusted-proxy", "proxy.example"}, 2, "--trusted-proxy: 'proxy.example' is not"},
        {{"--log-level", "loud"}, 2, "--log-level: 'loud' is not"},
        {{"--max-connections", "0"}, 2, "must be a number from 1"},
        {{"--unseated-timeout", "x"}, 2, "must be a number from 1"},
    };
    for (const TCase& c : cases) {
        std::vector<std::string> args = {"--site", site, "--data", data, "--listen", "127.0.0.1:0"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto run = subprocess::Run(subprocess::Program("server/melvaron-server"), args);
        EXPECT_EQ(run.status, c.status) << c.args[0];
        EXPECT_NE(run.err.find(c.line), std::string::npos) << run.err;
        EXPECT_EQ(Count(run.err, "\n"), 1) << run.err;
    }
    // The metrics' address taken: the server says so and does not start.
    ASSERT_NO_FATAL_FAILURE(server.Start());
    const auto taken = subprocess::Run(subprocess::Program("server/melvaron-server"),
                                       {"--site", site, "--data", (folder / "data2").string(),
                                        "--listen", "127.0.0.1:0", "--metrics",
                                        "127.0.0.1:" + std::to_string(server.MetricsPort())});
    EXPECT_EQ(taken.status, 1);
    EXPECT_NE(taken.err.find("error: cannot listen for the metrics on 127.0.0.1:"),
              std::string::npos)
        << taken.err;
}

// ---- A seat that a flaky network cannot take away ----

// The join's answer is lost with its connection: the same join again seats the page, while
// another device with the link is refused. A seat's fifth connection makes the oldest give way
// with 4001, and a server whose store cannot be read for a moment says "again", not "gone".
TEST_F(ServerWire, AFlakyNetworkCostsNoSeat) {
    TClient one(server.Port());
    one.Send(json::object{{"type", "create"}});
    const json::object created = one.Until("created").back();
    const std::string game = Text(created, "game"), invitation = Text(created, "invitation");
    const std::string secret2 = secret::RandomHex(protocol::SecretBytes);
    const json::object join{
        {"type", "join"}, {"game", game}, {"invitation", invitation}, {"secret", secret2}};
    {
        TClient lost(server.Port());
        lost.Send(join);
        lost.Cut();
    }
    TClient two(server.Port());
    two.Send(join);
    EXPECT_EQ(Text(two.Until("joined").back(), "secret"), secret2);
    EXPECT_EQ(Number(two.Until("event").back(), "n"), 1);
    EXPECT_EQ(Number(one.Until("event").back(), "n"), 1);
    TClient other(server.Port());
    json::object stolen = join;
    stolen["secret"] = secret::RandomHex(protocol::SecretBytes);
    other.Send(stolen);
    EXPECT_EQ(Text(other.Until("refused").back(), "code"), "secret");

    std::vector<std::unique_ptr<TClient>> tabs;
    const TSeats seats{game, one.secret, secret2, invitation};
    for (int i = 0; i < 4; ++i) {
        tabs.push_back(std::make_unique<TClient>(server.Port()));
        tabs.back()->Send(Hello(seats, 1, 0));
        tabs.back()->Until("welcome");
    }
    EXPECT_EQ(one.CloseCode(), 4001);
    tabs.back()->Send(Move(50, 1));
    EXPECT_EQ(Number(two.Until("event").back(), "n"), 2);

    server.Terminate();
    ASSERT_EQ(server.Wait(), 0);
    server.env = {"MELVARON_SERVER_FAIL_READS=1"};
    ASSERT_NO_FATAL_FAILURE(server.Start());
    TClient back(server.Port());
    back.Send(Hello(seats, 2, 0));
    const json::object refused = back.Until("refused").back();
    EXPECT_EQ(Text(refused, "code"), "again");
    back.Send(Hello(seats, 2, 0));
    EXPECT_EQ(Number(back.Until("welcome").back(), "last"), 2);
}

// A game far longer than a page's queue may hold (a database of a server from before the limit
// of events): a fresh page is caught up in batches as its connection drains, every event once,
// in order.
TEST_F(ServerWire, AFreshPageCatchesUpOnAGameOfThousandsOfEvents) {
    server.Terminate();
    ASSERT_EQ(server.Wait(), 0);
    const std::string secret1 = secret::RandomHex(protocol::SecretBytes);
    const std::string secret2 = secret::RandomHex(protocol::SecretBytes);
    const auto made = server::TServerGame::New(secret1);
    {
        game_events::TEventGame play;
        store::TGameChange c;
        auto take = [&](protocol::TEvent e) {
            e.n = play.Last() + 1;
            std::string error;
            ASSERT_TRUE(play.Take(e, error)) << error;
            c.events.push_back(protocol::EventText(e));
        };
        take({.kind = protocol::TEventKind::Join, .player = 2});
        take({.kind = protocol::TEventKind::Put, .player = 1, .cell = 50});
        while (c.events.size() < 4000) {
            take({.kind = protocol::TEventKind::TakeBackOffer, .player = 1, .moves = 0});
            take({.kind = protocol::TEventKind::TakeBackDeclined, .player = 2});
        }
        c.id = made.Id();
        c.create = true;
        c.secret1 = made.SecretHash(1);
        c.invitation = made.InvitationHash();
        c.creator = "127.0.0.1";
        c.created = c.at = time(nullptr);
        c.secret2 = secret::Hashed(secret2);
        store::TSqliteStore db((server.Data() / "games.sqlite3").string());
        ASSERT_EQ(db.Commit({c}).at(0).result, store::TCommitResult::Stored);
    }
    ASSERT_NO_FATAL_FAILURE(server.Start());
    TClient page(server.Port());
    page.Send(Hello(TSeats{made.Id(), secret1, secret2, ""}, 2, 0));
    EXPECT_EQ(Number(page.Until("welcome").back(), "last"), 4000);
    while (page.replica.Last() < 4000) ASSERT_FALSE(page.Next().empty());
    EXPECT_EQ(page.replica.Record().Moves().size(), 1u);
    page.Send(Move(47, 4000));
    EXPECT_EQ(Number(page.Until("event").back(), "n"), 4001);
}

// A database restored from a backup is behind what the pages hold: a page ahead of it, and a
// page whose history differs from it at the same length, are each sent the store's game from
// event 1; a page that holds the store's history goes on from where it is.
TEST_F(ServerWire, ARestoredDatabaseResetsThePagesItDoesNotMatch) {
    TClient one(server.Port()), two(server.Port());
    const TSeats seats = Meet(one, two);
    TClient* by[3] = {nullptr, &one, &two};
    std::mt19937 rng(9);
    for (int i = 0; i < 4; ++i) PlayOne(by, rng);
    server.Terminate();
    ASSERT_EQ(server.Wait(), 0);
    const std::filesystem::path backup = server.Data().string() + ".backup";
    std::filesystem::copy(server.Data(), backup);
    const server::TReplica atBackup = one.replica;

    ASSERT_NO_FATAL_FAILURE(server.Start());
    TClient one2(server.Port()), two2(server.Port());
    one2.replica = one.replica;
    two2.replica = two.replica;
    one2.Send(Hello(seats, 1, one2.replica.Last()));
    two2.Send(Hello(seats, 2, two2.replica.Last()));
    one2.Until("welcome");
    two2.Until("welcome");
    TClient* again[3] = {nullptr, &one2, &two2};
    PlayOne(again, rng); // the pages are one put ahead of the backup
    const server::TReplica ahead = one2.replica;

    server.Terminate();
    ASSERT_EQ(server.Wait(), 0);
    std::filesystem::remove_all(server.Data());
    std::filesystem::rename(backup, server.Data());
    ASSERT_NO_FATAL_FAILURE(server.Start());
    auto hello = [&](const server::TReplica& held, int seat) {
        auto c = std::make_unique<TClient>(server.Port());
        c->replica = held;
        c->Send(Hello(seats, seat, held.Last()));
        return c;
    };
    auto behind = hello(atBackup, 2);
    EXPECT_EQ(behind->Until("welcome").back().at("reset"), false);
    auto aheadPage = hello(ahead, 1);
    const json::object welcome = aheadPage->Until("welcome").back();
    EXPECT_EQ(welcome.at("reset"), true);
    EXPECT_EQ(Number(welcome, "last"), atBackup.Last());

    // The restored game goes on another way: a put other than the one the pages saw. A page
    // that holds the first way's put holds as many events as the store's first ones, but not
    // the same, and is sent the store's game from event 1 too.
    const std::size_t at = atBackup.Record().Moves().size();
    const game_record::TMove seen = ahead.Record().Moves().at(at);
    const int mover = atBackup.ToMove();
    auto other = hello(atBackup, mover);
    other->Until("welcome");
    int cell = -1;
    for (uint32_t pick = 0; cell < 0 || cell == seen.cell; ++pick) cell = atBackup.LegalPut(pick);
    other->Send(Move(cell, atBackup.Last()));
    ReadMoveThrough(*other, atBackup.Last());
    server::TReplica differs = atBackup;
    std::string error;
    ASSERT_TRUE(differs.Apply({.n = atBackup.Last() + 1,
                               .kind = protocol::TEventKind::Put,
                               .player = mover,
                               .cell = seen.cell},
                              error))
        << error;
    auto page = hello(differs, 3 - mover);
    EXPECT_EQ(page->Until("welcome").back().at("reset"), true);
    while (page->replica.Last() < other->replica.Last()) ASSERT_FALSE(page->Next().empty());
    EXPECT_EQ(page->replica.Record().Moves(), other->replica.Record().Moves());
}

// What the pages were given never reaches the disk: no seat's secret and no invitation is in
// any file of the data folder. A second server on the same folder is refused at start.
TEST_F(ServerWire, TheDatabaseHoldsNoSecretAndOneServer) {
    TClient one(server.Port()), two(server.Port());
    const TSeats seats = Meet(one, two);
    TClient* by[3] = {nullptr, &one, &two};
    std::mt19937 rng(3);
    for (int i = 0; i < 6; ++i) PlayOne(by, rng);

    const auto second = subprocess::Run(subprocess::Program("server/melvaron-server"),
                                        {"--listen", "127.0.0.1:0", "--site",
                                         server.Site().string(), "--data", server.Data().string()});
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.err.find("another melvaron-server uses this database"), std::string::npos)
        << second.err;
    EXPECT_EQ(std::count(second.err.begin(), second.err.end(), '\n'), 1) << second.err;

    server.Terminate();
    ASSERT_EQ(server.Wait(), 0);
    for (const auto& file : std::filesystem::directory_iterator(server.Data())) {
        const std::string bytes = subprocess::ReadFile(file.path().string());
        for (const std::string& s : {seats.secret1, seats.secret2, seats.invitation})
            EXPECT_EQ(bytes.find(s), std::string::npos) << file.path() << " holds a secret";
    }
}
