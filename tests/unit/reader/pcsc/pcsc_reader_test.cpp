// The type 7 transport over a fake pcscd: which reader an open takes, how failures are told apart
// (card gone, reader gone, pcscd gone), and the watch that wakes only for a card coming or going.

#include "reader/pcsc/pcsc_reader.hpp"

#include <gtest/gtest.h>

#include "support/fake_pcsc.hpp"

using Orvane::PcscReader;
namespace pcsc = Orvane::pcsc;

namespace {

struct OpenCase {
    const char* wanted;
    std::vector<std::string> readers;
    std::map<std::string, std::deque<pcsc::Result>> failures;
    bool opens;
    const char* reader;       // the reader taken when it opens
    pcsc::Result lastResult;  // what the open says when it does not
};

class PcscReaderOpen : public testing::TestWithParam<OpenCase> {};

TEST_P(PcscReaderOpen, TakesTheFirstReaderWhoseNameHoldsTheWantedPart) {
    const OpenCase& c = GetParam();
    FakePcsc fake;
    fake.readerNames = c.readers;
    fake.failures = c.failures;
    PcscReader reader(&fake);
    reader.setWantedName(c.wanted);
    EXPECT_EQ(reader.connectDevice(), c.opens);
    EXPECT_EQ(reader.isOpen(), c.opens);
    if (c.opens)
        EXPECT_EQ(reader.readerName(), c.reader);
    else
        EXPECT_EQ(reader.lastResult(), c.lastResult);
}

const std::vector<std::string> kTwo{"ACME CL Reader 00 00", "Other Reader 01 00"};

INSTANTIATE_TEST_SUITE_P(
    Cases, PcscReaderOpen,
    testing::Values(OpenCase{"", kTwo, {}, true, "ACME CL Reader 00 00", 0},
                    OpenCase{"Other", kTwo, {}, true, "Other Reader 01 00", 0},
                    OpenCase{"Nope", kTwo, {}, false, "", pcsc::kUnknownReader},
                    OpenCase{"", {}, {}, false, "", pcsc::kNoReadersAvailable},
                    OpenCase{"", kTwo, {{"establish", {pcsc::kNoService}}}, false, "", pcsc::kNoService},
                    OpenCase{
                        "", kTwo, {{"list", {pcsc::kServiceStopped}}}, false, "", pcsc::kServiceStopped}));

TEST(PcscReader, WithoutPcscOnTheBusNothingOpens) {
    PcscReader reader(nullptr);
    EXPECT_FALSE(reader.connectDevice());
    EXPECT_EQ(reader.presence(), PcscReader::Presence::lost);
    EXPECT_EQ(reader.waitForChange(10), PcscReader::Wait::lost);
    reader.cancelWait();  // nothing to cancel, nothing breaks
}

TEST(PcscReader, ACardTakenOffDropsItsConnectionAndTheNextConnectTakesTheNewCard) {
    FakePcsc fake;
    PcscReader reader(&fake);
    ASSERT_TRUE(reader.connectDevice());
    ASSERT_TRUE(reader.connectCard());
    std::vector<std::uint8_t> response;
    fake.failures["transmit"] = {pcsc::kRemovedCard};
    EXPECT_FALSE(reader.transmit(hexBytes("FFCA000000"), response));
    EXPECT_FALSE(reader.cardConnected());
    EXPECT_FALSE(reader.deviceLost()) << "a card gone is no reader gone";
    EXPECT_TRUE(reader.connectCard());
    EXPECT_TRUE(reader.transmit(hexBytes("FFCA000000"), response));
    EXPECT_EQ(response, hexBytes("9000"));
}

TEST(PcscReader, AConnectionLeftFromACardSinceRemovedIsReplacedOnConnect) {
    FakePcsc fake;
    PcscReader reader(&fake);
    ASSERT_TRUE(reader.connectDevice());
    ASSERT_TRUE(reader.connectCard());
    fake.failures["status"] = {pcsc::kRemovedCard};  // the old handle is dead
    fake.atr = hexBytes("3B88800100000000778183007A");
    EXPECT_TRUE(reader.connectCard());
    EXPECT_EQ(reader.atr(), fake.atr);
}

TEST(PcscReader, AReaderGoneFailsEveryExchangeAtOnceUntilOpenedAgain) {
    for (const pcsc::Result gone : {pcsc::kReaderUnavailable, pcsc::kUnknownReader, pcsc::kNoService}) {
        FakePcsc fake;
        PcscReader reader(&fake);
        ASSERT_TRUE(reader.connectDevice());
        ASSERT_TRUE(reader.connectCard());
        std::vector<std::uint8_t> response;
        fake.failures["transmit"] = {gone};
        EXPECT_FALSE(reader.transmit(hexBytes("FFB0000110"), response));
        EXPECT_TRUE(reader.deviceLost()) << pcsc::resultText(gone);
        const std::size_t sent = fake.sent.size();
        EXPECT_FALSE(reader.transmit(hexBytes("FFB0000110"), response));
        EXPECT_FALSE(reader.connectCard());
        EXPECT_EQ(reader.presence(), PcscReader::Presence::lost);
        EXPECT_EQ(fake.sent.size(), sent) << "nothing sent to a lost reader";
        ASSERT_TRUE(reader.connectDevice());
        EXPECT_FALSE(reader.deviceLost());
    }
}

TEST(PcscReader, PresenceFollowsTheCardAndAReaderInUnknownStateIsLost) {
    FakePcsc fake;
    PcscReader reader(&fake);
    ASSERT_TRUE(reader.connectDevice());
    EXPECT_EQ(reader.presence(), PcscReader::Presence::present);
    fake.cardPresent = false;
    EXPECT_EQ(reader.presence(), PcscReader::Presence::absent);
    fake.failures["wait"] = {pcsc::kReaderUnavailable};
    EXPECT_EQ(reader.presence(), PcscReader::Presence::lost);
    EXPECT_TRUE(reader.deviceLost());
}

TEST(PcscReader, TheWatchWaitsThroughConnectionsAndWakesForACardComingOrGoing) {
    FakePcsc fake;
    PcscReader reader(&fake);
    ASSERT_TRUE(reader.connectDevice());
    ASSERT_EQ(reader.presence(), PcscReader::Presence::present);
    constexpr std::uint32_t kInUse = 0x0100;
    const std::uint32_t now = fake.stateNow();
    // A program connects (in use), lets go, then the card is taken off (counter and presence).
    fake.waitEvents = {now | kInUse | pcsc::state::kChanged, now | pcsc::state::kChanged,
                       (2u << 16) | pcsc::state::kEmpty | pcsc::state::kChanged};
    EXPECT_EQ(reader.waitForChange(1000), PcscReader::Wait::changed);
    EXPECT_TRUE(fake.waitEvents.empty());
    // A card put on again and taken off between two waits still counts: the counter moved.
    fake.waitEvents = {(4u << 16) | pcsc::state::kEmpty};
    EXPECT_EQ(reader.waitForChange(1000), PcscReader::Wait::changed);

    fake.failures["wait"] = {pcsc::kCancelled};
    EXPECT_EQ(reader.waitForChange(1000), PcscReader::Wait::cancelled);
    fake.failures["wait"] = {pcsc::kTimeout};
    EXPECT_EQ(reader.waitForChange(1000), PcscReader::Wait::timeout);
    fake.waitEvents = {pcsc::state::kUnknown | pcsc::state::kChanged};
    EXPECT_EQ(reader.waitForChange(1000), PcscReader::Wait::lost);
    EXPECT_FALSE(reader.deviceLost()) << "the watch thread leaves the flag to the command side";
    reader.cancelWait();
    EXPECT_EQ(fake.cancels, 1);
}

}  // namespace
