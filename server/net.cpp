// HTTP and WebSocket sessions on Boost.Beast: the site's files with the isolation headers, the
// game's endpoint with its origin check, frame cap and message budget, and the stop on a signal.
#include "server/net.h"

#include <chrono>
#include <deque>
#include <unordered_set>

#include "server/beast.h"
#include "server/protocol.h"
#include "server/site.h"

namespace server {

using namespace std::chrono_literals;

namespace {

constexpr auto HttpIdle = 30s;           // a quiet HTTP connection is closed after this
constexpr uint32_t HeaderLimit = 8192;   // a request's whole header
constexpr std::size_t OutboxLimit = 512; // messages waiting for a page that reads too slowly
constexpr auto StopGrace = 3s;           // connections still open this long after a stop are cut
constexpr auto WsHandshake = 30s;
constexpr auto WsIdle = 30s;       // pinged at half of it
constexpr auto SweepEvery = 10min; // the store forgets what is old

} // namespace

// Something the stop must end: an HTTP connection or a page's WebSocket.
class TStoppable {
  public:
    virtual ~TStoppable() = default;
    virtual void Stop() = 0;
};

struct TNetState {
    TNetState(store::TGameStore& store, TNetOptions o)
        : options(std::move(o)),
          // The store's thread hands each result back to this loop.
          storeThread(store,
                      [this](std::function<void()> done) { asio::post(io, std::move(done)); }),
          hub(storeThread, options.hub), acceptor(io), signals(io, SIGINT, SIGTERM), deadline(io),
          sweep(io) {
        hub.onPending = [this] {
            // After the handlers ready now: every message read in this turn is one commit.
            asio::post(io, [this] { hub.Flush(); });
        };
    }

    void Log(const std::string& line) const {
        if (options.log) options.log(line);
    }
    void Accept();
    void Stop();
    void CloseAll();
    // A session ends; the last one ends a stop.
    void Left(TStoppable* session) {
        open.erase(session);
        if (closing && open.empty() && !ending) deadline.cancel();
    }
    // io's handlers end their sessions as io goes, after the timer has gone; the store's thread
    // ends first, so nothing posts to io as it goes, and the hub forgets the sessions.
    ~TNetState() {
        ending = true;
        storeThread.Stop();
        hub.ForgetLinks();
    }
    void Sweep() {
        hub.Sweep();
        sweep.expires_after(SweepEvery);
        sweep.async_wait([this](beast::error_code ec) {
            if (!ec && !stopping) Sweep();
        });
    }

