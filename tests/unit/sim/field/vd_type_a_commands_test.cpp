// VD-family card commands exchanged as raw frames: the host walks the cascade levels itself.

#include <gtest/gtest.h>

#include "family_frames.hpp"
#include "sim/card/iso4_card.hpp"
#include "sim/card/mifare_classic_card.hpp"
#include "sim/field/type_a_commands.hpp"
#include "sim/firmware/vd_firmware.hpp"

using namespace family_frames;

namespace {

const std::string kLayer3 = "1000000000";
const std::string kLayer4 = "1400000000";

struct VdTypeATest : testing::Test {
    VdTypeATest() { EXPECT_TRUE(rfsim::attachField(firmware, field)); }
    Answer send(std::uint8_t command, std::string_view params, std::string_view data = "") {
        return vdAnswer(firmware.answer(vd(command, hexBytes(params), hexBytes(data))));
    }

    rfsim::VdFirmware firmware;
    std::shared_ptr<rfsim::VirtualField> field = std::make_shared<rfsim::VirtualField>();
};

}  // namespace

TEST_F(VdTypeATest, WalksThreeCascadeLevels) {
    field->place(rfsim::makeMifare1K(hexBytes("04112233445566778899")));
    EXPECT_EQ(send(0x41, kLayer3, "01"), ok("8400"));
    EXPECT_EQ(send(0x42, kLayer3, "00"), ok("88041122"));
    EXPECT_EQ(send(0x43, kLayer3, "88041122"), ok("04"));
    EXPECT_EQ(send(0x46, kLayer3, "9500"), ok("88334455"));
    EXPECT_EQ(send(0x47, kLayer3, "95 88334455"), ok("04"));
    EXPECT_EQ(send(0x46, kLayer3, "9700"), ok("66778899"));
    EXPECT_EQ(send(0x47, kLayer3, "97 66778899"), ok("08"));
    // Known UID: wake-up and the selects of both levels, no anticollision.
    EXPECT_EQ(send(0x45, kLayer3), ok());
    EXPECT_EQ(send(0x41, kLayer3, "00"), status(rfsim::kStatusNoCard));
    EXPECT_EQ(send(0x41, kLayer3, "01"), ok("8400"));
    EXPECT_EQ(send(0x43, kLayer3, "88041122"), ok("04"));
    EXPECT_EQ(send(0x47, kLayer3, "95 88334455"), ok("04"));
    EXPECT_EQ(send(0x47, kLayer3, "97 66778899"), ok("08"));
}

TEST_F(VdTypeATest, AuthenticatesReadsAndWritesWithTheBlockInTheParameters) {
    field->place(rfsim::makeMifare4K(hexBytes("01020304")));
    send(0x41, kLayer3, "01");
    send(0x42, kLayer3, "00");
    ASSERT_EQ(send(0x43, kLayer3, "01020304"), ok("18"));
    EXPECT_EQ(send(0x5F, "1300000080", "00 FFFFFFFFFFFF"), ok());
    EXPECT_EQ(send(0x60, "1300000085", "00112233445566778899AABBCCDDEEFF"), ok());
    EXPECT_EQ(send(0x61, "1300000085"), ok("00112233445566778899AABBCCDDEEFF"));
    EXPECT_EQ(send(0x61, "130000008F"), ok("000000000000 FF078069 FFFFFFFFFFFF"));
    EXPECT_EQ(send(0x61, "1300000000"), status(rfsim::kStatusCardRefused));  // sector 0 not authenticated
    // Malformed requests are the firmware's to refuse; the card hears nothing of them.
    EXPECT_EQ(send(0x61, "1000000085"), status(rfsim::kStatusBadParameter));
    EXPECT_EQ(send(0x5F, "1300000080", "02 FFFFFFFFFFFF"), status(rfsim::kStatusBadParameter));
    EXPECT_EQ(send(0x41, kLayer3, "02"), status(rfsim::kStatusBadParameter));
}

TEST_F(VdTypeATest, RatsApduExchangeAndDeselect) {
    field->place(rfsim::makeIso4Card(hexBytes("08A1B2C3"), hexBytes("0575778102"),
                                     [](std::span<const std::uint8_t> apdu) {
                                         Bytes response(apdu.begin(), apdu.end());
                                         response.insert(response.end(), {0x90, 0x00});
                                         return response;
                                     }));
    send(0x41, kLayer3, "01");
    ASSERT_EQ(send(0x43, kLayer3, "08A1B2C3"), ok("20"));
    EXPECT_EQ(send(0x5A, kLayer4), ok("0575778102"));
    // 00 00 00 n and the APDU; the reply carries the response length in its bytes 2-3.
    EXPECT_EQ(send(0x5B, kLayer4, "000000 03 0084AB"), ok("0000 0005 0084AB9000"));
    EXPECT_EQ(send(0x5B, kLayer4, "000000 04 0084AB"), status(rfsim::kStatusBadParameter));
    EXPECT_EQ(send(0x5C, kLayer4), ok());
    EXPECT_EQ(send(0x5A, kLayer4), status(rfsim::kStatusNoCard));
}

TEST_F(VdTypeATest, HearsNothingOnAnotherProtocol) {
    field->place(rfsim::makeMifare1K(hexBytes("01020304")));
    send(0xBD, "8000000000", "02");  // ISO 15693
    EXPECT_EQ(send(0x41, kLayer3, "01"), status(rfsim::kStatusNoCard));
    send(0xBD, "8000000000", "00");
    EXPECT_EQ(send(0x41, kLayer3, "01"), ok("0400"));
}
