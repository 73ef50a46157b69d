// A reader pulled out while open and plugged in again, for every type: exchanges fail at once and
// say the device is lost (not that a reply was bad), and opening the reader again after the replug
// works without anything else being reset.

#include <gtest/gtest.h>

#include <chrono>

#include "support/sim_readers.hpp"

using Clock = std::chrono::steady_clock;

namespace {

class ReaderReplug : public testing::TestWithParam<std::uint8_t> {
  protected:
    void SetUp() override { RfReader::forgetLastGoodPorts(); }
    void TearDown() override { RfReader::forgetLastGoodPorts(); }

    SimReaders sim;
    RfReader reader{sim.bus};
};

}  // namespace

TEST_P(ReaderReplug, LostWhileUnpluggedAndOpensAgainAfterTheReplug) {
    const std::uint8_t type = GetParam();
    sim.add(type);
    reader.setType(type);
    ASSERT_TRUE(reader.open(true));
    ASSERT_TRUE(reader.beep(1));
    EXPECT_FALSE(reader.deviceLost());

    sim.entry(type).unplug();
    const auto start = Clock::now();
    EXPECT_FALSE(reader.beep(1));
    EXPECT_TRUE(reader.deviceLost());
    // A reader that answers nothing takes its read timeout; a lost one fails without waiting for it.
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(150));

    ASSERT_TRUE(sim.entry(type).plug());
    EXPECT_FALSE(reader.beep(1)) << "the handle from before the unplug stays dead";
    ASSERT_TRUE(reader.open(true));
    EXPECT_FALSE(reader.deviceLost());
    EXPECT_TRUE(reader.beep(1));
}

TEST_P(ReaderReplug, ASilentReaderIsNotLost) {
    const std::uint8_t type = GetParam();
    sim.add(type);
    reader.setType(type);
    ASSERT_TRUE(reader.open(true));
    sim.reader(type).setFault(rfsim::Fault::silence);
    EXPECT_FALSE(reader.beep(1));
    EXPECT_FALSE(reader.deviceLost());
}

INSTANTIATE_TEST_SUITE_P(AllTypes, ReaderReplug,
                         testing::Values(kReaderVdHid, kReaderVbSerial, kReaderVcCh9326, kReaderVaHid,
                                         kReaderVcSerial, kReaderVbCh340),
                         [](const auto& info) { return "Type" + std::to_string(info.param); });
