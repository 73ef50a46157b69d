#pragma once
// Virtual readers of any of the six types on one simulated bus, as RfReader meets them (the
// simulator's SimWorld, indexed by reader type for tests): HID and CH340 readers attached to the
// bus, serial readers on pseudo-terminals that the bus lists as serial ports with a hardware id,
// so the port searches find them.

#include <memory>
#include <stdexcept>
#include <string>

#include "reader/rf_reader.hpp"
#include "sim/bus/usb_readers.hpp"
#include "sim/firmware/va_firmware.hpp"
#include "sim/firmware/vc_firmware.hpp"
#include "sim/firmware/vd_firmware.hpp"
#include "sim/world/sim_world.hpp"

using rfsim::kCh340HardwareId;
using rfsim::kOtherHardwareId;
using rfsim::kVaProductText;
using rfsim::kVdVersionText;

class SimReaders {
  public:
    using Entry = rfsim::SimWorld::Reader;

    static std::unique_ptr<rfsim::Firmware> defaultFirmware(std::uint8_t type) {
        return rfsim::SimWorld::defaultFirmware(type);
    }

    // Adds a reader of `type`; a serial one is listed with `hardwareId` (default: CH340 for type 2,
    // another chip for type 5). Several readers of one type may be added.
    Entry& add(std::uint8_t type, std::unique_ptr<rfsim::Firmware> firmware = nullptr,
               std::string hardwareId = {}) {
        Entry* entry = world_.add(type, std::move(firmware), std::move(hardwareId));
        if (!entry) throw std::runtime_error("simulated reader could not be set up");
        return *entry;
    }

    // The first reader added of a type.
    Entry& entry(std::uint8_t type) { return *world_.firstOfType(type); }
    rfsim::VirtualReader& reader(std::uint8_t type) { return *entry(type).reader; }
    const std::string& portOf(std::uint8_t type) { return entry(type).host->portPath(); }

    // Shared, so that it can be installed as the process's current bus.
    std::shared_ptr<rfsim::SimDeviceBus> sharedBus() const { return world_.bus(); }

  private:
    rfsim::SimWorld world_;

  public:
    rfsim::SimDeviceBus& bus = *world_.bus();
};