    TNetOptions options;
    // Before io: the sessions that io's handlers still hold leave this set as io goes.
    std::unordered_set<TStoppable*> open;
    bool ending = false;
    TStoreThread storeThread;
    TGameHub hub;
    asio::io_context io{1};
    tcp::acceptor acceptor;
    asio::signal_set signals;
    asio::steady_timer deadline, sweep;
    bool stopping = false, closing = false;
};

namespace {

// ---- The game's WebSocket ----

class TPlayerSession final : public std::enable_shared_from_this<TPlayerSession>,
                             public TLink,
                             public TStoppable {
  public:
    TPlayerSession(TNetState& server, beast::tcp_stream&& stream, std::string address)
        : FServer(server), FWs(std::move(stream)), FAddress(std::move(address)),
          FTokens(server.options.messageBurst), FRefill(std::chrono::steady_clock::now()) {}
    ~TPlayerSession() override {
        // However the session ends, the hub holds no pointer to it after.
        if (!FServer.ending) FServer.hub.Closed(this);
        FServer.Left(this);
    }

    void Start(http::request<http::empty_body> request) {
        FServer.open.insert(this);
        beast::get_lowest_layer(FWs).expires_never();
        // A handshake within 30 s; a quiet page is pinged, and one that answers nothing for
        // 30 s is gone (so the other seat soon sees it away).
        websocket::stream_base::timeout timeout{};
        timeout.handshake_timeout = WsHandshake;
        timeout.idle_timeout = WsIdle;
        timeout.keep_alive_pings = true;
        FWs.set_option(timeout);
        FWs.set_option(websocket::stream_base::decorator([](websocket::response_type& response) {
            response.set(http::field::server, "melvaron-server");
        }));
        FWs.read_message_max(protocol::MaxMessageBytes);
        FWs.async_accept(request, [self = shared_from_this()](beast::error_code ec) {
            if (ec) return;
            self->FAccepted = true;
            if (self->FClosing)
                self->CloseNow(); // stopped during the handshake
            else
                self->Read();
        });
    }

    void Send(std::string text) override {
        if (FClosing) return;
        if (FOutbox.size() >= OutboxLimit) {
            Close(ClosePolicy, "the page reads its messages too slowly");
            return;
        }
        FOutbox.push_back(std::move(text));
        if (!FWriting) Write();
    }

    void Close(uint16_t code, std::string reason) override {
        if (FClosing) return;
        FClosing = true;
        FCloseReason = websocket::close_reason(static_cast<websocket::close_code>(code), reason);
        if (FAccepted && !FWriting) CloseNow();
    }

    const std::string& Address() const override { return FAddress; }

    std::size_t Queued() const override { return FOutbox.size(); }

    void Stop() override { Close(CloseGoingAway, "the server is stopping"); }

  private:
    void Read() {
        FWs.async_read(FBuffer, [self = shared_from_this()](beast::error_code ec, std::size_t) {
            self->OnRead(ec);
        });
    }

    void OnRead(beast::error_code ec) {
        if (ec) {
            FServer.hub.Closed(this);
            return;
        }
        if (!FClosing) {
            const char* fault = !FWs.got_text() ? "only text messages are read"
                                : !Spend()      ? "too many messages"
                                                : nullptr;
            if (fault != nullptr) {
                FServer.Log("connection from " + FAddress + " closed: " + fault);
                FServer.hub.Closed(this);
                Close(ClosePolicy, fault);
            } else {
                const auto data = FBuffer.cdata();
                FServer.hub.Received(
                    this, std::string_view(static_cast<const char*>(data.data()), data.size()));
            }
        }
        FBuffer.consume(FBuffer.size());
        Read(); // until the close completes
    }

    // One message from the budget: a bucket of messageBurst tokens refilled at
    // messagesPerSecond.
    bool Spend() {
        const auto now = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(now - FRefill).count();
        FRefill = now;
        FTokens = std::min(FServer.options.messageBurst,
                           FTokens + seconds * FServer.options.messagesPerSecond);
        if (FTokens < 1) return false;
        FTokens -= 1;
        return true;
    }

    void Write() {
        FWriting = true;
        FWs.text(true);
        FWs.async_write(
            asio::buffer(FOutbox.front()),
            [self = shared_from_this()](beast::error_code ec, std::size_t) { self->OnWrite(ec); });
    }

    void OnWrite(beast::error_code ec) {
        FWriting = false;
        FOutbox.pop_front();
        if (ec) {
            // The read fails too and tells the hub; nothing more is sent.
            FClosing = true;
            FOutbox.clear();
            return;
        }
        if (!FOutbox.empty()) {
            Write();
        } else if (FClosing) {
            CloseNow();
        } else {
            FServer.hub.Drained(this); // a page catching up is sent what follows
        }
    }

    void CloseNow() {
        if (FCloseStarted) return;
        FCloseStarted = true;
        FOutbox.clear();
        FWs.async_close(FCloseReason, [self = shared_from_this()](beast::error_code) {});
    }

    TNetState& FServer;
    websocket::stream<beast::tcp_stream> FWs;
    std::string FAddress;
    beast::flat_buffer FBuffer;
    std::deque<std::string> FOutbox;
    bool FAccepted = false, FWriting = false, FClosing = false, FCloseStarted = false;
    websocket::close_reason FCloseReason;
    double FTokens;
    std::chrono::steady_clock::time_point FRefill;
};

// ---- HTTP: the site's files, and the way to the WebSocket ----

class THttpSession final : public std::enable_shared_from_this<THttpSession>, public TStoppable {
  public:
    THttpSession(TNetState& server, tcp::socket&& socket, std::string address)
        : FServer(server), FStream(std::move(socket)), FAddress(std::move(address)) {}
    ~THttpSession() override { FServer.Left(this); }

