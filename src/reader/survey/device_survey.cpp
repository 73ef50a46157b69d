#include "reader/survey/device_survey.hpp"
#include "reader/usb_reader_ids.hpp"

#include "reader/device/node_access.hpp"
#include "reader/reader_family.hpp"
#include "reader/serial/port_policy.hpp"

namespace Orvane {
std::uint8_t serialReaderTypeOf(const std::string& hardwareId) {
    return isCh340HardwareId(hardwareId) ? kReaderVbSerial : kReaderVcSerial;
}

DeviceSurvey surveyDevices(DeviceBus& bus, const std::string& root) {
    DeviceSurvey survey;
    for (const UsbReaderId& id : usbReaderIds()) {
        for (UsbDeviceNode& device : bus.listUsbDevices(id.vendorId, id.productId)) {
            std::string group = owningGroup(device.node);
            survey.usbDevices.push_back({id.readerType, id.link, std::move(device), std::move(group)});
        }
    }
    for (serial::PortInfo& port : bus.listSerialPorts()) {
        if (serial::isVirtualConsole(port.port)) continue;
        const std::uint8_t type = serialReaderTypeOf(port.hardwareId);
        const bool openable = mayReadWrite(port.port);
        std::string group = owningGroup(port.port);
        survey.ports.push_back({std::move(port), type, openable, std::move(group)});
    }
    survey.grabbers = findPortGrabbers(root);
    survey.pcsc = surveyPcsc(bus.pcscApi());
    return survey;
}

}  // namespace Orvane
