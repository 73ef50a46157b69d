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
