// melvaron-server: serves the web page's files and the games between two devices.
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/cli.h"
#include "server/door.h"
#include "server/faulty_store.h"
#include "server/net.h"
#include "server/sqlite_store.h"

namespace {

using server::TLogLevel;

TLogLevel LogLevel = TLogLevel::Info; // the least important level written

void Log(TLogLevel level, const std::string& line) {
    if (level > LogLevel) return;
    std::fprintf(stderr, "melvaron-server: %s: %s\n", server::LogLevelName(level), line.c_str());
    std::fflush(stderr);
}

int Fail(const std::string& message, int status) {
    std::fprintf(stderr, "error: %s\n", cli::OneLine(message).c_str());
    return status;
}

// "ADDR:PORT" or "[IPV6]:PORT" into address and port; false when it is neither.
bool ReadListen(const std::string& text, std::string& address, uint16_t& port) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    address = text.substr(0, colon);
    if (address.size() > 2 && address.front() == '[' && address.back() == ']')
        address = address.substr(1, address.size() - 2);
    int64_t number = 0;
    const std::string digits = text.substr(colon + 1);
    if (digits.size() > 5 || ParseDecimal(digits, number) != TDecimal::Ok || number < 0 ||
        number > 65535)
        return false;
    port = static_cast<uint16_t>(number);
    return true;
}

