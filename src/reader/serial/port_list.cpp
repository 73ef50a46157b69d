#include "reader/serial/port_list.hpp"

#include <glob.h>

#include <filesystem>
#include <fstream>

#include "reader/serial/port_info.hpp"

namespace serial {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> globPaths(const std::string& pattern) {
    std::vector<std::string> paths;
    glob_t found{};
    if (::glob(pattern.c_str(), 0, nullptr, &found) == 0) {
        for (std::size_t i = 0; i < found.gl_pathc; ++i)
            paths.emplace_back(found.gl_pathv[i]);
    }
    ::globfree(&found);
    return paths;
}

// First line of a sysfs attribute; empty when the file is missing.
std::string readAttribute(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    if (in) std::getline(in, line);
    return line;
}

std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct SysfsInfo {
    std::string description;
    std::string hardwareId;
};

// A USB serial adapter's attributes live in its USB device folder, above the tty's interface.
SysfsInfo usbInfo(const fs::path& usbDevice) {
    SysfsInfo info;
    std::error_code ec;
    if (!fs::is_directory(usbDevice, ec)) return info;
    const std::string manufacturer = readAttribute(usbDevice / "manufacturer");
    const std::string product = readAttribute(usbDevice / "product");
    const std::string serialNumber = readAttribute(usbDevice / "serial");
    if (!manufacturer.empty() || !product.empty() || !serialNumber.empty())
        info.description = manufacturer + " " + product + " " + serialNumber;
    info.hardwareId = "USB VID:PID=" + readAttribute(usbDevice / "idVendor") + ":" +
                      readAttribute(usbDevice / "idProduct") + " " +
                      (serialNumber.empty() ? std::string() : "SNR=" + serialNumber);
    return info;
}

// The bus a sysfs device sits on ("usb-serial", "pnp", "platform"); empty when it names none.
std::string subsystemOf(const fs::path& device) {
    std::error_code ec;
    return fs::canonical(device / "subsystem", ec).filename().string();
}

// The rule the common serial libraries use: sysfs ties the tty to a device, and that device is not
// on the platform bus, where the 8250 driver registers its legacy ports whether or not a UART is
// fitted. Since Linux 6.5 a serial port's device is a "serial-base" port device below a
// "serial-base" controller; the device above those is the one whose bus tells.
bool backedByDevice(const fs::path& sysRoot, const std::string& name) {
    std::error_code ec;
    fs::path device = fs::canonical(sysRoot / "class/tty" / name / "device", ec);
    if (ec) return false;
    constexpr int kSerialBaseLevels = 2;  // port device, controller device
    for (int level = 0; level <= kSerialBaseLevels; ++level) {
        const std::string bus = subsystemOf(device);
        if (bus != "serial-base") return bus != "platform";
        device = device.parent_path();
    }
    return true;
}

SysfsInfo sysfsInfo(const fs::path& sysRoot, const std::string& name) {
    const fs::path link = sysRoot / "class/tty" / name / "device";
    std::error_code ec;
    const fs::path device = fs::canonical(link, ec);
    if (ec) return {};
    if (name.starts_with("ttyUSB")) return usbInfo(device.parent_path().parent_path());
    if (name.starts_with("ttyACM")) return usbInfo(device.parent_path());
    SysfsInfo info;
    info.hardwareId = readAttribute(device / "id");
    return info;
}

}  // namespace

std::vector<PortInfo> listPorts(const std::string& root) {
    const fs::path base = root.empty() ? fs::path("/") : fs::path(root);
    std::vector<std::string> devices = globPaths((base / "dev/tty?*").string());
    for (const char* pattern : {"dev/cu.*", "dev/rfcomm*"}) {
        auto more = globPaths((base / pattern).string());
        devices.insert(devices.end(), more.begin(), more.end());
    }

    std::vector<PortInfo> ports;
    ports.reserve(devices.size());
    for (const auto& device : devices) {
        const std::string name = baseName(device);
        SysfsInfo info = sysfsInfo(base / "sys", name);
        ports.push_back(PortInfo{device, info.description.empty() ? name : std::move(info.description),
                                 info.hardwareId.empty() ? "n/a" : std::move(info.hardwareId),
                                 backedByDevice(base / "sys", name)});
    }
    return ports;
}

}  // namespace serial
