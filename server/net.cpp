// HTTP and WebSocket sessions on Boost.Beast: the door (connection limits, the proxy's address,
// accept errors backed off), the site's files with the isolation headers, the game's endpoint
// with its origin check, frame cap, message budget and seat deadline, the operator's metrics
// and health on a listener of their own, and the stop on a signal.
#include "server/net.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <map>
#include <unordered_set>

#include "platform/input_text.h"
#include "server/beast.h"
#include "server/door.h"
#include "server/metrics.h"
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
// After a last answer the rest of a request is read and dropped for a while, so that closing
// with unread bytes does not reset the connection before the page has read the answer.
constexpr auto DrainTime = 2s;
constexpr std::size_t DrainBytes = 64 * 1024;
// Accept errors (descriptors or memory run out) are tried again after a wait that grows.
constexpr auto AcceptRetryFirst = 50ms;
constexpr auto AcceptRetryLast = 1000ms;
constexpr int OperatorConnections = 16; // open at once on the metrics' listener
constexpr auto RefusalInterval = 60s;   // a refused address is logged once in this

// An address as the log and the limits name it: IPv4 mapped into IPv6 as plain IPv4.
std::string Normal(const asio::ip::address& a) {
    const std::string text = a.to_string();
    return door::NormalAddress(text).value_or(text);
}

} // namespace

// Something the stop must end: an HTTP connection or a page's WebSocket.
class TStoppable {
  public:
    virtual ~TStoppable() = default;
    virtual void Stop() = 0;
};

// What the network counts for /metrics; all of it on the network's thread.
struct TNetCounters {
    uint64_t accepted = 0, acceptErrors = 0, unseatedClosed = 0;
    uint64_t refusedInAll = 0, refusedPerAddress = 0;
    uint64_t budgetClosed = 0, binaryClosed = 0;
    std::map<unsigned, uint64_t> requests; // the site's HTTP answers by status
    uint64_t openHttp = 0, openWebSocket = 0, openOperator = 0;
};

// A listening socket and its wait after an accept error.
struct TListener {
    explicit TListener(asio::io_context& io, bool operatorSide)
        : acceptor(io), retry(io), operatorSide(operatorSide) {}
    tcp::acceptor acceptor;
    asio::steady_timer retry;
    std::chrono::milliseconds delay{0}; // 0 while accepting goes well
    bool operatorSide;                  // the metrics' listener
};

// What the door knows of a connection it let in.
struct TPeer {
    std::string address; // the page's, as counted (the proxy's until its request names one)
    std::string proxy;   // a trusted proxy's address, when it is one's connection
    site::TOwnName own;  // the name the page has for this server
};

struct TNetState {
    TNetState(store::TGameStore& store, TNetOptions o)
        : options(std::move(o)), limits(options.maxConnections, options.connectionsPerAddress),
          operatorLimits(OperatorConnections, OperatorConnections), refusals(RefusalInterval),
          // The store's thread hands each result back to this loop.
          storeThread(store,
                      [this](std::function<void()> done) { asio::post(io, std::move(done)); }),
          hub(storeThread, options.hub), pages(io, false), operators(io, true),
          signals(io, SIGINT, SIGTERM), deadline(io), sweep(io) {
        hub.onPending = [this] {
            // After the handlers ready now: every message read in this turn is one commit.
            asio::post(io, [this] { hub.Flush(); });
        };
    }

