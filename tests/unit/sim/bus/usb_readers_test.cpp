#include "sim/bus/usb_readers.hpp"

#include <gtest/gtest.h>

#include "sim/bus/sim_device_bus.hpp"
#include "sim/firmware/vc_firmware.hpp"
#include "support/hex_bytes.hpp"

TEST(SimCh340, DivisorValuesGiveTheChipRates) {
    // wIndex values of the CH340 rate table and the rates they produce.
    const std::pair<std::uint16_t, std::uint32_t> cases[] = {
        {0x9680, 110}, {0xB282, 9594}, {0xD982, 19188}, {0x9883, 57565}, {0xCC83, 115130}, {0x0083, 0}};
    for (const auto& [index, rate] : cases)
        EXPECT_EQ(rfsim::ch340RateOf(index), rate) << std::hex << index;
}

TEST(SimCh9326, BridgePassesNothingUntilConfigured) {
    rfsim::SimDeviceBus bus;
    auto reader = std::make_shared<rfsim::VirtualReader>(std::make_unique<rfsim::VcFirmware>());
    bus.attach(std::make_shared<rfsim::Ch9326Device>(reader));
    auto hid = bus.openHid(0x1A86, 0xE010);
    ASSERT_TRUE(hid);

    Bytes report(33, 0);
    report[1] = 8;
    const Bytes identify = hexBytes("AA 66 00 00 00 00 16 16");
    std::copy(identify.begin(), identify.end(), report.begin() + 2);
    Bytes input(33);
    ASSERT_EQ(hid->write(report), 33);
    EXPECT_EQ(hid->readTimeout(input, 200), 0);

    ASSERT_EQ(hid->sendFeatureReport(hexBytes("00 FF C7 83 CC 10")), 6);
    ASSERT_EQ(hid->write(report), 33);
    ASSERT_EQ(hid->readTimeout(input, 200), 32);
    EXPECT_EQ(input[0], 11);
    EXPECT_EQ(Bytes(input.begin() + 1, input.begin() + 12), hexBytes("AA 55 00 00 00 03 16 00 01 25 3F"));
}

TEST(SimDeviceBus, UnpluggedDeviceFailsOpenHandlesAndCannotBeOpened) {
    rfsim::SimDeviceBus bus;
    auto reader = std::make_shared<rfsim::VirtualReader>(std::make_unique<rfsim::VcFirmware>());
    auto device = bus.attach(std::make_shared<rfsim::Ch9326Device>(reader));
    auto hid = bus.openHid(0x1A86, 0xE010);
    ASSERT_TRUE(hid);
    EXPECT_FALSE(bus.openHid(0x1A86, 0xE011));
    EXPECT_FALSE(bus.openUsb(0x1A86, 0xE010));  // a HID device is not a raw USB one here

    device->unplug();
    EXPECT_EQ(hid->write(Bytes(33)), -1);
    EXPECT_FALSE(bus.openHid(0x1A86, 0xE010));
    device->plug();
    EXPECT_TRUE(bus.openHid(0x1A86, 0xE010));
}
