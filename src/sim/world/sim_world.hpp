#pragma once
// A set of virtual readers of any of the six reader types on one simulated bus, each with its own
// RF field: HID and CH340 readers are attached to the bus, serial readers live on pseudo-terminals
// that the bus lists as serial ports with a hardware id, so the service's port searches find them.
// The reader list is built before the service starts and stays fixed; the cards in each field
// change at any time (the field has its own lock), and so does each reader's plug state.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/bus/sim_device.hpp"
#include "sim/bus/sim_device_bus.hpp"
#include "sim/field/virtual_field.hpp"
#include "sim/firmware/firmware.hpp"
#include "sim/firmware/virtual_reader.hpp"
#include "sim/pty/pty_reader_host.hpp"
#include "sim/script/reader_script.hpp"

namespace rfsim {

// Reader types as the service's clients number them.
namespace reader_type {
inline constexpr int kVdHid = 1;
inline constexpr int kVbSerial = 2;
inline constexpr int kVcCh9326 = 3;
inline constexpr int kVaHid = 4;
inline constexpr int kVcSerial = 5;
inline constexpr int kVbCh340 = 6;
}  // namespace reader_type

// Product and version texts of the default readers.
inline constexpr const char* kVaProductText = "QX13 Zorla RF reader V2.1";
inline constexpr const char* kVdVersionText = "VD-R13 13.56MHz HID reader V3.0";
// How sysfs names a CH340 bridge and another USB-serial chip.
inline constexpr const char* kCh340HardwareId = "USB VID:PID=1a86:7523 ";
inline constexpr const char* kOtherHardwareId = "USB VID:PID=067b:2303 ";

class SimWorld {
  public:
    struct Reader {
        int id = 0;  // position in the world, as the /sim routes name it
        int type = 0;
        std::string name;
        std::shared_ptr<VirtualReader> reader;
        std::shared_ptr<VirtualField> field;
        std::shared_ptr<SimDevice> device;     // HID and CH340 readers
        std::unique_ptr<PtyReaderHost> host;   // serial readers
        std::shared_ptr<ReaderScript> script;  // a reader played by a trace or another process

        // The reader's cable: an unplugged HID or CH340 reader is gone from the bus, a serial one's
        // line hangs up and its port is gone from the list. A replugged reader is a new device
        // that the service has to open again. plug() is false when a serial reader's line could
        // not be set up again.
        void unplug();
        bool plug();
        bool plugged() const { return reader->plugged(); }
    };

    // The default firmware of a type: VA readers behind a UART come up at 9,600 baud, the VC serial
    // reader runs at 115,200 and answers version 02 10, the CH9326 one its default.
    static std::unique_ptr<Firmware> defaultFirmware(int type);

    // Adds a reader of `type` (1 to 6) with an empty field; a serial one is listed with
    // `hardwareId` (default: CH340 for type 2, another chip for type 5). Null for another type or
    // when no pseudo-terminal could be opened.
    Reader* add(int type, std::unique_ptr<Firmware> firmware = nullptr, std::string hardwareId = {},
                std::string name = {});
    // Adds a reader of `type` that `script` plays: a USB one answers every operation through the
    // script, a serial one every byte heard on its line. Its field stays empty: it has no firmware
    // to bring cards in. Null as add() is.
    Reader* addScripted(int type, std::shared_ptr<ReaderScript> script, std::string name = {});

    const std::vector<std::unique_ptr<Reader>>& readers() const { return readers_; }
    Reader* find(int id) const;
    // The first reader of a type, null when there is none.
    Reader* firstOfType(int type) const;

    // Shared, so that it can be installed as the process's current bus.
    const std::shared_ptr<SimDeviceBus>& bus() const { return bus_; }

  private:
    std::unique_ptr<Reader> newReader(int type, std::unique_ptr<Firmware> firmware, std::string name);
    // Puts the reader on the bus, or on a pseudo-terminal listed as a serial port; false when no
    // pseudo-terminal could be opened.
    bool connect(Reader& entry, std::string hardwareId, LineResponder respond = {});

    std::shared_ptr<SimDeviceBus> bus_ = std::make_shared<SimDeviceBus>();
    std::vector<std::unique_ptr<Reader>> readers_;
};

// Why a card could not be placed, for a reply or a scenario error; empty when it was placed.
std::string placementError(Placement placement);

// "VD HID", "VB serial" and so on; "?" for another type.
const char* readerTypeName(int type);

}  // namespace rfsim
