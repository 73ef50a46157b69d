// The bounded records of a reader: the last entries in order, the totals of all.

#include "sim/firmware/recent_history.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "sim/firmware/va_firmware.hpp"
#include "sim/firmware/vc_firmware.hpp"
#include "support/hex_bytes.hpp"

TEST(SimRecentHistory, KeepsTheLatestEntriesInOrderAndCountsAll) {
    rfsim::RecentHistory<int, 4> history;
    EXPECT_TRUE(history.empty());
    EXPECT_EQ(history, std::vector<int>{});
    struct Step {
        int added;  // entries 1..added pushed in all
        std::vector<int> kept;
    };
    const Step steps[] = {{1, {1}}, {4, {1, 2, 3, 4}}, {5, {2, 3, 4, 5}}, {11, {8, 9, 10, 11}}};
    int next = 1;
    for (const Step& step : steps) {
        while (next <= step.added)
            history.push_back(next++);
        SCOPED_TRACE(step.added);
        EXPECT_EQ(history, step.kept);
        EXPECT_EQ(history.size(), step.kept.size());
        EXPECT_EQ(history.total(), static_cast<std::uint64_t>(step.added));
        EXPECT_EQ(history.front(), step.kept.front());
        EXPECT_EQ(history.back(), step.added);
        for (std::size_t i = 0; i < step.kept.size(); ++i)
            EXPECT_EQ(history[i], step.kept[i]);
        const std::vector<int> copied = history;
        EXPECT_EQ(copied, step.kept);
    }
    EXPECT_FALSE(history == (std::vector<int>{8, 9, 10}));
    EXPECT_FALSE(history == (std::vector<int>{8, 9, 10, 12}));
}

TEST(SimRecentHistory, ReaderPolledWithoutPauseKeepsItsRecordsBounded) {
    rfsim::VcFirmware firmware;
    const Bytes identify = hexBytes("AA 66 00 00 00 00 16 16");
    const Bytes beep = hexBytes("AA 66 00 00 00 01 1D 05 23");
    const Bytes led = hexBytes("AA 66 00 00 00 01 6A 03 6E");
    const int rounds = 3 * static_cast<int>(rfsim::kKeptHistory) + 7;
    for (int i = 0; i < rounds; ++i) {
        ASSERT_FALSE(firmware.answer(identify).empty());
        ASSERT_FALSE(firmware.answer(beep).empty());
        ASSERT_FALSE(firmware.answer(led).empty());
    }
    const rfsim::ReaderState& state = firmware.state();
    EXPECT_EQ(state.framesAnswered, 3 * rounds);
    EXPECT_EQ(state.commands.total(), static_cast<std::uint64_t>(3 * rounds));
    EXPECT_EQ(state.commands.size(), rfsim::kKeptHistory);
    EXPECT_EQ(state.beeps.total(), static_cast<std::uint64_t>(rounds));
    EXPECT_EQ(state.beeps.size(), rfsim::kKeptHistory);
    EXPECT_EQ(state.leds.size(), rfsim::kKeptHistory);
    EXPECT_TRUE(std::all_of(state.beeps.begin(), state.beeps.end(), [](auto b) { return b == 5; }));
    // The newest commands are kept, in order: the last round ends identify, beep, LED.
    const std::vector<std::uint8_t> commands = state.commands;
    EXPECT_EQ(std::vector<std::uint8_t>(commands.end() - 3, commands.end()),
              (std::vector<std::uint8_t>{0x16, 0x1D, 0x6A}));
}

TEST(SimRecentHistory, RejectedFramesAreCountedNotRecorded) {
    rfsim::VaFirmware firmware;
    for (int i = 0; i < 2000; ++i)
        EXPECT_TRUE(firmware.answer(hexBytes("FE 02 01 10 3C 0E")).empty());
    EXPECT_EQ(firmware.state().framesRejected, 2000);
    EXPECT_TRUE(firmware.state().commands.empty());
    EXPECT_EQ(firmware.state().commands.total(), 0u);
}
