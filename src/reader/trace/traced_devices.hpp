#pragma once
// HID and USB device handles that trace every call made on the handle they wrap.

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "reader/bus/device_bus.hpp"
#include "reader/trace/trace_file.hpp"

namespace Orvane {

// What every line of one device carries: the file, the reader type and the device's name.
struct TraceTarget {
    std::shared_ptr<TraceFile> file;
    int readerType = 0;
    std::string device;

    nlohmann::json record(const char* op) const;
    void write(const nlohmann::json& line) const { file->append(line); }
};

class TracedHid : public HidDevice {
  public:
    TracedHid(std::unique_ptr<HidDevice> inner, TraceTarget target)
        : inner_(std::move(inner)), target_(std::move(target)) {}
    ~TracedHid() override;
    TracedHid(const TracedHid&) = delete;
    TracedHid& operator=(const TracedHid&) = delete;

    int write(std::span<const std::uint8_t> report) override;
    int readTimeout(std::span<std::uint8_t> report, int timeoutMs) override;
    int sendFeatureReport(std::span<const std::uint8_t> report) override;
    int getFeatureReport(std::span<std::uint8_t> report) override;

  private:
    // Writes the line of a report sent, or of one received into `report`; returns `result`.
    int sent(const char* op, std::span<const std::uint8_t> report, int result);
    int received(nlohmann::json line, std::span<const std::uint8_t> report, int result);

    std::unique_ptr<HidDevice> inner_;
    TraceTarget target_;
};

class TracedUsb : public UsbDevice {
  public:
    TracedUsb(std::unique_ptr<UsbDevice> inner, TraceTarget target)
        : inner_(std::move(inner)), target_(std::move(target)) {}
    ~TracedUsb() override;
    TracedUsb(const TracedUsb&) = delete;
    TracedUsb& operator=(const TracedUsb&) = delete;

    int detachKernelDriver(int interfaceNumber) override;
    int attachKernelDriver(int interfaceNumber) override;
    int claimInterface(int interfaceNumber) override;
    int releaseInterface(int interfaceNumber) override;
    int bulkTransfer(std::uint8_t endpoint, std::span<std::uint8_t> data, int& transferred,
                     unsigned timeoutMs) override;
    int controlTransfer(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                        std::uint16_t index, std::span<std::uint8_t> data, unsigned timeoutMs) override;
    int resetDevice() override;

  private:
    int interfaceCall(const char* op, int interfaceNumber, int result);

    std::unique_ptr<UsbDevice> inner_;
    TraceTarget target_;
};

}  // namespace Orvane
