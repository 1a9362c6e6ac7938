// melvaron-server: serves the web page's files and the games between two devices.
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/cli.h"
#include "server/faulty_store.h"
#include "server/net.h"
#include "server/sqlite_store.h"

namespace {

void Log(const std::string& line) {
    std::fprintf(stderr, "melvaron-server: %s\n", line.c_str());
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
                   "a page of another origin that may play here, e.g. https://example.org "
                   "(repeatable; pages of the server's own are always allowed)")
        ->type_name("URL");
    cli::AddNumber(app, "--games-per-address N", gamesPerAddress, 1, 100000,
                   "games not over that one address may create in a day (default 20)");
    int abandonDays = 30, keepDays = 30;
    cli::AddNumber(app, "--abandon-days N", abandonDays, 1, 36500,
                   "days without a move after which an unfinished game ends as abandoned "
                   "(default 30)");
    cli::AddNumber(app, "--keep-days N", keepDays, 1, 36500,
                   "days a finished game and its record are kept after its end (default 30)");
    if (const int status = cli::Parse(app, argc, argv); status >= 0) return status;

    server::TNetOptions options;
    if (!ReadListen(listen, options.address, options.port))
        return Fail("--listen: '" + cli::Shown(listen) + "' is not ADDR:PORT (port 0 to 65535)",
                    cli::ExitBadInput);
    for (const std::string& origin : origins)
        if (origin.rfind("http://", 0) != 0 && origin.rfind("https://", 0) != 0)
            return Fail("--origin: '" + cli::Shown(origin) + "' is not http://HOST or https://HOST",
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
    options.hub.log = Log;
    options.log = Log;

    // Each page is a socket: as many as the system lets this user have.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }

    // The games' secrets are in the database: only this user may read the folder.
    std::filesystem::create_directories(dataPath, ec);
    if (ec || !std::filesystem::is_directory(dataPath, ec))
        return Fail("--data: cannot make the folder '" + cli::ShownPath(dataPath) + "'", 1);
    ::chmod(dataPath.c_str(), 0700);
    const std::string database = (std::filesystem::path(dataPath) / "games.sqlite3").string();
    try {
        store::TSqliteStore store(database);
        Log(std::to_string(store.ListUnfinished().size()) + " games not over in " + database);
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
        const std::string host = options.address.find(':') == std::string::npos
                                     ? options.address
                                     : "[" + options.address + "]";
        std::printf("melvaron-server: serving http://%s:%u/ (the page from %s, games in %s)\n",
                    host.c_str(), static_cast<unsigned>(server.Port()),
                    options.site.string().c_str(), database.c_str());
        std::fflush(stdout);
        server.Run();
        Log("stopped");
    } catch (const store::TStoreError& e) {
        return Fail(std::string("--data: ") + e.what() + " (" + database + ")", 1);
    }
    return 0;
}
