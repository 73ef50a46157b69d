// The serial transports against a pseudo-terminal the test plays the reader on.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "reader/transport/vb_reader_serial.hpp"
#include "reader/transport/vc_reader_serial.hpp"
#include "support/hex_bytes.hpp"
#include "support/pty_pair.hpp"

using Clock = std::chrono::steady_clock;

namespace {

template <typename Transport>
struct SerialFixture {
    SerialFixture() {
        transport = std::make_unique<Transport>();
        transport->port().setPort(pty.slavePath());
        transport->port().open();
    }
    int transceive(Bytes& buffer, int len, int maxLen) {
        return transport->transceive(buffer.data(), len, maxLen);
    }
    // Plays a reader that answers the next request with `reply`.
    std::thread answerNext(Bytes reply) {
        return std::thread([this, reply] {
            pty.receive(1000);  // a parked port is opened first, which may take a while under load
            pty.send(reply);
        });
    }

    PtyPair pty;
    std::unique_ptr<Transport> transport;
};

Bytes padded(Bytes bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

}  // namespace

TEST(VbReaderSerial, StartsAtNineSixHundredWithTheReaderTimeouts) {
    Orvane::VBReaderSerial transport;
    EXPECT_EQ(transport.port().getBaudrate(), 9600u);
    EXPECT_EQ(transport.port().getTimeout(), (serial::Timeout{1, 200, 0, 200, 0}));
    EXPECT_FALSE(transport.port().isOpen());
    EXPECT_FALSE(transport.parkedPort());
}

TEST(VbReaderSerial, ReplyArrivingInFragmentsIsReadWhole) {
    SerialFixture<Orvane::VBReaderSerial> serial;
    const Bytes reply = hexBytes("FE 02 03 10 51 58 BA 0C");
    std::thread reader([&] {
        serial.pty.receive(100);
        serial.pty.send(Bytes(reply.begin(), reply.begin() + 4));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        serial.pty.send(Bytes(reply.begin() + 4, reply.end()));
    });
    Bytes buffer = padded(hexBytes("FE 02 01 10 3C 0F"), 260);
    EXPECT_EQ(serial.transceive(buffer, 6, 260), 8);
    reader.join();
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 8), reply);
}

TEST(VbReaderSerial, SilentReaderReturnsNothingAfterTheReadTimeout) {
    SerialFixture<Orvane::VBReaderSerial> serial;
    Bytes buffer = padded(hexBytes("FE 02 01 10 3C 0F"), 260);
    const auto start = Clock::now();
    EXPECT_EQ(serial.transceive(buffer, 6, 260), 0);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(400));
    EXPECT_EQ(serial.pty.receive(), hexBytes("FE 02 01 10 3C 0F"));
}

TEST(VbReaderSerial, LengthBeyondCapacityStopsAfterTheHead) {
    SerialFixture<Orvane::VBReaderSerial> serial;
    std::thread reader = serial.answerNext(padded(hexBytes("FE 02 FF 00"), 40));
    Bytes buffer(60, 0x10);
    EXPECT_EQ(serial.transceive(buffer, 6, 50), 6);
    reader.join();
    EXPECT_EQ(buffer[6], 0x10);  // nothing was read beyond the head
}

TEST(VbReaderSerial, AReplyThatCameTooLateIsNotTakenForTheNextOne) {
    SerialFixture<Orvane::VBReaderSerial> serial;
    Bytes first = padded(hexBytes("FE 02 01 10 3C 0F"), 260);
    EXPECT_EQ(serial.transceive(first, 6, 260), 0);  // the reader is slow: nothing in time
    serial.pty.receive();
    serial.pty.send(hexBytes("FE 02 03 10 51 58 BA 0C"));  // ... and answers after all
    const Bytes reply = hexBytes("FE 02 03 10 77 66 55 0C");
    std::thread reader = serial.answerNext(reply);
    Bytes second = padded(hexBytes("FE 02 01 10 3C 0F"), 260);
    EXPECT_EQ(serial.transceive(second, 6, 260), 8);
    reader.join();
    EXPECT_EQ(Bytes(second.begin(), second.begin() + 8), reply);
}

TEST(VbReaderSerial, ParkedPortIsClosedAfterEveryExchange) {
    SerialFixture<Orvane::VBReaderSerial> serial;
    serial.transport->port().close();
    serial.transport->setParkedPort(true);
    std::thread reader = serial.answerNext(hexBytes("FE 02 01 00 2E 3E"));
    Bytes buffer = padded(hexBytes("FE 02 01 10 3C 0F"), 260);
    EXPECT_EQ(serial.transceive(buffer, 6, 260), 6);
    reader.join();
    EXPECT_FALSE(serial.transport->port().isOpen());
    EXPECT_EQ(serial.transceive(buffer, 6, 260), 0);  // silent this time
    EXPECT_FALSE(serial.transport->port().isOpen());
}

TEST(VbReaderSerial, ClosedOrVanishedPortFails) {
    SerialFixture<Orvane::VBReaderSerial> serial;
    Bytes buffer(260, 0x10);
    EXPECT_EQ(serial.transceive(buffer, 6, 5), -1);
    serial.pty.closeMaster();
    EXPECT_LE(serial.transceive(buffer, 6, 260), 0);
    serial.transport->port().close();
    EXPECT_EQ(serial.transceive(buffer, 6, 260), -1);
}

TEST(VcReaderSerial, RunsAtOneFifteenTwoHundredAndReadsLenPlusEight) {
    SerialFixture<Orvane::VCReaderSerial> serial;
    EXPECT_EQ(serial.pty.slaveSpeed(), B115200);
    const Bytes reply = hexBytes("AA 55 00 00 00 03 16 00 01 25 3F");
    std::thread reader = serial.answerNext(reply);
    Bytes buffer = padded(hexBytes("AA 66 00 00 00 00 16 16"), 100);
    EXPECT_EQ(serial.transceive(buffer, 8, 100), 11);
    reader.join();
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 11), reply);
    EXPECT_EQ(serial.transceive(buffer, 8, 7), -1);
}
