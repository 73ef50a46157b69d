// Card commands of every family fed arbitrary data: every request gets a well-formed reply frame.

#include <gtest/gtest.h>

#include <random>

#include "family_frames.hpp"
#include "sim/card/iso4_card.hpp"
#include "sim/card/mifare_classic_card.hpp"
#include "sim/field/type_a_commands.hpp"
#include "sim/firmware/va_firmware.hpp"
#include "sim/firmware/vc_firmware.hpp"
#include "sim/firmware/vd_firmware.hpp"

using namespace family_frames;

TEST(TypeACommandsRobustness, ArbitraryDataNeverBreaksTheFirmware) {
    rfsim::VaFirmware vaFirmware;
    rfsim::VcFirmware vcFirmware;
    rfsim::VdFirmware vdFirmware;
    const auto field = std::make_shared<rfsim::VirtualField>();
    field->place(rfsim::makeMifare1K(hexBytes("01020304")));
    field->place(rfsim::makeMifare4K(hexBytes("04112233445566")));
    field->place(rfsim::makeIso4Card(hexBytes("04112233445566778899")));
    for (rfsim::Firmware* firmware :
         std::initializer_list<rfsim::Firmware*>{&vaFirmware, &vcFirmware, &vdFirmware})
        ASSERT_TRUE(rfsim::attachField(*firmware, field));

    const std::uint8_t vaCommands[] = {0x11, 0x12, 0x13, 0x14, 0x17, 0x18, 0x19, 0x2D};
    const std::uint8_t vcCommands[] = {0x05, 0x29, 0x46, 0x47, 0x48, 0x4A, 0x4B, 0x4C, 0x53, 0x54, 0x6B};
    const std::uint8_t vdCommands[] = {0x41, 0x42, 0x43, 0x45, 0x46, 0x47, 0x4E,
                                       0x5A, 0x5B, 0x5C, 0x5F, 0x60, 0x61};
    std::mt19937 random(7);
    const auto randomBytes = [&](std::size_t max) {
        Bytes bytes(random() % (max + 1));
        for (auto& byte : bytes)
            byte = static_cast<std::uint8_t>(random());
        // Often start with a value the command expects, so the requests get past the first check.
        const std::uint8_t likely[] = {0x00, 0x01, 0x04, 0x26, 0x52, 0x60, 0x61, 0x95, 0x97};
        if (!bytes.empty() && random() % 2) bytes[0] = likely[random() % std::size(likely)];
        return bytes;
    };
    for (int round = 0; round < 3000; ++round) {
        const Bytes data = randomBytes(24);
        const Answer va1 =
            vaAnswer(vaFirmware.answer(va(vaCommands[random() % std::size(vaCommands)], data)));
        const Answer vc1 =
            vcAnswer(vcFirmware.answer(vc(vcCommands[random() % std::size(vcCommands)], data)));
        Bytes params = {static_cast<std::uint8_t>(0x10 + random() % 5), 0, 0, 0,
                        static_cast<std::uint8_t>(random())};
        const Answer vd1 =
            vdAnswer(vdFirmware.answer(vd(vdCommands[random() % std::size(vdCommands)], params, data)));
        ASSERT_NE(va1.status, 0xFF);
        ASSERT_NE(vc1.status, 0xFF);
        ASSERT_NE(vd1.status, 0xFF);
    }
}
