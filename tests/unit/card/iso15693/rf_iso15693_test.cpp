// The ISO 15693 operations on simulated readers: they ask for ISO 15693 mode and answer "not
// supported"; inventory tells a refused mode (-1) from an accepted one (-2).

#include "card/iso15693/rf_iso15693.hpp"

#include <gtest/gtest.h>

#include "crypto/std_buf.hpp"
#include "support/sim_readers.hpp"

namespace {

constexpr std::uint8_t kNotSupported = Orvane::iso15693_status::kNotSupported;

class Iso15693Shell : public testing::Test {
  protected:
    void open(std::uint8_t type) {
        sim.add(type);
        reader->setType(type);
        ASSERT_TRUE(reader->open(false));
    }

    SimReaders sim;
    std::shared_ptr<RfReader> reader = std::make_shared<RfReader>(sim.bus);
    RfIso15693 tags{reader};
};

// Every tag command of the interface, each with its expected answer.
void expectEveryCommandNotSupported(RfIso15693& tags) {
    const Orvane::IIso15693Reader::Uid uid{};
    const std::uint8_t data[4] = {};
    Orvane::StdBuf buffer;
    Orvane::Iso15693SystemInfo info;
    EXPECT_FALSE(tags.setMode(1, uid, true, false));
    EXPECT_EQ(tags.stayQuiet(uid), kNotSupported);
    EXPECT_EQ(tags.readSingleBlock(true, 0, buffer), kNotSupported);
    EXPECT_EQ(tags.writeSingleBlock(0, data, 4), kNotSupported);
    EXPECT_EQ(tags.lockBlock(0), kNotSupported);
    EXPECT_EQ(tags.readMultipleBlocks(false, 0, 2, buffer), kNotSupported);
    EXPECT_EQ(tags.writeMultipleBlocks(0, 1, data, 4), kNotSupported);
    EXPECT_EQ(tags.select(uid), kNotSupported);
    EXPECT_EQ(tags.resetToReady(), kNotSupported);
    EXPECT_EQ(tags.writeAfi(1), kNotSupported);
    EXPECT_EQ(tags.lockAfi(), kNotSupported);
    EXPECT_EQ(tags.writeDsfid(1), kNotSupported);
    EXPECT_EQ(tags.lockDsfid(), kNotSupported);
    EXPECT_EQ(tags.getSystemInfo(info), kNotSupported);
    EXPECT_EQ(tags.getMultipleBlockSecurity(0, 2, buffer), kNotSupported);
    EXPECT_EQ(buffer.size(), 0u);
}

}  // namespace

TEST_F(Iso15693Shell, VcReaderIsSwitchedToIso15693AndAnswersNotSupported) {
    open(kReaderVcCh9326);
    std::vector<Orvane::Iso15693Card> found;
    EXPECT_EQ(tags.inventory(found, 8, 0, false), -2);
    EXPECT_TRUE(found.empty());
    EXPECT_EQ(reader->rfMode(), Orvane::rf_mode::kIso15693);
    EXPECT_EQ(sim.reader(kReaderVcCh9326).state().protocol, rfsim::Protocol::iso15693);
    expectEveryCommandNotSupported(tags);
}

TEST_F(Iso15693Shell, ReaderInAnotherModeRefusesAndCommandsStillAnswerNotSupported) {
    open(kReaderVaHid);
    std::vector<Orvane::Iso15693Card> found;
    EXPECT_EQ(tags.inventory(found, 8, 0, true), -1);
    EXPECT_TRUE(found.empty());
    EXPECT_EQ(reader->rfMode(), Orvane::rf_mode::kIso14443A);
    expectEveryCommandNotSupported(tags);
}

TEST_F(Iso15693Shell, EveryCommandAsksForTheMode) {
    open(kReaderVdHid);
    Orvane::StdBuf buffer;
    EXPECT_EQ(tags.readSingleBlock(false, 3, buffer), kNotSupported);
    EXPECT_EQ(reader->rfMode(), Orvane::rf_mode::kIso15693);
    EXPECT_EQ(sim.reader(kReaderVdHid).state().protocol, rfsim::Protocol::iso15693);
}
