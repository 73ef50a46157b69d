// Every frame family exchanging with its simulated reader over its real transport, and what each
// kind of bad reply turns into.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "reader/device/ch340.hpp"
#include "reader/frame/va_frame.hpp"
#include "support/hex_bytes.hpp"
#include "support/sim_rigs.hpp"

using Clock = std::chrono::steady_clock;

namespace {

std::string text(std::span<const std::uint8_t> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

TEST(VaHidOnSim, IdentifiesBeepsAndCarriesLongFrames) {
    VaHidRig rig;
    ASSERT_TRUE(rig.connected);
    ASSERT_EQ(rig.identify(), 0);
    EXPECT_EQ(Orvane::va_frame::rebrandProductText(text(rig.transport->replyData())),
              "VA_13 Tesmar RF reader V2.1");

    EXPECT_EQ(rig.transport->exchange(0x1B, hexBytes("55")), 0);
    EXPECT_EQ(rig.transport->exchange(0x2D), 0);
    EXPECT_EQ(rig.reader().state().beeps, Bytes{0x55});
    EXPECT_EQ(rig.reader().state().fieldResets, 1);

    // A card command with 200 data bytes each way spans four reports in both directions.
    rig.reader().withFirmware([](rfsim::Firmware& firmware) {
        firmware.setCommand(0x30, [](const rfsim::Request& r) {
            return std::optional<rfsim::Reply>(rfsim::Reply{0x00, Bytes(r.data.rbegin(), r.data.rend())});
        });
    });
    Bytes data(200);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i);
    ASSERT_EQ(rig.transport->exchange(0x30, data), 0);
    EXPECT_EQ(Bytes(rig.transport->replyData().begin(), rig.transport->replyData().end()),
              Bytes(data.rbegin(), data.rend()));
}

TEST(VcCh9326OnSim, IdentifiesAndSelectsProtocols) {
    VcCh9326Rig rig;
    ASSERT_TRUE(rig.connected);
    ASSERT_EQ(rig.identify(), 0);
    EXPECT_EQ(Bytes(rig.transport->replyData().begin(), rig.transport->replyData().end()), hexBytes("01 25"));
    EXPECT_EQ(rig.transport->exchange(0x3A, hexBytes("31")), 0);
    EXPECT_EQ(rig.reader().state().protocol, rfsim::Protocol::iso15693);
    EXPECT_EQ(rig.transport->exchange(0x3A, hexBytes("5A")), rfsim::kStatusBadParameter);
    EXPECT_EQ(rig.transport->exchange(0x6A, hexBytes("03")), 0);
    EXPECT_EQ(rig.transport->exchange(0x05, hexBytes("05")), 0);
    EXPECT_EQ(rig.transport->exchange(0x1D, hexBytes("7F")), 0);
    EXPECT_EQ(rig.reader().state().beeps, Bytes{0x7F});
}

TEST(VdHidOnSim, IdentifiesAndSelectsProtocols) {
    VdHidRig rig;
    ASSERT_TRUE(rig.connected);
    ASSERT_EQ(rig.identify(), 0);
    EXPECT_EQ(text(rig.transport->replyData()), "VD-R13 13.56MHz HID reader V3.0");
    EXPECT_EQ(rig.transport->exchange(0xBD, Orvane::IVDReader::kReaderParams, hexBytes("01")), 0);
    EXPECT_EQ(rig.reader().state().protocol, rfsim::Protocol::iso14443B);
    EXPECT_EQ(rig.transport->exchange(0x4E, Orvane::IVDReader::kReaderParams, hexBytes("00 01")), 0);
    EXPECT_EQ(rig.transport->exchange(0xB4, Orvane::IVDReader::kReaderParams, hexBytes("00 32")), 0);
    EXPECT_EQ(rig.reader().state().beeps, Bytes{0x32});
}

TEST(VbCh340OnSim, ReaderAndBridgeMoveToFiftySevenSixTogether) {
    VbCh340Rig rig;
    ASSERT_TRUE(rig.connected);
    const std::uint8_t code57600 = *Orvane::va_frame::baudCode(57600);
    // Bridge at 57,600, reader still at its power-on 9,600: nothing gets through.
    ASSERT_EQ(rig.transport->setCh340Baud(57600, 0), 0);
    EXPECT_EQ(rig.transport->exchange(0x1C, Bytes{code57600}), -1);
    // Bridge to 9,600, reader told to switch; then the bridge follows.
    ASSERT_EQ(rig.transport->setCh340Baud(9600, 0), 0);
    ASSERT_EQ(rig.transport->exchange(0x1C, Bytes{code57600}), 0);
    EXPECT_EQ(rig.transport->resetDevice(), 0);
    ASSERT_EQ(rig.transport->setCh340Baud(57600, 0), 0);
    EXPECT_EQ(rig.transport->exchange(0x1C, Bytes{code57600}), 0);
    EXPECT_EQ(rig.identify(), 0);
    EXPECT_EQ(text(rig.transport->replyData()), "QX13 Zorla");
}

TEST(VbSerialOnSim, FirstHandshakeMovesTheReaderToFiftySevenSix) {
    VbSerialRig rig;
    rig.reader().withFirmware(
        [](rfsim::Firmware& f) { f.state().baud = 9600; });  // a reader fresh from power-on
    // At 57,600 the reader hears only noise.
    EXPECT_EQ(rig.identify(), -1);
    rig.transport->port().setBaudrate(9600);
    ASSERT_EQ(rig.transport->exchange(0x1C, hexBytes("03")), 0);
    rig.transport->port().setBaudrate(57600);
    EXPECT_EQ(rig.identify(), 0);
    EXPECT_EQ(text(rig.transport->replyData()), "QX13");
    EXPECT_EQ(rig.reader().state().baud, 57600u);
}

TEST(VcSerialOnSim, IdentifiesAtOneFifteenTwoHundred) {
    VcSerialRig rig;
    ASSERT_EQ(rig.identify(), 0);
    EXPECT_EQ(Bytes(rig.transport->replyData().begin(), rig.transport->replyData().end()), hexBytes("02 10"));
}

// ---- Bad replies over every transport -------------------------------------------------------------

namespace {

struct RigCase {
    const char* name;
    std::function<std::unique_ptr<SimRig>()> make;
    Bytes wrongHeader;     // a reply of the right size with a wrong header byte
    Bytes longerThanSent;  // a head announcing more bytes than follow
    int truncatedToFive;   // HID VA reports are padded, so cut replies fail on their CRC
    int truncatedToEight;
};

const RigCase kRigs[] = {
    {"VaHid", [] { return std::make_unique<VaHidRig>(); }, hexBytes("FF 02 01 00 2E 3E"),
     hexBytes("FE 02 FF 00 00 00"), -3, -3},
    {"VbCh340", [] { return std::make_unique<VbCh340Rig>(); }, hexBytes("FF 02 01 00 2E 3E"),
     hexBytes("FE 02 FF 00 00 00"), -1, -2},
    {"VbSerial", [] { return std::make_unique<VbSerialRig>(); }, hexBytes("FF 02 01 00 2E 3E"),
     hexBytes("FE 02 FF 00 00 00"), -1, -2},
    {"VcCh9326", [] { return std::make_unique<VcCh9326Rig>(); }, hexBytes("AA 56 00 00 00 03 16 00 01 25 3F"),
     hexBytes("AA 55 00 00 FF FF 16 00"), -1, -2},
    {"VcSerial", [] { return std::make_unique<VcSerialRig>(); }, hexBytes("AA 56 00 00 00 03 16 00 01 25 3F"),
     hexBytes("AA 55 00 00 FF FF 16 00"), -1, -2},
    {"VdHid", [] { return std::make_unique<VdHidRig>(); }, hexBytes("AA 00 00 03 01 02 03 02 33"),
     hexBytes("55 00 FF FF 00 00"), -1, -2},
};

void PrintTo(const RigCase& c, std::ostream* os) {
    *os << c.name;
}

class BadReplies : public testing::TestWithParam<RigCase> {
  protected:
    void SetUp() override {
        rig = GetParam().make();
        ASSERT_EQ(rig->identify(), 0);
    }
    // The result of one identify with the fault, which must come within the transport timeouts.
    int identifyWith(rfsim::Fault fault, std::size_t keep = 0, Bytes replacement = {}) {
        rig->reader().setFault(fault, 1, keep, std::move(replacement));
        const auto start = Clock::now();
        const int result = rig->identify();
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(700));
        return result;
    }

