#include "reader/frame/va_frame.hpp"

#include <gtest/gtest.h>

#include <string>

#include "support/hex_bytes.hpp"

namespace va_frame = Orvane::va_frame;

TEST(VaFrameCrc, MatchesTheCcittFalseCheckValue) {
    const std::string check = "123456789";
    EXPECT_EQ(va_frame::crc16({reinterpret_cast<const std::uint8_t*>(check.data()), check.size()}), 0x29B1);
    EXPECT_EQ(va_frame::crc16({}), 0xFFFF);
}

TEST(VaFrameRequest, SealsHeaderLengthAndCrcHighByteFirst) {
    Bytes frame(va_frame::kCapacity, 0xEE);
    frame[3] = 0x10;  // identify, no data
    ASSERT_EQ(va_frame::sealRequest(frame, 0), 6u);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 6), hexBytes("FE 02 01 10 3C 0F"));

    frame[3] = 0x1C;  // reader to 57,600 baud
    frame[4] = 0x03;
    ASSERT_EQ(va_frame::sealRequest(frame, 1), 7u);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 7), hexBytes("FE 02 02 1C 03 D4 81"));
}

TEST(VaFrameRequest, RefusesWhatTheLengthByteOrBufferCannotHold) {
    Bytes frame(va_frame::kCapacity);
    EXPECT_EQ(va_frame::sealRequest(frame, 254), 260u);
    EXPECT_EQ(va_frame::sealRequest(frame, 255), 0u);  // LEN would wrap to 0
    Bytes small(10);
    EXPECT_EQ(va_frame::sealRequest(small, 5), 0u);
}

struct ReplyCase {
    const char* name;
    Bytes reply;
    int expected;
};

class VaFrameReply : public testing::TestWithParam<ReplyCase> {};

TEST_P(VaFrameReply, GivesTheResultValue) {
    EXPECT_EQ(va_frame::checkReply(GetParam().reply), GetParam().expected);
}

namespace {

// A well-formed reply with the given status and data (CRC from the function under test, whose
// check value is pinned above).
Bytes reply(std::uint8_t status, Bytes data = {}) {
    Bytes frame{0xFE, 0x02, static_cast<std::uint8_t>(data.size() + 1), status};
    for (const std::uint8_t byte : data)
        frame.push_back(byte);
    const auto crc = va_frame::crc16(std::span(frame).subspan(2));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    frame.push_back(static_cast<std::uint8_t>(crc));
    return frame;
}

Bytes with(Bytes bytes, std::size_t at, std::uint8_t value) {
    bytes[at] = value;
    return bytes;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(
    Cases, VaFrameReply,
    testing::Values(ReplyCase{"status10", hexBytes("FE 02 03 10 51 58 BA 0C"), 0},
                    ReplyCase{"status18", reply(0x18), 0}, ReplyCase{"status00", reply(0x00, {1, 2}), 0},
                    ReplyCase{"status05", reply(0x05), 5}, ReplyCase{"statusFF", reply(0xFF), 0xFF},
                    ReplyCase{"fiveBytes", Bytes{0xFE, 0x02, 0x01, 0x10, 0x3C}, -1},
                    ReplyCase{"empty", Bytes{}, -1}, ReplyCase{"header0", with(reply(0), 0, 0xFF), -2},
                    ReplyCase{"header1", with(reply(0), 1, 0x03), -2},
                    ReplyCase{"lenTooBig", with(reply(0, {1}), 2, 0x03), -2},
                    ReplyCase{"lenTooSmall", with(reply(0, {1}), 2, 0x01), -2},
                    ReplyCase{"crcHigh", with(reply(0, {1}), 5, 0x00), -3},
                    ReplyCase{"crcLow", hexBytes("FE 02 03 10 51 58 BA 0D"), -3},
                    ReplyCase{"dataFlipped", hexBytes("FE 02 03 10 51 59 BA 0C"), -3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VaFrameBaud, CodesTheReaderRates) {
    EXPECT_EQ(va_frame::baudCode(9600), 0);
    EXPECT_EQ(va_frame::baudCode(57600), 3);
    EXPECT_EQ(va_frame::baudCode(115200), 4);
    EXPECT_EQ(va_frame::baudCode(14400), std::nullopt);
}

TEST(VaProductText, RebrandsOnceEach) {
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},
        {"Q", "Q"},
        {"QX", "VA_"},
        {"QX-100 QX", "VA_-100 QX"},
        {"Zorla", "Tesmar"},
        {"QX13 Zorla Zorla", "VA_13 Tesmar Zorla"},
        {"qx zorla", "qx zorla"},  // case-sensitive
        {"RF reader 2.1", "RF reader 2.1"},
    };
    for (const auto& [text, shown] : cases)
        EXPECT_EQ(va_frame::rebrandProductText(text), shown) << text;
}
