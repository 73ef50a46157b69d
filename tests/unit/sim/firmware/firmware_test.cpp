// The reader firmware models: framing checks, reader-level commands, the command table.

#include <gtest/gtest.h>

#include "sim/firmware/check_bytes.hpp"
#include "sim/firmware/va_firmware.hpp"
#include "sim/firmware/vc_firmware.hpp"
#include "sim/firmware/vd_firmware.hpp"
#include "support/hex_bytes.hpp"

using rfsim::Protocol;

TEST(SimCheckBytes, MatchTheFamilyCheckValues) {
    const std::string check = "123456789";
    EXPECT_EQ(
        rfsim::check_bytes::crcCcitt({reinterpret_cast<const std::uint8_t*>(check.data()), check.size()}),
        0x29B1);
    EXPECT_EQ(rfsim::check_bytes::additive(hexBytes("00 00 16")), 0x16);
    EXPECT_EQ(rfsim::check_bytes::vdPair(hexBytes("55 00 00 03 01 02 03")),
              (std::pair<std::uint8_t, std::uint8_t>{0x02, 0x33}));
}

TEST(VaFirmwareModel, AnswersTheReaderCommands) {
    rfsim::VaFirmware firmware({"QX", 9600});
    EXPECT_EQ(firmware.answer(hexBytes("FE 02 01 10 3C 0F")), hexBytes("FE 02 03 00 51 58 F9 6F"));
    EXPECT_EQ(firmware.answer(hexBytes("FE 02 02 1C 03 D4 81")), hexBytes("FE 02 01 00 2E 3E"));
    EXPECT_EQ(firmware.state().baud, 57600u);
    EXPECT_EQ(firmware.state().commands, (std::vector<std::uint8_t>{0x10, 0x1C}));
}

TEST(VaFirmwareModel, RejectsFramesWithBadCrcSilently) {
    rfsim::VaFirmware firmware;
    EXPECT_TRUE(firmware.answer(hexBytes("FE 02 01 10 3C 0E")).empty());
    EXPECT_EQ(firmware.state().framesRejected, 1);
    EXPECT_EQ(firmware.requestLength(hexBytes("FE 02 01")), 6u);
    EXPECT_EQ(firmware.requestLength(hexBytes("FE 03")), 0u);
    EXPECT_EQ(firmware.requestLength(hexBytes("FE")), std::nullopt);
}

TEST(VcFirmwareModel, SelectsProtocolsAndRecordsLeds) {
    rfsim::VcFirmware firmware;
    EXPECT_EQ(firmware.answer(hexBytes("AA 66 00 00 00 00 16 16")),
              hexBytes("AA 55 00 00 00 03 16 00 01 25 3F"));
    // 0x3A 'B'; the reply echoes the command.
    const Bytes reply = firmware.answer(hexBytes("AA 66 00 00 00 01 3A 42 7D"));
    EXPECT_EQ(reply, hexBytes("AA 55 00 00 00 01 3A 00 3B"));
    EXPECT_EQ(firmware.state().protocol, Protocol::iso14443B);
    // An unknown letter is refused and changes nothing.
    EXPECT_EQ(firmware.answer(hexBytes("AA 66 00 00 00 01 3A 43 7E"))[7], rfsim::kStatusBadParameter);
    EXPECT_EQ(firmware.state().protocol, Protocol::iso14443B);
    firmware.answer(hexBytes("AA 66 00 00 00 01 6A 03 6E"));
    EXPECT_EQ(firmware.state().leds, Bytes{3});
    EXPECT_TRUE(firmware.answer(hexBytes("AA 66 00 00 00 01 6A 03 6F")).empty());  // bad sum
}

TEST(VdFirmwareModel, ReadsVersionAndSelectsProtocols) {
    rfsim::VdFirmware firmware({"VD-R13 13.56MHz reader"});
    const Bytes reply = firmware.answer(hexBytes("AA B0 00 07 80 00 00 00 00 00 20 5D 63"));
    ASSERT_GE(reply.size(), 6u);
    EXPECT_EQ(reply[0], 0x55);
    EXPECT_EQ(std::string(reply.begin() + 4, reply.end() - 2), "VD-R13 13.56MHz reader");
    EXPECT_TRUE(firmware.answer(hexBytes("AA B0 00 07 80 00 00 00 00 00 20 5D 64")).empty());
    EXPECT_EQ(firmware.state().framesRejected, 1);
}

TEST(FirmwareCommandTable, TakesCardCommandsAndAnswersUnknownOnes) {
    rfsim::VaFirmware firmware;
    EXPECT_EQ(firmware.answer(hexBytes("FE 02 01 20 0A 5C"))[3], rfsim::kStatusUnknownCommand);
    // A field model adds its commands; the handler sees the request data.
    firmware.setCommand(0x20, [](const rfsim::Request& r) -> std::optional<rfsim::Reply> {
        return rfsim::Reply{0x00, Bytes(r.data.begin(), r.data.end())};
    });
    const Bytes reply = firmware.answer(hexBytes("FE 02 01 20 0A 5C"));
    EXPECT_EQ(reply[3], 0x00);
    // A handler can also leave the request unanswered (no card in the field).
    firmware.setCommand(0x20, [](const rfsim::Request&) { return std::optional<rfsim::Reply>{}; });
    EXPECT_TRUE(firmware.answer(hexBytes("FE 02 01 20 0A 5C")).empty());
}
