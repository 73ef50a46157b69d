#pragma once
// What a user needs to see when no reader opens: the devices on the bus that could be readers,
// which reader type each would be, whether this process may open it, and the programs that take
// reader ports away. Facts only; the service turns them into its /devices answer.

#include <cstdint>
#include <string>
#include <vector>

#include "reader/bus/device_bus.hpp"
#include "reader/pcsc/pcsc_survey.hpp"
#include "reader/serial/port_info.hpp"
#include "reader/survey/port_grabbers.hpp"
#include "reader/usb_reader_ids.hpp"

namespace Orvane {

struct SurveyedUsbDevice {
    std::uint8_t readerType = 0;
    UsbLink link = UsbLink::hid;
    UsbDeviceNode device;
    std::string group;  // the group owning the device file; empty when unknown
};

struct SurveyedPort {
    serial::PortInfo info;
    std::uint8_t readerType = 0;  // 2 behind a CH340 bridge, else 5
    bool openable = false;        // this process may read and write the port
    std::string group;
};

struct DeviceSurvey {
    std::vector<SurveyedUsbDevice> usbDevices;  // by reader type in probe order, then bus order
    std::vector<SurveyedPort> ports;            // as the bus lists them, virtual consoles left out
    std::vector<PortGrabber> grabbers;
    PcscSurvey pcsc;  // pcscd and its readers (type 7)
};

// The reader type a serial port could be: 2 when its hardware id names a CH340 bridge (the rule
// the type-2 port search uses), else 5, whose search tries every port.
std::uint8_t serialReaderTypeOf(const std::string& hardwareId);

// Surveys `bus`. `root` is the folder holding the machine's /proc ("/" normally, a fake one in
// tests); empty for a bus with no machine behind it (the simulator), where no program is looked for.
DeviceSurvey surveyDevices(DeviceBus& bus, const std::string& root);

}  // namespace Orvane
