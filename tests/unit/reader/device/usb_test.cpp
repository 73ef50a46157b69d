#include "reader/device/usb.hpp"

#include <gtest/gtest.h>

#include "reader/device/ch340.hpp"
#include "support/hex_bytes.hpp"
#include "support/scripted_devices.hpp"

using scripted::Read;

namespace {

struct UsbFixture : testing::Test {
    UsbFixture() : script(bus.addUsb(0x1A86, 0x7523)), usb(bus) {}
    void SetUp() override { ASSERT_TRUE(usb.openDevice(0x1A86, 0x7523)); }

    scripted::Bus bus;
    std::shared_ptr<scripted::UsbScript> script;
    Orvane::Usb usb;
};

}  // namespace

TEST_F(UsbFixture, ClaimListKeepsEachInterfaceOnce) {
    EXPECT_EQ(usb.claimInterface(32), Orvane::Usb::kNoHandle);
    EXPECT_EQ(usb.claimInterface(1), 0);
    EXPECT_EQ(usb.claimInterface(1), 0);
    EXPECT_EQ(usb.claimInterface(3), 0);
    EXPECT_EQ(script->claimed, (std::vector<int>{1, 3}));

    usb.close();
    EXPECT_EQ(script->released, (std::vector<int>{1, 3}));
    EXPECT_EQ(script->attached, (std::vector<int>{1, 3}));
    EXPECT_TRUE(script->closed);
    EXPECT_EQ(usb.claimInterface(1), Orvane::Usb::kNoHandle);
}

TEST_F(UsbFixture, Ch340BaudRequestFollowsTheChipTable) {
    EXPECT_EQ(usb.setCh340Baud(57600, 0), 0);
    EXPECT_EQ(usb.setCh340Baud(9600, 0), 0);
    ASSERT_EQ(script->controls.size(), 2u);
    const auto& request = script->controls[0];
    EXPECT_EQ(request.requestType, 0x40);
    EXPECT_EQ(request.request, 0x9A);
    EXPECT_EQ(request.value, 0x1312);
    EXPECT_EQ(request.index, 0x9883);
    EXPECT_EQ(request.timeoutMs, 2000u);
    EXPECT_EQ(script->controls[1].index, 0xB282);

    EXPECT_EQ(usb.setCh340Baud(12345, 0), -2);
    EXPECT_EQ(script->controls.size(), 2u);
}

TEST(Ch340Table, KnowsTheCommonRates) {
    EXPECT_EQ(Orvane::ch340::baudIndex(110), 0x9680);
    EXPECT_EQ(Orvane::ch340::baudIndex(56000), 0x9583);
    EXPECT_EQ(Orvane::ch340::baudIndex(115200), 0xCC83);
    EXPECT_EQ(Orvane::ch340::baudIndex(230400), std::nullopt);
}

TEST_F(UsbFixture, SingleReadWithoutContinuation) {
    script->bulkIn = {Read(hexBytes("01 02 03")), Read(hexBytes("04"))};
    Bytes buffer(10);
    EXPECT_EQ(usb.bulkRead(0x82, buffer.data(), 10, 200), 3);
    EXPECT_EQ(usb.bulkRead(0x82, buffer.data(), 10, 200), 1);
    EXPECT_EQ(usb.bulkRead(0x82, buffer.data(), 10, 200), Orvane::usb_error::kTimeout);
}

TEST_F(UsbFixture, ContinuationStripsPacketHeadersAndAppends) {
    usb.setContinuation(1, 2);
    Bytes packet(64, 0xAA);  // a full packet: header 31 60, 62 data bytes
    packet[0] = 0x31;
    packet[1] = 0x60;
    // A header-only packet, a full one, then more than the caller asked for.
    script->bulkIn = {Read(hexBytes("31 60")), Read(packet), Read(hexBytes("31 60 01 02 03 04 05 06"))};
    Bytes buffer(70, 0);
    EXPECT_EQ(usb.bulkRead(0x82, buffer.data(), 67, 200), 67);
    EXPECT_EQ(buffer[0], 0xAA);
    EXPECT_EQ(buffer[61], 0xAA);
    EXPECT_EQ(Bytes(buffer.begin() + 62, buffer.begin() + 67), hexBytes("01 02 03 04 05"));
    EXPECT_EQ(buffer[67], 0);
}

TEST_F(UsbFixture, ContinuationEndsOnTimeoutWithWhatCame) {
    usb.setContinuation(1, 0);
    script->bulkIn = {Read(hexBytes("01 02")), Read(hexBytes("03"))};
    Bytes buffer(10);
    EXPECT_EQ(usb.bulkRead(0x82, buffer.data(), 10, 200), 3);
    script->bulkIn = {Read(hexBytes("01")), Read::error(Orvane::usb_error::kPipe)};
    EXPECT_EQ(usb.bulkRead(0x82, buffer.data(), 10, 200), Orvane::usb_error::kPipe);
}

TEST(UsbWithoutDevice, OperationsReportNoHandle) {
    scripted::Bus bus;
    Orvane::Usb usb(bus);
    Bytes buffer(4);
    EXPECT_FALSE(usb.openDevice(0x1A86, 0x7523));
    EXPECT_EQ(usb.bulkRead(0x82, buffer.data(), 4, 200), Orvane::Usb::kNoHandle);
    EXPECT_EQ(usb.setCh340Baud(9600, 0), Orvane::Usb::kNoHandle);
    EXPECT_EQ(usb.resetDevice(), Orvane::Usb::kNoHandle);
    EXPECT_FALSE(usb.open(3, 0));  // the scripted bus wraps nothing
}
