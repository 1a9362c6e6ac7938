// The door's addresses, limits and refusal log.
#include "server/door.h"

#include <boost/asio/ip/address.hpp>

namespace door {

namespace ip = boost::asio::ip;

namespace {

std::string_view Trim(std::string_view text) {
    const std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) return {};
    const std::size_t end = text.find_last_not_of(" \t");
    return text.substr(start, end - start + 1);
}

std::optional<ip::address> Parse(std::string_view text) {
    boost::system::error_code ec;
    ip::address a = ip::make_address(std::string(text), ec);
    if (ec) return std::nullopt;
    if (a.is_v6() && a.to_v6().is_v4_mapped()) a = ip::make_address_v4(ip::v4_mapped, a.to_v6());
    return a;
}

// The most keys the refusal log remembers; past it, those older than an interval go.
constexpr std::size_t RefusalKeys = 256;

} // namespace

std::optional<std::string> NormalAddress(std::string_view text) {
    // Asio reads a zone ("fe80::1%eth0") too; an address from the network never has one.
    if (text.find('%') != std::string_view::npos) return std::nullopt;
    const auto a = Parse(text);
    if (!a) return std::nullopt;
    return a->to_string();
}

std::string CountedAddress(const std::string& address) {
    const auto a = Parse(address);
    if (!a || a->is_v4()) return address;
    ip::address_v6::bytes_type bytes = a->to_v6().to_bytes();
    for (std::size_t i = 8; i < bytes.size(); ++i) bytes[i] = 0;
    return ip::address_v6(bytes).to_string() + "/64";
}

bool Loopback(const std::string& address) {
    const auto a = Parse(address);
    return a && a->is_loopback();
}

std::optional<std::string> ForwardedFor(std::string_view fields) {
    std::string_view last = fields.substr(fields.rfind(',') + 1);
    last = Trim(last);
    // An IPv6 address may come in brackets, as in a URL.
    if (last.size() > 2 && last.front() == '[' && last.back() == ']')
        last = last.substr(1, last.size() - 2);
    if (last.empty()) return std::nullopt;
    return NormalAddress(last);
}

const char* RefusalName(TRefusal refusal) {
    switch (refusal) {
    case TRefusal::None:
        return "none";
    case TRefusal::InAll:
        return "max_connections";
    case TRefusal::PerAddress:
        return "connections_per_address";
    }
    return "none";
}

// ---- TDoor ----

TDoor::TTicket& TDoor::TTicket::operator=(TTicket&& other) noexcept {
    if (this != &other) {
        Release();
        FDoor = other.FDoor;
        FAddress = std::move(other.FAddress);
        FCounted = other.FCounted;
        other.FDoor = nullptr;
        other.FCounted = false;
    }
    return *this;
}

void TDoor::TTicket::Release() {
    if (FDoor == nullptr) return;
    --FDoor->FOpen;
    if (FCounted) {
        auto it = FDoor->FByAddress.find(FAddress);
        if (--it->second == 0) FDoor->FByAddress.erase(it);
    }
    FDoor = nullptr;
    FCounted = false;
}

TRefusal TDoor::Admit(const std::string& address, bool exempt, TTicket& ticket) {
    ticket.Release();
    if (FOpen >= FInAll) return TRefusal::InAll;
    if (!exempt) {
        int& count = FByAddress[address];
        if (count >= FPerAddress) {
            if (count == 0) FByAddress.erase(address);
            return TRefusal::PerAddress;
        }
        ++count;
    }
    ++FOpen;
    ticket.FDoor = this;
    ticket.FAddress = address;
    ticket.FCounted = !exempt;
    return TRefusal::None;
}

TRefusal TDoor::Move(TTicket& ticket, const std::string& address) {
    if (ticket.FCounted && ticket.FAddress == address) return TRefusal::None;
    int& count = FByAddress[address];
    if (count >= FPerAddress) {
        if (count == 0) FByAddress.erase(address);
        return TRefusal::PerAddress;
    }
    ++count;
    if (ticket.FCounted) {
        auto it = FByAddress.find(ticket.FAddress);
        if (--it->second == 0) FByAddress.erase(it);
    }
    ticket.FAddress = address;
    ticket.FCounted = true;
    return TRefusal::None;
}

int TDoor::OpenFrom(const std::string& address) const {
    const auto it = FByAddress.find(address);
    return it == FByAddress.end() ? 0 : it->second;
}

// ---- TRefusalLog ----

bool TRefusalLog::Due(const std::string& key, TClock::time_point now, uint64_t& skipped) {
    auto it = FSeen.find(key);
    if (it == FSeen.end()) {
        if (FSeen.size() >= RefusalKeys)
            std::erase_if(FSeen, [&](const auto& s) { return now - s.second.logged >= FInterval; });
        // Still full: so many networks refused within one interval that the metrics alone
        // count the rest.
        if (FSeen.size() >= RefusalKeys) return false;
        FSeen.emplace(key, TSeen{now, 0});
        skipped = 0;
        return true;
    }
    TSeen& seen = it->second;
    if (now - seen.logged < FInterval) {
        ++seen.skipped;
        return false;
    }
    skipped = seen.skipped;
    seen = TSeen{now, 0};
    return true;
}

} // namespace door
