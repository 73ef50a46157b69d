// The find task against scripted searchers: what it reports per pass, pausing, acknowledgement
// mode, stopping, and how it shares the reader with commands.

#include "commands/entry/find_task.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <thread>
#include <utility>

#include "support/fake_channel.hpp"
#include "support/log_capture.hpp"
#include "support/scripted_searchers.hpp"

using nlohmann::json;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using TypeACards = std::vector<Orvane::TypeACardInfo>;

namespace {

const Orvane::TypeACardInfo cardA = scripted::typeACard({0xA1, 0xA2, 0xA3, 0xA4});
const Orvane::TypeACardInfo cardB = scripted::typeACard({0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7});

class EdgeScript;

class FindTaskTest : public testing::Test {
  protected:
    // The task's reader reports card arrivals through `edges`.
    void useEdges(const std::shared_ptr<EdgeScript>& edges);

    void SetUp() override { state->finder.typeA.searcher = searcher; }
    void TearDown() override { state->stop(); }

    void start(FindIdTask task) { ASSERT_TRUE(state->start(std::move(task), channel)); }

    std::vector<json> messages() const {
        std::vector<json> all;
        for (const auto& text : channel->sent())
            all.push_back(json::parse(text));
        return all;
    }
    bool waitForMessages(std::size_t count, std::chrono::milliseconds wait = 5s) const {
        const auto until = Clock::now() + wait;
        while (channel->sent().size() < count) {
            if (Clock::now() > until) return false;
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }
    // The UIDs an event reports, in order.
    static std::vector<std::string> uids(const json& message) {
        std::vector<std::string> list;
        for (const auto& card : message.at("retval"))
            list.push_back(card.at("uid"));
        return list;
    }

    std::shared_ptr<FakeChannel> channel = std::make_shared<FakeChannel>();
    std::shared_ptr<std::mutex> exchange = std::make_shared<std::mutex>();
    std::shared_ptr<FinderState> state = std::make_shared<FinderState>(exchange);
    std::shared_ptr<scripted::TypeASearcher> searcher = std::make_shared<scripted::TypeASearcher>();
};

const std::string A = "A1A2A3A4";
const std::string B = "B1B2B3B4B5B6B7";

struct EventCase {
    const char* name;
    bool fixIdle;
    std::vector<TypeACards> passes;  // then nothing
    std::vector<std::vector<std::string>> events;
};

}  // namespace

TEST_F(FindTaskTest, EventsPerPass) {
    const EventCase cases[] = {
        {"every pass with cards is reported",
         false,
         {{cardA}, {cardA}, {}, {cardA, cardB}},
         {{A}, {A}, {A, B}}},
        {"fixIdle: a card staying is reported once, again after an empty pass",
         true,
         {{cardA}, {cardA}, {cardA}, {}, {cardA}},
         {{A}, {A}}},
        // The previously reported list holds only the newcomer, so the first card comes back next pass.
        {"fixIdle: a second card joining",
         true,
         {{cardA}, {cardA, cardB}, {cardA, cardB}, {cardA, cardB}},
         {{A}, {B}, {A}, {B}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        channel = std::make_shared<FakeChannel>();
        searcher = std::make_shared<scripted::TypeASearcher>();
        state = std::make_shared<FinderState>(exchange);
        state->finder.typeA.searcher = searcher;
        for (const auto& pass : c.passes)
            searcher->script.add(pass);

        start({.ack = std::nullopt, .intervalMs = 1, .pause = false, .fixIdle = c.fixIdle});
        ASSERT_TRUE(searcher->script.waitForPasses(static_cast<int>(c.passes.size()) + 3));
        state->stop();

        const auto sent = messages();
        ASSERT_EQ(sent.size(), c.events.size());
        for (std::size_t i = 0; i < sent.size(); ++i) {
            EXPECT_EQ(sent[i]["evt"], 117);
            EXPECT_FALSE(sent[i].contains("err"));  // events carry no result
            EXPECT_EQ(uids(sent[i]), c.events[i]) << "event " << i;
        }
    }
}

TEST_F(FindTaskTest, PauseWaitsForClearWaitAckAndStopEndsTheWait) {
    searcher->script.then({cardA});
    start({.ack = std::nullopt, .intervalMs = 10'000, .pause = true, .fixIdle = false});
    ASSERT_TRUE(waitForMessages(1));
    EXPECT_TRUE(state->waitingForAck());
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(channel->sent().size(), 1u);
    EXPECT_EQ(searcher->script.passes(), 1);

    state->clearWaitAck();
    ASSERT_TRUE(waitForMessages(2));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(channel->sent().size(), 2u);

    const auto before = Clock::now();
    state->stop();
    EXPECT_LT(Clock::now() - before, 1s);
    EXPECT_EQ(searcher->script.passes(), 2);
}

TEST_F(FindTaskTest, StopEndsASleepingTaskWithoutWaitingForTheInterval) {
    start({.ack = std::nullopt, .intervalMs = 10'000, .pause = false, .fixIdle = true});
    ASSERT_TRUE(searcher->script.waitForPasses(1));
    const auto before = Clock::now();
    state->stop();
    EXPECT_LT(Clock::now() - before, 1s);
    EXPECT_FALSE(state->running());
    EXPECT_TRUE(channel->sent().empty());
}

TEST_F(FindTaskTest, AcknowledgementModeStoppedWithoutCardsAnswersAnEmptyList) {
    start({.ack = "find-1", .intervalMs = 2, .pause = false, .fixIdle = false});
    ASSERT_TRUE(searcher->script.waitForPasses(3));
    state->stop();
    ASSERT_EQ(channel->sent().size(), 1u);  // sent before stop() returned
    EXPECT_EQ(channel->lastSent(),
              "{\n  \"ack\": \"find-1\",\n  \"err\": 0,\n  \"msg\": \"完成\",\n  \"retval\": []\n}");
}

TEST_F(FindTaskTest, AcknowledgementModeAnswersOnceWithTheFirstCardsFound) {
    searcher->script.add({});
    searcher->script.add({cardA, cardB});
    searcher->script.then({cardB});
    start({.ack = "", .intervalMs = 1, .pause = false, .fixIdle = false});
    ASSERT_TRUE(waitForMessages(1));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(searcher->script.passes(), 2);  // the task ended with its answer
    const auto sent = messages();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0]["ack"], "");  // an empty ack is still one to answer
    EXPECT_EQ(sent[0]["err"], 0);
    EXPECT_FALSE(sent[0].contains("evt"));
    EXPECT_EQ(uids(sent[0]), (std::vector<std::string>{A, B}));
}

TEST_F(FindTaskTest, BusyRfLockEndsTheTaskWithAnErrorLine) {
    LogCapture log;
    std::unique_lock held(state->rfLock());
    start({.ack = "x", .intervalMs = 1, .pause = false, .fixIdle = false});
    const auto until = Clock::now() + 5s;
    while (!log.contains("error loop findId rfLock fail") && Clock::now() < until)
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(log.contains("error loop findId rfLock fail"));
    held.unlock();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(searcher->script.passes(), 0);
    EXPECT_TRUE(channel->sent().empty());
}

TEST_F(FindTaskTest, ClosedChannelOrFailedSendEndsTheTask) {
    searcher->script.then({cardA});
    channel->setFailSends(true);
    start({.ack = std::nullopt, .intervalMs = 1, .pause = false, .fixIdle = false});
    ASSERT_TRUE(searcher->script.waitForPasses(1));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(searcher->script.passes(), 1);

    channel->setFailSends(false);
    channel->close();
    start({.ack = std::nullopt, .intervalMs = 1, .pause = false, .fixIdle = false});
    ASSERT_TRUE(searcher->script.waitForPasses(2));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(searcher->script.passes(), 2);
    EXPECT_TRUE(channel->sent().empty());
}

TEST_F(FindTaskTest, AnArrivalIsReportedToAClientThatLagsBehind) {
    // Found once: the pass halts the card, so a report left out would never be made.
    searcher->script.add({cardA});
    channel->setEventRoom(false);  // datagram events would be left out now
    start({.ack = std::nullopt, .intervalMs = 1, .pause = false, .fixIdle = true});
    ASSERT_TRUE(waitForMessages(1));
    EXPECT_EQ(uids(messages()[0]), std::vector<std::string>{A});
}

TEST_F(FindTaskTest, OutlivesItsOwnersWhenTheSessionGoes) {
    searcher->script.then({cardA});
    searcher->script.setDelay(200us);
    start({.ack = std::nullopt, .intervalMs = 0, .pause = false, .fixIdle = false});
    ASSERT_TRUE(waitForMessages(3));
    // The session and the entry let go without stopping the task: the thread keeps its own share of
    // the state and ends at the next pass, when it finds the channel gone.
    channel.reset();
    const std::weak_ptr<FinderState> watch = state;
    state.reset();
    const auto until = Clock::now() + 5s;
    while (!watch.expired() && Clock::now() < until)
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(watch.expired());
    state = std::make_shared<FinderState>(exchange);  // for TearDown
}

// Counts the passes that begin while a command waits for the reader.
class WatchingSearcher : public scripted::TypeASearcher {
  public:
    int findCards(std::vector<Orvane::TypeACardInfo>& cards, int limit) override {
        if (state != nullptr && state->commandsWaiting() > 0) ++startedWhileWaiting;
        return TypeASearcher::findCards(cards, limit);
    }
    FinderState* state = nullptr;
    std::atomic<int> startedWhileWaiting{0};
};

TEST_F(FindTaskTest, CommandsGetTheReaderBetweenBackToBackPasses) {
    auto watching = std::make_shared<WatchingSearcher>();
    watching->state = state.get();
    watching->script.then({cardA});
    watching->script.setDelay(1ms);
    state->finder.typeA.searcher = watching;
    // With fixIdle and no interval a card lying still makes passes follow each other at once.
    start({.ack = std::nullopt, .intervalMs = 0, .pause = false, .fixIdle = true});
    ASSERT_TRUE(watching->script.waitForPasses(3));
    for (int i = 0; i < 50; ++i) {
        std::this_thread::sleep_for(2ms);  // the finder runs passes meanwhile
        watching->startedWhileWaiting = 0;
        auto lock = state->lockForCommand();
        // Only a pass that got the reader as the command began asking for it runs first.
        EXPECT_LE(watching->startedWhileWaiting, 1) << "command " << i;
        // No pass runs while a command holds the reader.
        const int passes = watching->script.passes();
        std::this_thread::sleep_for(1ms);
        EXPECT_EQ(watching->script.passes(), passes);
    }
    state->stop();
}

TEST_F(FindTaskTest, NoPassRunsWhileACardIsHeld) {
    start({.ack = std::nullopt, .intervalMs = 1, .pause = false, .fixIdle = false});
    ASSERT_TRUE(searcher->script.waitForPasses(1));
    state->hold.beginCommand();
    int passes = 0;
    {
        // Once a command has had the reader, every later pass sees the hold.
        auto exchange = state->lockForCommand();
        passes = searcher->script.passes();
    }
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(searcher->script.passes(), passes);
    state->hold.endCommandReleasing();
    EXPECT_TRUE(searcher->script.waitForPasses(passes + 1));
}

TEST_F(FindTaskTest, AfterAHoldTheCardIsPutToRestFirstAndIsNotNew) {
    const struct {
        bool fixIdle;
        std::vector<std::vector<std::string>> events;
    } cases[] = {
        // The held card is reported only after the field was empty once.
        {true, {{A}}},
        // Without fixIdle every pass that finds a card reports it.
        {false, {{A}, {A}, {A}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixIdle ? "fixIdle" : "every pass");
        channel = std::make_shared<FakeChannel>();
        searcher = std::make_shared<scripted::TypeASearcher>();
        state = std::make_shared<FinderState>(exchange);
        state->finder.typeA.searcher = searcher;
        for (const TypeACards& pass : {TypeACards{cardA}, TypeACards{cardA}, TypeACards{}, TypeACards{cardA}})
            searcher->script.add(pass);
        std::vector<int> restAtPass;
        state->hold.beginCommand();
        state->hold.endCommandHolding(CardId::ofTypeA(cardA),
                                      [&, s = searcher] { restAtPass.push_back(s->script.passes()); });

        start({.ack = std::nullopt, .intervalMs = 1, .pause = false, .fixIdle = c.fixIdle});
        std::this_thread::sleep_for(20ms);
        EXPECT_EQ(searcher->script.passes(), 0) << "the task waits out a hold it starts under";
        state->hold.beginCommand();
        state->hold.endCommandReleasing();  // e.g. the client halts the card
        ASSERT_TRUE(searcher->script.waitForPasses(6));
        state->stop();

        EXPECT_EQ(restAtPass, std::vector<int>{0});
        const auto sent = messages();
        ASSERT_EQ(sent.size(), c.events.size());
        for (std::size_t i = 0; i < sent.size(); ++i)
            EXPECT_EQ(uids(sent[i]), c.events[i]) << "event " << i;
    }
}

TEST_F(FindTaskTest, ALostDeviceIsTriedNowAndThenNotInASpin) {
    std::atomic<bool> lost{true};
    state = std::make_shared<FinderState>(exchange, [&] { return lost.load(); });
    state->finder.typeA.searcher = searcher;
    start({.ack = std::nullopt, .intervalMs = 0, .pause = false, .fixIdle = false});
    // 0, 200 and 600 ms into the wait: a few passes in a second instead of thousands.
    std::this_thread::sleep_for(1s);
    EXPECT_LE(searcher->script.passes(), 4);
    EXPECT_GE(searcher->script.passes(), 2);

    lost = false;  // plugged back in (and opened again)
    const int before = searcher->script.passes();
    EXPECT_TRUE(searcher->script.waitForPasses(before + 50, 5s)) << "back to passes without a pause";
    state->stop();
}

namespace {

// A reader that tells when a card comes or goes: waits end at an edge the test makes, at a cancel,
// or at their timeout; -1 once the watch is made to fail.
class EdgeScript {
  public:
    int wait(std::uint32_t ms) {
        std::unique_lock lock(mutex_);
        ++waits_;
        changed_.wait_for(lock, std::chrono::milliseconds(ms),
                          [&] { return edges_ > 0 || cancelled_ || failing_; });
        if (failing_) return -1;
        if (std::exchange(cancelled_, false)) return 0;
        if (edges_ == 0) return 0;
        --edges_;
        return 1;
    }
    void edge() {
        change([&] { ++edges_; });
    }
    void cancel() {
        change([&] { cancelled_ = true; });
    }
    void fail() {
        change([&] { failing_ = true; });
    }
    int waits() {
        std::lock_guard lock(mutex_);
        return waits_;
    }

  private:
    void change(auto step) {
        {
            std::lock_guard lock(mutex_);
            step();
        }
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    int edges_ = 0, waits_ = 0;
    bool cancelled_ = false, failing_ = false;
};

}  // namespace

void FindTaskTest::useEdges(const std::shared_ptr<EdgeScript>& edges) {
    state = std::make_shared<FinderState>(
        exchange, [] { return false; },
        FinderState::EdgeWait{[] { return true; }, [edges](std::uint32_t ms) { return edges->wait(ms); },
                              [edges] { edges->cancel(); }});
    state->finder.typeA.searcher = searcher;
}

TEST_F(FindTaskTest, AnEdgeTriggeredReaderIsSearchedOncePerCardArrivalAndStopCancelsItsWait) {
    auto edges = std::make_shared<EdgeScript>();
    useEdges(edges);
    searcher->script.add({});        // nothing on the reader
    searcher->script.then({cardA});  // a PC/SC reader finds its card on every pass while it stays
    start({.ack = std::nullopt, .intervalMs = 0, .pause = false, .fixIdle = false});

    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(searcher->script.passes(), 1) << "no polling between edges";
    edges->edge();  // the card is put on
    ASSERT_TRUE(waitForMessages(1));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(channel->sent().size(), 1u) << "the card staying is no new arrival";
    EXPECT_EQ(searcher->script.passes(), 2);
    edges->edge();  // taken off and put back
    ASSERT_TRUE(waitForMessages(2));

    const auto begin = Clock::now();
    state->stop();
    EXPECT_LT(Clock::now() - begin, 500ms) << "stop cancels the wait instead of outwaiting it";
}

TEST_F(FindTaskTest, AFailingEdgeWatchBacksOffInsteadOfSpinning) {
    auto edges = std::make_shared<EdgeScript>();
    useEdges(edges);
    edges->fail();
    start({.ack = std::nullopt, .intervalMs = 0, .pause = false, .fixIdle = false});
    std::this_thread::sleep_for(1s);
    EXPECT_LE(edges->waits(), 5);
    EXPECT_LE(searcher->script.passes(), 5);
}
