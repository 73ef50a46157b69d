// The CPU card reached through the two families that speak ISO 14443-4 (VC: types 3 and 5, VD:
// type 1): activation answers its ATS, APDUs reach its COS, and a new activation starts the COS
// over. The VA family (types 2, 4, 6) has no RATS or APDU command.

#include <gtest/gtest.h>

#include "family_frames.hpp"
#include "sim/card/cpu_card.hpp"
#include "sim/field/type_a_commands.hpp"
#include "sim/firmware/vc_firmware.hpp"
#include "sim/firmware/vd_firmware.hpp"

using namespace family_frames;

namespace {

const std::string kUid = "04A1B2C3D4E5F6";
const std::string kAts = "0D78778102215243505553494D";
const std::string kSelectApp = "00A4040008F05246444F434B01";
const std::string kAppFci = "6F1E8408F05246444F434B01A5128801059F080101BF0C0811223344556677889000";

// VD's APDU exchange: 00 00 00 n and the APDU out, 00 00, the length and the response back.
std::string vdApdu(const std::string& apdu) {
    const Bytes bytes = hexBytes(apdu);
    return "000000" + Orvane::hexEncode(std::array{static_cast<std::uint8_t>(bytes.size())}) + apdu;
}
std::string vdResponse(const std::string& response) {
    const Bytes bytes = hexBytes(response);
    return "0000" + Orvane::hexEncode(std::array{std::uint8_t{0}, static_cast<std::uint8_t>(bytes.size())}) +
           response;
}

}  // namespace

TEST(CpuCardOnFamilies, VcActivatesAndExchangesApdus) {
    rfsim::VcFirmware firmware;
    auto field = std::make_shared<rfsim::VirtualField>();
    ASSERT_TRUE(rfsim::attachField(firmware, field));
    const auto card = rfsim::makeCpuCard(hexBytes(kUid));
    field->place(card);
    const auto send = [&](std::uint8_t command, const std::string& data = "") {
        return vcAnswer(firmware.answer(vc(command, hexBytes(data))));
    };
    EXPECT_EQ(card->sak(), 0x20);
    EXPECT_EQ(send(0x53, "52"), ok("8804A1B2" + kAts));
    EXPECT_EQ(send(0x54, kSelectApp), ok(kAppFci));
    EXPECT_EQ(send(0x54, "0020000003123456"), ok("9000"));
    EXPECT_EQ(send(0x54, "00D6820001AA"), ok("9000"));
    // Deselect and activate again: back in the MF, the PIN no longer verified, the data kept.
    EXPECT_EQ(send(0x6B), ok());
    EXPECT_EQ(send(0x53, "52"), ok("8804A1B2" + kAts));
    EXPECT_EQ(send(0x54, "00B0820001"), ok("6A82"));
    EXPECT_EQ(send(0x54, kSelectApp), ok(kAppFci));
    EXPECT_EQ(send(0x54, "00200000"), ok("63C3"));
    EXPECT_EQ(send(0x54, "00B0820001"), ok("AA9000"));
}

TEST(CpuCardOnFamilies, VdActivatesLevelByLevelAndExchangesApdus) {
    rfsim::VdFirmware firmware;
    auto field = std::make_shared<rfsim::VirtualField>();
    ASSERT_TRUE(rfsim::attachField(firmware, field));
    field->place(rfsim::makeCpuCard(hexBytes(kUid)));
    const std::string layer3 = "1000000000", layer4 = "1400000000";
    const auto send = [&](std::uint8_t command, const std::string& params, const std::string& data = "") {
        return vdAnswer(firmware.answer(vd(command, hexBytes(params), hexBytes(data))));
    };
    EXPECT_EQ(send(0x41, layer3, "01"), ok("4400"));
    EXPECT_EQ(send(0x43, layer3, "8804A1B2"), ok("04"));
    EXPECT_EQ(send(0x47, layer3, "95C3D4E5F6"), ok("20"));
    EXPECT_EQ(send(0x5A, layer4), ok(kAts));
    EXPECT_EQ(send(0x5B, layer4, vdApdu(kSelectApp)), ok(vdResponse(kAppFci)));
    EXPECT_EQ(send(0x5B, layer4, vdApdu("00B0810004")), ok(vdResponse("000102039000")));
    EXPECT_EQ(send(0x5B, layer4, vdApdu("00B081")), ok(vdResponse("6700")));
}
