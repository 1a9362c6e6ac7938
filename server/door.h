// The server's door: which address a connection counts as (the proxy's page behind it, an IPv6
// network by its /64), how many connections it and everyone together may hold open, and how
// often a refusal is written to the log. It decides; the network layer opens and closes.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace door {

// ---- Addresses ----

// An address as the server names it: text in its usual form, an IPv4 address mapped into IPv6
// ("::ffff:192.0.2.1", what a dual-stack socket reports) as plain IPv4; nothing when text is
// not an IP address.
std::optional<std::string> NormalAddress(std::string_view text);

// The share of the address space that the limits count as one: an IPv4 address whole, an IPv6
// address by its /64 (one network, where a host may take any address), e.g. "2001:db8:1:2::/64".
// address is a NormalAddress.
std::string CountedAddress(const std::string& address);

// Whether address is a loopback one (127/8, ::1).
bool Loopback(const std::string& address);

// The page's address that a proxy put last in X-Forwarded-For (one entry per proxy, the last
// its own), as a NormalAddress; nothing when the value is empty or its last entry is not an IP
// address. fields is every X-Forwarded-For field of the request joined with commas.
std::optional<std::string> ForwardedFor(std::string_view fields);

// ---- Limits ----

enum class TRefusal { None, InAll, PerAddress };
const char* RefusalName(TRefusal refusal); // as the metrics label it

// The connections open at once: in all, and per counted address.
class TDoor {
  public:
    TDoor(int inAll, int perAddress) : FInAll(inAll), FPerAddress(perAddress) {}
    TDoor(const TDoor&) = delete;
    TDoor& operator=(const TDoor&) = delete;

    // One connection's place, held while it is open and given back when it goes. Moved from the
    // HTTP session to the WebSocket it becomes.
    class TTicket {
      public:
        TTicket() = default;
        TTicket(TTicket&& other) noexcept { *this = std::move(other); }
        TTicket& operator=(TTicket&& other) noexcept;
        ~TTicket() { Release(); }
        const std::string& Address() const { return FAddress; }
        bool Held() const { return FDoor != nullptr; }

      private:
        friend class TDoor;
        void Release();
        TDoor* FDoor = nullptr;
        std::string FAddress;  // a CountedAddress
        bool FCounted = false; // against its address's limit
    };

    // A connection from address (a CountedAddress) comes in. An exempt one (a trusted proxy's,
    // which carries many pages) counts only in all until Move names its page.
    TRefusal Admit(const std::string& address, bool exempt, TTicket& ticket);
    // The connection speaks for another address now (a proxy's request for a page). On a
    // refusal the ticket keeps its place as it was.
    TRefusal Move(TTicket& ticket, const std::string& address);

    int Open() const { return FOpen; }
    int OpenFrom(const std::string& address) const;

  private:
    int FInAll, FPerAddress;
    int FOpen = 0;
    std::unordered_map<std::string, int> FByAddress;
};

// ---- The log ----

// When a refusal goes into the log: the first for a key, then at most once an interval, so that
// a flood of connections does not become a flood of lines. It remembers 256 keys; a refusal of
// yet another key within the interval is left to the metrics.
class TRefusalLog {
  public:
    using TClock = std::chrono::steady_clock;
    explicit TRefusalLog(TClock::duration interval) : FInterval(interval) {}
    // Whether the refusal of key at now is to be logged; skipped is then how many of key went
    // unlogged since its last line.
    bool Due(const std::string& key, TClock::time_point now, uint64_t& skipped);

  private:
    struct TSeen {
        TClock::time_point logged;
        uint64_t skipped = 0;
    };
    TClock::duration FInterval;
    std::unordered_map<std::string, TSeen> FSeen;
};

} // namespace door
