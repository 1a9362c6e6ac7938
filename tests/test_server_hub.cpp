// The hub between pages and the store, with connections made of plain objects, and the SQLite
// store on its own: nothing is announced before it is stored, a page coming back is sent
// exactly what it missed, and a store that fails leaves no page ahead of it.
#include <gtest/gtest.h>

#include <boost/json.hpp>

#include <sqlite3.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <thread>

#include "server/hub.h"
#include "server/secret.h"
#include "server/sqlite_store.h"
#include "tests/subprocess.h"

namespace json = boost::json;
using server::TGameHub;

namespace {

struct TFakeLink : server::TLink {
    explicit TFakeLink(std::string address = "10.0.0.1") : address(std::move(address)) {}
    void Send(std::string text) override { sent.push_back(json::parse(text).as_object()); }
    void Close(uint16_t code, std::string) override { closed = code; }
    const std::string& Address() const override { return address; }
    // A page that reads what it was sent only when the test takes it, or one that reads at once.
    std::size_t Queued() const override { return slow ? sent.size() : 0; }

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
    bool slow = false;
};

// A store that fails as it is told: whole commits, one game's change, reads, or with an
// exception no store should throw.
struct TFailingStore final : store::TGameStore {
    explicit TFailingStore(store::TGameStore& inner) : inner(inner) {}
    std::vector<store::TCommitOutcome> Commit(const std::vector<store::TGameChange>& c) override {
        if (fail) throw store::TStoreError("the disk is full");
        if (odd) throw std::logic_error("a fault of the store's own");
        std::vector<store::TGameChange> kept;
        for (const auto& change : c)
            if (change.id != failGame) kept.push_back(change);
        auto outcomes = inner.Commit(kept);
        for (std::size_t i = 0; i < c.size(); ++i)
            if (c[i].id == failGame)
                outcomes.insert(outcomes.begin() + static_cast<std::ptrdiff_t>(i),
                                {store::TCommitResult::Failed, "this game's page is bad"});
        return outcomes;
    }
    std::optional<store::TStoredGame> Load(const std::string& id) override {
        if (failLoads) throw store::TStoreError("the disk is gone");
        return inner.Load(id);
    }
    std::vector<std::string> ListUnfinished() override { return inner.ListUnfinished(); }
    int CountOpen(const std::string& a, int64_t s) override { return inner.CountOpen(a, s); }
    store::TSweepResult Sweep(const store::TSweepRules& rules) override {
        return inner.Sweep(rules);
    }
    void Ping() override { inner.Ping(); }
    store::TGameStore& inner;
    bool fail = false, odd = false, failLoads = false;
    std::string failGame;
};

std::string Str(const json::object& o, const char* key) {
    return std::string(o.at(key).as_string());
}

server::THubOptions Options(const int64_t& now) {
    server::THubOptions options;
    options.gamesPerAddress = 3;
    options.abandonDays = 7;
    options.keepDays = 30;
    options.clock = [&now] { return now; };
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
    server::TInlineRunner runner{store};
    int64_t now = 1700000000; // the hub's clock
    TGameHub hub{runner, Options(now)};
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

    // The figures count it all: three commits (the create, the join, the move), two events.
    std::string metrics;
    hub.WriteMetrics(metrics);
    for (const char* line :
         {"# TYPE melvaron_hub_commit_seconds histogram\n", "melvaron_hub_commit_seconds_count 3\n",
          "melvaron_hub_commit_seconds_bucket{le=\"+Inf\"} 3\n",
          "melvaron_hub_events_stored_total 2\n", "melvaron_hub_seated_connections 2\n",
          "melvaron_hub_refusals_total{code=\"secret\"} 1\n",
          "melvaron_hub_refusals_total{code=\"rules\"} 1\n",
          "melvaron_hub_limit_hits_total{limit=\"links_per_seat\"} 0\n"})
        EXPECT_NE(metrics.find(line), std::string::npos) << line << metrics;
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

// A commit the store does not take: the request that made it is refused "again" and nothing is
// announced; its seats stay and are sent what the store holds; the move sent again is stored.
// One game's failure leaves the other game of the same commit stored, and a store that throws
// what no store should is taken as a failure too.
TEST_F(HubTest, AFailedCommitIsRefusedAgainAndTheOthersAreStored) {
    Seat();
    TFakeLink three, four;
    const std::string secret3 = PageSecret(3), secret4 = PageSecret(4);
    Send(three, CreateText(secret3));
    hub.Flush();
    const auto other = three.Take("created").at(0);
    Send(four, JoinText(Str(other, "game"), Str(other, "invitation"), secret4));
    hub.Flush();
    three.sent.clear();

    for (bool odd : {false, true}) {
        store.failGame = odd ? "" : game;
        store.odd = odd;
        const int64_t otherLast = int64_t(sqlite.Load(Str(other, "game"))->events.size());
        four.sent.clear();
        Send(one, Move(secret1, 50, 1));
        if (!odd) Send(three, Move(secret3, 50, otherLast));
        hub.Flush();
        const auto refused = one.Take("refused");
        ASSERT_EQ(refused.size(), 1u) << odd;
        EXPECT_EQ(Str(refused[0], "code"), "again");
        EXPECT_EQ(refused[0].at("last"), 1);
        EXPECT_TRUE(two.Take("event").empty()) << "a move was announced that the store lacks";
        EXPECT_EQ(one.closed, 0);
        EXPECT_EQ(sqlite.Load(game)->events.size(), 1u);
        if (!odd) {
            EXPECT_EQ(four.EventNumbers(), std::vector<int64_t>{2}) << "the other game";
        }
    }
    store.failGame.clear();
    store.odd = false;
    Send(one, Move(secret1, 50, 1));
    hub.Flush();
    EXPECT_EQ(two.EventNumbers(), std::vector<int64_t>{2});

    // A store that can neither write nor read: the game's connections are closed (1011) and
    // come back once it answers.
    store.fail = store.failLoads = true;
    Send(two, Move(secret2, 47, 2));
    hub.Flush();
    EXPECT_EQ(one.closed, server::CloseInternal);
    EXPECT_EQ(two.closed, server::CloseInternal);
    EXPECT_FALSE(hub.StoreAnswers()) << "/healthz would say all is well";
    hub.Closed(&one);
    hub.Closed(&two);
    TFakeLink back;
    Send(back, Hello(secret1, 2));
    EXPECT_EQ(Str(back.Take("refused").at(0), "code"), "again");
    store.fail = store.failLoads = false;
    hub.ProbeStore();
    EXPECT_TRUE(hub.StoreAnswers());
    Send(back, Hello(secret1, 2));
    EXPECT_EQ(back.Take("welcome").at(0).at("last"), 2);
    std::string metrics;
    hub.WriteMetrics(metrics);
    EXPECT_NE(metrics.find("melvaron_hub_refusals_total{code=\"again\"} 3\n"), std::string::npos)
        << metrics;
    EXPECT_EQ(metrics.find("melvaron_hub_store_errors_total 0\n"), std::string::npos) << metrics;
}

// A handler that fails half-way (here a page's connection that throws as it is sent a message)
// closes that connection alone; the hub holds nothing of it and the game goes on.
TEST_F(HubTest, AHandlerThatThrowsClosesItsOwnConnection) {
    Seat();
    struct TThrowingLink final : TFakeLink {
        void Send(std::string text) override {
            if (text.find("\"welcome\"") == std::string::npos && armed)
                throw std::runtime_error("the connection's buffer is gone");
            TFakeLink::Send(std::move(text));
        }
        bool armed = true;
    };
    TThrowingLink tab;
    Send(tab, Hello(secret1, 0)); // the welcome goes, the events after it throw
    EXPECT_EQ(tab.closed, server::CloseInternal);
    Send(tab, Move(secret1, 50, 1)); // a closed connection's messages are not read
    hub.Flush();
    EXPECT_EQ(two.EventNumbers(), std::vector<int64_t>{}) << "the closed tab moved";
    hub.Closed(&tab);

    Send(one, Move(secret1, 50, 1));
    hub.Flush();
    EXPECT_EQ(one.EventNumbers(), std::vector<int64_t>{2});
    EXPECT_EQ(two.EventNumbers(), std::vector<int64_t>{2});
    EXPECT_EQ(hub.SeatedLinks(), 2u);
}

// A seat's fifth connection makes the oldest give way (4001); the seat stays taken, so the
// other player sees nothing of it, and the four left are sent the game.
TEST_F(HubTest, AFifthConnectionReplacesTheOldest) {
    Seat();
    two.sent.clear();
    TFakeLink tabs[4];
    for (TFakeLink& tab : tabs) Send(tab, Hello(secret1, 1));
    EXPECT_EQ(one.closed, server::CloseReplaced);
    for (TFakeLink& tab : tabs) EXPECT_EQ(tab.closed, 0);
    EXPECT_TRUE(two.Take("presence").empty());
    Send(one, Move(secret1, 50, 1));
    Send(tabs[0], Move(secret1, 50, 1));
    hub.Flush();
    for (TFakeLink& tab : tabs) EXPECT_EQ(tab.EventNumbers(), std::vector<int64_t>{2});
    EXPECT_TRUE(one.Take("event").empty());
    hub.Closed(&one); // the replaced connection's own close changes nothing
    EXPECT_TRUE(two.Take("presence").empty());
    EXPECT_EQ(hub.SeatedLinks(), 5u);
}

// A game longer than a page's window (a database from before the limit of events): a fresh page
// is sent a window at a time, the next as its connection drains, until it holds every event.
TEST_F(HubTest, AFreshPageIsCaughtUpInBatches) {
    game_events::TEventGame play;
    std::vector<std::string> texts;
    auto take = [&](protocol::TEvent e) {
        e.n = play.Last() + 1;
        std::string error;
        ASSERT_TRUE(play.Take(e, error)) << error;
        texts.push_back(protocol::EventText(e));
    };
    take({.kind = protocol::TEventKind::Join, .player = 2});
    take({.kind = protocol::TEventKind::Put, .player = 1, .cell = 50});
    while (texts.size() < 3000) {
        take({.kind = protocol::TEventKind::TakeBackOffer, .player = 1, .moves = 0});
        take({.kind = protocol::TEventKind::TakeBackDeclined, .player = 2});
    }
    const auto made = server::TServerGame::New(secret1);
    game = made.Id();
    store::TGameChange c;
    c.id = game;
    c.create = true;
    c.secret1 = made.SecretHash(1);
    c.invitation = made.InvitationHash();
    c.creator = "10.0.0.1";
    c.created = now;
    c.secret2 = secret::Hashed(secret2);
    c.events = texts;
    ASSERT_EQ(sqlite.Commit({c}).at(0).result, store::TCommitResult::Stored);

    TFakeLink page;
    page.slow = true;
    Send(page, Hello(secret2, 0));
    std::vector<int64_t> got;
    for (int batch = 0; got.size() < texts.size() && batch < 100; ++batch) {
        const auto numbers = page.EventNumbers();
        EXPECT_LE(numbers.size(), std::size_t(protocol::CatchUpWindow));
        EXPECT_FALSE(numbers.empty()) << "a drained page was sent nothing";
        got.insert(got.end(), numbers.begin(), numbers.end());
        page.sent.clear();
        hub.Drained(&page);
    }
    ASSERT_EQ(got.size(), texts.size());
    for (std::size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], int64_t(i) + 1);
    // Caught up, it is sent what comes at once.
    Send(one, Hello(secret1, int64_t(texts.size())));
    Send(one, Move(secret1, 47, int64_t(texts.size())));
    hub.Flush();
    EXPECT_EQ(page.Take("refused").size(), 0u);
    EXPECT_EQ(Str(one.Take("refused").at(0), "code"), "rules"); // player 2 is to move
}

// The sweep by a test clock: an unused invitation expires after a day, a game nobody moved in
// ends as abandoned (announced to a seat that is there), a finished game is kept, its record
// downloadable, and then deleted; the creator's address is forgotten after a day.
TEST_F(HubTest, TheSweepForgetsWhatIsOld) {
    TFakeLink lonely;
    const std::string unused = PageSecret(5);
    Send(lonely, CreateText(unused));
    hub.Flush();
    const std::string unusedGame = Str(lonely.Take("created").at(0), "game");
    const std::string unusedInvitation = secret::InvitationOf(unused);
    hub.Closed(&lonely);
    Seat();
    Send(one, Move(secret1, 50, 1));
    hub.Flush();
    hub.Closed(&two);
    one.sent.clear();

    now += protocol::InvitationSeconds;
    hub.Sweep();
    TFakeLink late;
    Send(late, JoinText(unusedGame, unusedInvitation, PageSecret(6)));
    EXPECT_EQ(Str(late.Take("refused").at(0), "code"), "gone");
    EXPECT_FALSE(sqlite.Load(unusedGame));
    EXPECT_EQ(sqlite.Load(game)->creator, "");
    EXPECT_EQ(sqlite.CountOpen("10.0.0.1", 0), 0);

    now += 6 * 24 * 3600; // a week without a move, seat 1 still there
    hub.Sweep();
    hub.Flush();
    const auto events = one.Take("event");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(Str(events[0], "kind"), "end");
    EXPECT_EQ(Str(events[0], "reason"), "abandoned");
    EXPECT_EQ(events[0].at("winner"), 0);
    EXPECT_TRUE(sqlite.Load(game)->finished);
    hub.Closed(&one);

    now += 29 * 24 * 3600;
    hub.Sweep();
    TFakeLink reader;
    Send(reader, Hello(secret2, 3));
    Send(reader, R"({"type":"record","secret":")" + secret2 + R"("})");
    EXPECT_EQ(reader.Take("record").size(), 1u);
    hub.Closed(&reader);
    now += 24 * 3600;
    hub.Sweep();
    EXPECT_FALSE(sqlite.Load(game));
    Send(reader, Hello(secret2, 3));
    EXPECT_EQ(Str(reader.Take("refused").at(0), "code"), "gone");
}

// The hub's store work through a runner that waits until the test lets it: while a commit is
// under way the hub goes on reading, the next commit waits for it and carries all that came
// meanwhile, and a connection's messages sent while its seat is read are handled after, in order.
TEST(ServerHubStore, ACommitUnderWayHoldsNothingButItsOwnAnswers) {
    struct TManualRunner final : server::TStoreRunner {
        explicit TManualRunner(store::TGameStore& store) : store(store) {}
        void Run(server::TStoreWork work, server::TStoreDone done) override {
            jobs.push_back({std::move(work), std::move(done)});
        }
        // Runs the first job waiting and its continuation; false when none waits.
        bool Step() {
            if (jobs.empty()) return false;
            auto job = std::move(jobs.front());
            jobs.pop_front();
            std::exception_ptr failure;
            try {
                job.first(store);
            } catch (...) {
                failure = std::current_exception();
            }
            job.second(failure);
            return true;
        }
        store::TGameStore& store;
        std::deque<std::pair<server::TStoreWork, server::TStoreDone>> jobs;
    };
    store::TSqliteStore sqlite(":memory:");
    TManualRunner runner(sqlite);
    int64_t now = 1700000000;
    TGameHub hub(runner, Options(now));
    TFakeLink one, two;
    const std::string secret1 = PageSecret(1), secret2 = PageSecret(2);

    // A create, and a record asked for before its answer: the record waits behind the seat.
    hub.Received(&one, CreateText(secret1));
    hub.Received(&one, R"({"type":"record","secret":")" + secret1 + R"("})");
    EXPECT_TRUE(runner.Step()); // the read: no such game
    hub.Flush();
    EXPECT_TRUE(one.sent.empty());
    EXPECT_TRUE(runner.Step()); // the commit
    EXPECT_EQ(one.Take("created").size(), 1u);
    EXPECT_EQ(one.Take("record").size(), 1u);
    const std::string game = secret::GameIdOf(secret1);

    hub.Received(&two, JoinText(game, secret::InvitationOf(secret1), secret2));
    hub.Flush(); // the join, in memory: no read
    EXPECT_EQ(runner.jobs.size(), 1u);
    EXPECT_TRUE(runner.Step());
    EXPECT_EQ(two.Take("joined").size(), 1u);

    // A move whose commit is under way; the answer to it comes meanwhile (a page that guessed
    // it) and waits for the next commit, which the first one's end starts.
    hub.Received(&one, R"({"type":"move","secret":")" + secret1 + R"(","cell":50,"after":1})");
    hub.Flush();
    hub.Received(&two, R"({"type":"move","secret":")" + secret2 + R"(","cell":47,"after":2})");
    hub.Received(&one, R"({"type":"record","secret":")" + secret1 + R"("})");
    hub.Flush();
    EXPECT_EQ(runner.jobs.size(), 1u) << "a second commit began before the first ended";
    EXPECT_TRUE(two.Take("refused").empty());
    EXPECT_TRUE(hub.Busy());
    EXPECT_TRUE(runner.Step());
    EXPECT_EQ(two.EventNumbers(), (std::vector<int64_t>{1, 2}));
    EXPECT_TRUE(one.Take("record").empty()) << "a record without the move it answered";
    EXPECT_EQ(runner.jobs.size(), 1u);
    EXPECT_TRUE(runner.Step());
    EXPECT_EQ(one.EventNumbers(), (std::vector<int64_t>{1, 2, 3}));
    EXPECT_EQ(one.Take("record").size(), 1u);
    EXPECT_FALSE(runner.Step());
    EXPECT_FALSE(hub.Busy());
    bool idle = false;
    hub.WhenIdle([&] { idle = true; });
    EXPECT_TRUE(idle);
}

TEST(ServerStoreThread, RunsInOrderAndHandsEachResultBack) {
    store::TSqliteStore sqlite(":memory:");
    std::mutex mutex;
    std::condition_variable posted;
    std::deque<std::function<void()>> inbox; // the hub's thread's, here the test's
    server::TStoreThread thread(sqlite, [&](std::function<void()> done) {
        std::lock_guard<std::mutex> lock(mutex);
        inbox.push_back(std::move(done));
        posted.notify_one();
    });
    std::vector<int> order;
    const std::thread::id self = std::this_thread::get_id();
    for (int i = 0; i < 20; ++i)
        thread.Run(
            [&, i](store::TGameStore& store) {
                EXPECT_NE(std::this_thread::get_id(), self);
                if (i == 7) throw store::TStoreError("a bad moment");
                store.Ping();
            },
            [&, i](std::exception_ptr failure) {
                EXPECT_EQ(std::this_thread::get_id(), self);
                EXPECT_EQ(failure != nullptr, i == 7);
                order.push_back(i);
            });
    thread.WaitIdle();
    for (;;) {
        std::function<void()> done;
        {
            std::unique_lock<std::mutex> lock(mutex);
            if (inbox.empty()) break;
            done = std::move(inbox.front());
            inbox.pop_front();
        }
        done();
    }
    std::vector<int> expected(20);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(order, expected);
    thread.Stop();
    bool ran = false;
    thread.Run([](store::TGameStore&) {}, [&](std::exception_ptr) { ran = true; });
    EXPECT_TRUE(ran) << "work after the stop runs at once";
}

TEST(ServerStore, CommitsEachGameWholeAndReadsBackAfterReopening) {
    const std::filesystem::path dir = subprocess::TempPath("store");
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "games.sqlite3").string();
    using store::TCommitResult;
    auto results = [](const std::vector<store::TCommitOutcome>& outcomes) {
        std::vector<TCommitResult> r;
        for (const auto& o : outcomes) r.push_back(o.result);
        return r;
    };
    {
        store::TSqliteStore db(path);
        EXPECT_THROW(store::TSqliteStore second(path), store::TStoreError)
            << "two servers opened one database";
        EXPECT_EQ(
            results(db.Commit({Change("g1", 1, {"e1"}, "a", 100), Change("g2", 1, {}, "a", 200)})),
            (std::vector{TCommitResult::Stored, TCommitResult::Stored}));
        store::TGameChange join = Change("g2", 1, {"e1", "e2"});
        join.secret2 = "t2";
        join.finished = true;
        join.at = 300;
        // g1's change is another writer's event 1 again: refused whole, while g2's is stored.
        EXPECT_EQ(results(db.Commit({Change("g1", 1, {"x1", "x2"}), join})),
                  (std::vector{TCommitResult::Conflict, TCommitResult::Stored}));
        join.events.clear();
        join.finished = false;
        EXPECT_EQ(results(db.Commit({join, Change("g1", 2, {"e2"})})),
                  (std::vector{TCommitResult::Conflict, TCommitResult::Stored})); // seat 2 taken
        EXPECT_EQ(results(db.Commit({Change("g1", 1, {}, "a", 100)})),
                  std::vector{TCommitResult::Conflict}); // the game exists
    }
    store::TSqliteStore db(path);
    const auto g1 = db.Load("g1");
    ASSERT_TRUE(g1);
    EXPECT_EQ(g1->events, (std::vector<std::string>{"e1", "e2"}));
    EXPECT_EQ(g1->invitation, "i-g1");
    EXPECT_FALSE(g1->finished);
    const auto g2 = db.Load("g2");
    ASSERT_TRUE(g2);
    EXPECT_EQ(g2->secret2, "t2");
    EXPECT_EQ(g2->invitation, "i-g2");
    EXPECT_TRUE(g2->finished);
    EXPECT_EQ(g2->finishedAt, 300);
    EXPECT_EQ(g2->active, 300);
    EXPECT_FALSE(db.Load("g3"));
    EXPECT_EQ(db.ListUnfinished(), std::vector<std::string>{"g1"});
    EXPECT_EQ(db.CountOpen("a", 0), 1);
    EXPECT_EQ(db.CountOpen("a", 101), 0);
    std::filesystem::remove_all(dir);
}

