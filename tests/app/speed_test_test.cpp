#include "app/speedtest/speed_test.h"
#include "dns_responder.h"

#include <atomic>
#include <gtest/gtest.h>

namespace {

namespace st = velmora::speedtest;
using std::chrono::milliseconds;
using velmora::testing::DnsResponder;

TEST(SpeedTestServers, TakeAnAddressAndAPortAndNothingElse) {
    auto plain = st::ParseEndpoint("9.9.9.9");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->address, "9.9.9.9");
    EXPECT_EQ(plain->port, 53);
    EXPECT_FALSE(plain->ipv6);
    EXPECT_EQ(st::ParseEndpoint("127.0.0.1:5353")->port, 5353);
    auto bracketed = st::ParseEndpoint("[::1]:5353");
    ASSERT_TRUE(bracketed);
    EXPECT_EQ(bracketed->address, "::1");
    EXPECT_TRUE(bracketed->ipv6);
    EXPECT_EQ(bracketed->port, 5353);
    EXPECT_EQ(st::ParseEndpoint("2001:db8::53")->port, 53) << "a bare IPv6 address has no port";
    EXPECT_EQ(st::ParseEndpoint("[2001:db8::53]")->address, "2001:db8::53");
    for (const char* bad : {"", "1.2.3", "1.2.3.4:", "1.2.3.4:0", "1.2.3.4:65536", "1.2.3.4:053",
                            "1.2.3.4:+53", "1.2.3.4:5x", "dns.google", "[::1]5353", "[1.2.3.4]:53",
                            "[::1]:", "::1:53x", " 1.2.3.4", "1.2.3.4:53:53"})
        EXPECT_FALSE(st::ParseEndpoint(bad)) << bad;
}

TEST(SpeedTestStatistics, NearestRankAndRanking) {
    using st::Duration;
    std::vector<Duration> times{Duration{40}, Duration{10}, Duration{30}, Duration{20},
                                Duration{50}, Duration{60}, Duration{70}, Duration{80},
                                Duration{90}, Duration{100}};
    EXPECT_EQ(st::Percentile(times, 50), Duration{50});
    EXPECT_EQ(st::Percentile(times, 90), Duration{90});
    EXPECT_EQ(st::Percentile({Duration{7}}, 90), Duration{7});
    EXPECT_EQ(st::Percentile({}, 50), std::nullopt);

    auto result = [](const char* server, std::vector<int> times, int lost) {
        st::Result r;
        r.server = *st::ParseEndpoint(server);
        for (int t : times)
            r.times.push_back(Duration{t});
        r.lost = lost;
        r.queries = static_cast<int>(times.size()) + lost;
        return r;
    };
    std::vector<st::Result> results{
        result("192.0.2.1", {}, 3),         result("192.0.2.2", {300, 300, 300}, 0),
        result("192.0.2.3", {100, 100}, 1), result("192.0.2.4", {100, 100, 100}, 0),
        result("192.0.2.5", {}, 3),         result("192.0.2.6:5353", {50, 50, 50}, 0),
    };
    st::Rank(results);
    std::vector<std::string> order;
    for (const auto& r : results)
        order.push_back(r.server.text);
    EXPECT_EQ(order, (std::vector<std::string>{"192.0.2.6:5353", "192.0.2.4", "192.0.2.3",
                                               "192.0.2.2", "192.0.2.1", "192.0.2.5"}))
        << "equal times rank the one that lost less first; the silent keep their order last";
    EXPECT_EQ(st::FastestComplete(results), (std::vector<std::string>{"192.0.2.4", "192.0.2.2"}))
        << "only servers on the standard port that answered everything can be applied";
    EXPECT_EQ(st::FormatTable({results[1], results[4]}),
              "rank\tserver\tmedian_ms\tp90_ms\tlost\tqueries\n"
              "1\t192.0.2.4\t0.1\t0.1\t0\t3\n"
              "2\t192.0.2.1\t-\t-\t3\t3\n");
}

