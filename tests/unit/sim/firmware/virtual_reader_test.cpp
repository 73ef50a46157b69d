// Frame assembly from the bytes a link delivers, and the injected faults.

#include "sim/firmware/virtual_reader.hpp"

#include <gtest/gtest.h>

#include "sim/firmware/va_firmware.hpp"
#include "support/hex_bytes.hpp"

namespace {

const Bytes kIdentify = hexBytes("FE 02 01 10 3C 0F");

struct VirtualReaderTest : testing::Test {
    rfsim::VirtualReader reader{std::make_unique<rfsim::VaFirmware>(rfsim::VaFirmware::Options{"QX", 0})};
    const Bytes answer = hexBytes("FE 02 03 00 51 58 F9 6F");
};

}  // namespace

TEST_F(VirtualReaderTest, AssemblesFramesFromFragmentsAndSkipsNoise) {
    EXPECT_TRUE(reader.receive(hexBytes("00 13 FE"), false).empty());
    EXPECT_TRUE(reader.receive(hexBytes("02 01"), false).empty());
    EXPECT_EQ(reader.receive(hexBytes("10 3C 0F"), false), answer);
    // Two frames in one delivery get two answers.
    Bytes twice = kIdentify;
    twice.insert(twice.end(), kIdentify.begin(), kIdentify.end());
    Bytes both = answer;
    both.insert(both.end(), answer.begin(), answer.end());
    EXPECT_EQ(reader.receive(twice, false), both);
}

TEST_F(VirtualReaderTest, ReportPaddingAfterAFrameIsDropped) {
    Bytes report = kIdentify;
    report.resize(64, 0xFE);  // padding that would look like a frame start
    EXPECT_EQ(reader.receive(report, true), answer);
    EXPECT_EQ(reader.receive(kIdentify, true), answer);
}

TEST_F(VirtualReaderTest, LineNoiseLosesTheFrameInProgress) {
    reader.receive(hexBytes("FE 02 01"), false);
    reader.lineNoise();
    EXPECT_TRUE(reader.receive(hexBytes("10 3C 0F"), false).empty());
    EXPECT_EQ(reader.receive(kIdentify, false), answer);
}

TEST_F(VirtualReaderTest, FaultsChangeTheAnswers) {
    struct Case {
        rfsim::Fault fault;
        std::size_t keep;
        Bytes replacement;
        Bytes expected;
    };
    const Case cases[] = {
        {rfsim::Fault::silence, 0, {}, {}},
        {rfsim::Fault::truncate, 3, {}, hexBytes("FE 02 03")},
        {rfsim::Fault::corruptCheck, 0, {}, hexBytes("FE 02 03 00 51 58 F9 90")},
        {rfsim::Fault::replace, 0, hexBytes("AA BB"), hexBytes("AA BB")},
    };
    for (const auto& c : cases) {
        reader.setFault(c.fault, 1, c.keep, c.replacement);
        EXPECT_EQ(reader.receive(kIdentify, false), c.expected);
        EXPECT_EQ(reader.receive(kIdentify, false), answer);  // one answer only
    }
    reader.setFault(rfsim::Fault::silence);
    EXPECT_TRUE(reader.receive(kIdentify, false).empty());
    EXPECT_TRUE(reader.receive(kIdentify, false).empty());
    reader.clearFault();
    EXPECT_EQ(reader.receive(kIdentify, false), answer);
}