    void Log(TLogLevel level, const std::string& line) const {
        if (options.log) options.log(level, line);
    }
    // A refusal's line, at most once an interval for key.
    void LogRefusal(const std::string& key, const std::string& line);
    void Accept(TListener& listener);
    void AcceptFailed(TListener& listener, const beast::error_code& ec);
    void Admit(tcp::socket socket, bool operatorSide);
    void Refuse(tcp::socket& socket, const std::string& address, door::TRefusal refusal);
    bool Trusted(const std::string& address) const;
    void WriteMetrics(std::string& out) const;
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
    // Before io: the sessions that io's handlers still hold give back their places, and leave
    // this set, as io goes.
    door::TDoor limits, operatorLimits;
    door::TRefusalLog refusals;
    TNetCounters counters;
    std::unordered_set<TStoppable*> open;
    bool ending = false;
    TStoreThread storeThread;
    TGameHub hub;
    asio::io_context io{1};
    TListener pages, operators;
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
    TPlayerSession(TNetState& server, beast::tcp_stream&& stream, door::TDoor::TTicket ticket,
                   std::string address)
        : FServer(server), FWs(std::move(stream)), FTicket(std::move(ticket)),
          FAddress(std::move(address)), FUnseated(server.io), FTokens(server.options.messageBurst),
          FRefill(std::chrono::steady_clock::now()) {
        ++FServer.counters.openWebSocket;
    }
    ~TPlayerSession() override {
        --FServer.counters.openWebSocket;
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
            ++self->FServer.counters.requests[101];
            self->FAccepted = true;
            self->AwaitSeat();
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

    void Seated() override {
        FSeated = true;
        FUnseated.cancel();
    }

    void Stop() override { Close(CloseGoingAway, "the server is stopping"); }

  private:
    // A connection that answers pings but takes no seat would hold its place for ever.
    void AwaitSeat() {
        FUnseated.expires_after(std::chrono::seconds(FServer.options.unseatedSeconds));
        FUnseated.async_wait([weak = weak_from_this()](beast::error_code ec) {
            const auto self = weak.lock();
            if (ec || !self || self->FSeated || self->FClosing) return;
            const std::string why = "no seat was taken within " +
                                    std::to_string(self->FServer.options.unseatedSeconds) + " s";
            ++self->FServer.counters.unseatedClosed;
            self->FServer.Log(TLogLevel::Info,
                              "connection from " + self->FAddress + " closed: " + why);
            self->FServer.hub.Closed(self.get());
            self->Close(ClosePolicy, why);
        });
    }

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
            const bool binary = !FWs.got_text();
            const char* fault = binary     ? "only text messages are read"
                                : !Spend() ? "too many messages"
                                           : nullptr;
            if (fault != nullptr) {
                ++(binary ? FServer.counters.binaryClosed : FServer.counters.budgetClosed);
                FServer.Log(TLogLevel::Info, "connection from " + FAddress + " closed: " + fault);
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
    door::TDoor::TTicket FTicket;
    std::string FAddress;
    asio::steady_timer FUnseated;
    bool FSeated = false;
    beast::flat_buffer FBuffer;
    std::deque<std::string> FOutbox;
    bool FAccepted = false, FWriting = false, FClosing = false, FCloseStarted = false;
    websocket::close_reason FCloseReason;
    double FTokens;
    std::chrono::steady_clock::time_point FRefill;
};

// ---- HTTP: the site's files and the way to the WebSocket, or the operator's figures ----

class THttpSession final : public std::enable_shared_from_this<THttpSession>, public TStoppable {
  public:
    THttpSession(TNetState& server, tcp::socket&& socket, door::TDoor::TTicket ticket, TPeer peer,
                 bool operatorSide)
        : FServer(server), FStream(std::move(socket)), FTicket(std::move(ticket)),
          FPeer(std::move(peer)), FOperator(operatorSide) {
        ++(FOperator ? FServer.counters.openOperator : FServer.counters.openHttp);
    }
    ~THttpSession() override {
        --(FOperator ? FServer.counters.openOperator : FServer.counters.openHttp);
        FServer.Left(this);
    }

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
        if (ec) {
            // A broken request is told so in a status line; a timeout, a closed connection or
            // one that ended mid-request is only closed.
            const bool parse =
                &ec.category() == &http::make_error_code(http::error::bad_target).category();
            if (!parse || ec == http::error::end_of_stream || ec == http::error::partial_message) {
                FStream.close();
            } else if (ec == http::error::header_limit || ec == http::error::buffer_overflow) {
                Reply(Status(http::status::request_header_fields_too_large, false), false);
            } else if (ec == http::error::body_limit) {
                Reply(Status(http::status::payload_too_large, false), false); // nothing takes one
            } else {
                Reply(Status(http::status::bad_request, false), false);
            }
            return;
        }
        http::request<http::empty_body> request = FParser->release();
        if (FOperator) {
            ServeOperator(request);
            return;
        }
        if (!FPeer.proxy.empty() && !FromProxy(request)) return;
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

    // A trusted proxy's request names its page in the last X-Forwarded-For entry, the one the
    // proxy added: that address is counted and logged from now on. False once answered.
    bool FromProxy(const http::request<http::empty_body>& request) {
        std::string fields;
        for (auto [f, end] = request.equal_range("X-Forwarded-For"); f != end; ++f)
            fields.append(fields.empty() ? "" : ",").append(f->value());
        const std::optional<std::string> page = door::ForwardedFor(fields);
        if (!page) {
            FServer.LogRefusal("proxy " + FPeer.proxy,
                               "request from the trusted proxy " + FPeer.proxy +
                                   " refused: no page's address in X-Forwarded-For");
            Reply(Status(http::status::bad_request, false), false);
            return false;
        }
        const std::string address = door::CountedAddress(*page);
        if (FServer.limits.Move(FTicket, address) != door::TRefusal::None) {
            ++FServer.counters.refusedPerAddress;
            FServer.LogRefusal(address, "connection from " + address + " refused: " +
                                            std::to_string(FServer.limits.OpenFrom(address)) +
                                            " open from it (--connections-per-address)");
            Reply(Status(http::status::service_unavailable, false), false);
            return false;
        }
        FPeer.address = address;
        return true;
    }

    void Upgrade(http::request<http::empty_body> request) {
        const std::string_view target = request.target();
        if (target.substr(0, target.find('?')) != protocol::PlayPath) {
            Reply(Status(http::status::not_found, false), false);
            return;
        }
        const std::string_view origin = request[http::field::origin];
        if (!site::OriginAllowed(origin, FPeer.own, FServer.options.origins)) {
            FServer.LogRefusal("origin " + FPeer.address,
                               "connection from " + FPeer.address +
                                   " refused: a page of another origin (" +
                                   ShownInput(origin, 64, TShownBytes::Ascii) + ")");
            Reply(Status(http::status::forbidden, false), false);
            return;
        }
        std::make_shared<TPlayerSession>(FServer, std::move(FStream), std::move(FTicket),
                                         FPeer.address)
            ->Start(std::move(request));
    }

    // The operator's listener: the metrics and the health, nothing of the site.
    void ServeOperator(const http::request<http::empty_body>& request) {
        const bool head = request.method() == http::verb::head;
        if (request.method() != http::verb::get && !head) {
            auto response = Status(http::status::method_not_allowed, head);
            response->set(http::field::allow, "GET, HEAD");
            Reply(response, request.keep_alive());
            return;
        }
        const std::string_view target = request.target();
        const std::string_view path = target.substr(0, target.find('?'));
        if (path == "/metrics") {
            std::string text;
            FServer.WriteMetrics(text);
            Reply(Text(http::status::ok, metrics::ContentType, std::move(text), head),
                  request.keep_alive());
        } else if (path == "/healthz") {
            // Up while the store answers: what the latest work of the store came to, and a
            // cheap read asked again for the next probe.
            FServer.hub.ProbeStore();
            if (FServer.hub.StoreAnswers())
                Reply(Text(http::status::ok, "text/plain; charset=utf-8", "ok\n", head),
                      request.keep_alive());
            else
                Reply(Text(http::status::service_unavailable, "text/plain; charset=utf-8",
                           "the store does not answer\n", head),
                      request.keep_alive());
        } else {
            Reply(Status(http::status::not_found, head), request.keep_alive());
        }
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

    static std::shared_ptr<http::response<http::string_body>>
    Text(http::status status, const char* type, std::string body, bool head) {
        auto response = std::make_shared<http::response<http::string_body>>(status, 11);
        Common(*response);
        response->set(http::field::content_type, type);
        response->body() = std::move(body);
        response->prepare_payload();
        if (head) response->body().clear(); // the length of what a GET gets
        return response;
    }

    static std::shared_ptr<http::response<http::string_body>> Status(http::status status,
                                                                     bool head) {
        return Text(status, "text/plain; charset=utf-8",
                    std::string(http::obsolete_reason(status)) + "\n", head);
    }

    void ServeFile(const http::request<http::empty_body>& request, bool head) {
        const auto path = site::SitePath(FServer.options.site, request.target());
        beast::error_code ec;
        http::file_body::value_type file;
        if (path && std::filesystem::is_regular_file(*path, ec))
            file.open(path->c_str(), beast::file_mode::scan, ec);
        if (!path || !file.is_open() || ec) {
            // Out of descriptors the file is there all the same: the page is to come back.
            const bool busy = ec == beast::errc::too_many_files_open ||
                              ec == beast::errc::too_many_files_open_in_system;
            Reply(Status(busy   ? http::status::service_unavailable
                         : path ? http::status::not_found
                                : http::status::bad_request,
                         head),
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
        if (!FOperator) ++FServer.counters.requests[response->result_int()];
        response->keep_alive(keepAlive && !FServer.stopping);
        FStream.expires_after(HttpIdle);
        http::async_write(FStream, *response,
                          [self = shared_from_this(), response](beast::error_code ec, std::size_t) {
                              if (ec) return;
                              if (!response->keep_alive()) {
                                  beast::error_code ignored;
                                  self->FStream.socket().shutdown(tcp::socket::shutdown_send,
                                                                  ignored);
                                  self->FStream.expires_after(DrainTime);
                                  self->Drain();
                                  return;
                              }
                              self->Read();
                          });
    }

    // Reads what the page still sends after the last answer, until it closes, for a while.
    void Drain() {
        FStream.async_read_some(asio::buffer(FDrain),
                                [self = shared_from_this()](beast::error_code ec, std::size_t n) {
                                    self->FDrained += n;
                                    if (ec || self->FDrained > DrainBytes)
                                        self->FStream.close();
                                    else
                                        self->Drain();
                                });
    }

    TNetState& FServer;
    beast::tcp_stream FStream;
    door::TDoor::TTicket FTicket;
    TPeer FPeer;
    bool FOperator;
    beast::flat_buffer FBuffer{HeaderLimit};
    std::optional<http::request_parser<http::empty_body>> FParser;
    char FDrain[4096];
    std::size_t FDrained = 0;
};

} // namespace

// ---- The door ----

void TNetState::LogRefusal(const std::string& key, const std::string& line) {
    uint64_t skipped = 0;
    if (!refusals.Due(key, std::chrono::steady_clock::now(), skipped)) return;
    Log(TLogLevel::Warning,
        skipped == 0 ? line
                     : line + " (and " + std::to_string(skipped) + " more since its last line)");
}

void TNetState::Accept(TListener& listener) {
    listener.acceptor.async_accept([this, &listener](beast::error_code ec, tcp::socket socket) {
        if (stopping || ec == asio::error::operation_aborted) return;
        if (ec) {
            AcceptFailed(listener, ec);
            return;
        }
        if (listener.delay != 0ms) {
            listener.delay = 0ms;
            Log(TLogLevel::Info, "accepting connections again");
        }
        // Whatever goes wrong with one connection, the listener goes on.
        try {
            Admit(std::move(socket), listener.operatorSide);
        } catch (const std::exception& e) {
            Log(TLogLevel::Error, std::string("a connection could not be taken: ") + e.what());
        }
        Accept(listener);
    });
}

void TNetState::AcceptFailed(TListener& listener, const beast::error_code& ec) {
    ++counters.acceptErrors;
    // Out of descriptors (EMFILE, ENFILE) or memory, the same accept fails again at once: wait,
    // longer each time, while the open connections are served and some of them end.
    if (listener.delay == 0ms) {
        listener.delay = AcceptRetryFirst;
        Log(TLogLevel::Warning, "cannot accept connections: " + ec.message() +
                                    "; trying again in 50 ms, then up to every second");
    } else {
        listener.delay = std::min<std::chrono::milliseconds>(listener.delay * 2, AcceptRetryLast);
    }
    listener.retry.expires_after(listener.delay);
    listener.retry.async_wait([this, &listener](beast::error_code e) {
        if (!e && !stopping) Accept(listener);
    });
}

bool TNetState::Trusted(const std::string& address) const {
    return std::find(options.trustedProxies.begin(), options.trustedProxies.end(), address) !=
           options.trustedProxies.end();
}

void TNetState::Admit(tcp::socket socket, bool operatorSide) {
    beast::error_code ec;
    const tcp::endpoint remote = socket.remote_endpoint(ec);
    const tcp::endpoint local = ec ? tcp::endpoint() : socket.local_endpoint(ec);
    if (ec) return; // gone before it was taken
    const std::string address = Normal(remote.address());
    TPeer peer;
    if (!operatorSide && Trusted(address)) peer.proxy = address;
    peer.address = door::CountedAddress(address);
    door::TDoor::TTicket ticket;
    const door::TRefusal refusal =
        (operatorSide ? operatorLimits : limits).Admit(peer.address, !peer.proxy.empty(), ticket);
    if (refusal != door::TRefusal::None) {
        if (operatorSide) {
            socket.close(ec);
            return;
        }
        Refuse(socket, peer.address, refusal);
        return;
    }
    if (!operatorSide) ++counters.accepted;
    // A page's messages often come two at once (an event and the pass it makes): the second
    // must not wait for the page's delayed acknowledgement of the first.
    socket.set_option(tcp::no_delay(true), ec);
    const std::string own = Normal(local.address());
    peer.own.host = own.find(':') == std::string::npos ? own : "[" + own + "]";
    peer.own.port = local.port();
    peer.own.loopback = door::Loopback(own);
    std::make_shared<THttpSession>(*this, std::move(socket), std::move(ticket), std::move(peer),
                                   operatorSide)
        ->Start();
}

void TNetState::Refuse(tcp::socket& socket, const std::string& address, door::TRefusal refusal) {
    const bool inAll = refusal == door::TRefusal::InAll;
    ++(inAll ? counters.refusedInAll : counters.refusedPerAddress);
    // An answer where it costs nothing: written if the socket takes it at once, never waited
    // for, and nothing of the request read.
    static constexpr std::string_view Busy = "HTTP/1.1 503 Service Unavailable\r\n"
                                             "Content-Length: 0\r\nConnection: close\r\n\r\n";
    beast::error_code ec;
    socket.non_blocking(true, ec);
    if (!ec) socket.send(asio::buffer(Busy.data(), Busy.size()), 0, ec);
    socket.close(ec);
    if (inAll)
        LogRefusal("*", "connection from " + address + " refused: " +
                            std::to_string(limits.Open()) + " open in all (--max-connections)");
    else
        LogRefusal(address, "connection from " + address +
                                " refused: " + std::to_string(limits.OpenFrom(address)) +
                                " open from it (--connections-per-address)");
}

void TNetState::WriteMetrics(std::string& out) const {
    using metrics::Family, metrics::Sample;
    Family(out, "melvaron_connections_open", "gauge", "Connections open now, by kind.");
    Sample(out, "melvaron_connections_open", "kind", "http", counters.openHttp);
    Sample(out, "melvaron_connections_open", "kind", "websocket", counters.openWebSocket);
    Sample(out, "melvaron_connections_open", "kind", "metrics", counters.openOperator);
    Family(out, "melvaron_connections_accepted_total", "counter",
           "Connections to the site let in by the door.");
    Sample(out, "melvaron_connections_accepted_total", counters.accepted);
    Family(out, "melvaron_connections_refused_total", "counter",
           "Connections to the site refused at the door, by the limit they met.");
    Sample(out, "melvaron_connections_refused_total", "limit",
           door::RefusalName(door::TRefusal::InAll), counters.refusedInAll);
    Sample(out, "melvaron_connections_refused_total", "limit",
           door::RefusalName(door::TRefusal::PerAddress), counters.refusedPerAddress);
    Family(out, "melvaron_accept_errors_total", "counter",
           "Accepts that failed (descriptors or memory ran out), each followed by a wait.");
    Sample(out, "melvaron_accept_errors_total", counters.acceptErrors);
    Family(out, "melvaron_unseated_closed_total", "counter",
           "WebSockets closed for taking no seat in time.");
    Sample(out, "melvaron_unseated_closed_total", counters.unseatedClosed);
    Family(out, "melvaron_websocket_closed_total", "counter",
           "WebSockets closed at the network for what they sent.");
    Sample(out, "melvaron_websocket_closed_total", "reason", "message_budget",
           counters.budgetClosed);
    Sample(out, "melvaron_websocket_closed_total", "reason", "binary_message",
           counters.binaryClosed);
    Family(out, "melvaron_http_requests_total", "counter",
           "The site's HTTP requests answered, by status (101: a WebSocket opened).");
    for (const auto& [status, count] : counters.requests)
        Sample(out, "melvaron_http_requests_total", "status", std::to_string(status), count);
    // The hub's figures follow the network's: seats, games in memory, events, commit times,
    // refusals by code, limits met, store errors.
    hub.WriteMetrics(out);
}

void TNetState::Stop() {
    if (stopping) return;
    stopping = true;
    Log(TLogLevel::Info, "stopping: storing what is pending, closing the connections");
    beast::error_code ignored;
    for (TListener* l : {&pages, &operators}) {
        l->acceptor.close(ignored);
        l->retry.cancel();
    }
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

// ---- TNetServer ----

namespace {

bool Bind(tcp::acceptor& acceptor, const std::string& text, uint16_t port, const char* what,
          std::string& error) {
    beast::error_code ec;
    const auto address = asio::ip::make_address(text, ec);
    if (ec) {
        error = "'" + text + "' is not an IP address";
        return false;
    }
    const tcp::endpoint endpoint(address, port);
    acceptor.open(endpoint.protocol(), ec);
    if (!ec) acceptor.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec) acceptor.bind(endpoint, ec);
    if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        error = std::string("cannot listen") + what + " on " + text + ":" + std::to_string(port) +
                ": " + ec.message();
        return false;
    }
    return true;
}

} // namespace

TNetServer::TNetServer(store::TGameStore& store, TNetOptions options)
    : F(std::make_unique<TNetState>(store, std::move(options))) {}

TNetServer::~TNetServer() = default;

bool TNetServer::Listen(std::string& error) {
    if (!Bind(F->pages.acceptor, F->options.address, F->options.port, "", error)) return false;
    return F->options.metricsAddress.empty() ||
           Bind(F->operators.acceptor, F->options.metricsAddress, F->options.metricsPort,
                " for the metrics", error);
}

uint16_t TNetServer::Port() const {
    beast::error_code ec;
    return F->pages.acceptor.local_endpoint(ec).port();
}

uint16_t TNetServer::MetricsPort() const {
    beast::error_code ec;
    return F->operators.acceptor.is_open() ? F->operators.acceptor.local_endpoint(ec).port() : 0;
}

void TNetServer::Run() {
    F->signals.async_wait([this](beast::error_code ec, int) {
        if (!ec) F->Stop();
    });
    F->Accept(F->pages);
    if (F->operators.acceptor.is_open()) F->Accept(F->operators);
    F->Sweep();
    // A handler's exception (memory, the system's random generator) ends that handler only.
    for (;;) {
        try {
            F->io.run();
            break;
        } catch (const std::exception& e) {
            F->Log(TLogLevel::Error, e.what());
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