// Real queries to three local servers. The delays and time limits leave
// wide margins, and only the order and the losses are checked: nothing
// depends on how fast this machine is.
TEST(SpeedTestRun, RanksFastBeforeSlowAndCountsTheLostQueries) {
    DnsResponder fast(DnsResponder::Mode::Answer);
    DnsResponder slow(DnsResponder::Mode::Answer, milliseconds(300));
    DnsResponder silent(DnsResponder::Mode::Drop);
    st::Options options;
    options.names = {"example.com", "example.org"};
    options.rounds = 2;
    options.timeout = milliseconds(1200);
    options.giveUpAfter = 100; // every lost query waits out its time limit
    options.seed = 1;

    std::vector<st::Endpoint> servers;
    for (auto* responder : {&silent, &slow, &fast})
        servers.push_back(*st::ParseEndpoint(responder->Server()));
    int lastDone = 0, total = 0, calls = 0;
    auto results = st::Run(
        servers, options, [] { return std::chrono::steady_clock::now(); },
        [&](int done, int planned) {
            EXPECT_GT(done, lastDone);
            lastDone = done;
            total = planned;
            ++calls;
        });
    EXPECT_EQ(total, 12);
    EXPECT_EQ(lastDone, 12);
    EXPECT_EQ(calls, 12);
    st::Rank(results);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0].server.text, fast.Server());
    EXPECT_EQ(results[1].server.text, slow.Server());
    EXPECT_EQ(results[2].server.text, silent.Server());
    EXPECT_EQ(results[0].lost, 0);
    EXPECT_EQ(results[1].lost, 0);
    EXPECT_EQ(results[2].lost, 4);
    EXPECT_EQ(results[2].times.size(), 0u);
    for (const auto& r : results)
        EXPECT_EQ(r.queries, 4);
    EXPECT_EQ(fast.queries(), 4);
    EXPECT_EQ(slow.queries(), 4);
    EXPECT_EQ(silent.queries(), 4) << "one try per query: a lost query is not sent again";
    EXPECT_GE(*results[1].Median(), milliseconds(300)) << "the slow server's delay is measured";
}

TEST(SpeedTestRun, GivesUpOnAServerThatNeverAnswers) {
    DnsResponder silent(DnsResponder::Mode::Drop);
    st::Options options;
    options.names = {"example.com"};
    options.rounds = 6;
    options.timeout = milliseconds(200);
    options.giveUpAfter = 2;
    auto results = st::Run({*st::ParseEndpoint(silent.Server())}, options,
                           [] { return std::chrono::steady_clock::now(); });
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].lost, 6) << "the queries not sent count as lost";
    EXPECT_EQ(silent.queries(), 2);
}

// A stop asked for while a silent server's query waits out a long time
// limit ends the run: without it that query would be counted lost after
// half a minute.
TEST(SpeedTestRun, AStopAbandonsTheQueriesInFlight) {
    DnsResponder fast(DnsResponder::Mode::Answer);
    DnsResponder silent(DnsResponder::Mode::Drop);
    st::Options options;
    options.names = {"example.com", "example.org"};
    options.rounds = 1;
    options.timeout = milliseconds(30000);
    std::stop_source stop;
    int ended = 0;
    auto results = st::Run(
        {*st::ParseEndpoint(silent.Server()), *st::ParseEndpoint(fast.Server())}, options,
        [] { return std::chrono::steady_clock::now(); },
        [&](int done, int) {
            ended = done;
            stop.request_stop();
        },
        stop.get_token());
    EXPECT_EQ(ended, 1) << "the fast server's first answer, then nothing more";
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].lost, 0) << "the silent server's query was abandoned, not lost";
    EXPECT_TRUE(results[0].times.empty());
    EXPECT_EQ(results[1].times.size(), 1u);
    EXPECT_LE(silent.queries(), 1);

    // Asked for before the run: nothing is waited for at all.
    std::stop_source early;
    early.request_stop();
    results = st::Run(
        {*st::ParseEndpoint(silent.Server())}, options,
        [] { return std::chrono::steady_clock::now(); }, {}, early.get_token());
    EXPECT_EQ(results.at(0).lost, 0);
}

// A window's Cancel: waiting for a run in the background stops it, rather
// than waiting out a silent server's long time limit, and the window hears
// once that it ended.
TEST(SpeedTestRun, WaitingForABackgroundRunStopsIt) {
    DnsResponder silent(DnsResponder::Mode::Drop);
    st::Options options;
    options.names = {"example.com"};
    options.rounds = 1;
    options.timeout = milliseconds(30000);
    std::atomic<int> told{0};
    st::BackgroundRun run({*st::ParseEndpoint(silent.Server())}, options, [&] { ++told; });
    const auto results = run.Wait();
    EXPECT_TRUE(run.finished());
    EXPECT_EQ(told, 1);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].lost, 0) << "abandoned, not lost";
}

// The clock the caller gives times the answers.
TEST(SpeedTestRun, TimesAnswersWithTheGivenClock) {
    DnsResponder fast(DnsResponder::Mode::Answer);
    st::Options options;
    options.names = {"example.com"};
    options.rounds = 3;
    auto now = std::chrono::steady_clock::time_point{};
    auto results = st::Run({*st::ParseEndpoint(fast.Server())}, options, [&] {
        now += milliseconds(5); // each reading 5 ms after the one before
        return now;
    });
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].lost, 0);
    EXPECT_EQ(results[0].Median(), milliseconds(5));
}

} // namespace
