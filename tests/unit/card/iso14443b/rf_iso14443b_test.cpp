// Type B operations on simulated readers: they only ask for ISO 14443-B mode and find nothing.

#include "card/iso14443b/rf_iso14443b.hpp"

#include <gtest/gtest.h>

#include "support/sim_readers.hpp"

namespace {

struct TypeBCase {
    std::uint8_t type;
    std::uint8_t modeBefore;  // selected before the search (0: as opened)
    int found;                // findCards result
    std::uint8_t modeAfter;
};

void PrintTo(const TypeBCase& c, std::ostream* os) {
    *os << "type " << int(c.type) << " mode " << int(c.modeBefore);
}

class TypeBSearch : public testing::TestWithParam<TypeBCase> {
  protected:
    void SetUp() override {
        RfReader::forgetLastGoodPorts();
        sim.add(GetParam().type);
        reader->setType(GetParam().type);
        ASSERT_TRUE(reader->open(false));
        if (GetParam().modeBefore) {
            ASSERT_TRUE(reader->setProtocol(GetParam().modeBefore, true));
        }
    }
    void TearDown() override { RfReader::forgetLastGoodPorts(); }

    SimReaders sim;
    std::shared_ptr<RfReader> reader = std::make_shared<RfReader>(sim.bus);
};

}  // namespace

TEST_P(TypeBSearch, AsksForTypeBModeAndFindsNothing) {
    RfIso14443B typeB(reader);
    std::vector<Orvane::TypeBCardInfo> cards;
    EXPECT_EQ(typeB.findCards(cards, 4, 0x00, 1), GetParam().found);
    EXPECT_TRUE(cards.empty());
    EXPECT_EQ(reader->rfMode(), GetParam().modeAfter);
    // deselect answers whether the mode is set; the reserved operations do nothing.
    EXPECT_EQ(typeB.deselect(0), GetParam().found == -2);
    EXPECT_FALSE(typeB.reserved1());
    EXPECT_FALSE(typeB.reserved2());
    EXPECT_FALSE(typeB.reserved3());
}

constexpr std::uint8_t kA = Orvane::rf_mode::kIso14443A;
constexpr std::uint8_t kB = Orvane::rf_mode::kIso14443B;

INSTANTIATE_TEST_SUITE_P(Readers, TypeBSearch,
                         testing::Values(
                             // The VA family speaks ISO 14443-A only.
                             TypeBCase{kReaderVbSerial, 0, -1, kA}, TypeBCase{kReaderVaHid, 0, -1, kA},
                             TypeBCase{kReaderVbCh340, 0, -1, kA},
                             // Without a selected mode the reader is switched to type B.
                             TypeBCase{kReaderVdHid, 0, -2, kB}, TypeBCase{kReaderVcCh9326, 0, -2, kB},
                             TypeBCase{kReaderVcSerial, 0, -2, kB},
                             // A reader in ISO 14443-A mode is not taken away from it.
                             TypeBCase{kReaderVcCh9326, kA, -1, kA}, TypeBCase{kReaderVdHid, kA, -1, kA}),
                         [](const auto& info) {
                             return "Type" + std::to_string(info.param.type) + "Mode" +
                                    std::to_string(info.param.modeBefore);
                         });

TEST(TypeBSearchSwitch, ReaderFirmwareIsSetToTypeB) {
    RfReader::forgetLastGoodPorts();
    SimReaders sim;
    auto& vc = sim.add(kReaderVcCh9326);
    auto reader = std::make_shared<RfReader>(sim.bus);
    reader->setType(kReaderVcCh9326);
    ASSERT_TRUE(reader->open(false));
    std::vector<Orvane::TypeBCardInfo> cards;
    EXPECT_EQ(RfIso14443B(reader).findCards(cards, 1, 0, 0), -2);
    EXPECT_EQ(vc.reader->state().protocol, rfsim::Protocol::iso14443B);
}
