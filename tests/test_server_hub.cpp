// The hub between pages and the store, with connections made of plain objects, and the SQLite
// store on its own: nothing is announced before it is stored, a page coming back is sent
// exactly what it missed, and a store that fails leaves no page ahead of it.
#include <gtest/gtest.h>

#include <boost/json.hpp>

#include <filesystem>

#include "server/hub.h"
#include "server/sqlite_store.h"
#include "tests/subprocess.h"

namespace json = boost::json;
using server::TGameHub;

namespace {

struct TFakeLink final : server::TLink {
    explicit TFakeLink(std::string address = "10.0.0.1") : address(std::move(address)) {}
    void Send(std::string text) override { sent.push_back(json::parse(text).as_object()); }
    void Close(uint16_t code, std::string) override { closed = code; }
    const std::string& Address() const override { return address; }

    // The messages of type, taken off the list.
    std::vector<json::object> Take(const char* type) {
        std::vector<json::object> taken, kept;
        for (auto& m : sent) (m.at("type") == type ? taken : kept).push_back(m);
        sent = kept;
        return taken;
    }
    std::vector<int64_t> EventNumbers() {
        std::vector<int64_t> numbers;
        for (const auto& e : Take("event")) numbers.push_back(e.at("n").as_int64());
        return numbers;
    }

    std::string address;
    std::vector<json::object> sent;
    int closed = 0;
};

// A store that fails its commits while told to.
struct TFailingStore final : store::TGameStore {
    explicit TFailingStore(store::TGameStore& inner) : inner(inner) {}
    void Commit(const std::vector<store::TGameChange>& c) override {
        if (fail) throw store::TStoreError("the disk is full");
        inner.Commit(c);
    }
    std::optional<store::TStoredGame> Load(const std::string& id) override {
        return inner.Load(id);
    }
    std::vector<std::string> ListUnfinished() override { return inner.ListUnfinished(); }
    int CountOpen(const std::string& a, int64_t s) override { return inner.CountOpen(a, s); }
    store::TGameStore& inner;
    bool fail = false;
};

std::string Str(const json::object& o, const char* key) {
    return std::string(o.at(key).as_string());
}

server::THubOptions Options() {
    server::THubOptions options;
    options.gamesPerAddress = 3;
    return options;
}

// A change of game id: its creation when creator is given, events from first.
store::TGameChange Change(std::string id, int64_t first, std::vector<std::string> events,
                          std::string creator = "", int64_t created = 0) {
    store::TGameChange c;
    c.id = std::move(id);
    c.create = !creator.empty();
    c.secret1 = "s-" + c.id;
    c.invitation = "i-" + c.id;
    c.creator = std::move(creator);
    c.created = created;
    c.firstEvent = first;
    c.events = std::move(events);
    return c;
}

struct HubTest : ::testing::Test {
    store::TSqliteStore sqlite{":memory:"};
    TFailingStore store{sqlite};
    TGameHub hub{store, Options()};
    TFakeLink one, two;
    std::string game, secret1, secret2;

    void Send(TFakeLink& link, const std::string& text) { hub.Received(&link, text); }
    // Creates a game on one and joins it on two.
    void Seat() {
        Send(one, R"({"type":"create"})");
        EXPECT_TRUE(one.sent.empty()) << "a game is announced before it is stored";
        hub.Flush();
        const auto created = one.Take("created");
        ASSERT_EQ(created.size(), 1u);
        game = Str(created[0], "game");
        secret1 = Str(created[0], "secret");
        Send(two, R"({"type":"join","game":")" + game + R"(","invitation":")" +
                      Str(created[0], "invitation") + R"("})");
        hub.Flush();
        const auto joined = two.Take("joined");
        ASSERT_EQ(joined.size(), 1u);
        secret2 = Str(joined[0], "secret");
        EXPECT_EQ(one.EventNumbers(), std::vector<int64_t>{1});
        EXPECT_EQ(two.EventNumbers(), std::vector<int64_t>{1});
    }
    std::string Move(const std::string& secret, int cell, int64_t after) {
        return R"({"type":"move","secret":")" + secret + R"(","cell":)" + std::to_string(cell) +
               R"(,"after":)" + std::to_string(after) + "}";
    }
    std::string Hello(const std::string& secret, int64_t last) {
        return R"({"type":"hello","game":")" + game + R"(","secret":")" + secret + R"(","last":)" +
               std::to_string(last) + "}";
    }
};

} // namespace

