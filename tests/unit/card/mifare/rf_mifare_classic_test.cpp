// Mifare block access on simulated readers: the frames of each family, the authentication cache
// and the re-selection some VA readers need before a new authentication.

#include "card/mifare/rf_mifare_classic.hpp"

#include <gtest/gtest.h>

#include "card/iso14443a/rf_iso14443a.hpp"
#include "card/iso14443a/scripted_card.hpp"
#include "support/sim_readers.hpp"

using Lines = std::vector<std::string>;

namespace {

const Bytes kKey = hexBytes("A0A1A2A3A4A5");
const Bytes kOtherKey = hexBytes("B0B1B2B3B4B5");

struct MifareFamily {
    const char* name;
    std::uint8_t type;
    Lines authSectorOneKeyB;  // authenticate(1, kKey, true)
    Lines readBlock5;
    Lines writeBlock5;  // 16 bytes of 0x11
    std::uint8_t authenticate, read, write;
};

const std::string kEleven = std::string(32, '1');

const MifareFamily kFamilies[] = {
    {"VD",
     kReaderVdHid,
     {"5F 1300000004 01A0A1A2A3A4A5"},
     {"61 1300000005"},
     {"60 1300000005 " + kEleven},
     0x5F,
     0x61,
     0x60},
    {"VA", kReaderVaHid, {"17 6104A0A1A2A3A4A5"}, {"18 05"}, {"19 05" + kEleven}, 0x17, 0x18, 0x19},
    {"VC", kReaderVcCh9326, {"4A 6104A0A1A2A3A4A5"}, {"4B 05"}, {"4C 05" + kEleven}, 0x4A, 0x4B, 0x4C},
};

void PrintTo(const MifareFamily& f, std::ostream* os) {
    *os << f.name;
}

class MifareOnReader : public testing::TestWithParam<MifareFamily> {
  protected:
    void SetUp() override {
        reader->setType(GetParam().type);
        ASSERT_TRUE(reader->open(false));
        ASSERT_TRUE(reader->setProtocol(Orvane::rf_mode::kIso14443A, false));
    }

    SimReaders sim;
    rfsim::VirtualReader& virtualReader = *sim.add(GetParam().type).reader;
    std::shared_ptr<RfReader> reader = std::make_shared<RfReader>(sim.bus);
    std::shared_ptr<RfIso14443A> typeA = std::make_shared<RfIso14443A>(reader);
    RfMifareClassic mifare{typeA};
    ScriptedCard card{virtualReader};
};

}  // namespace

TEST_P(MifareOnReader, FramesOfEachOperation) {
    const MifareFamily& f = GetParam();
    card.always(f.authenticate, ok());
    card.script(f.read, {ok(std::string(32, 'C')), ok(std::string(30, 'C')), ok(std::string(34, 'C'))});
    card.always(f.write, ok());

    EXPECT_EQ(mifare.iso14443a(), typeA);
    EXPECT_TRUE(mifare.authenticate(1, kKey.data(), true));
    EXPECT_EQ(reader->authSector(), 1);
    EXPECT_EQ(card.sent(), f.authSectorOneKeyB);

    card.clearSent();
    std::array<std::uint8_t, 16> block{};
    EXPECT_TRUE(mifare.readBlock(5, block.data()));
    EXPECT_EQ(Bytes(block.begin(), block.end()), Bytes(16, 0xCC));
    EXPECT_EQ(card.sent(), f.readBlock5);
    // A block is exactly 16 bytes.
    block.fill(0);
    EXPECT_FALSE(mifare.readBlock(5, block.data()));
    EXPECT_FALSE(mifare.readBlock(5, block.data()));
    EXPECT_EQ(Bytes(block.begin(), block.end()), Bytes(16, 0));

    card.clearSent();
    const Bytes data(16, 0x11);
    EXPECT_TRUE(mifare.writeBlock(5, data.data()));
    EXPECT_EQ(card.sent(), f.writeBlock5);
    EXPECT_EQ(reader->authSector(), 1);
    // Writing a sector's first block ends the cached authentication.
    EXPECT_TRUE(mifare.writeBlock(4, data.data()));
    EXPECT_EQ(reader->authSector(), 255);
}

