// The card hold on its own: when it is on, what a finished hold leaves for the next finder pass,
// and waking a finder that waits it out.

#include "commands/entry/card_hold.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/scripted_searchers.hpp"

using namespace std::chrono_literals;

namespace {

const CardId cardA = CardId::ofTypeA(scripted::typeACard({0xA1, 0xA2, 0xA3, 0xA4}));
const CardId cardB = CardId::ofTypeA(scripted::typeACard({0xB1, 0xB2, 0xB3, 0xB4}));

constexpr auto kIdle = 40ms;

struct Rest {
    std::shared_ptr<int> calls = std::make_shared<int>(0);
    std::function<void()> step() const {
        return [calls = calls] { ++*calls; };
    }
};

}  // namespace

TEST(CardHold, OnWhileACommandRunsAndForTheIdleTimeAfterACardIsKept) {
    CardHold hold(kIdle);
    EXPECT_FALSE(hold.isOn());
    hold.beginCommand();
    EXPECT_TRUE(hold.isOn());
    std::this_thread::sleep_for(2 * kIdle);
    EXPECT_TRUE(hold.isOn()) << "a running command has no idle time";
    Rest rest;
    hold.endCommandHolding(cardA, rest.step());
    EXPECT_TRUE(hold.isOn());
    EXPECT_TRUE(hold.takeEnded().proven.empty()) << "nothing is handed over while the hold is on";

    std::this_thread::sleep_for(2 * kIdle);
    EXPECT_FALSE(hold.isOn());
    CardHold::Ended ended = hold.takeEnded();
    ASSERT_EQ(ended.proven, std::vector<CardId>{cardA});
    ASSERT_TRUE(ended.rest);
    ended.rest();
    EXPECT_EQ(*rest.calls, 1);
    EXPECT_TRUE(hold.takeEnded().proven.empty()) << "handed over once";
}

TEST(CardHold, HowAHoldEnds) {
    struct Case {
        const char* name;
        void (*end)(CardHold&, const Rest&);
        std::vector<CardId> proven;  // what the next pass gets
        bool rest;
    };
    const Case cases[] = {
        {"the card is let go: the hold ends at once, the card is still put to rest",
         [](CardHold& h, const Rest&) {
             h.beginCommand();
             h.endCommandReleasing();
         },
         {cardA},
         true},
        {"the reader is reset: nothing is left for the finder",
         [](CardHold& h, const Rest&) { h.drop(); },
         {},
         false},
        {"a second card kept: both count as present, the last is put to rest",
         [](CardHold& h, const Rest& r) {
             h.beginCommand();
             h.endCommandHolding(cardB, r.step());
             h.beginCommand();
             h.endCommandReleasing();
         },
         {cardA, cardB},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CardHold hold(10s);
        Rest rest;
        hold.beginCommand();
        hold.endCommandHolding(cardA, rest.step());
        c.end(hold, rest);
        EXPECT_FALSE(hold.isOn());
        const CardHold::Ended ended = hold.takeEnded();
        EXPECT_EQ(ended.proven, c.proven);
        EXPECT_EQ(static_cast<bool>(ended.rest), c.rest);
    }
}

TEST(CardHold, ASelectionThatFoundNoCardLeavesNothing) {
    CardHold hold(10s);
    hold.beginCommand();
    hold.endCommandReleasing();
    EXPECT_FALSE(hold.isOn());
    const CardHold::Ended ended = hold.takeEnded();
    EXPECT_TRUE(ended.proven.empty());
    EXPECT_FALSE(ended.rest);
}

TEST(CardHold, AWaitingFinderWakesWhenTheHoldEndsOrItIsStopped) {
    CardHold hold(10s);
    std::atomic<bool> stopped{false};
    std::atomic<int> woken{0};
    auto waitOnce = [&] {
        hold.waitWhileOn([&] { return stopped.load(); });
        ++woken;
    };

    hold.beginCommand();
    std::thread finder(waitOnce);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(woken, 0);
    hold.endCommandReleasing();
    finder.join();
    EXPECT_EQ(woken, 1);

    hold.beginCommand();
    hold.endCommandHolding(cardA, nullptr);  // on for 10 s
    std::thread stoppedFinder(waitOnce);
    std::this_thread::sleep_for(20ms);
    stopped = true;
    hold.interrupt();
    stoppedFinder.join();
    EXPECT_EQ(woken, 2);
}
