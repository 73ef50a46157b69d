#include "reader/survey/device_survey.hpp"
#include "reader/usb_reader_ids.hpp"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "reader/device/node_access.hpp"
#include "reader/reader_family.hpp"

namespace Orvane {
namespace {

// Linux device numbers (Documentation/admin-guide/devices.txt): major 4 minors 0-63 are the virtual
// consoles, which the port list's /dev/tty?* includes and no reader sits behind.
constexpr unsigned kTtyMajor = 4, kMaxVirtualConsole = 63;

bool isVirtualConsole(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode) && ::major(st.st_rdev) == kTtyMajor &&
           ::minor(st.st_rdev) <= kMaxVirtualConsole;
}

}  // namespace

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
        if (isVirtualConsole(port.port)) continue;
        const std::uint8_t type = serialReaderTypeOf(port.hardwareId);
        const bool openable = mayReadWrite(port.port);
        std::string group = owningGroup(port.port);
        survey.ports.push_back({std::move(port), type, openable, std::move(group)});
    }
    survey.grabbers = findPortGrabbers(root);
    return survey;
}

}  // namespace Orvane
