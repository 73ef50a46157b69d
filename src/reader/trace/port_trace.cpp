#include "reader/trace/port_trace.hpp"

#include "reader/trace/device_trace.hpp"

namespace Orvane {
namespace {

const char* opName(serial::PortEvent::Kind kind) {
    switch (kind) {
        case serial::PortEvent::Kind::open:
            return "open";
        case serial::PortEvent::Kind::close:
            return "close";
        case serial::PortEvent::Kind::baud:
            return "baud";
        case serial::PortEvent::Kind::write:
            return "write";
        case serial::PortEvent::Kind::read:
            return "read";
    }
    return "?";
}

}  // namespace

void PortTrace::seen(const serial::PortEvent& event) noexcept {
    try {
        nlohmann::json line = traceRecord(readerType_, event.port, opName(event.kind));
        switch (event.kind) {
            case serial::PortEvent::Kind::open:
            case serial::PortEvent::Kind::baud:
                line["baud"] = event.baud;
                break;
            case serial::PortEvent::Kind::write:
                line["out"] = traceHex(event.bytes);
                break;
            case serial::PortEvent::Kind::read:
                line["size"] = event.size;
                line["in"] = traceHex(event.bytes);
                break;
            default:
                break;
        }
        line["result"] = event.result;
        file_->append(line);
    } catch (...) {
        // Out of memory for a trace line: the port operation has happened all the same.
    }
}

void tracePort(serial::Serial& port, int readerType) {
    if (auto file = deviceTrace()) port.setWatcher(std::make_shared<PortTrace>(std::move(file), readerType));
}

}  // namespace Orvane