TEST_F(HubTest, AMoveIsStoredThenAnnouncedToBothSeats) {
    Seat();
    one.Take("presence");
    two.Take("presence");
    Send(one, Move(secret1, 50, 1));
    EXPECT_TRUE(two.sent.empty());
    hub.Flush();
    EXPECT_EQ(sqlite.Load(game)->events.size(), 2u);
    EXPECT_EQ(one.EventNumbers(), std::vector<int64_t>{2});
    EXPECT_EQ(two.EventNumbers(), std::vector<int64_t>{2});

    // Another seat's secret, or one's own out of turn: refused, nothing stored.
    Send(two, Move(secret1, 47, 2));
    EXPECT_NE(Str(two.Take("refused").at(0), "reason").find("does not open seat 2"),
              std::string::npos);
    Send(one, Move(secret1, 61, 2));
    hub.Flush();
    const auto refused = one.Take("refused");
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(Str(refused[0], "request"), "move");
    EXPECT_EQ(sqlite.Load(game)->events.size(), 2u);
    EXPECT_TRUE(two.sent.empty());

    // The record of either seat replays the game.
    Send(two, R"({"type":"record","secret":")" + secret2 + R"("})");
    const auto record = two.Take("record");
    ASSERT_EQ(record.size(), 1u);
    EXPECT_NE(Str(record[0], "text").find("put 1 50 row 3 column 8\n"), std::string::npos);
}

TEST_F(HubTest, APageComingBackIsSentWhatItMissed) {
    Seat();
    Send(one, Move(secret1, 50, 1));
    hub.Flush();
    hub.Closed(&two);
    EXPECT_EQ(one.Take("presence").back().at("here"), false);
    Send(one, Move(secret1, 47, 2)); // not one's turn: refused
    one.Take("refused");
    hub.Closed(&one); // the game leaves memory; the store holds it

    struct TCase {
        int64_t last;
        std::vector<int64_t> sent;
        bool reset;
    };
    for (const TCase& c : {TCase{1, {2}, false}, TCase{2, {}, false}, TCase{0, {1, 2}, false},
                           TCase{9, {1, 2}, true}}) {
        TFakeLink back;
        Send(back, Hello(secret2, c.last));
        const auto welcome = back.Take("welcome");
        ASSERT_EQ(welcome.size(), 1u);
        EXPECT_EQ(welcome[0].at("last"), 2);
        EXPECT_EQ(welcome[0].at("seat"), 2);
        EXPECT_EQ(welcome[0].at("reset"), c.reset);
        EXPECT_EQ(back.EventNumbers(), c.sent) << "last " << c.last;
        hub.Closed(&back);
    }
    TFakeLink stranger;
    Send(stranger, Hello(std::string(32, 'f'), 0));
    EXPECT_EQ(stranger.Take("refused").size(), 1u);
    EXPECT_TRUE(stranger.Take("event").empty());
}

TEST_F(HubTest, PresenceFollowsTheSeats) {
    Seat();
    EXPECT_EQ(two.Take("presence")[0].at("here"), true); // player 1 is there
    EXPECT_EQ(one.Take("presence").back().at("here"), true);
    TFakeLink tab;
    Send(tab, Hello(secret1, 1));
    EXPECT_TRUE(two.Take("presence").empty()); // a second tab: player 1 was already there
    hub.Closed(&one);
    EXPECT_TRUE(two.Take("presence").empty());
    hub.Closed(&tab);
    const auto away = two.Take("presence");
    ASSERT_EQ(away.size(), 1u);
    EXPECT_EQ(away[0].at("player"), 1);
    EXPECT_EQ(away[0].at("here"), false);
}

TEST_F(HubTest, ABrokenMessageClosesItsConnectionAndChangesNothing) {
    Seat();
    for (const char* text : {"{", R"({"type":"move","cell":50})", R"({"type":"fly"})"}) {
        TFakeLink link;
        Send(link, Hello(secret1, 1));
        link.sent.clear();
        Send(link, text);
        EXPECT_EQ(link.closed, server::ClosePolicy) << text;
        Send(link, Move(secret1, 50, 1)); // after the close: not read
        hub.Flush();
        EXPECT_TRUE(link.Take("event").empty());
        hub.Closed(&link);
    }
    EXPECT_EQ(sqlite.Load(game)->events.size(), 1u);
}

