#include "sim/bus/usb_readers.hpp"

#include <gtest/gtest.h>

#include "reader/bus/device_bus.hpp"
#include "sim/bus/sim_device_bus.hpp"
#include "sim/firmware/va_firmware.hpp"
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
    Bytes report(33);
    EXPECT_EQ(hid->write(report), -1);
    EXPECT_EQ(hid->readTimeout(report, 10), -1);
    EXPECT_EQ(hid->sendFeatureReport(hexBytes("00 FF C7 83 CC 10")), -1);
    EXPECT_EQ(hid->getFeatureReport(report), -1);
    EXPECT_FALSE(bus.openHid(0x1A86, 0xE010));
    device->plug();
    // A replug is a new device: the old handle stays dead, a new one works.
    EXPECT_EQ(hid->write(report), -1);
    auto fresh = bus.openHid(0x1A86, 0xE010);
    ASSERT_TRUE(fresh);
    EXPECT_EQ(fresh->write(report), 33);
}

TEST(SimDeviceBus, ReplugGivesAFreshCh340) {
    rfsim::SimDeviceBus bus;
    auto reader = std::make_shared<rfsim::VirtualReader>(
        std::make_unique<rfsim::VaFirmware>(rfsim::VaFirmware::Options{"QX", 9600}));
    auto device = bus.attach(std::make_shared<rfsim::Ch340Device>(reader));
    auto& ch340 = static_cast<rfsim::Ch340Device&>(*device);
    auto usb = bus.openUsb(0x1A86, 0x7523);
    ASSERT_TRUE(usb);
    ASSERT_EQ(usb->claimInterface(0), 0);
    // A reply left unread, then the bridge set to 57,600.
    Bytes identify = hexBytes("FE 02 01 10 3C 0F");
    int transferred = 0;
    ASSERT_EQ(usb->bulkTransfer(0x02, identify, transferred, 100), 0);
    ASSERT_EQ(usb->controlTransfer(0x40, 0x9A, 0x1312, 0x9883, {}, 100), 0);
    ASSERT_EQ(ch340.chipBaud(), 57565u);

    device->unplug();
    const int gone = Orvane::usb_error::kNoDevice;
    Bytes in(64);
    EXPECT_EQ(usb->bulkTransfer(0x82, in, transferred, 100), gone);
    EXPECT_EQ(transferred, 0);
    EXPECT_EQ(usb->bulkTransfer(0x02, identify, transferred, 100), gone);
    EXPECT_EQ(usb->controlTransfer(0x40, 0x9A, 0x1312, 0xB282, {}, 100), gone);
    EXPECT_EQ(usb->claimInterface(0), gone);
    EXPECT_EQ(usb->releaseInterface(0), gone);
    EXPECT_EQ(usb->resetDevice(), gone);
    EXPECT_FALSE(bus.openUsb(0x1A86, 0x7523));

    device->plug();
    EXPECT_EQ(usb->bulkTransfer(0x82, in, transferred, 100), gone);
    auto fresh = bus.openUsb(0x1A86, 0x7523);
    ASSERT_TRUE(fresh);
    // The bridge comes up at its power-on rate with nothing to read.
    EXPECT_EQ(ch340.chipBaud(), 9600u);
    EXPECT_EQ(fresh->bulkTransfer(0x82, in, transferred, 100), Orvane::usb_error::kTimeout);
    ASSERT_EQ(fresh->bulkTransfer(0x02, identify, transferred, 100), 0);
    ASSERT_EQ(fresh->bulkTransfer(0x82, in, transferred, 100), 0);
    EXPECT_EQ(Bytes(in.begin(), in.begin() + transferred), hexBytes("FE 02 03 00 51 58 F9 6F"));
}

TEST(SimDeviceBus, ReaderThatNeverReadsCannotGrowTheDevice) {
    rfsim::SimDeviceBus bus;
    auto reader = std::make_shared<rfsim::VirtualReader>(std::make_unique<rfsim::VaFirmware>());
    bus.attach(std::make_shared<rfsim::VaHidDevice>(reader));
    auto hid = bus.openHid(0x0483, 0x5751);
    ASSERT_TRUE(hid);
    // A 200-byte reply per request, never read: the device keeps only the newest bytes.
    reader->withFirmware([](rfsim::Firmware& firmware) {
        firmware.setCommand(0x10, [](const rfsim::Request&) {
            return std::optional(rfsim::Reply{0, Bytes(200, 0x5A)});
        });
    });
    Bytes report(65, 0);
    const Bytes identify = hexBytes("FE 02 01 10 3C 0F");
    std::copy(identify.begin(), identify.end(), report.begin() + 1);
    for (int i = 0; i < 2000; ++i)
        ASSERT_EQ(hid->write(report), 65);
    Bytes input(64);
    int reports = 0;
    while (hid->readTimeout(input, 0) > 0)
        ++reports;
    EXPECT_GT(reports, 0);
    EXPECT_LE(reports, 128 * 1024 / 64);
}