// A database of schema 1 (secrets as they are) is brought to schema 2 at start: its secrets and
// invitations become their hashes and no trace of them stays in the files; a newer schema is
// refused in one line.
TEST(ServerStore, AnOlderSchemaIsMigratedAndANewerRefused) {
    const std::filesystem::path dir = subprocess::TempPath("schema");
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "games.sqlite3").string();
    const std::string secret1 = PageSecret(1), secret2 = PageSecret(2), invitation = PageSecret(3);
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        const std::string sql =
            "PRAGMA journal_mode = WAL;"
            "CREATE TABLE games(id TEXT PRIMARY KEY, secret1 TEXT NOT NULL, secret2 TEXT NOT NULL "
            "DEFAULT '', invitation TEXT NOT NULL DEFAULT '', creator TEXT NOT NULL, created "
            "INTEGER NOT NULL, finished INTEGER NOT NULL DEFAULT 0);"
            "CREATE INDEX games_open ON games(creator, finished, created);"
            "CREATE TABLE events(game TEXT NOT NULL REFERENCES games(id), n INTEGER NOT NULL, "
            "body TEXT NOT NULL, PRIMARY KEY(game, n)) WITHOUT ROWID;"
            "INSERT INTO games VALUES('g1', '" +
            secret1 + "', '" + secret2 +
            "', '', 'a', 5, 0);"
            "INSERT INTO games VALUES('g2', '" +
            secret1 + "', '', '" + invitation +
            "', 'a', 6, 0);"
            "INSERT INTO events VALUES('g1', 1, 'e1');"
            "PRAGMA user_version = 1;";
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    {
        store::TSqliteStore db(path);
        const auto g1 = db.Load("g1");
        ASSERT_TRUE(g1);
        EXPECT_EQ(g1->secret1, secret::Hashed(secret1));
        EXPECT_EQ(g1->secret2, secret::Hashed(secret2));
        EXPECT_GT(g1->active, 0);
        EXPECT_EQ(g1->events, std::vector<std::string>{"e1"});
        EXPECT_EQ(db.Load("g2")->invitation, secret::Hashed(invitation));
    }
    for (const auto& file : std::filesystem::directory_iterator(dir)) {
        std::ifstream in(file.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        for (const std::string& s : {secret1, secret2, invitation})
            EXPECT_EQ(bytes.find(s), std::string::npos) << file.path();
    }
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version = 3", nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    try {
        store::TSqliteStore db(path);
        ADD_FAILURE() << "a newer schema was opened";
    } catch (const store::TStoreError& e) {
        EXPECT_NE(std::string(e.what()).find("newer"), std::string::npos) << e.what();
        EXPECT_EQ(std::string(e.what()).find('\n'), std::string::npos);
    }
    std::filesystem::remove_all(dir);
}
