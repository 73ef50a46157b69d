#include "reader/transport/vb_reader_ch340.hpp"

#include <gtest/gtest.h>

#include "reader/device/ch340.hpp"
#include "support/hex_bytes.hpp"
#include "support/scripted_devices.hpp"

using scripted::Read;

namespace {

struct Ch340Fixture : testing::Test {
    Ch340Fixture() : script(bus.addUsb(0x1A86, 0x7523)), transport(bus) {}

    scripted::Bus bus;
    std::shared_ptr<scripted::UsbScript> script;
    Orvane::VBReaderCH340 transport;
};

}  // namespace

TEST_F(Ch340Fixture, ConnectClaimsInterfaceZero) {
    ASSERT_TRUE(transport.connectDevice());
    EXPECT_EQ(script->claimed, std::vector<int>{0});
    EXPECT_EQ(script->detached, std::vector<int>{0});
}

TEST_F(Ch340Fixture, FailedClaimClosesTheDevice) {
    script->claimResult = Orvane::usb_error::kIo;
    EXPECT_FALSE(transport.connectDevice());
    EXPECT_FALSE(transport.isOpen());
    EXPECT_TRUE(script->closed);
}

TEST_F(Ch340Fixture, OneBulkWriteThenOneBulkRead) {
    ASSERT_TRUE(transport.connectDevice());
    const Bytes reply = hexBytes("FE 02 01 00 2E 3E");
    script->bulkIn = {Read(reply)};
    Bytes buffer = hexBytes("FE 02 01 10 3C 0F");
    buffer.resize(260);
    EXPECT_EQ(transport.transceive(buffer.data(), 6, 260), 6);
    ASSERT_EQ(script->bulkOut.size(), 1u);
    EXPECT_EQ(script->bulkOut[0].first, 0x02);
    EXPECT_EQ(script->bulkOut[0].second, hexBytes("FE 02 01 10 3C 0F"));
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 6), reply);
}

TEST_F(Ch340Fixture, TransferFailuresAreNegative) {
    ASSERT_TRUE(transport.connectDevice());
    Bytes buffer(260, 0x10);
    EXPECT_EQ(transport.transceive(buffer.data(), 6, 260), Orvane::usb_error::kTimeout);  // silent reader
    script->outTransferred = 3;
    EXPECT_EQ(transport.transceive(buffer.data(), 6, 260), -1);
    script->outTransferred = -1;
    script->unplugged = true;
    EXPECT_EQ(transport.transceive(buffer.data(), 6, 260), -1);
    EXPECT_EQ(transport.transceive(buffer.data(), 6, 5), -1);
}

TEST_F(Ch340Fixture, ReadIsBoundedByMaxLen) {
    ASSERT_TRUE(transport.connectDevice());
    script->bulkIn = {Read(Bytes(300, 0xFE))};
    Bytes buffer(300, 0);
    buffer[0] = 0x10;
    EXPECT_EQ(transport.transceive(buffer.data(), 1, 100), 100);
    EXPECT_EQ(buffer[100], 0);
}
