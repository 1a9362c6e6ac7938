// melvaron-server-load: many games at once against a running melvaron-server on loopback, each
// seat a WebSocket playing random legal moves after a think time, as two pages would. Reports
// the moves a second, the time from a move sent to the other seat seeing it (median and 99th
// percentile), and, given the server's process id, its CPU and its memory per game, and given
// its metrics' port, how its commits went.
#include <boost/json.hpp>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <vector>

#include "common/cli.h"
#include "server/beast.h"
#include "server/replica.h"

namespace json = boost::json;
using Clock = std::chrono::steady_clock;

namespace {

struct TOptions {
    int port = 8080;
    int games = 1000;
    int seconds = 60;
    int thinkMin = 500, thinkMax = 1500; // ms
    int startPerSecond = 200;
    int pid = 0;
    int metricsPort = 0;
    uint32_t seed = 1;
};

// The server's CPU seconds and resident memory, from /proc.
struct TProcess {
    double cpu = 0;
    long rssKiB = 0;
};

TProcess ReadProcess(int pid) {
    TProcess p;
    if (pid <= 0) return p;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    const std::size_t close = text.rfind(')');
    if (close != std::string::npos) {
        std::istringstream fields(text.substr(close + 2));
        std::string field;
        double utime = 0, stime = 0;
        for (int i = 3; fields >> field && i <= 15; ++i) {
            if (i == 14) utime = std::stod(field);
            if (i == 15) stime = std::stod(field);
        }
        p.cpu = (utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) p.rssKiB = std::stol(line.substr(6));
    return p;
}

// The server's figures from its /metrics: each sample's value by its name and labels; nothing
// when they cannot be read.
std::map<std::string, double> ReadMetrics(int port) {
    std::map<std::string, double> values;
    if (port <= 0) return values;
    try {
        asio::io_context io;
        beast::tcp_stream stream(io);
        stream.connect(
            tcp::endpoint(asio::ip::make_address("127.0.0.1"), static_cast<uint16_t>(port)));
        http::request<http::empty_body> request(http::verb::get, "/metrics", 11);
        request.set(http::field::host, "127.0.0.1");
        http::write(stream, request);
        beast::flat_buffer buffer;
        http::response<http::string_body> response;
        http::read(stream, buffer, response);
        std::istringstream lines(response.body());
        for (std::string line; std::getline(lines, line);) {
            const std::size_t space = line.rfind(' ');
            if (line.empty() || line[0] == '#' || space == std::string::npos) continue;
            values[line.substr(0, space)] = std::stod(line.substr(space + 1));
        }
    } catch (const std::exception&) {
        values.clear();
    }
    return values;
}

struct TLoad;

// One seat: its connection and its copy of the game.
class TSeat : public std::enable_shared_from_this<TSeat> {
  public:
    TSeat(TLoad& load, int game, int seat);
    void Connect(std::string first);
    void Send(std::string text);
    void Close();
    server::TReplica replica;

  private:
    void Read();
    void OnMessage(const std::string& text);
    void Write();
    void MaybeMove();

    TLoad& FLoad;
    int FGame, FSeat;
    websocket::stream<beast::tcp_stream> FWs;
    std::string FSecret; // the seat's
    beast::flat_buffer FBuffer;
    std::deque<std::string> FOutbox;
    bool FWriting = false, FOpen = false, FThinking = false, FClosed = false;
    asio::steady_timer FThink;
};

struct TGame {
    std::shared_ptr<TSeat> seats[3];
    std::string id, invitation;
    Clock::time_point sentAt;
    int64_t sentEvent = 0; // the number the put sent last will have
    bool over = false;
};

struct TLoad {
    TOptions options;
    asio::io_context io{1};
    std::mt19937 rng;
    std::vector<TGame> games;
    bool measuring = false, stopping = false;
    Clock::time_point measureStart;
    std::vector<double> latencies; // ms, in the measured window
    long moves = 0, finished = 0, refused = 0, failures = 0, started = 0;
    int playing = 0;      // games whose seats are both seated
    int slotsPlaying = 0; // slots whose first game has both seats seated
    std::vector<bool> slotPlayed;
    std::string firstFailure;

    void StartGame(int g);
    // A seat's secret as a page makes one: 128 bits, as hex.
    std::string NewSecret() {
        static constexpr char Digits[] = "0123456789abcdef";
        std::string hex;
        for (int i = 0; i < protocol::SecretDigits; ++i) hex += Digits[rng() & 15];
        return hex;
    }
    void Fail(const std::string& what) {
        if (failures++ == 0) firstFailure = what;
    }
};

TSeat::TSeat(TLoad& load, int game, int seat)
    : FLoad(load), FGame(game), FSeat(seat), FWs(load.io), FThink(load.io) {}

void TSeat::Connect(std::string first) {
    auto self = shared_from_this();
    beast::get_lowest_layer(FWs).async_connect(
        tcp::endpoint(asio::ip::make_address("127.0.0.1"),
                      static_cast<uint16_t>(FLoad.options.port)),
        [self, first](beast::error_code ec) mutable {
            if (ec) return self->FLoad.Fail("connect: " + ec.message());
            self->FWs.async_handshake("127.0.0.1", "/play",
                                      [self, first](beast::error_code ec) mutable {
                                          if (ec)
                                              return self->FLoad.Fail("handshake: " + ec.message());
                                          self->FOpen = true;
                                          self->Send(std::move(first));
                                          self->Read();
                                      });
        });
}

void TSeat::Send(std::string text) {
    if (FClosed) return;
    FOutbox.push_back(std::move(text));
    if (!FWriting) Write();
}

void TSeat::Write() {
    FWriting = true;
    FWs.async_write(asio::buffer(FOutbox.front()),
                    [self = shared_from_this()](beast::error_code ec, std::size_t) {
                        self->FWriting = false;
                        self->FOutbox.pop_front();
                        if (ec) return;
                        if (!self->FOutbox.empty()) self->Write();
                    });
}

void TSeat::Close() {
    if (FClosed || !FOpen) return;
    FClosed = true;
    FThink.cancel();
    FWs.async_close(websocket::close_code::normal,
                    [self = shared_from_this()](beast::error_code) {});
}

void TSeat::Read() {
    FWs.async_read(FBuffer, [self = shared_from_this()](beast::error_code ec, std::size_t) {
        if (ec) {
            if (!self->FClosed && !self->FLoad.stopping)
                self->FLoad.Fail("connection closed: " + ec.message());
            return;
        }
        const std::string text = beast::buffers_to_string(self->FBuffer.data());
        self->FBuffer.consume(self->FBuffer.size());
        self->OnMessage(text);
        self->Read();
    });
}

void TSeat::OnMessage(const std::string& text) {
    if (FClosed) return; // its game is over; the slot may hold the next game already
    TGame& game = FLoad.games[FGame];
    const json::object m = json::parse(text).as_object();
    const std::string_view type = m.at("type").as_string();
    if (type == "created" || type == "joined") FSecret = m.at("secret").as_string();
    if (type == "created") {
        game.id = m.at("game").as_string();
        game.invitation = m.at("invitation").as_string();
        game.seats[2]->Connect(json::serialize(json::object{{"type", "join"},
                                                            {"game", game.id},
                                                            {"invitation", game.invitation},
                                                            {"secret", FLoad.NewSecret()}}));
    } else if (type == "refused") {
        ++FLoad.refused;
        FLoad.Fail("refused: " + std::string(m.at("reason").as_string()));
    } else if (type == "event") {
        protocol::TEvent e;
        std::string error;
        if (!protocol::ParseEvent(text, e, error) || !replica.Apply(e, error))
            return FLoad.Fail("event: " + error);
        if (e.kind == protocol::TEventKind::Join && FSeat == 1) {
            ++FLoad.playing;
            if (!FLoad.slotPlayed[FGame]) {
                FLoad.slotPlayed[FGame] = true;
                ++FLoad.slotsPlaying;
            }
        }
        if (e.kind == protocol::TEventKind::Put && e.player != FSeat && e.n == game.sentEvent &&
            FLoad.measuring) {
            FLoad.latencies.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - game.sentAt).count());
            ++FLoad.moves;
        }
        if (e.kind == protocol::TEventKind::End) {
            Close();
            if (FSeat == 1) {
                ++FLoad.finished;
                --FLoad.playing;
                game.over = true;
                if (!FLoad.stopping) FLoad.StartGame(FGame); // the same number of games goes on
            }
            return;
        }
        MaybeMove();
    }
}

