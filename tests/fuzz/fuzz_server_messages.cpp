// Fuzzes the server's side of a game: a page's messages and the hub's handling of them. Two
// pages meet in a game first (the fuzzer cannot guess secrets), then each input line is a
// message from one of three connections (its first byte), either raw bytes or a compact request
// carrying the right secrets (its second: m move, t takeback, a answer, h hello, j join, r
// record), with flushes (f), drops (c) and a failing store (x) mixed in. Whatever comes, nothing
// crashes, every refusal is one line, each page is sent events 1, 2, 3... exactly as stored, and
// the store's events replay through the rules.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "server/hub.h"
#include "server/sqlite_store.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

struct TLink final : server::TLink {
    void Send(std::string text) override { sent.push_back(std::move(text)); }
    void Close(uint16_t code, std::string reason) override {
        Require(code == server::ClosePolicy || code == server::CloseInternal ||
                    code == server::CloseReplaced,
                "a strange close");
        RequireOneLine(reason);
        closed = true;
    }
    const std::string& Address() const override { return address; }
    std::size_t Queued() const override { return 0; }
    std::string address = "127.0.0.1";
    std::vector<std::string> sent;
    bool closed = false;
};

struct TStore final : store::TGameStore {
    std::vector<store::TCommitOutcome> Commit(const std::vector<store::TGameChange>& c) override {
        if (fail) throw store::TStoreError("refused by the fuzzer");
        return db.Commit(c);
    }
    std::optional<store::TStoredGame> Load(const std::string& id) override { return db.Load(id); }
    std::vector<std::string> ListUnfinished() override { return db.ListUnfinished(); }
    int CountOpen(const std::string& a, int64_t s) override { return db.CountOpen(a, s); }
    store::TSweepResult Sweep(const store::TSweepRules& rules) override { return db.Sweep(rules); }
    void Ping() override { db.Ping(); }
    store::TSqliteStore db{":memory:"};
    bool fail = false;
};

// The value of "key":"..." in a message the server wrote, or empty.
std::string Field(const std::string& text, const std::string& key) {
    const std::string mark = "\"" + key + "\":\"";
    const std::size_t at = text.find(mark);
    if (at == std::string::npos) return {};
    const std::size_t start = at + mark.size();
    return text.substr(start, text.find('"', start) - start);
}

std::string FindField(const std::vector<std::string>& sent, const std::string& key) {
    for (const std::string& text : sent)
        if (std::string value = Field(text, key); !value.empty()) return value;
    return {};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TStore store;
    server::TInlineRunner runner(store);
    server::TGameHub hub(runner, {});
    TLink links[3];
    const std::string secret1(32, '1'), secret2(32, '2');
    hub.Received(&links[0], R"({"type":"create","secret":")" + secret1 + R"("})");
    hub.Flush();
    const std::string game = FindField(links[0].sent, "game");
    const std::string invitation = FindField(links[0].sent, "invitation");
    const std::string join = R"({"type":"join","game":")" + game + R"(","invitation":")" +
                             invitation + R"(","secret":")" + secret2 + R"("})";
    hub.Received(&links[1], join);
    hub.Flush();
    Require(FindField(links[1].sent, "secret") == secret2, "the game did not start");

    int64_t last = 1; // the latest event any page was sent
    std::string_view input(reinterpret_cast<const char*>(data), size);
    while (!input.empty()) {
        const std::size_t end = std::min(input.find('\n'), input.size());
        const std::string_view line = input.substr(0, end);
        input.remove_prefix(std::min(end + 1, input.size()));
        if (line.size() < 2) continue;
        TLink& link = links[static_cast<uint8_t>(line[0]) % 3];
        const uint8_t arg = line.size() > 2 ? static_cast<uint8_t>(line[2]) : 0;
        const int64_t after = last - (line.size() > 3 ? static_cast<uint8_t>(line[3]) % 3 : 0);
        // Mostly the secret of the sender's own seat; now and then the other's.
        const bool other = line.size() > 3 && (static_cast<uint8_t>(line[3]) & 0x40);
        const std::string& own = (&link == &links[1]) != other ? secret2 : secret1;
        const std::string secretField = R"("secret":")" + own + R"(",)";
        std::string message;
        switch (line[1]) {
        case 'm':
            message = R"({"type":"move",)" + secretField + R"("cell":)" +
                      std::to_string(arg % 112) + R"(,"after":)" + std::to_string(after) + "}";
            break;
        case 't':
            message = R"({"type":"takeback",)" + secretField + R"("after":)" +
                      std::to_string(after) + "}";
            break;
        case 'a':
            message = R"({"type":"takeback_answer",)" + secretField + R"("accept":)" +
                      (arg & 1 ? "true" : "false") + R"(,"after":)" + std::to_string(after) + "}";
            break;
        case 'h':
            // The digest of nothing: right for last 0, a differing history for any other.
            message = R"({"type":"hello","game":")" + game + R"(","secret":")" +
                      (arg & 1 ? secret2 : secret1) + R"(","last":)" + std::to_string(arg / 2) +
                      R"(,"digest":")" + protocol::THistoryDigest().Hex() + R"("})";
            break;
        case 'r':
            message = R"({"type":"record",)" + secretField.substr(0, secretField.size() - 1) + "}";
            break;
        case 'j':
            message = join;
            break;
        case 'c': // the connection drops; a new one takes its place
            hub.Closed(&link);
            link = TLink();
            continue;
        case 'f':
            hub.Flush();
            continue;
        case 'x':
            store.fail = !store.fail;
            continue;
        default:
            message = std::string(line.substr(1));
        }
        hub.Received(&link, message);
        // A line with the top bit on leaves its change to share the next commit.
        if ((static_cast<uint8_t>(line[0]) & 0x80) == 0) hub.Flush();
        for (const TLink& l : links)
            for (const std::string& text : l.sent)
                if (text.rfind(R"({"type":"event","n":)", 0) == 0)
                    last = std::max<int64_t>(last, std::stoll(text.substr(20)));
    }
    store.fail = false;
    hub.Flush();

    // What the store holds replays, and every page's events are the stored ones in order
    // (from 1, or from where its hello picked up).
    const auto stored = store.db.Load(game);
    Require(stored.has_value(), "the game left the store");
    std::string error;
    Require(server::TServerGame::Restore(*stored, error).has_value(),
            "stored events do not replay");
    for (const TLink& l : links) {
        int64_t expected = 0;
        for (const std::string& text : l.sent) {
            if (text.rfind(R"({"type":"refused")", 0) == 0) RequireOneLine(Field(text, "reason"));
            // After a hello the events go on from the page's own number, or from 1 on a reset.
            if (text.rfind(R"({"type":"welcome")", 0) == 0)
                expected = text.find("\"reset\":true") != std::string::npos ? 0 : -1;
            if (text.rfind(R"({"type":"event","n":)", 0) != 0) continue;
            const int64_t n = std::stoll(text.substr(20));
            if (expected >= 0) Require(n == expected + 1, "a page's events skip or repeat");
            expected = n;
            Require(n <= static_cast<int64_t>(stored->events.size()), "an event was not stored");
            Require(stored->events[n - 1] == text, "a page was sent other than the stored event");
        }
    }
    return 0;
}
