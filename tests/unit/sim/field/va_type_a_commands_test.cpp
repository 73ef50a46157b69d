// VA-family card commands exchanged as raw frames with a firmware attached to a field.

#include <gtest/gtest.h>

#include "family_frames.hpp"
#include "sim/card/mifare_classic_card.hpp"
#include "sim/field/type_a_commands.hpp"
#include "sim/firmware/va_firmware.hpp"

using namespace family_frames;

namespace {

struct VaTypeATest : testing::Test {
    VaTypeATest() { EXPECT_TRUE(rfsim::attachField(firmware, field)); }
    Answer send(std::uint8_t command, std::string_view data = "") {
        return vaAnswer(firmware.answer(va(command, hexBytes(data))));
    }
    // Field reset, request, anticollision and select, as the host selects any card.
    void selectCard() {
        send(0x2D);
        ASSERT_EQ(send(0x12).status, 0);
        ASSERT_EQ(send(0x13).status, 0);
        ASSERT_EQ(send(0x14).status, 0);
    }

    rfsim::VaFirmware firmware;
    std::shared_ptr<rfsim::VirtualField> field = std::make_shared<rfsim::VirtualField>();
};

}  // namespace

TEST_F(VaTypeATest, SelectsAuthenticatesReadsAndWrites) {
    field->place(rfsim::makeMifare1K(hexBytes("01020304")));
    send(0x2D);
    EXPECT_EQ(send(0x12), ok("0400"));
    EXPECT_EQ(send(0x13), ok("01020304"));
    EXPECT_EQ(send(0x14), ok("0800"));
    EXPECT_EQ(send(0x17, "60 04 FFFFFFFFFFFF"), ok());
    EXPECT_EQ(send(0x19, "05 00112233445566778899AABBCCDDEEFF"), ok());
    EXPECT_EQ(send(0x18, "05"), ok("00112233445566778899AABBCCDDEEFF"));
    // The trailer: Key A reads as zeros, access bytes and Key B (readable under FF0780) as stored.
    EXPECT_EQ(send(0x18, "07"), ok("000000000000 FF078069 FFFFFFFFFFFF"));
}

TEST_F(VaTypeATest, FailsWithoutACardAndAfterAWrongKey) {
    EXPECT_EQ(send(0x12), status(rfsim::kStatusNoCard));
    EXPECT_EQ(send(0x13), status(rfsim::kStatusNoCard));
    EXPECT_EQ(send(0x14), status(rfsim::kStatusNoCard));
    EXPECT_EQ(send(0x18, "01"), status(rfsim::kStatusNoCard));

    field->place(rfsim::makeMifare1K(hexBytes("01020304")));
    selectCard();
    EXPECT_EQ(send(0x17, "60 04 A0A1A2A3A4A5"), status(rfsim::kStatusAuthFailed));
    // The card has dropped out of ACTIVE: it answers nothing until selected again.
    EXPECT_EQ(send(0x17, "60 04 FFFFFFFFFFFF"), status(rfsim::kStatusNoCard));
    selectCard();
    EXPECT_EQ(send(0x17, "60 04 FFFFFFFFFFFF"), ok());
}

// Types 2 and 6 re-activate the card before authenticating another sector: the card, still ACTIVE,
// ignores the first request and the firmware's second one wakes it.
TEST_F(VaTypeATest, ReactivatesAnAuthenticatedCard) {
    const auto card = rfsim::makeMifare1K(hexBytes("01020304"));
    field->place(card);
    selectCard();
    EXPECT_EQ(send(0x17, "60 04 FFFFFFFFFFFF"), ok());
    EXPECT_EQ(send(0x12), ok("0400"));
    EXPECT_EQ(send(0x13), ok("01020304"));
    EXPECT_EQ(send(0x14), ok("0800"));
    EXPECT_EQ(send(0x17, "61 08 FFFFFFFFFFFF"), ok());
    // Halted cards need the field reset the host sends before its request.
    EXPECT_EQ(send(0x11), ok());
    EXPECT_EQ(send(0x12), status(rfsim::kStatusNoCard));
    send(0x2D);
    EXPECT_EQ(send(0x12), ok("0400"));
}

// A double-size UID stops at level 1: this firmware knows no further levels.
TEST_F(VaTypeATest, SelectsOnlyTheFirstCascadeLevel) {
    const auto card = rfsim::makeMifare1K(hexBytes("04112233445566"));
    field->place(card);
    send(0x2D);
    EXPECT_EQ(send(0x12), ok("4400"));
    EXPECT_EQ(send(0x13), ok("88041122"));
    EXPECT_EQ(send(0x14), ok("0400"));
    EXPECT_EQ(card->state(), rfsim::CardState::ready);
    EXPECT_EQ(send(0x17, "60 04 FFFFFFFFFFFF"), status(rfsim::kStatusNoCard));
    EXPECT_EQ(send(0x18), status(rfsim::kStatusBadParameter));
}
