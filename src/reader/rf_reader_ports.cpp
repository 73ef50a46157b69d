#include "reader/rf_reader_ports.hpp"

#include <array>
#include <chrono>
#include <mutex>
#include <thread>

#include "reader/bus/device_bus.hpp"
#include "reader/frame/va_frame.hpp"
#include "reader/frame/va_opcodes.hpp"
#include "reader/frame/vc_opcodes.hpp"
#include "reader/reader_family.hpp"
#include "reader/serial/port_policy.hpp"
#include "reader/transport/vb_reader_serial.hpp"
#include "reader/transport/vc_reader_serial.hpp"

namespace Orvane {
namespace {

// One remembered port per serial type, shared by every reader of the process; sessions open
// readers on different worker threads, hence the lock.
std::mutex lastGoodMutex;
std::array<std::string, 2> lastGood;

std::string& lastGoodSlot(std::uint8_t kind) {
    return lastGood[kind == kReaderVbSerial ? 0 : 1];
}

void rememberPort(std::uint8_t kind, const std::string& port) {
    std::lock_guard lock(lastGoodMutex);
    lastGoodSlot(kind) = port;
}

bool setPortName(serial::Serial& port, const std::string& name) {
    try {
        port.setPort(name);
        return true;
    } catch (...) {
        return false;
    }
}

bool openPort(serial::Serial& port) {
    try {
        port.open();
        return true;
    } catch (...) {
        return false;
    }
}

void closePort(serial::Serial& port) {
    try {
        port.close();
    } catch (...) {
    }
}

void setRate(serial::Serial& port, std::uint32_t baud) {
    try {
        port.setBaudrate(baud);
    } catch (...) {
    }
}

// A VB reader comes up at 9,600 baud and is worked at 57,600: try the working rate first, else
// tell the reader to switch (at its power-on rate) and follow it.
bool vbHandshake(VBReaderSerial& reader) {
    serial::Serial& port = reader.port();
    setRate(port, 57600);
    if (!openPort(port)) return false;
    if (reader.exchange(va::kIdentify) == 0) return true;
    setRate(port, 9600);
    const std::uint8_t to57600[] = {*va_frame::baudCode(57600)};
    if (reader.exchange(va::kSetBaud, to57600) == 0) {
        setRate(port, 57600);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the reader's UART settles
        if (reader.exchange(va::kIdentify) == 0) return true;
    }
    closePort(port);
    return false;
}

bool vcHandshake(VCReaderSerial& reader) {
    if (!openPort(reader.port())) return false;
    if (reader.exchange(vc::kIdentify) == 0) return true;
    closePort(reader.port());
    return false;
}

// The CH340 bridge of the VB readers, as sysfs ("1a86:7523") or a Windows-style id names it.
bool isCh340Port(const serial::PortInfo& port) {
    const std::string& id = port.hardwareId;
    return id.find("1a86:7523") != std::string::npos ||
           (id.find("VID_1A86") != std::string::npos && id.find("PID_7523") != std::string::npos);
}

bool anyPort(const serial::PortInfo&) {
    return true;
}

std::vector<serial::PortInfo> listPorts(DeviceBus& bus) {
    try {
        return bus.listSerialPorts();
    } catch (...) {
        return {};
    }
}

template <typename Transport>
bool connectPort(Transport& reader, DeviceBus& bus, std::uint8_t kind, const std::string& portName,
                 bool keepOpen, bool (*admits)(const serial::PortInfo&), bool (*handshake)(Transport&)) {
    std::string name = portName;
    if (name.empty()) {
        name = lastGoodSerialPort(kind);
        // The family's remembered port, while another reader of this process works on it, says
        // nothing of where this reader is: a second reader of the family searches instead of failing.
        if (!name.empty() && reader.portHeldElsewhere(name)) name.clear();
    }
    bool found = false;
    if (!name.empty() && setPortName(reader.port(), name)) {
        // final either way; a port another reader works on is not touched, nor one that became
        // something no reader may be (a symlink pointed at a shell's terminal since it was named)
        found = !reader.portHeldElsewhere(name) && !serial::portRefusal(name) && handshake(reader);
    } else {
        for (const serial::PortInfo& port : listPorts(bus)) {
            if (!admits(port) || reader.portHeldElsewhere(port.port) ||
                !setPortName(reader.port(), port.port))
                continue;
            if (handshake(reader)) {
                rememberPort(kind, port.port);
                found = true;
                break;
            }
        }
    }
    if (found) reader.holdPort();
    if (found && !keepOpen) {
        reader.setParkedPort(true);
        closePort(reader.port());
    }
    return found;
}

}  // namespace

bool connectVbSerialPort(VBReaderSerial& reader, DeviceBus& bus, const std::string& portName, bool keepOpen) {
    return connectPort(reader, bus, kReaderVbSerial, portName, keepOpen, isCh340Port, vbHandshake);
}

bool connectVcSerialPort(VCReaderSerial& reader, DeviceBus& bus, const std::string& portName, bool keepOpen) {
    return connectPort(reader, bus, kReaderVcSerial, portName, keepOpen, anyPort, vcHandshake);
}

std::string lastGoodSerialPort(std::uint8_t kind) {
    if (kind != kReaderVbSerial && kind != kReaderVcSerial) return {};
    std::lock_guard lock(lastGoodMutex);
    return lastGoodSlot(kind);
}

void forgetLastGoodSerialPorts() {
    std::lock_guard lock(lastGoodMutex);
    for (std::string& port : lastGood)
        port.clear();
}

}  // namespace Orvane