TEST_F(HubTest, AThirdDeviceCannotTakeATakenSeat) {
    Send(one, R"({"type":"create"})");
    hub.Flush();
    const auto created = one.Take("created")[0];
    game = Str(created, "game");
    const std::string join = R"({"type":"join","game":")" + game + R"(","invitation":")" +
                             Str(created, "invitation") + R"("})";
    Send(two, join);
    TFakeLink third;
    Send(third, join); // before the first join is even stored
    hub.Flush();
    EXPECT_EQ(two.Take("joined").size(), 1u);
    const auto refused = third.Take("refused");
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_NE(Str(refused[0], "reason").find("taken"), std::string::npos);
    Send(third, Move(std::string(32, 'e'), 50, 1));
    EXPECT_EQ(Str(third.Take("refused")[0], "reason"), "this connection has no seat");
}

TEST_F(HubTest, OneAddressOpensALimitedNumberOfGames) {
    for (int i = 0; i < 4; ++i) {
        TFakeLink link;
        Send(link, R"({"type":"create"})");
        hub.Flush();
        EXPECT_EQ(link.Take("created").size(), i < 3 ? 1u : 0u) << i;
        EXPECT_EQ(link.Take("refused").size(), i < 3 ? 0u : 1u) << i;
        hub.Closed(&link);
    }
    TFakeLink elsewhere("10.0.0.2");
    Send(elsewhere, R"({"type":"create"})");
    hub.Flush();
    EXPECT_EQ(elsewhere.Take("created").size(), 1u);
    EXPECT_EQ(sqlite.ListUnfinished().size(), 4u);
}

TEST_F(HubTest, AFailedStoreClosesTheGameAndItComesBackAsStored) {
    Seat();
    store.fail = true;
    Send(one, Move(secret1, 50, 1));
    hub.Flush();
    EXPECT_EQ(one.closed, server::CloseInternal);
    EXPECT_EQ(two.closed, server::CloseInternal);
    EXPECT_TRUE(two.Take("event").empty()) << "a move was announced that the store lacks";
    hub.Closed(&one);
    hub.Closed(&two);
    store.fail = false;

    TFakeLink back;
    Send(back, Hello(secret1, 1));
    EXPECT_EQ(back.Take("welcome")[0].at("last"), 1);
    Send(back, Move(secret1, 50, 1));
    hub.Flush();
    EXPECT_EQ(back.EventNumbers(), std::vector<int64_t>{2});
}

TEST(ServerStore, CommitsWholeAndReadsBackAfterReopening) {
    const std::filesystem::path dir = subprocess::TempPath("store");
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "games.sqlite3").string();
    {
        store::TSqliteStore db(path);
        db.Commit({Change("g1", 1, {"e1"}, "a", 100), Change("g2", 1, {}, "a", 200)});
        store::TGameChange join = Change("g2", 1, {"e1", "e2"});
        join.secret2 = "t2";
        join.finished = true;
        db.Commit({join});
        // A batch with one bad change stores none of it: event 2 of g1 is new, event 1 is not.
        EXPECT_THROW(db.Commit({Change("g1", 2, {"x2"}), Change("g1", 1, {"x1"})}),
                     store::TStoreError);
        join.events.clear();
        join.finished = false;
        EXPECT_THROW(db.Commit({join}), store::TStoreError); // seat 2 is taken
    }
    store::TSqliteStore db(path);
    const auto g1 = db.Load("g1");
    ASSERT_TRUE(g1);
    EXPECT_EQ(g1->events, std::vector<std::string>{"e1"});
    EXPECT_EQ(g1->invitation, "i-g1");
    EXPECT_FALSE(g1->finished);
    const auto g2 = db.Load("g2");
    ASSERT_TRUE(g2);
    EXPECT_EQ(g2->secret2, "t2");
    EXPECT_TRUE(g2->invitation.empty());
    EXPECT_TRUE(g2->finished);
    EXPECT_FALSE(db.Load("g3"));
    EXPECT_EQ(db.ListUnfinished(), std::vector<std::string>{"g1"});
    EXPECT_EQ(db.CountOpen("a", 0), 1);
    EXPECT_EQ(db.CountOpen("a", 101), 0);
    std::filesystem::remove_all(dir);
}
