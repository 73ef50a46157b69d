// Readers pulled out and plugged in again, also between a request and its answer, as the service's
// transports meet them: HID and raw USB devices on the simulated bus, serial readers on
// pseudo-terminals.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "support/sim_rigs.hpp"

using Clock = std::chrono::steady_clock;

namespace {

// Longer than any transport's reply timeout, far shorter than a hang.
constexpr auto kPromptly = std::chrono::milliseconds(1500);

struct RigCase {
    const char* name;
    std::function<std::unique_ptr<SimRig>()> make;
    std::uint8_t identify;  // the command code of the family's identify
};

void PrintTo(const RigCase& c, std::ostream* os) {
    *os << c.name;
}

const RigCase kRigs[] = {
    {"VaHid", [] { return std::make_unique<VaHidRig>(); }, 0x10},
    {"VcCh9326", [] { return std::make_unique<VcCh9326Rig>(); }, 0x16},
    {"VdHid", [] { return std::make_unique<VdHidRig>(); }, 0xB0},
    {"VbCh340", [] { return std::make_unique<VbCh340Rig>(); }, 0x10},
    {"VbSerial", [] { return std::make_unique<VbSerialRig>(); }, 0x10},
    {"VcSerial", [] { return std::make_unique<VcSerialRig>(); }, 0x16},
};

class SimReplug : public testing::TestWithParam<RigCase> {
  protected:
    void SetUp() override {
        rig = GetParam().make();
        ASSERT_EQ(rig->identify(), 0);
    }
    // One identify, which must end within the transport's timeouts.
    int timedIdentify() {
        const auto start = Clock::now();
        const int result = rig->identify();
        EXPECT_LT(Clock::now() - start, kPromptly);
        return result;
    }

    std::unique_ptr<SimRig> rig;
};

}  // namespace

TEST_P(SimReplug, HandleFromBeforeStaysDeadAndAFreshOpenWorks) {
    rig->unplug();
    EXPECT_FALSE(rig->reader().plugged());
    EXPECT_EQ(timedIdentify(), -1);
    rig->plug();
    EXPECT_TRUE(rig->reader().plugged());
    // The host still holds the device or port of before the unplug: that one is gone for good.
    EXPECT_EQ(timedIdentify(), -1);
    ASSERT_TRUE(rig->reopen());
    EXPECT_EQ(timedIdentify(), 0);

    // Nothing opens while the reader is out.
    rig->unplug();
    EXPECT_FALSE(rig->reopen());
    rig->plug();
    ASSERT_TRUE(rig->reopen());
    EXPECT_EQ(timedIdentify(), 0);
}

TEST_P(SimReplug, UnplugBetweenRequestAndAnswerIsAnErrorNotAHang) {
    const auto heard = rig->reader().state().commands.total();
    rig->reader().unplugAfterNextRequest();
    EXPECT_EQ(timedIdentify(), -1);
    EXPECT_FALSE(rig->reader().plugged());
    // The request did arrive; only its answer was lost.
    const rfsim::ReaderState state = rig->reader().state();
    EXPECT_EQ(state.commands.total(), heard + 1);
    EXPECT_EQ(state.commands.back(), GetParam().identify);
    EXPECT_EQ(timedIdentify(), -1);
    EXPECT_FALSE(rig->reopen());

    rig->plug();
    ASSERT_TRUE(rig->reopen());
    EXPECT_EQ(timedIdentify(), 0);
    EXPECT_EQ(timedIdentify(), 0);  // the switch went off with the unplug
}

INSTANTIATE_TEST_SUITE_P(Rigs, SimReplug, testing::ValuesIn(kRigs),
                         [](const auto& info) { return info.param.name; });
