#include <gtest/gtest.h>

#include <string>

#include "reader/frame/check_sums.hpp"
#include "reader/frame/vc_frame.hpp"
#include "reader/frame/vd_frame.hpp"
#include "support/hex_bytes.hpp"

namespace vc_frame = Orvane::vc_frame;
namespace vd_frame = Orvane::vd_frame;

namespace {

Bytes with(Bytes bytes, std::size_t at, std::uint8_t value) {
    bytes[at] = value;
    return bytes;
}

// Recomputes the VC sum after a case edited a field, so only that field is wrong.
Bytes resummed(Bytes bytes) {
    bytes.back() = Orvane::check_sums::sum8(std::span(bytes).subspan(2, bytes.size() - 3));
    return bytes;
}

const Bytes kVcIdentifyReply = hexBytes("AA 55 00 00 00 03 16 00 01 25 3F");
const Bytes kVdReply = hexBytes("55 00 00 03 01 02 03 02 33");

struct ReplyCase {
    const char* name;
    Bytes reply;
    int expected;
};

std::string caseName(const testing::TestParamInfo<ReplyCase>& info) {
    return info.param.name;
}

}  // namespace

TEST(CheckSums, FoldLongAndShortRuns) {
    Bytes bytes(1000);
    unsigned sum = 0;
    std::uint8_t x = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
        sum += bytes[i];
        x ^= bytes[i];
    }
    for (const std::size_t n : {0u, 1u, 15u, 16u, 17u, 1000u}) {
        unsigned s = 0;
        std::uint8_t xx = 0;
        for (std::size_t i = 0; i < n; ++i)
            s += bytes[i], xx ^= bytes[i];
        EXPECT_EQ(Orvane::check_sums::sum8(std::span(bytes).first(n)), s & 0xFF) << n;
        EXPECT_EQ(Orvane::check_sums::xor8(std::span(bytes).first(n)), xx) << n;
    }
    EXPECT_EQ(Orvane::check_sums::sum8(bytes), sum & 0xFF);
    EXPECT_EQ(Orvane::check_sums::xor8(bytes), x);
}

TEST(VcFrame, SealsRequestsByteExact) {
    Bytes frame(32, 0xEE);
    frame[6] = 0x16;
    ASSERT_EQ(vc_frame::sealRequest(frame, 0, 0), 8u);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 8), hexBytes("AA 66 00 00 00 00 16 16"));
    frame[6] = 0x6A;
    frame[7] = 0x03;
    ASSERT_EQ(vc_frame::sealRequest(frame, 1, 0), 9u);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 9), hexBytes("AA 66 00 00 00 01 6A 03 6E"));
    EXPECT_EQ(vc_frame::sealRequest(frame, 25, 0), 0u);  // does not fit the buffer
}

class VcFrameReply : public testing::TestWithParam<ReplyCase> {};

TEST_P(VcFrameReply, GivesTheResultValue) {
    EXPECT_EQ(vc_frame::checkReply(GetParam().reply, 0x16), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VcFrameReply,
    testing::Values(ReplyCase{"good", kVcIdentifyReply, 0},
                    ReplyCase{"status", resummed(with(kVcIdentifyReply, 7, 0x04)), 4},
                    ReplyCase{"anyAddress", resummed(with(kVcIdentifyReply, 2, 0x07)), 0},
                    ReplyCase{"sevenBytes", Bytes(kVcIdentifyReply.begin(), kVcIdentifyReply.begin() + 7),
                              -1},
                    ReplyCase{"otherCommand", resummed(with(kVcIdentifyReply, 6, 0x17)), -2},
                    ReplyCase{"requestHeader", resummed(with(kVcIdentifyReply, 1, 0x66)), -2},
                    ReplyCase{"firstByte", resummed(with(kVcIdentifyReply, 0, 0xAB)), -2},
                    ReplyCase{"byte3", resummed(with(kVcIdentifyReply, 3, 0x01)), -2},
                    ReplyCase{"lenZero", hexBytes("AA 55 00 00 00 00 16 16"), -2},
                    ReplyCase{"lenBeyondReply", resummed(with(kVcIdentifyReply, 5, 0x04)), -2},
                    ReplyCase{"lenHighByte", resummed(with(kVcIdentifyReply, 4, 0x01)), -2},
                    ReplyCase{"badSum", with(kVcIdentifyReply, 10, 0x40), -3},
                    ReplyCase{"dataFlipped", with(kVcIdentifyReply, 9, 0x26), -3}),
    caseName);

TEST(VdFrame, SealsRequestsByteExact) {
    Bytes frame(32, 0xEE);
    frame[1] = 0xB0;
    const Bytes params = hexBytes("80 00 00 00 00 00 20");
    std::copy(params.begin(), params.end(), frame.begin() + 4);
    ASSERT_EQ(vd_frame::sealRequest(frame, 2), 13u);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 13), hexBytes("AA B0 00 07 80 00 00 00 00 00 20 5D 63"));
}

TEST(VdFrame, RefusesDataTheLengthFieldCannotCount) {
    Bytes frame(vd_frame::kCapacity + 3);
    EXPECT_EQ(vd_frame::sealRequest(frame, vd_frame::kMaxDataLength), vd_frame::kMaxDataLength + 11);
    EXPECT_EQ(vd_frame::sealRequest(frame, vd_frame::kMaxDataLength + 1), 0u);
}

class VdFrameReply : public testing::TestWithParam<ReplyCase> {};

TEST_P(VdFrameReply, GivesTheResultValue) {
    EXPECT_EQ(vd_frame::checkReply(GetParam().reply), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, VdFrameReply,
                         testing::Values(ReplyCase{"good", kVdReply, 0},
                                         ReplyCase{"fiveBytes", Bytes(kVdReply.begin(), kVdReply.begin() + 5),
                                                   -1},
                                         ReplyCase{"requestHeaderAA", with(kVdReply, 0, 0xAA), -2},
                                         ReplyCase{"lenBeyondReply", with(kVdReply, 3, 0x04), -2},
                                         ReplyCase{"lenShort", with(kVdReply, 3, 0x02), -2},
                                         ReplyCase{"lenHighByte", with(kVdReply, 2, 0x01), -2},
                                         ReplyCase{"badC1", with(kVdReply, 7, 0x03), -3},
                                         ReplyCase{"badC2", with(kVdReply, 8, 0x34), -3},
                                         ReplyCase{"dataFlipped", with(kVdReply, 5, 0x12), -3},
                                         ReplyCase{"statusChangesChecks", with(kVdReply, 1, 0x07), -3}),
                         caseName);

TEST(VdFrame, StatusIsReturnedFromASoundReply) {
    Bytes frame = hexBytes("55 2A 00 00 00 00");
    const auto [c1, c2] = vd_frame::checkBytes(std::span(frame).first(4));
    frame[4] = c1;
    frame[5] = c2;
    EXPECT_EQ(vd_frame::checkReply(frame), 0x2A);
}
