#include "reader/rf_reader_ports.hpp"

#include <array>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "reader/bus/device_bus.hpp"
#include "reader/frame/va_frame.hpp"
#include "reader/frame/va_opcodes.hpp"
#include "reader/frame/vc_opcodes.hpp"
#include "reader/probe_log.hpp"
#include "reader/reader_family.hpp"
#include "reader/serial/port_policy.hpp"
#include "reader/serial_probe.hpp"
#include "reader/transport/vb_reader_serial.hpp"
#include "reader/transport/vc_reader_serial.hpp"
#include "reader/usb_reader_ids.hpp"

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
ProbeReport vbHandshake(VBReaderSerial& reader) {
    serial::Serial& port = reader.port();
    setRate(port, 57600);
    if (ProbeReport opened = openForProbe(port); !opened.found()) return opened;
    const std::size_t heardBefore = reader.bytesReceived();
    if (reader.exchange(va::kIdentify) == 0) return {};
    setRate(port, 9600);
    const std::uint8_t to57600[] = {*va_frame::baudCode(57600)};
    if (reader.exchange(va::kSetBaud, to57600) == 0) {
        setRate(port, 57600);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the reader's UART settles
        if (reader.exchange(va::kIdentify) == 0) return {};
    }
    closePort(port);
    return unanswered(reader.bytesReceived() - heardBefore, "57,600 or 9,600 baud");
}

ProbeReport vcHandshake(VCReaderSerial& reader) {
    if (ProbeReport opened = openForProbe(reader.port()); !opened.found()) return opened;
    const std::size_t heardBefore = reader.bytesReceived();
    if (reader.exchange(vc::kIdentify) == 0) return {};
    closePort(reader.port());
    return unanswered(reader.bytesReceived() - heardBefore, "115,200 baud");
}

bool isCh340Port(const serial::PortInfo& port) {
    return isCh340HardwareId(port.hardwareId);
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

// How one serial family finds its reader.
template <typename Transport>
struct SerialFamily {
    std::uint8_t kind;
    bool (*admits)(const serial::PortInfo&);
    const char* wanted;  // the ports `admits` lets through, for the line a fruitless search logs
    ProbeReport (*handshake)(Transport&);
};

// The reader on the port already set: never on a port another reader of this process works on,
// nor on one no reader may be (a terminal of a session, a console).
template <typename Transport>
ProbeReport probePort(Transport& reader, const std::string& path, const SerialFamily<Transport>& family) {
    if (reader.portHeldElsewhere(path))
        return {ProbeOutcome::busy, "another reader of this service works on it"};
    int reachError = 0;
    if (const auto refusal = serial::portRefusal(path, reachError))
        return reachError != 0 ? openFailure(path, reachError) : ProbeReport{ProbeOutcome::refused, *refusal};
    return family.handshake(reader);
}

template <typename Transport>
bool tryPort(Transport& reader, const std::string& path, const SerialFamily<Transport>& family) {
    const ProbeReport probe = probePort(reader, path, family);
    logProbe(family.kind, path, probe.outcome, probe.detail);
    return probe.found();
}

// Only ports a device backs are written to: a search that tried every tty wrote reader frames into
// virtual consoles and placeholder UARTs, 200 ms and more each.
template <typename Transport>
bool searchPorts(Transport& reader, DeviceBus& bus, const SerialFamily<Transport>& family) {
    const std::vector<serial::PortInfo> listed = listPorts(bus);
    std::size_t tried = 0;
    for (const serial::PortInfo& port : listed) {
        if (!port.backedByDevice || !family.admits(port) || !setPortName(reader.port(), port.port)) continue;
        ++tried;
        if (tryPort(reader, port.port, family)) {
            rememberPort(family.kind, port.port);
            return true;
        }
    }
    if (tried == 0)
        logProbe(family.kind, "serial ports", ProbeOutcome::notPresent,
                 std::string("no ") + family.wanted + " backed by a device; " +
                     std::to_string(listed.size()) + " listed ports skipped");
    return false;
}

template <typename Transport>
bool connectPort(Transport& reader, DeviceBus& bus, const std::string& portName, bool keepOpen,
                 const SerialFamily<Transport>& family) {
    std::string name = portName;
    if (name.empty()) {
        name = lastGoodSerialPort(family.kind);
        // The family's remembered port, while another reader of this process works on it, says
        // nothing of where this reader is: a second reader of the family searches instead of failing.
        if (!name.empty() && reader.portHeldElsewhere(name)) name.clear();
    }
    bool found = false;
    if (!name.empty() && setPortName(reader.port(), name)) {
        // final either way: a reader known to be there is not replaced by whatever else answers
        found = tryPort(reader, name, family);
    } else {
        found = searchPorts(reader, bus, family);
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
    static const SerialFamily<VBReaderSerial> family{kReaderVbSerial, isCh340Port,
                                                     "CH340 (1a86:7523) serial port", vbHandshake};
    return connectPort(reader, bus, portName, keepOpen, family);
}

bool connectVcSerialPort(VCReaderSerial& reader, DeviceBus& bus, const std::string& portName, bool keepOpen) {
    static const SerialFamily<VCReaderSerial> family{kReaderVcSerial, anyPort, "serial port", vcHandshake};
    return connectPort(reader, bus, portName, keepOpen, family);
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