void TSeat::MaybeMove() {
    if (FThinking || FLoad.stopping || replica.ToMove() != FSeat ||
        replica.Record().Position().mustPass != 0)
        return;
    FThinking = true;
    const int ms = std::uniform_int_distribution<int>(FLoad.options.thinkMin,
                                                      FLoad.options.thinkMax)(FLoad.rng);
    FThink.expires_after(std::chrono::milliseconds(ms));
    FThink.async_wait([self = shared_from_this()](beast::error_code ec) {
        self->FThinking = false;
        if (ec || self->FLoad.stopping || self->replica.ToMove() != self->FSeat) return;
        TGame& game = self->FLoad.games[self->FGame];
        const int cell = self->replica.LegalPut(self->FLoad.rng());
        game.sentAt = Clock::now();
        game.sentEvent = self->replica.Last() + 1;
        self->Send(json::serialize(json::object{{"type", "move"},
                                                {"secret", self->FSecret},
                                                {"cell", cell},
                                                {"after", self->replica.Last()}}));
    });
}

void TLoad::StartGame(int g) {
    ++started;
    TGame& game = games[g];
    game = TGame();
    for (int seat = 1; seat <= 2; ++seat)
        game.seats[seat] = std::make_shared<TSeat>(*this, g, seat);
    game.seats[1]->Connect(
        json::serialize(json::object{{"type", "create"}, {"secret", NewSecret()}}));
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Plays many games at once against a running melvaron-server on this machine "
                 "and reports its throughput, latency, CPU and memory.",
                 "melvaron-server-load"};
    cli::Setup(app);
    TOptions o;
    cli::AddNumber(app, "--port N", o.port, 1, 65535, "the server's port on 127.0.0.1");
    cli::AddNumber(app, "--games N", o.games, 1, 20000, "games played at once (default 1000)");
    cli::AddNumber(app, "--seconds N", o.seconds, 1, 3600,
                   "how long to measure once every game plays (default 60)");
    cli::AddNumber(app, "--think-min MS", o.thinkMin, 0, 60000, "shortest think (default 500)");
    cli::AddNumber(app, "--think-max MS", o.thinkMax, 0, 60000, "longest think (default 1500)");
    cli::AddNumber(app, "--start-rate N", o.startPerSecond, 1, 100000,
                   "games started a second while ramping up (default 200)");
    cli::AddNumber(app, "--pid N", o.pid, 0, 1 << 30,
                   "the server's process, for its CPU and memory");
    cli::AddNumber(app, "--metrics-port N", o.metricsPort, 0, 65535,
                   "the server's metrics port on 127.0.0.1, for how its commits went");
    cli::AddNumber(app, "--seed N", o.seed, 0, 4294967295, "the random moves' seed (default 1)");
    if (const int status = cli::Parse(app, argc, argv); status >= 0) return status;
    if (o.thinkMax < o.thinkMin) {
        std::fprintf(stderr, "error: --think-max is less than --think-min\n");
        return cli::ExitBadInput;
    }
    // Two sockets a game.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }

    TLoad load;
    load.options = o;
    load.rng.seed(o.seed);
    load.games.resize(static_cast<std::size_t>(o.games));
    load.slotPlayed.resize(load.games.size());
    const TProcess idle = ReadProcess(o.pid);

    // Ramp up: a few games every 10 ms until all play.
    asio::steady_timer ramp(load.io), report(load.io), end(load.io);
    int next = 0;
    std::function<void()> startSome = [&] {
        const int batch = std::max(1, o.startPerSecond / 100);
        for (int i = 0; i < batch && next < o.games; ++i) load.StartGame(next++);
        if (next < o.games) {
            ramp.expires_after(std::chrono::milliseconds(10));
            ramp.async_wait([&](beast::error_code) { startSome(); });
        }
    };
    startSome();
    TProcess before;
    std::map<std::string, double> figuresBefore;
    double cpuBefore = 0;
    long rssPlaying = 0;
    // Measure once every game has begun (short games may end and begin again meanwhile); stop
    // after the measured window.
    std::function<void()> waitForAll = [&] {
        if (load.slotsPlaying < o.games && load.failures == 0) {
            report.expires_after(std::chrono::milliseconds(50));
            report.async_wait([&](beast::error_code) { waitForAll(); });
            return;
        }
        before = ReadProcess(o.pid);
        rssPlaying = before.rssKiB;
        cpuBefore = before.cpu;
        figuresBefore = ReadMetrics(o.metricsPort);
        load.measuring = true;
        load.measureStart = Clock::now();
        end.expires_after(std::chrono::seconds(o.seconds));
        end.async_wait([&](beast::error_code) {
            load.measuring = false;
            load.stopping = true;
            const double wall =
                std::chrono::duration<double>(Clock::now() - load.measureStart).count();
            const TProcess after = ReadProcess(o.pid);
            std::printf("games at once: %d (%d playing when measured, %ld started, %ld finished); "
                        "measured %.1f s\n",
                        o.games, load.playing, load.started, load.finished, wall);
            std::printf("moves: %ld, %.0f a second\n", load.moves,
                        static_cast<double>(load.moves) / wall);
            std::printf("move seen by the other seat: median %.2f ms, 99th percentile %.2f ms\n",
                        Percentile(load.latencies, 0.5), Percentile(load.latencies, 0.99));
            if (o.pid > 0) {
                std::printf("server CPU: %.0f%% of one core\n",
                            100 * (after.cpu - cpuBefore) / wall);
                std::printf("server memory: %ld KiB idle, %ld KiB with every game playing: "
                            "%.1f KiB a game (two connections each)\n",
                            idle.rssKiB, rssPlaying,
                            static_cast<double>(rssPlaying - idle.rssKiB) / o.games);
            }
            if (auto figures = ReadMetrics(o.metricsPort); !figures.empty()) {
                auto grew = [&](const std::string& name) {
                    return figures[name] - figuresBefore[name];
                };
                const double commits = grew("melvaron_hub_commits_total");
                std::printf("server commits: %.0f, %.0f a second, %.1f events each, %.2f ms each "
                            "on average in the store\n",
                            commits, commits / wall,
                            commits > 0 ? grew("melvaron_hub_events_stored_total") / commits : 0,
                            commits > 0 ? 1000 * grew("melvaron_hub_commit_seconds_sum") / commits
                                        : 0);
            }
            std::printf("refused: %ld, failures: %ld%s%s\n", load.refused, load.failures,
                        load.failures ? ", the first: " : "", load.firstFailure.c_str());
            std::fflush(stdout);
            for (TGame& g : load.games)
                for (int seat = 1; seat <= 2; ++seat)
                    if (g.seats[seat]) g.seats[seat]->Close();
            // Connections that do not answer the close are not waited for.
            ramp.expires_after(std::chrono::seconds(5));
            ramp.async_wait([&](beast::error_code) { load.io.stop(); });
        });
    };
    waitForAll();
    load.io.run();
    return load.failures == 0 ? 0 : 1;
}
