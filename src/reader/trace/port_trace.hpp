#pragma once
// Traces what goes over a serial port: opens, closes, rate changes, writes and reads, each as a
// line of the device trace with the port's path as the device.

#include <cstdint>
#include <memory>

#include "reader/serial/serial.hpp"
#include "reader/trace/trace_file.hpp"

namespace Orvane {

class PortTrace : public serial::PortWatcher {
  public:
    PortTrace(std::shared_ptr<TraceFile> file, int readerType)
        : file_(std::move(file)), readerType_(readerType) {}
    void seen(const serial::PortEvent& event) noexcept override;

  private:
    std::shared_ptr<TraceFile> file_;
    int readerType_;
};

// Watches `port` for the running device trace, if there is one.
void tracePort(serial::Serial& port, int readerType);

}  // namespace Orvane