    void Start() {
        FServer.open.insert(this);
        Read();
    }

    void Stop() override {
        beast::error_code ignored;
        FStream.socket().shutdown(tcp::socket::shutdown_both, ignored);
        FStream.close();
    }

  private:
    void Read() {
        FParser.emplace();
        FParser->header_limit(HeaderLimit);
        FParser->body_limit(0);
        FStream.expires_after(HttpIdle);
        http::async_read(
            FStream, FBuffer, *FParser,
            [self = shared_from_this()](beast::error_code ec, std::size_t) { self->OnRead(ec); });
    }

    void OnRead(beast::error_code ec) {
        if (ec == http::error::header_limit) {
            Reply(Status(http::status::request_header_fields_too_large, false), false);
            return;
        }
        if (ec) {
            FStream.close(); // a timeout, a closed connection, a request that is not HTTP
            return;
        }
        http::request<http::empty_body> request = FParser->release();
        if (websocket::is_upgrade(request)) {
            Upgrade(std::move(request));
            return;
        }
        const bool head = request.method() == http::verb::head;
        if (request.method() != http::verb::get && !head) {
            auto response = Status(http::status::method_not_allowed, head);
            response->set(http::field::allow, "GET, HEAD");
            Reply(response, request.keep_alive());
            return;
        }
        ServeFile(request, head);
    }

    void Upgrade(http::request<http::empty_body> request) {
        const std::string_view target = request.target();
        if (target.substr(0, target.find('?')) != protocol::PlayPath) {
            Reply(Status(http::status::not_found, false), false);
            return;
        }
        const std::string_view origin = request[http::field::origin];
        if (!site::OriginAllowed(origin, request[http::field::host], FServer.options.origins)) {
            FServer.Log("connection from " + FAddress + " refused: a page of another origin");
            Reply(Status(http::status::forbidden, false), false);
            return;
        }
        std::make_shared<TPlayerSession>(FServer, std::move(FStream), FAddress)
            ->Start(std::move(request));
    }

    // The headers every answer carries: the page is cross-origin isolated (threads need it).
    template <class Response> static void Common(Response& response) {
        response.set(http::field::server, "melvaron-server");
        response.set("Cross-Origin-Opener-Policy", "same-origin");
        response.set("Cross-Origin-Embedder-Policy", "require-corp");
        response.set("Cross-Origin-Resource-Policy", "same-origin");
        response.set("X-Content-Type-Options", "nosniff");
        response.set(http::field::cache_control, "no-cache");
    }

    static std::shared_ptr<http::response<http::string_body>> Status(http::status status,
                                                                     bool head) {
        auto response = std::make_shared<http::response<http::string_body>>(status, 11);
        Common(*response);
        response->set(http::field::content_type, "text/plain; charset=utf-8");
        if (!head) response->body() = std::string(http::obsolete_reason(status)) + "\n";
        response->prepare_payload();
        return response;
    }

    void ServeFile(const http::request<http::empty_body>& request, bool head) {
        const auto path = site::SitePath(FServer.options.site, request.target());
        beast::error_code ec;
        http::file_body::value_type file;
        if (path && std::filesystem::is_regular_file(*path, ec))
            file.open(path->c_str(), beast::file_mode::scan, ec);
        if (!path || !file.is_open() || ec) {
            Reply(Status(path ? http::status::not_found : http::status::bad_request, head),
                  request.keep_alive());
            return;
        }
        const auto size = file.size();
        if (head) {
            auto response =
                std::make_shared<http::response<http::empty_body>>(http::status::ok, 11);
            Common(*response);
            response->set(http::field::content_type, site::MimeType(*path));
            response->content_length(size);
            Reply(response, request.keep_alive());
            return;
        }
        auto response = std::make_shared<http::response<http::file_body>>(
            std::piecewise_construct, std::make_tuple(std::move(file)),
            std::make_tuple(http::status::ok, 11));
        Common(*response);
        response->set(http::field::content_type, site::MimeType(*path));
        response->content_length(size);
        Reply(response, request.keep_alive());
    }

