// The hub between pages and the store, with connections made of plain objects, and the SQLite
// store on its own: nothing is announced before it is stored, a page coming back is sent
// exactly what it missed, and a store that fails leaves no page ahead of it.
#include <gtest/gtest.h>

#include <boost/json.hpp>

#include <filesystem>

#include "server/hub.h"
#include "server/secret.h"
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

// A page's own secret, different for every n.
std::string PageSecret(int n) {
    return secret::Hashed(std::to_string(n)).substr(0, protocol::SecretDigits);
}

std::string CreateText(const std::string& secret) {
    return R"({"type":"create","secret":")" + secret + R"("})";
}

std::string JoinText(const std::string& game, const std::string& invitation,
                     const std::string& secret) {
    return R"({"type":"join","game":")" + game + R"(","invitation":")" + invitation +
           R"(","secret":")" + secret + R"("})";
}

struct HubTest : ::testing::Test {
    store::TSqliteStore sqlite{":memory:"};
    TFailingStore store{sqlite};
    TGameHub hub{store, Options()};
    TFakeLink one, two;
    std::string game, invitation, secret1 = PageSecret(1), secret2 = PageSecret(2);

    void Send(TFakeLink& link, const std::string& text) { hub.Received(&link, text); }
    // Creates a game on one and joins it on two.
    void Seat() {
        Send(one, CreateText(secret1));
        EXPECT_TRUE(one.sent.empty()) << "a game is announced before it is stored";
        hub.Flush();
        const auto created = one.Take("created");
        ASSERT_EQ(created.size(), 1u);
        game = Str(created[0], "game");
        EXPECT_EQ(Str(created[0], "secret"), secret1);
        invitation = Str(created[0], "invitation");
        Send(two, JoinText(game, invitation, secret2));
        hub.Flush();
        const auto joined = two.Take("joined");
        ASSERT_EQ(joined.size(), 1u);
        EXPECT_EQ(Str(joined[0], "secret"), secret2);
        EXPECT_EQ(one.EventNumbers(), std::vector<int64_t>{1});
        EXPECT_EQ(two.EventNumbers(), std::vector<int64_t>{1});
    }
    std::string Move(const std::string& secret, int cell, int64_t after) {
        return R"({"type":"move","secret":")" + secret + R"(","cell":)" + std::to_string(cell) +
               R"(,"after":)" + std::to_string(after) + "}";
    }
    // A hello of a page that holds the store's first last events (or, beyond them, its own).
    std::string Hello(const std::string& secret, int64_t last) {
        protocol::THistoryDigest digest;
        const auto stored = sqlite.Load(game);
        for (int64_t n = 1; stored && n <= last && n <= int64_t(stored->events.size()); ++n)
            digest.Add(stored->events[n - 1]);
        return HelloWith(secret, last, digest.Hex());
    }
    std::string HelloWith(const std::string& secret, int64_t last, const std::string& digest) {
        return R"({"type":"hello","game":")" + game + R"(","secret":")" + secret + R"(","last":)" +
               std::to_string(last) + R"(,"digest":")" + digest + R"("})";
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

    // A page ahead of the store, or whose history differs from it (a database restored from
    // a backup), is sent the game again from event 1.
    struct TCase {
        int64_t last;
        std::vector<int64_t> sent;
        bool reset;
        std::string digest; // the page's own, or empty for the store's
    };
    const std::string other(protocol::DigestDigits, '0');
    for (const TCase& c : {TCase{1, {2}, false, ""}, TCase{2, {}, false, ""},
                           TCase{0, {1, 2}, false, ""}, TCase{9, {1, 2}, true, ""},
                           TCase{2, {1, 2}, true, other}, TCase{1, {1, 2}, true, other}}) {
        TFakeLink back;
        Send(back,
             c.digest.empty() ? Hello(secret2, c.last) : HelloWith(secret2, c.last, c.digest));
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

// The answer to a create or a join is lost with its connection: the same request again, on a
// new connection, is answered as the first was, and costs no second game. Another device with
// the link is still refused.
TEST_F(HubTest, ACreateOrJoinWhoseAnswerIsLostIsAnsweredAgain) {
    Send(one, CreateText(secret1));
    hub.Closed(&one); // gone before the game is stored
    hub.Flush();
    for (int i = 0; i < 5; ++i) { // more than the address may create
        TFakeLink again;
        Send(again, CreateText(secret1));
        hub.Flush();
        const auto created = again.Take("created");
        ASSERT_EQ(created.size(), 1u) << i;
        if (i == 0) {
            game = Str(created[0], "game");
            invitation = Str(created[0], "invitation");
        }
        EXPECT_EQ(Str(created[0], "game"), game);
        EXPECT_EQ(Str(created[0], "invitation"), invitation);
        hub.Closed(&again);
    }
    EXPECT_EQ(sqlite.ListUnfinished().size(), 1u);

    Send(two, JoinText(game, invitation, secret2));
    hub.Closed(&two); // the join is stored, its answer never arrives
    hub.Flush();
    TFakeLink back, other;
    Send(back, JoinText(game, invitation, secret2));
    Send(other, JoinText(game, invitation, PageSecret(3)));
    hub.Flush();
    EXPECT_EQ(Str(back.Take("joined").at(0), "secret"), secret2);
    EXPECT_EQ(back.EventNumbers(), std::vector<int64_t>{1});
    const auto refused = other.Take("refused");
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(Str(refused[0], "code"), "secret");
    EXPECT_TRUE(other.Take("joined").empty());

    // The creator's repeat after the join: the created answer, then the game so far.
    TFakeLink creator;
    Send(creator, CreateText(secret1));
    EXPECT_EQ(creator.Take("created").size(), 1u);
    EXPECT_EQ(creator.EventNumbers(), std::vector<int64_t>{1});
    Send(creator, Move(secret1, 50, 1));
    hub.Flush();
    EXPECT_EQ(back.EventNumbers(), std::vector<int64_t>{2});
}

// Each refusal names what the page is to do.
TEST_F(HubTest, EveryRefusalCarriesItsCode) {
    Seat();
    struct TCase {
        TFakeLink* link;
        std::string text;
        const char* code;
    };
    TFakeLink fresh;
    const std::string stranger = PageSecret(9);
    const TCase cases[] = {
        {&one, Move(secret1, 15, 1), "rules"},
        {&two, Move(secret2, 47, 1), "rules"}, // not seat 2's turn
        {&one, Move(secret1, 50, 0), "step"},
        {&one, Move(secret1, 50, 7), "step"},
        {&one, Move(stranger, 50, 1), "secret"},
        {&one, Hello(secret1, 1), "rules"}, // a seat already held
        {&fresh, Move(secret1, 50, 1), "rules"},
        {&fresh, HelloWith(stranger, 0, std::string(64, '0')), "secret"},
        {&fresh,
         R"({"type":"hello","game":"0000000000000000","secret":")" + secret1 +
             R"(","last":0,"digest":")" + std::string(64, '0') + R"("})",
         "gone"},
        {&fresh, JoinText(game, PageSecret(8), stranger), "secret"},
    };
    for (const TCase& c : cases) {
        Send(*c.link, c.text);
        const auto refused = c.link->Take("refused");
        ASSERT_EQ(refused.size(), 1u) << c.text;
        EXPECT_EQ(Str(refused[0], "code"), c.code) << c.text;
        c.link->sent.clear();
    }
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
    Send(one, CreateText(secret1));
    hub.Flush();
    const auto created = one.Take("created")[0];
    game = Str(created, "game");
    Send(two, JoinText(game, Str(created, "invitation"), secret2));
    TFakeLink third;
    Send(third, JoinText(game, Str(created, "invitation"), PageSecret(3))); // before the first
                                                                            // join is stored
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
        Send(link, CreateText(PageSecret(10 + i)));
        hub.Flush();
        EXPECT_EQ(link.Take("created").size(), i < 3 ? 1u : 0u) << i;
        EXPECT_EQ(link.Take("refused").size(), i < 3 ? 0u : 1u) << i;
        hub.Closed(&link);
    }
    TFakeLink elsewhere("10.0.0.2");
    Send(elsewhere, CreateText(PageSecret(20)));
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
    EXPECT_EQ(g2->invitation, "i-g2");
    EXPECT_TRUE(g2->finished);
    EXPECT_FALSE(db.Load("g3"));
    EXPECT_EQ(db.ListUnfinished(), std::vector<std::string>{"g1"});
    EXPECT_EQ(db.CountOpen("a", 0), 1);
    EXPECT_EQ(db.CountOpen("a", 101), 0);
    std::filesystem::remove_all(dir);
}
