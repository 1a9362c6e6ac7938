// The messages' shapes: strict reading of a page's messages and of stored events, and the
// server's messages written with Boost.JSON.
#include "server/protocol.h"

#include <boost/json.hpp>

#include <initializer_list>

#include "engine/board.h"

namespace json = boost::json;

namespace protocol {

namespace {

struct TBad {
    std::string what;
};

constexpr const char* RequestNames[] = {"create",          "join",  "hello", "move", "takeback",
                                        "takeback_answer", "record"};
constexpr const char* EventType[] = {"event"};
using game_events::EventKindNames;
// The reasons an end may name: every one but the board's, which is named by none.
constexpr const char* AbandonedName[] = {game_events::EndReasonNames[1]};

// A key shown in a reason: short, printable, and only ever a key, never a value.
std::string ShownKey(std::string_view key) {
    std::string shown;
    for (char c : key.substr(0, 32)) shown += c >= 0x20 && c < 0x7f ? c : '?';
    return "'" + shown + "'";
}

// The keys of the outermost object of text, which is well-formed JSON: the strings at depth 1
// that a colon follows. Boost.JSON keeps only the last of a key given twice, so the count tells.
std::size_t OuterKeys(std::string_view text) {
    std::size_t keys = 0;
    int depth = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            --depth;
        } else if (c == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i)
                if (text[i] == '\\') ++i;
            std::size_t next = i + 1;
            while (next < text.size() && (text[next] == ' ' || text[next] == '\t' ||
                                          text[next] == '\n' || text[next] == '\r'))
                ++next;
            if (depth == 1 && next < text.size() && text[next] == ':') ++keys;
        }
    }
    return keys;
}

// Parses text as one JSON object of at most depth 2 within the message limit, each key once.
json::object ReadObject(std::string_view text) {
    if (text.size() > MaxMessageBytes) throw TBad{"the message is longer than the limit"};
    json::parse_options options;
    options.max_depth = 2;
    boost::system::error_code ec;
    json::value value = json::parse(text, ec, {}, options);
    if (ec) throw TBad{"the message is not JSON"};
    if (!value.is_object()) throw TBad{"the message is not a JSON object"};
    if (OuterKeys(text) != value.as_object().size()) throw TBad{"a field is given twice"};
    return std::move(value.as_object());
}

// Every key of o must be one of keys, and every one of keys must be there.
void OnlyKeys(const json::object& o, std::initializer_list<const char*> keys) {
    for (const auto& member : o) {
        bool known = false;
        for (const char* key : keys) known = known || member.key() == key;
        if (!known) throw TBad{"unknown field " + ShownKey(member.key())};
    }
    for (const char* key : keys)
        if (!o.contains(key)) throw TBad{std::string("missing field '") + key + "'"};
}

int64_t Integer(const json::object& o, const char* key, int64_t lo, int64_t hi) {
    const json::value& v = o.at(key);
    if (!v.is_int64() && !v.is_uint64())
        throw TBad{std::string("field '") + key + "' is not a whole number"};
    // A number is kept as uint64 only beyond int64, which is beyond every range here.
    if (v.is_uint64() || v.get_int64() < lo || v.get_int64() > hi)
        throw TBad{std::string("field '") + key + "' is not from " + std::to_string(lo) + " to " +
                   std::to_string(hi)};
    return v.get_int64();
}

bool Boolean(const json::object& o, const char* key) {
    const json::value& v = o.at(key);
    if (!v.is_bool()) throw TBad{std::string("field '") + key + "' is not true or false"};
    return v.get_bool();
}

// A lowercase hex string of exactly digits characters: an id or a secret. The reason names the
// field, never its value.
std::string Hex(const json::object& o, const char* key, int digits) {
    const json::value& v = o.at(key);
    bool ok = v.is_string() && v.get_string().size() == static_cast<std::size_t>(digits);
    if (ok)
        for (char c : v.get_string()) ok = ok && ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'));
    if (!ok)
        throw TBad{std::string("field '") + key + "' is not " + std::to_string(digits) +
                   " lowercase hex digits"};
    return std::string(v.get_string());
}

template <std::size_t N>
int NameIndex(const json::object& o, const char* key, const char* const (&names)[N]) {
    const json::value* v = o.if_contains(key);
    if (v == nullptr) throw TBad{std::string("missing field '") + key + "'"};
    if (!v->is_string()) throw TBad{std::string("field '") + key + "' is not a string"};
    for (std::size_t i = 0; i < N; ++i)
        if (v->get_string() == names[i]) return static_cast<int>(i);
    throw TBad{std::string("unknown ") + key + " " + ShownKey(v->get_string())};
}

// The largest event number and move count: far beyond any game, small enough for every reader.
constexpr int64_t MaxNumber = int64_t{1} << 40;

std::string Serialize(const json::object& o) {
    return json::serialize(o);
}

} // namespace

const char* RefusalName(TRefusal code) {
    return RefusalNames[static_cast<int>(code)];
}

const char* RequestName(TRequest type) {
    return RequestNames[static_cast<int>(type)];
}

const char* EventKindName(TEventKind kind) {
    return EventKindNames[static_cast<int>(kind)];
}