    template <class Response> void Reply(std::shared_ptr<Response> response, bool keepAlive) {
        response->keep_alive(keepAlive && !FServer.stopping);
        FStream.expires_after(HttpIdle);
        http::async_write(FStream, *response,
                          [self = shared_from_this(), response](beast::error_code ec, std::size_t) {
                              if (ec || !response->keep_alive()) {
                                  beast::error_code ignored;
                                  self->FStream.socket().shutdown(tcp::socket::shutdown_send,
                                                                  ignored);
                                  return;
                              }
                              self->Read();
                          });
    }

    TNetState& FServer;
    beast::tcp_stream FStream;
    std::string FAddress;
    beast::flat_buffer FBuffer{HeaderLimit};
    std::optional<http::request_parser<http::empty_body>> FParser;
};

} // namespace

void TNetState::Accept() {
    acceptor.async_accept([this](beast::error_code ec, tcp::socket socket) {
        if (stopping) return;
        if (!ec) {
            beast::error_code e;
            const auto remote = socket.remote_endpoint(e);
            if (!e)
                std::make_shared<THttpSession>(*this, std::move(socket),
                                               remote.address().to_string())
                    ->Start();
        }
        Accept();
    });
}

void TNetState::Stop() {
    if (stopping) return;
    stopping = true;
    Log("stopping: storing what is pending, closing the connections");
    beast::error_code ignored;
    acceptor.close(ignored);
    signals.cancel(ignored);
    sweep.cancel();
    // What is pending is stored and announced, then the sessions are told; a store that takes
    // longer than the grace does not hold them.
    hub.Flush();
    deadline.expires_after(StopGrace);
    deadline.async_wait([this](beast::error_code ec) {
        if (!ec) CloseAll();
    });
    hub.WhenIdle([this] { CloseAll(); });
}

void TNetState::CloseAll() {
    if (closing) return;
    closing = true;
    deadline.cancel();
    // Stop() may end a session and so change the set: stop a copy.
    for (TStoppable* s : std::vector<TStoppable*>(open.begin(), open.end()))
        if (open.count(s)) s->Stop();
    if (open.empty()) return;
    deadline.expires_after(StopGrace);
    deadline.async_wait([this](beast::error_code ec) {
        if (!ec) io.stop(); // pages that never answered the close
    });
}

TNetServer::TNetServer(store::TGameStore& store, TNetOptions options)
    : F(std::make_unique<TNetState>(store, std::move(options))) {}

TNetServer::~TNetServer() = default;

bool TNetServer::Listen(std::string& error) {
    beast::error_code ec;
    const auto address = asio::ip::make_address(F->options.address, ec);
    if (ec) {
        error = "'" + F->options.address + "' is not an IP address";
        return false;
    }
    const tcp::endpoint endpoint(address, F->options.port);
    F->acceptor.open(endpoint.protocol(), ec);
    if (!ec) F->acceptor.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec) F->acceptor.bind(endpoint, ec);
    if (!ec) F->acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        error = "cannot listen on " + F->options.address + ":" + std::to_string(F->options.port) +
                ": " + ec.message();
        return false;
    }
    return true;
}

uint16_t TNetServer::Port() const {
    beast::error_code ec;
    return F->acceptor.local_endpoint(ec).port();
}

void TNetServer::Run() {
    F->signals.async_wait([this](beast::error_code ec, int) {
        if (!ec) F->Stop();
    });
    F->Accept();
    F->Sweep();
    // A handler's exception (memory, the system's random generator) ends that handler only.
    for (;;) {
        try {
            F->io.run();
            break;
        } catch (const std::exception& e) {
            F->Log(std::string("error: ") + e.what());
        }
    }
    // The last messages of a stop may have queued changes: they are stored before the end, and
    // the store's answers handled, until nothing is left.
    do {
        F->hub.Flush();
        F->storeThread.WaitIdle();
        F->io.restart();
        F->io.poll();
    } while (F->hub.Busy());
}

} // namespace server