// An address as a URL writes it.
std::string Host(const std::string& address) {
    return address.find(':') == std::string::npos ? address : "[" + address + "]";
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"The game's server: the web page's files, and games between two devices over "
                 "one WebSocket, kept in an SQLite database.",
                 "melvaron-server"};
    cli::Setup(app);
    std::string listen = "127.0.0.1:8080";
    std::string sitePath = "build-web/site";
    std::string dataPath = "melvaron-server-data";
    std::vector<std::string> origins;
    int gamesPerAddress = 20;
    app.add_option("--listen", listen, "the address and port to serve on (port 0: any free one)")
        ->type_name("ADDR:PORT")
        ->capture_default_str();
    app.add_option("--site", sitePath, "the web page's files")
        ->type_name("DIR")
        ->capture_default_str();
    app.add_option("--data", dataPath, "the folder of the games' database, made when missing")
        ->type_name("DIR")
        ->capture_default_str();
    app.add_option("--origin", origins,
                   "a page's origin that may play here, e.g. https://example.org, the proxy's "
                   "behind one (repeatable; the address a page reaches the server on, and "
                   "localhost on loopback, always may)")
        ->type_name("URL");
    cli::AddNumber(app, "--games-per-address N", gamesPerAddress, 1, 100000,
                   "games not over that one address may create in a day (default 20)");
    int abandonDays = 30, keepDays = 30;
    cli::AddNumber(app, "--abandon-days N", abandonDays, 1, 36500,
                   "days without a move after which an unfinished game ends as abandoned "
                   "(default 30)");
    cli::AddNumber(app, "--keep-days N", keepDays, 1, 36500,
                   "days a finished game and its record are kept after its end (default 30)");
    // The door, the operator's view and the log.
    server::TNetOptions options;
    std::vector<std::string> proxies;
    std::string metricsListen = "127.0.0.1:9190", logLevel = "info";
    CLI::Option* maxConnections =
        cli::AddNumber(app, "--max-connections N", options.maxConnections, 1, 1000000,
                       "connections open at once in all; one more is refused (default 10000, or "
                       "64 fewer than the open files allowed when that is less)");
    cli::AddNumber(app, "--connections-per-address N", options.connectionsPerAddress, 1, 1000000,
                   "connections open at once from one address, an IPv6 /64 counted as one; one "
                   "more is refused (default 64)");
    cli::AddNumber(app, "--unseated-timeout SECONDS", options.unseatedSeconds, 1, 3600,
                   "how long a WebSocket may stay open without taking a seat (default 10)");
    app.add_option("--trusted-proxy", proxies,
                   "a proxy in front whose X-Forwarded-For names the page: only on its "
                   "connections, the last address there is the one counted and logged "
                   "(repeatable)")
        ->type_name("ADDR");
    app.add_option("--metrics", metricsListen,
                   "where to serve /metrics (Prometheus text) and /healthz for the operator, "
                   "never on the site; off for nowhere")
        ->type_name("ADDR:PORT")
        ->capture_default_str();
    app.add_option("--log-level", logLevel,
                   "the least important lines written to standard error: error, warning or info")
        ->type_name("LEVEL")
        ->capture_default_str();
    if (const int status = cli::Parse(app, argc, argv); status >= 0) return status;

    if (!ReadListen(listen, options.address, options.port))
        return Fail("--listen: '" + cli::Shown(listen) + "' is not ADDR:PORT (port 0 to 65535)",
                    cli::ExitBadInput);
    for (const std::string& origin : origins)
        if (origin.rfind("http://", 0) != 0 && origin.rfind("https://", 0) != 0)
            return Fail("--origin: '" + cli::Shown(origin) + "' is not http://HOST or https://HOST",
                        cli::ExitBadInput);
    if (metricsListen == "off") {
        options.metricsAddress.clear();
    } else if (!ReadListen(metricsListen, options.metricsAddress, options.metricsPort)) {
        return Fail("--metrics: '" + cli::Shown(metricsListen) +
                        "' is not ADDR:PORT (port 0 to 65535) or off",
                    cli::ExitBadInput);
    }
    for (const std::string& proxy : proxies) {
        const auto address = door::NormalAddress(proxy);
        if (!address)
            return Fail("--trusted-proxy: '" + cli::Shown(proxy) + "' is not an IP address",
                        cli::ExitBadInput);
        options.trustedProxies.push_back(*address);
    }
    if (logLevel == "error")
        LogLevel = TLogLevel::Error;
    else if (logLevel == "warning")
        LogLevel = TLogLevel::Warning;
    else if (logLevel != "info")
        return Fail("--log-level: '" + cli::Shown(logLevel) + "' is not error, warning or info",
                    cli::ExitBadInput);
    std::error_code ec;
    options.site = std::filesystem::absolute(sitePath, ec);
    if (ec || !std::filesystem::is_regular_file(options.site / "index.html", ec))
        return Fail("--site: no index.html in '" + cli::ShownPath(sitePath) +
                        "' (scripts/build-web.sh builds the page into build-web/site)",
                    cli::ExitBadInput);
    options.origins = origins;
    options.hub.gamesPerAddress = gamesPerAddress;
    options.hub.abandonDays = abandonDays;
    options.hub.keepDays = keepDays;
    options.hub.log = [](const std::string& line) { Log(TLogLevel::Info, line); };
    options.log = Log;

    // Each page is a socket: as many as the system lets this user have.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
        if (files.rlim_cur < files.rlim_max) {
            files.rlim_cur = files.rlim_max;
            setrlimit(RLIMIT_NOFILE, &files);
            getrlimit(RLIMIT_NOFILE, &files);
        }
        // The database, the listeners and the operator's connections take some besides the
        // pages' sockets; when the pages' take them all, accepting waits for one to end.
        constexpr int64_t Others = 64;
        const int64_t allowed = files.rlim_cur == RLIM_INFINITY
                                    ? INT64_MAX
                                    : static_cast<int64_t>(files.rlim_cur) - Others;
        if (maxConnections->count() == 0)
            options.maxConnections =
                static_cast<int>(std::clamp<int64_t>(allowed, 1, options.maxConnections));
        else if (options.maxConnections > allowed)
            Log(TLogLevel::Warning, "--max-connections " + std::to_string(options.maxConnections) +
                                        " is more than the open files allow (" +
                                        std::to_string(files.rlim_cur) + ", less " +
                                        std::to_string(Others) +
                                        " for the rest): accepting will wait when they run out");
    }

    // The games' secrets are in the database: only this user may read the folder.
    std::filesystem::create_directories(dataPath, ec);
    if (ec || !std::filesystem::is_directory(dataPath, ec))
        return Fail("--data: cannot make the folder '" + cli::ShownPath(dataPath) + "'", 1);
    ::chmod(dataPath.c_str(), 0700);
    const std::string database = (std::filesystem::path(dataPath) / "games.sqlite3").string();
    try {
        store::TSqliteStore store(database);
        Log(TLogLevel::Info,
            std::to_string(store.ListUnfinished().size()) + " games not over in " + database);
        // The tests' way to meet a store that fails for a moment.
        int64_t failReads = 0;
        if (const char* n = std::getenv("MELVARON_SERVER_FAIL_READS"))
            if (ParseDecimal(n, failReads) != TDecimal::Ok || failReads < 0 || failReads > 1000000)
                return Fail("MELVARON_SERVER_FAIL_READS: '" + cli::Shown(n) +
                                "' is not a number from 0 to 1000000",
                            cli::ExitBadInput);
        store::TFaultyStore faulty(store, static_cast<int>(failReads));
        server::TNetServer server(failReads > 0 ? static_cast<store::TGameStore&>(faulty) : store,
                                  options);
        std::string error;
        if (!server.Listen(error)) return Fail(error, 1);
        std::string metrics;
        if (server.MetricsPort() != 0)
            metrics = "; metrics on http://" + Host(options.metricsAddress) + ":" +
                      std::to_string(server.MetricsPort()) + "/metrics";
        std::printf("melvaron-server: serving http://%s:%u/ (the page from %s, games in %s%s)\n",
                    Host(options.address).c_str(), static_cast<unsigned>(server.Port()),
                    options.site.string().c_str(), database.c_str(), metrics.c_str());
        std::fflush(stdout);
        server.Run();
        Log(TLogLevel::Info, "stopped");
    } catch (const store::TStoreError& e) {
        return Fail(std::string("--data: ") + e.what() + " (" + database + ")", 1);
    }
    return 0;
}