TEST_P(MifareOnReader, AuthenticationIsCachedPerSectorAndKey) {
    const MifareFamily& f = GetParam();
    card.always(f.authenticate, ok());
    card.always(0x12, ok("0400"));  // VA re-selection, for types 2 and 6 only
    card.always(0x13, ok("01020304"));
    card.always(0x14, ok("0800"));
    card.mark();

    EXPECT_TRUE(mifare.authenticate(1, kKey.data(), false));
    EXPECT_TRUE(mifare.authenticate(1, kKey.data(), false));
    EXPECT_EQ(card.sent().size(), 1u);
    EXPECT_TRUE(mifare.authenticate(1, kKey.data(), true));        // other key type
    EXPECT_TRUE(mifare.authenticate(1, kOtherKey.data(), true));   // other key
    EXPECT_TRUE(mifare.authenticate(33, kOtherKey.data(), true));  // other sector: block 144
    EXPECT_EQ(card.sent().size(), 4u);
    EXPECT_NE(card.sent().back().find("90"), std::string::npos);

    // A refused authentication leaves no sector authenticated.
    card.always(f.authenticate, {0x01, ""});
    EXPECT_FALSE(mifare.authenticate(2, kKey.data(), false));
    EXPECT_EQ(reader->authSector(), 255);
    card.always(f.authenticate, ok());
    EXPECT_TRUE(mifare.authenticate(2, kKey.data(), false));
    EXPECT_EQ(card.sent().size(), 6u);

    // Any selection ends it too.
    Orvane::TypeACardInfo info;
    typeA->selectAny(info, false);
    EXPECT_EQ(reader->authSector(), 255);
    EXPECT_TRUE(mifare.authenticate(2, kKey.data(), false));
    EXPECT_EQ(card.sent().size(), 7u + (f.type == kReaderVaHid ? 3u : 0u));  // VA: 12 13 14 scripted here

    // Sectors beyond 39 and missing keys are refused without a frame.
    card.clearSent();
    EXPECT_FALSE(mifare.authenticate(40, kKey.data(), false));
    EXPECT_FALSE(mifare.authenticate(1, nullptr, false));
    EXPECT_TRUE(card.sent().empty());
}

INSTANTIATE_TEST_SUITE_P(Families, MifareOnReader, testing::ValuesIn(kFamilies),
                         [](const auto& info) { return std::string(info.param.name); });

// Types 2 and 6 select the card again before authenticating another sector; type 4 does not.
class VaReselection : public testing::TestWithParam<std::uint8_t> {
  protected:
    void SetUp() override {
        RfReader::forgetLastGoodPorts();
        reader->setType(GetParam());
        ASSERT_TRUE(reader->open(false));
        card.always(0x12, ok("0400"));
        card.always(0x13, ok("01020304"));
        card.always(0x14, ok("0800"));
        card.always(0x17, ok());
        Orvane::TypeACardInfo info;
        ASSERT_TRUE(typeA->selectAny(info, false));
        card.mark();
    }
    void TearDown() override { RfReader::forgetLastGoodPorts(); }

    SimReaders sim;
    rfsim::VirtualReader& virtualReader = *sim.add(GetParam()).reader;
    std::shared_ptr<RfReader> reader = std::make_shared<RfReader>(sim.bus);
    std::shared_ptr<RfIso14443A> typeA = std::make_shared<RfIso14443A>(reader);
    RfMifareClassic mifare{typeA};
    ScriptedCard card{virtualReader};
};

TEST_P(VaReselection, BeforeAnotherSector) {
    const bool reselects = GetParam() != kReaderVaHid;
    EXPECT_TRUE(mifare.authenticate(1, kKey.data(), false));
    EXPECT_EQ(card.commandsSinceMark(), (std::vector<std::uint8_t>{0x17}));
    card.mark();
    EXPECT_TRUE(mifare.authenticate(2, kKey.data(), false));
    const std::vector<std::uint8_t> expected =
        reselects ? std::vector<std::uint8_t>{0x12, 0x13, 0x14, 0x17} : std::vector<std::uint8_t>{0x17};
    EXPECT_EQ(card.commandsSinceMark(), expected);

    // Another card answers: no authentication, and sector 2 stays the one authenticated.
    card.always(0x13, ok("0A0B0C0D"));
    card.mark();
    EXPECT_EQ(mifare.authenticate(3, kKey.data(), false), !reselects);
    EXPECT_EQ(reader->authSector(), reselects ? 2 : 3);
    if (reselects) {
        EXPECT_EQ(card.commandsSinceMark(), (std::vector<std::uint8_t>{0x12, 0x13}));
    }
}

INSTANTIATE_TEST_SUITE_P(Types, VaReselection, testing::Values(kReaderVbSerial, kReaderVaHid, kReaderVbCh340),
                         [](const auto& info) { return "type" + std::to_string(info.param); });
