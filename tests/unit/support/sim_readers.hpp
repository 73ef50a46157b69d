#pragma once
// Virtual readers of any of the six types on one simulated bus, as RfReader meets them: HID and
// CH340 readers attached to the bus, serial readers on pseudo-terminals that the bus lists as
// serial ports with a hardware id, so the port searches find them.

#include <map>
#include <memory>
#include <string>

#include "reader/rf_reader.hpp"
#include "sim/bus/sim_device_bus.hpp"
#include "sim/bus/usb_readers.hpp"
#include "sim/firmware/va_firmware.hpp"
#include "sim/firmware/vc_firmware.hpp"
#include "sim/firmware/vd_firmware.hpp"
#include "sim/pty/pty_reader_host.hpp"

// Product and version texts of the default readers.
inline constexpr const char* kVaProductText = "QX13 Zorla RF reader V2.1";
inline constexpr const char* kVdVersionText = "VD-R13 13.56MHz HID reader V3.0";
// How sysfs names a CH340 bridge and another USB-serial chip.
inline constexpr const char* kCh340HardwareId = "USB VID:PID=1a86:7523 ";
inline constexpr const char* kOtherHardwareId = "USB VID:PID=067b:2303 ";

class SimReaders {
  public:
    struct Entry {
        std::shared_ptr<rfsim::VirtualReader> reader;
        std::shared_ptr<rfsim::SimDevice> device;    // HID and CH340 readers
        std::unique_ptr<rfsim::PtyReaderHost> host;  // serial readers
    };

    // The default reader of a type: VA readers behind a UART come up at 9,600 baud, the VC serial
    // reader runs at 115,200 and answers version 02 10, the CH9326 one 01 25.
    static std::unique_ptr<rfsim::Firmware> defaultFirmware(std::uint8_t type) {
        switch (type) {
            case kReaderVdHid:
                return std::make_unique<rfsim::VdFirmware>();
            case kReaderVbSerial:
            case kReaderVbCh340:
                return std::make_unique<rfsim::VaFirmware>(rfsim::VaFirmware::Options{kVaProductText, 9600});
            case kReaderVcCh9326:
                return std::make_unique<rfsim::VcFirmware>();
            case kReaderVaHid:
                return std::make_unique<rfsim::VaFirmware>();
            default:
                return std::make_unique<rfsim::VcFirmware>(rfsim::VcFirmware::Options{{0x02, 0x10}, 115200});
        }
    }

    // Adds a reader of `type`; a serial one is listed with `hardwareId` (default: CH340 for type 2,
    // another chip for type 5). Several serial readers of one type may be added.
    Entry& add(std::uint8_t type, std::unique_ptr<rfsim::Firmware> firmware = nullptr,
               std::string hardwareId = {}) {
        Entry entry;
        entry.reader =
            std::make_shared<rfsim::VirtualReader>(firmware ? std::move(firmware) : defaultFirmware(type));
        switch (type) {
            case kReaderVdHid:
                entry.device = bus.attach(std::make_shared<rfsim::VdHidDevice>(entry.reader));
                break;
            case kReaderVcCh9326:
                entry.device = bus.attach(std::make_shared<rfsim::Ch9326Device>(entry.reader));
                break;
            case kReaderVaHid:
                entry.device = bus.attach(std::make_shared<rfsim::VaHidDevice>(entry.reader));
                break;
            case kReaderVbCh340:
                entry.device = bus.attach(std::make_shared<rfsim::Ch340Device>(entry.reader));
                break;
            default:
                entry.host = std::make_unique<rfsim::PtyReaderHost>(entry.reader);
                if (hardwareId.empty())
                    hardwareId = type == kReaderVbSerial ? kCh340HardwareId : kOtherHardwareId;
                bus.addSerialPort({entry.host->portPath(), "serial reader", hardwareId});
                break;
        }
        return entries_.emplace(type, std::move(entry))->second;
    }

    // The first reader added of a type.
    Entry& entry(std::uint8_t type) { return entries_.find(type)->second; }
    rfsim::VirtualReader& reader(std::uint8_t type) { return *entry(type).reader; }
    const std::string& portOf(std::uint8_t type) { return entry(type).host->portPath(); }

    // Shared, so that it can be installed as the process's current bus.
    std::shared_ptr<rfsim::SimDeviceBus> sharedBus() const { return bus_; }

  private:
    std::shared_ptr<rfsim::SimDeviceBus> bus_ = std::make_shared<rfsim::SimDeviceBus>();

  public:
    rfsim::SimDeviceBus& bus = *bus_;

  private:
    std::multimap<std::uint8_t, Entry> entries_;
};