bool ParseClientMessage(std::string_view text, TClientMessage& out, std::string& error) {
    try {
        const json::object o = ReadObject(text);
        TClientMessage m;
        m.type = static_cast<TRequest>(NameIndex(o, "type", RequestNames));
        // Each type's keys, with the values only it has; the shared ones after.
        switch (m.type) {
        case TRequest::Create:
            OnlyKeys(o, {"type", "secret"});
            break;
        case TRequest::Record:
            OnlyKeys(o, {"type", "secret"});
            break;
        case TRequest::Join:
            OnlyKeys(o, {"type", "game", "invitation", "secret"});
            m.invitation = Hex(o, "invitation", SecretDigits);
            break;
        case TRequest::Hello:
            OnlyKeys(o, {"type", "game", "secret", "last", "digest"});
            m.last = Integer(o, "last", 0, MaxNumber);
            m.digest = Hex(o, "digest", DigestDigits);
            break;
        case TRequest::Move:
            OnlyKeys(o, {"type", "secret", "cell", "after"});
            m.cell = static_cast<int>(Integer(o, "cell", 0, BoardSize - 1));
            break;
        case TRequest::TakeBack:
            OnlyKeys(o, {"type", "secret", "after"});
            break;
        case TRequest::TakeBackAnswer:
            OnlyKeys(o, {"type", "secret", "accept", "after"});
            m.accept = Boolean(o, "accept");
            break;
        }
        if (o.contains("game")) m.game = Hex(o, "game", GameIdDigits);
        if (o.contains("secret")) m.secret = Hex(o, "secret", SecretDigits);
        if (o.contains("after")) m.after = Integer(o, "after", 0, MaxNumber);
        out = std::move(m);
        return true;
    } catch (const TBad& bad) {
        error = bad.what;
        return false;
    }
}

// ---- Events ----

std::string EventText(const TEvent& e) {
    json::object o;
    o["type"] = "event";
    o["n"] = e.n;
    o["kind"] = EventKindName(e.kind);
    o["player"] = e.player;
    switch (e.kind) {
    case TEventKind::Put:
        o["cell"] = e.cell;
        break;
    case TEventKind::End:
        o["winner"] = e.winner;
        o["count1"] = e.count1;
        o["count2"] = e.count2;
        if (e.reason != TEndReason::Board)
            o["reason"] = game_events::EndReasonNames[static_cast<int>(e.reason)];
        break;
    case TEventKind::TakeBackOffer:
    case TEventKind::TakeBack:
        o["moves"] = e.moves;
        break;
    case TEventKind::Join:
    case TEventKind::Pass:
    case TEventKind::TakeBackDeclined:
        break;
    }
    return Serialize(o);
}

bool ParseEvent(std::string_view text, TEvent& out, std::string& error) {
    try {
        const json::object o = ReadObject(text);
        NameIndex(o, "type", EventType);
        TEvent e;
        e.kind = static_cast<TEventKind>(NameIndex(o, "kind", EventKindNames));
        switch (e.kind) {
        case TEventKind::Put:
            OnlyKeys(o, {"type", "n", "kind", "player", "cell"});
            e.cell = static_cast<int>(Integer(o, "cell", 0, BoardSize - 1));
            break;
        case TEventKind::End:
            // The board's end names no reason; a game given up says so.
            if (o.contains("reason")) {
                OnlyKeys(o,
                         {"type", "n", "kind", "player", "winner", "count1", "count2", "reason"});
                e.reason = static_cast<TEndReason>(NameIndex(o, "reason", AbandonedName) + 1);
            } else {
                OnlyKeys(o, {"type", "n", "kind", "player", "winner", "count1", "count2"});
            }
            e.winner = static_cast<int>(Integer(o, "winner", 0, 2));
            e.count1 = static_cast<int>(Integer(o, "count1", 0, PlayableCells));
            e.count2 = static_cast<int>(Integer(o, "count2", 0, PlayableCells));
            break;
        case TEventKind::TakeBackOffer:
        case TEventKind::TakeBack:
            OnlyKeys(o, {"type", "n", "kind", "player", "moves"});
            e.moves = Integer(o, "moves", 0, MaxNumber);
            break;
        case TEventKind::Join:
        case TEventKind::Pass:
        case TEventKind::TakeBackDeclined:
            OnlyKeys(o, {"type", "n", "kind", "player"});
            break;
        }
        e.n = Integer(o, "n", 1, MaxNumber);
        // The end names no player; every other event names 1 or 2.
        e.player = static_cast<int>(Integer(o, "player", e.kind == TEventKind::End ? 0 : 1, 2));
        out = e;
        return true;
    } catch (const TBad& bad) {
        error = bad.what;
        return false;
    }
}

// ---- Other messages ----

std::string CreatedText(const std::string& game, const std::string& secret,
                        const std::string& invitation) {
    return Serialize({{"type", "created"},
                      {"game", game},
                      {"seat", 1},
                      {"secret", secret},
                      {"invitation", invitation}});
}

std::string JoinedText(const std::string& game, const std::string& secret) {
    return Serialize({{"type", "joined"}, {"game", game}, {"seat", 2}, {"secret", secret}});
}

std::string WelcomeText(const std::string& game, int seat, int64_t last, bool reset) {
    return Serialize(
        {{"type", "welcome"}, {"game", game}, {"seat", seat}, {"last", last}, {"reset", reset}});
}

std::string PresenceText(int player, bool here) {
    return Serialize({{"type", "presence"}, {"player", player}, {"here", here}});
}

std::string RefusedText(const char* request, TRefusal code, const std::string& reason,
                        int64_t last) {
    return Serialize({{"type", "refused"},
                      {"request", request},
                      {"code", RefusalName(code)},
                      {"reason", reason},
                      {"last", last}});
}

std::string RecordText(const std::string& game, const std::string& record) {
    return Serialize({{"type", "record"}, {"game", game}, {"text", record}});
}

} // namespace protocol
