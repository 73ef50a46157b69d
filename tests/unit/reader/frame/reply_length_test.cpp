#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "reader/frame/va_frame.hpp"
#include "reader/frame/vc_frame.hpp"
#include "reader/frame/vd_frame.hpp"
#include "support/hex_bytes.hpp"

namespace va_frame = Orvane::va_frame;
namespace vc_frame = Orvane::vc_frame;
namespace vd_frame = Orvane::vd_frame;

namespace {

using ReplyLength = std::optional<std::size_t> (*)(std::span<const std::uint8_t>);

struct LengthCase {
    const char* name;
    ReplyLength replyLength;
    Bytes head;
    std::optional<std::size_t> expected;
};

std::string caseName(const testing::TestParamInfo<LengthCase>& info) {
    return info.param.name;
}

}  // namespace

class FrameReplyLength : public testing::TestWithParam<LengthCase> {};

TEST_P(FrameReplyLength, ReadsTheLengthFieldOfTheHead) {
    EXPECT_EQ(GetParam().replyLength(GetParam().head), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FrameReplyLength,
    testing::Values(
        // VA: FE 02 LEN STATUS, LEN + 5.
        LengthCase{"vaEmpty", va_frame::replyLength, {}, std::nullopt},
        LengthCase{"vaShortHead", va_frame::replyLength, hexBytes("FE 02 03"), std::nullopt},
        LengthCase{"vaExactHead", va_frame::replyLength, hexBytes("FE 02 03 10"), 8},
        LengthCase{"vaLenZero", va_frame::replyLength, hexBytes("FE 02 00 10"), 5},
        LengthCase{"vaLargestLen", va_frame::replyLength, hexBytes("FE 02 FF 10"), va_frame::kCapacity},
        LengthCase{"vaWholeReply", va_frame::replyLength, hexBytes("FE 02 03 10 51 58 BA 0C"), 8},
        // VC: AA 55 ADDR 00 LEN_H LEN_L CMD, LEN + 8.
        LengthCase{"vcEmpty", vc_frame::replyLength, {}, std::nullopt},
        LengthCase{"vcShortHead", vc_frame::replyLength, hexBytes("AA 55 00 00 00 03"), std::nullopt},
        LengthCase{"vcExactHead", vc_frame::replyLength, hexBytes("AA 55 00 00 00 03 16"), 11},
        LengthCase{"vcLenHighByte", vc_frame::replyLength, hexBytes("AA 55 00 00 01 00 16"), 264},
        LengthCase{"vcLargestLen", vc_frame::replyLength, hexBytes("AA 55 00 00 FF FF 16"),
                   vc_frame::kCapacity},
        LengthCase{"vcWholeReply", vc_frame::replyLength, hexBytes("AA 55 00 00 00 03 16 00 01 25 3F"), 11},
        // VD: 55 STATUS LEN_H LEN_L, LEN + 6.
        LengthCase{"vdEmpty", vd_frame::replyLength, {}, std::nullopt},
        LengthCase{"vdShortHead", vd_frame::replyLength, hexBytes("55 00 00"), std::nullopt},
        LengthCase{"vdExactHead", vd_frame::replyLength, hexBytes("55 00 00 03"), 9},
        LengthCase{"vdLenHighByte", vd_frame::replyLength, hexBytes("55 00 01 00"), 262},
        LengthCase{"vdLargestLen", vd_frame::replyLength, hexBytes("55 00 FF FF"), vd_frame::kCapacity},
        LengthCase{"vdWholeReply", vd_frame::replyLength, hexBytes("55 00 00 03 01 02 03 02 33"), 9}),
    caseName);

TEST(FrameReplyLength, HeadSizesMatchTheShortestHeadThatAnswers) {
    const struct {
        ReplyLength replyLength;
        std::size_t headBytes;
    } families[] = {{va_frame::replyLength, va_frame::kReplyHead},
                    {vc_frame::replyLength, vc_frame::kReplyHead},
                    {vd_frame::replyLength, vd_frame::kReplyHead}};
    const Bytes bytes(16, 0x00);
    for (const auto& family : families) {
        for (std::size_t n = 0; n <= bytes.size(); ++n)
            EXPECT_EQ(family.replyLength(std::span(bytes).first(n)).has_value(), n >= family.headBytes)
                << "head of " << n << " bytes, family head " << family.headBytes;
    }
}