TEST_F(VirtualReaderTest, UnpluggedReaderHearsNothingAndAReplugIsANewConnection) {
    const auto first = reader.connection();
    ASSERT_TRUE(first);
    EXPECT_TRUE(reader.connected(*first));
    reader.receive(hexBytes("FE 02 01"), false);  // a frame in progress when the cable comes out
    reader.unplug();
    EXPECT_FALSE(reader.plugged());
    EXPECT_FALSE(reader.connection());
    EXPECT_FALSE(reader.connected(*first));
    EXPECT_TRUE(reader.receive(kIdentify, false).empty());
    EXPECT_TRUE(reader.state().commands.empty());

    reader.plug();
    const auto second = reader.connection();
    ASSERT_TRUE(second);
    EXPECT_NE(*second, *first);
    EXPECT_FALSE(reader.connected(*first));  // a handle from before stays dead
    EXPECT_TRUE(reader.connected(*second));
    // The half frame from before is gone: its tail is noise, the next frame is answered.
    EXPECT_TRUE(reader.receive(hexBytes("10 3C 0F"), false).empty());
    EXPECT_EQ(reader.receive(kIdentify, false), answer);
    reader.plug();  // plugged already: the same connection
    EXPECT_EQ(reader.connection(), second);
}

TEST(VirtualReaderPlug, ReplugPowersTheReaderUp) {
    rfsim::VirtualReader reader{std::make_unique<rfsim::VaFirmware>(rfsim::VaFirmware::Options{"QX", 9600})};
    ASSERT_EQ(reader.receive(hexBytes("FE 02 02 1C 03 D4 81"), false), hexBytes("FE 02 01 00 2E 3E"));
    EXPECT_EQ(reader.baud(), 57600u);
    const auto resets = reader.state().fieldResets;
    reader.unplug();
    reader.plug();
    // Back at the power-on rate, and the field was off; what the reader did is still on record.
    EXPECT_EQ(reader.baud(), 9600u);
    EXPECT_EQ(reader.state().fieldResets, resets + 1);
    EXPECT_EQ(reader.state().commands, (std::vector<std::uint8_t>{0x1C}));
}

TEST_F(VirtualReaderTest, UnplugAfterNextRequestDropsOnlyThatAnswer) {
    reader.unplugAfterNextRequest();
    EXPECT_TRUE(reader.plugged());
    EXPECT_TRUE(reader.receive(hexBytes("FE 02 01 10"), false).empty());
    EXPECT_TRUE(reader.plugged());  // armed until a whole frame is in
    // The firmware handles the request, but the cable is out before the answer leaves.
    EXPECT_TRUE(reader.receive(hexBytes("3C 0F"), false).empty());
    EXPECT_FALSE(reader.plugged());
    EXPECT_EQ(reader.state().commands, (std::vector<std::uint8_t>{0x10}));
    EXPECT_EQ(reader.state().framesAnswered, 1);

    // Frames behind that request in the same delivery are never heard.
    reader.plug();
    reader.unplugAfterNextRequest();
    Bytes three = kIdentify;
    for (int i = 0; i < 2; ++i)
        three.insert(three.end(), kIdentify.begin(), kIdentify.end());
    EXPECT_TRUE(reader.receive(three, false).empty());
    EXPECT_EQ(reader.state().commands.total(), 2u);

    // The switch goes off with the unplug: the replugged reader answers again.
    reader.plug();
    EXPECT_EQ(reader.receive(kIdentify, false), answer);
    EXPECT_EQ(reader.receive(kIdentify, false), answer);
}

TEST_F(VirtualReaderTest, CommandHandlerMayPullTheCable) {
    // Identify is answered; the beep's handler pulls the cable, so its answer and the frame
    // behind it are lost, while the answer that left before is delivered.
    reader.withFirmware([&](rfsim::Firmware& firmware) {
        firmware.setCommand(0x1B, [&](const rfsim::Request&) {
            reader.unplug();
            return std::optional(rfsim::Reply{});
        });
    });
    Bytes frames = kIdentify;
    for (const Bytes& more : {hexBytes("FE 02 02 1B 05 2D D0"), kIdentify})
        frames.insert(frames.end(), more.begin(), more.end());
    EXPECT_EQ(reader.receive(frames, false), answer);
    EXPECT_FALSE(reader.plugged());
    EXPECT_EQ(reader.state().commands, (std::vector<std::uint8_t>{0x10, 0x1B}));
}
