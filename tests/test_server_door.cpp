// The door's rules without sockets: which address a connection counts as, the limits' counts,
// the refusal log's pace, the Origin rule, and the metrics' quoting.
#include <gtest/gtest.h>

#include "server/door.h"
#include "server/metrics.h"
#include "server/site.h"

using namespace std::chrono_literals;

TEST(ServerDoorRules, AddressesAreNamedAndCountedByNetwork) {
    struct TCase {
        const char* text;
        const char* normal;  // nullptr: not an address
        const char* counted; // when it is one
    };
    const TCase cases[] = {
        {"192.0.2.1", "192.0.2.1", "192.0.2.1"},
        {"::ffff:192.0.2.1", "192.0.2.1", "192.0.2.1"}, // what a dual-stack socket reports
        {"2001:db8:1:2:3:4:5:6", "2001:db8:1:2:3:4:5:6", "2001:db8:1:2::/64"},
        {"2001:DB8:1:2::ffff", "2001:db8:1:2::ffff", "2001:db8:1:2::/64"},
        {"::1", "::1", "::/64"},
        {"fe80::1%eth0", nullptr, nullptr},
        {"1.2.3", nullptr, nullptr},
        {"example.org", nullptr, nullptr},
        {"", nullptr, nullptr},
    };
    for (const TCase& c : cases) {
        const auto normal = door::NormalAddress(c.text);
        ASSERT_EQ(normal.has_value(), c.normal != nullptr) << c.text;
        if (!normal) continue;
        EXPECT_EQ(*normal, c.normal);
        EXPECT_EQ(door::CountedAddress(*normal), c.counted);
    }
    EXPECT_TRUE(door::Loopback("127.0.0.2"));
    EXPECT_TRUE(door::Loopback("::1"));
    EXPECT_FALSE(door::Loopback("192.0.2.1"));
}

TEST(ServerDoorRules, TheProxysEntryIsTheLastOne) {
    struct TCase {
        const char* fields;
        const char* page; // nullptr: none
    };
    const TCase cases[] = {
        {"203.0.113.7", "203.0.113.7"},
        {"192.0.2.1, 203.0.113.7", "203.0.113.7"}, // what the page claimed, then the proxy's
        {"192.0.2.1,203.0.113.7,2001:db8::1", "2001:db8::1"},
        {" [2001:db8::1] ", "2001:db8::1"},
        {"203.0.113.7, ", nullptr},
        {"203.0.113.7:443", nullptr},
        {"unknown", nullptr},
        {"", nullptr},
    };
    for (const TCase& c : cases) {
        const auto page = door::ForwardedFor(c.fields);
        ASSERT_EQ(page.has_value(), c.page != nullptr) << c.fields;
        if (page) {
            EXPECT_EQ(*page, c.page);
        }
    }
}

TEST(ServerDoorRules, TicketsCountWhileTheyAreHeld) {
    door::TDoor limits(4, 2);
    using door::TRefusal;
    door::TDoor::TTicket a1, a2, a3, b1, proxy;
    EXPECT_EQ(limits.Admit("a", false, a1), TRefusal::None);
    EXPECT_EQ(limits.Admit("a", false, a2), TRefusal::None);
    EXPECT_EQ(limits.Admit("a", false, a3), TRefusal::PerAddress);
    EXPECT_FALSE(a3.Held());
    EXPECT_EQ(limits.Admit("b", false, b1), TRefusal::None);
    // A proxy's connection counts in all only, until its request names a page.
    EXPECT_EQ(limits.Admit("proxy", true, proxy), TRefusal::None);
    EXPECT_EQ(limits.OpenFrom("proxy"), 0);
    EXPECT_EQ(limits.Admit("c", false, a3), TRefusal::InAll);
    EXPECT_EQ(limits.Move(proxy, "a"), TRefusal::PerAddress);
    EXPECT_EQ(limits.Move(proxy, "b"), TRefusal::None);
    EXPECT_EQ(limits.OpenFrom("b"), 2);
    EXPECT_EQ(limits.Move(proxy, "c"), TRefusal::None); // the next request, another page
    EXPECT_EQ(limits.OpenFrom("b"), 1);
    EXPECT_EQ(limits.OpenFrom("c"), 1);
    {
        // A ticket handed on (HTTP to WebSocket) is one place, given back once.
        door::TDoor::TTicket moved = std::move(a1);
        EXPECT_EQ(limits.OpenFrom("a"), 2);
    }
    a1 = door::TDoor::TTicket();
    EXPECT_EQ(limits.OpenFrom("a"), 1);
    EXPECT_EQ(limits.Open(), 3);
    EXPECT_EQ(limits.Admit("a", false, a3), TRefusal::None);
}

TEST(ServerDoorRules, ARefusedAddressIsLoggedOnceAnInterval) {
    door::TRefusalLog log(60s);
    const auto t = door::TRefusalLog::TClock::now();
    uint64_t skipped = 99;
    EXPECT_TRUE(log.Due("a", t, skipped));
    EXPECT_EQ(skipped, 0u);
    EXPECT_FALSE(log.Due("a", t + 1s, skipped));
    EXPECT_FALSE(log.Due("a", t + 59s, skipped));
    EXPECT_TRUE(log.Due("b", t + 59s, skipped));
    EXPECT_TRUE(log.Due("a", t + 60s, skipped));
    EXPECT_EQ(skipped, 2u);
    // A flood from more networks than it remembers stays bounded: the rest are not logged.
    int logged = 0;
    for (int i = 0; i < 1000; ++i) logged += log.Due("n" + std::to_string(i), t + 61s, skipped);
    EXPECT_LT(logged, 300);
    EXPECT_TRUE(log.Due("n999", t + 200s, skipped)); // once the interval has passed
}

TEST(ServerDoorRules, AnOriginIsTheServersOwnNameOrAnAllowedOne) {
    const site::TOwnName loopback{"127.0.0.1", 8080, true};
    const site::TOwnName https{"[2001:db8::1]", 443, false};
    const std::vector<std::string> allowed = {"https://games.example"};
    struct TCase {
        const site::TOwnName& own;
        const char* origin;
        bool allowed;
    };
    const TCase cases[] = {
        {loopback, "", true}, // no browser page
        {loopback, "http://127.0.0.1:8080", true},
        {loopback, "HTTPS://127.0.0.1:8080", true},
        {loopback, "http://localhost:8080", true},
        {loopback, "https://GAMES.example", true},
        {loopback, "http://127.0.0.1", false},
        {loopback, "http://127.0.0.1:8081", false},
        {loopback, "http://127.0.0.1:08080x", false},
        {loopback, "http://rebound.example:8080", false},
        {loopback, "http://127.0.0.1:8080.rebound.example", false},
        {loopback, "ws://127.0.0.1:8080", false},
        {loopback, "null", false},
        {https, "https://[2001:db8::1]", true},
        {https, "https://[2001:db8::1]:443", true},
        {https, "https://localhost", false}, // not a loopback address
        {https, "https://[2001:db8::2]", false},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(site::OriginAllowed(c.origin, c.own, allowed), c.allowed) << c.origin;
}

TEST(ServerDoorRules, MetricsLinesQuoteTheirLabels) {
    std::string out;
    metrics::Family(out, "m_total", "counter", "Things.");
    metrics::Sample(out, "m_total", "kind", "a\"b\\c\nd", 3);
    metrics::Sample(out, "m_total", 18446744073709551615u);
    EXPECT_EQ(out, "# HELP m_total Things.\n# TYPE m_total counter\n"
                   "m_total{kind=\"a\\\"b\\\\c\\nd\"} 3\nm_total 18446744073709551615\n");
}
