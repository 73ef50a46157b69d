// The family exchange routines over a transport that records the request and plays a fixed reply.

#include <gtest/gtest.h>

#include <memory>

#include "reader/frame/iva_reader.hpp"
#include "reader/frame/ivc_tsm_reader.hpp"
#include "reader/frame/ivd_reader.hpp"
#include "support/hex_bytes.hpp"

namespace {

template <typename Family>
class Canned final : public Family {
  public:
    int transceive(std::uint8_t* buf, int len, int maxLen) override {
        ++calls;
        request.assign(buf, buf + len);
        capacity = maxLen;
        const std::size_t n = std::min(reply.size(), static_cast<std::size_t>(maxLen));
        std::copy_n(reply.begin(), n, buf);
        return result ? *result : static_cast<int>(n);
    }

    Bytes reply;
    std::optional<int> result;  // overrides the byte count
    Bytes request;
    int capacity = 0;
    int calls = 0;
};

using Va = Canned<Orvane::IVAReader>;
using Vc = Canned<Orvane::IVCTsmReader>;
using Vd = Canned<Orvane::IVDReader>;

}  // namespace

TEST(VaExchange, SendsTheSealedFrameAndExposesTheReplyData) {
    Va reader;
    reader.reply = hexBytes("FE 02 03 10 51 58 BA 0C");  // status 0x10, data "QX"
    EXPECT_EQ(reader.exchange(0x10), 0);
    EXPECT_EQ(reader.request, hexBytes("FE 02 01 10 3C 0F"));
    EXPECT_EQ(reader.capacity, 260);
    EXPECT_EQ(reader.header()[2], 2);  // reply data length without the status
    EXPECT_EQ(Bytes(reader.replyData().begin(), reader.replyData().end()), hexBytes("51 58"));
}

TEST(VaExchange, CallerFilledFrameIsCompletedInPlace) {
    Va reader;
    reader.reply = hexBytes("FE 02 01 00 2E 3E");
    reader.header()[2] = 1;
    reader.header()[3] = 0x1C;
    reader.data()[0] = 0x03;
    EXPECT_EQ(reader.exchange(), 0);
    EXPECT_EQ(reader.request, hexBytes("FE 02 02 1C 03 D4 81"));
    EXPECT_EQ(reader.frameLength(), 7);
}

TEST(VaExchange, TransportFailuresBecomeResultValues) {
    Va reader;
    reader.result = -1;
    EXPECT_EQ(reader.exchange(0x10), -1);
    reader.result = 5;
    EXPECT_EQ(reader.exchange(0x10), -1);
    reader.result = 261;  // a transport claiming more than the buffer holds
    EXPECT_EQ(reader.exchange(0x10), -2);
}

TEST(VaExchange, DataTheLengthByteCannotCountIsNotSent) {
    Va reader;
    reader.header()[2] = 255;
    EXPECT_EQ(reader.exchange(), -1);
    EXPECT_EQ(reader.exchange(0x10, Bytes(255)), -1);
    EXPECT_EQ(reader.calls, 0);
}

TEST(VcExchange, ConvertsTheLengthAndChecksTheEcho) {
    auto reader = std::make_unique<Vc>();
    reader->reply = hexBytes("AA 55 00 00 00 03 16 00 01 25 3F");
    EXPECT_EQ(reader->exchange(0x16), 0);
    EXPECT_EQ(reader->request, hexBytes("AA 66 00 00 00 00 16 16"));
    EXPECT_EQ(reader->capacity, 65543);
    EXPECT_EQ(reader->lengthField(), 2);  // host order, status not counted
    EXPECT_EQ(Bytes(reader->replyData().begin(), reader->replyData().end()), hexBytes("01 25"));
    // The same reply to another command is not an answer to it.
    EXPECT_EQ(reader->exchange(0x6A, hexBytes("03")), -2);
    EXPECT_EQ(reader->request, hexBytes("AA 66 00 00 00 01 6A 03 6E"));
}

TEST(VcExchange, CallerFilledLengthIsHostOrder) {
    auto reader = std::make_unique<Vc>();
    reader->reply = hexBytes("AA 55 00 00 00 01 6A 00 6B");
    reader->setCommand(0x6A);
    reader->setLengthField(1);
    reader->data()[0] = 0x03;
    EXPECT_EQ(reader->exchange(), 0);
    EXPECT_EQ(reader->request, hexBytes("AA 66 00 00 00 01 6A 03 6E"));
    EXPECT_EQ(reader->lengthField(), 0);
}

TEST(VdExchange, SendsParamsAndDataAndConvertsTheLength) {
    auto reader = std::make_unique<Vd>();
    reader->reply = hexBytes("55 00 00 03 01 02 03 02 33");
    EXPECT_EQ(reader->exchange(0xB0, Orvane::IVDReader::kReaderParams, hexBytes("00 20")), 0);
    EXPECT_EQ(reader->request, hexBytes("AA B0 00 07 80 00 00 00 00 00 20 5D 63"));
    EXPECT_EQ(reader->capacity, 65541);
    EXPECT_EQ(reader->lengthField(), 3);
    EXPECT_EQ(Bytes(reader->replyData().begin(), reader->replyData().end()), hexBytes("01 02 03"));
}

TEST(VdExchange, RefusesDataBeyondTheLengthField) {
    auto reader = std::make_unique<Vd>();
    reader->setLengthField(65531);
    EXPECT_EQ(reader->exchange(), -1);
    EXPECT_EQ(reader->calls, 0);
}
