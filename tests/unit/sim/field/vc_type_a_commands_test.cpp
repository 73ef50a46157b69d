// VC-family card commands exchanged as raw frames: the firmware resolves the cascade and activates
// ISO 14443-4 cards itself.

#include <gtest/gtest.h>

#include "family_frames.hpp"
#include "sim/card/iso4_card.hpp"
#include "sim/card/mifare_classic_card.hpp"
#include "sim/field/type_a_commands.hpp"
#include "sim/firmware/vc_firmware.hpp"

using namespace family_frames;

namespace {

struct VcTypeATest : testing::Test {
    VcTypeATest() { EXPECT_TRUE(rfsim::attachField(firmware, field)); }
    Answer send(std::uint8_t command, std::string_view data = "") {
        return vcAnswer(firmware.answer(vc(command, hexBytes(data))));
    }

    rfsim::VcFirmware firmware;
    std::shared_ptr<rfsim::VirtualField> field = std::make_shared<rfsim::VirtualField>();
};

}  // namespace

TEST_F(VcTypeATest, ResolvesTheWholeUidAndSelectsIt) {
    struct Case {
        std::string uid, atqa, sak;
    };
    const Case cases[] = {
        {"01020304", "0400", "08"},
        {"04112233445566", "4400", "08"},
        {"04112233445566778899", "8400", "08"},
    };
    for (const auto& c : cases) {
        field->clear();
        field->place(rfsim::makeMifare1K(hexBytes(c.uid)));
        EXPECT_EQ(send(0x46, "52"), ok(c.atqa)) << c.uid;
        EXPECT_EQ(send(0x47, "04"), ok(c.uid));
        EXPECT_EQ(send(0x48, c.uid), ok(c.sak)) << c.uid;
        EXPECT_EQ(send(0x4A, "60 04 FFFFFFFFFFFF"), ok()) << c.uid;
        EXPECT_EQ(send(0x4C, "04 00112233445566778899AABBCCDDEEFF"), ok());
        EXPECT_EQ(send(0x4B, "04"), ok("00112233445566778899AABBCCDDEEFF"));
        // Selecting by UID needs no anticollision.
        EXPECT_EQ(send(0x46, "52"), ok(c.atqa));
        EXPECT_EQ(send(0x48, c.uid), ok(c.sak)) << c.uid;
    }
}

TEST_F(VcTypeATest, RefusesWhatACardOrTheFirmwareWouldRefuse) {
    EXPECT_EQ(send(0x46, "52"), status(rfsim::kStatusNoCard));
    EXPECT_EQ(send(0x47, "04"), status(rfsim::kStatusNoCard));
    EXPECT_EQ(send(0x29), ok());  // HLTA is never answered, so it cannot fail
    field->place(rfsim::makeMifare1K(hexBytes("01020304")));
    EXPECT_EQ(send(0x46, "27"), status(rfsim::kStatusBadParameter));
    EXPECT_EQ(send(0x48, "0102030405"), status(rfsim::kStatusBadParameter));
    EXPECT_EQ(send(0x46, "26"), ok("0400"));
    EXPECT_EQ(send(0x48, "01020399"), status(rfsim::kStatusNoCard));
    // A Mifare Classic does not answer RATS.
    EXPECT_EQ(send(0x53, "52"), status(rfsim::kStatusNoCard));
}

TEST_F(VcTypeATest, ActivatesAnIso4CardAndExchangesApdus) {
    const auto card = rfsim::makeIso4Card(hexBytes("04112233445566"), hexBytes("0575778102"),
                                          [](std::span<const std::uint8_t>) { return hexBytes("6A82"); });
    field->place(card);
    // The level-1 UID bytes (cascade tag included), then the ATS.
    EXPECT_EQ(send(0x53, "52"), ok("88041122 0575778102"));
    EXPECT_EQ(send(0x54, "00A4040000"), ok("6A82"));
    EXPECT_EQ(send(0x6B), ok());
    EXPECT_EQ(card->state(), rfsim::CardState::halt);
    EXPECT_EQ(send(0x54, "00A4040000"), status(rfsim::kStatusNoCard));
    EXPECT_EQ(send(0x6B), status(rfsim::kStatusNoCard));
}

TEST_F(VcTypeATest, FollowsTheProtocolSelectionAndFieldResets) {
    field->place(rfsim::makeMifare1K(hexBytes("01020304")));
    send(0x3A, "42");  // ISO 14443-B: type A cards hear nothing
    EXPECT_EQ(send(0x46, "52"), status(rfsim::kStatusNoCard));
    send(0x3A, "41");
    EXPECT_EQ(send(0x46, "52"), ok("0400"));
    send(0x47, "04");
    send(0x48, "01020304");
    send(0x29);
    EXPECT_EQ(send(0x46, "26"), status(rfsim::kStatusNoCard));  // halted
    send(0x05, "05");
    EXPECT_EQ(send(0x46, "26"), ok("0400"));  // powered up again
}