    std::unique_ptr<SimRig> rig;
};

}  // namespace

TEST_P(BadReplies, GiveTheFamilyResultValues) {
    EXPECT_EQ(identifyWith(rfsim::Fault::silence), -1);
    EXPECT_EQ(identifyWith(rfsim::Fault::truncate, 5), GetParam().truncatedToFive);
    EXPECT_EQ(identifyWith(rfsim::Fault::truncate, 8), GetParam().truncatedToEight);
    EXPECT_EQ(identifyWith(rfsim::Fault::corruptCheck), -3);
    EXPECT_EQ(identifyWith(rfsim::Fault::replace, 0, GetParam().wrongHeader), -2);
    EXPECT_EQ(identifyWith(rfsim::Fault::replace, 0, GetParam().longerThanSent), -2);
    // The reader is sound again afterwards.
    EXPECT_EQ(rig->identify(), 0);
}

TEST_P(BadReplies, UnpluggedReaderFailsEveryExchange) {
    rig->unplug();
    for (int i = 0; i < 2; ++i) {
        const auto start = Clock::now();
        EXPECT_EQ(rig->identify(), -1);
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(700));
    }
}

INSTANTIATE_TEST_SUITE_P(Rigs, BadReplies, testing::ValuesIn(kRigs),
                         [](const auto& info) { return info.param.name; });

TEST(VcBadReplies, EchoOfAnotherCommandOrLenZeroIsAHeaderError) {
    VcCh9326Rig rig;
    ASSERT_TRUE(rig.connected);
    // A sound reply to command 0x17 with a correct sum.
    rig.reader().setFault(rfsim::Fault::replace, 1, 0, hexBytes("AA 55 00 00 00 03 17 00 01 25 40"));
    EXPECT_EQ(rig.identify(), -2);
    rig.reader().setFault(rfsim::Fault::replace, 1, 0, hexBytes("AA 55 00 00 00 00 16 16"));
    EXPECT_EQ(rig.identify(), -2);
}

TEST(HidUnplugMidExchange, AnswerNeverArrives) {
    VaHidRig rig;
    ASSERT_TRUE(rig.connected);
    // The reader is pulled out while it works on the request.
    // The handler holds the device weakly: the device owns the firmware.
    rig.reader().withFirmware([device = std::weak_ptr(rig.device)](rfsim::Firmware& firmware) {
        firmware.setCommand(0x10, [device](const rfsim::Request&) {
            if (auto plugged = device.lock()) plugged->unplug();
            return std::optional<rfsim::Reply>(rfsim::Reply{});
        });
    });
    EXPECT_EQ(rig.identify(), -1);
    rig.transport->close();
    EXPECT_FALSE(rig.transport->connectDevice());
}
