#pragma once
// HID and USB devices that answer from a script and record what they were sent, for transport
// tests and the reply fuzzer. A script outlives the device object the transport owns.

#include <deque>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "reader/bus/device_bus.hpp"

namespace scripted {

using Bytes = std::vector<std::uint8_t>;

// One answer to a read: its bytes, and the result the call returns (the byte count unless set).
struct Read {
    Bytes bytes;
    int result;

    Read(Bytes data) : bytes(std::move(data)), result(static_cast<int>(bytes.size())) {}  // NOLINT
    Read(Bytes data, int forced) : bytes(std::move(data)), result(forced) {}
    static Read error(int code = -1) { return Read({}, code); }
};

struct HidScript {
    std::deque<Read> inputReports;
    std::deque<Read> staleReports;  // waiting already: served to reads that do not wait (timeout 0)
    std::deque<Read> featureReports;
    std::vector<Bytes> written;       // output reports
    std::vector<Bytes> featuresSent;  // feature reports sent
    int featureGets = 0;
    int writeResult = -2;  // -2: the report's size
    int featureSendResult = -2;
    bool unplugged = false;
    bool closed = false;
};

class Hid : public Orvane::HidDevice {
  public:
    explicit Hid(std::shared_ptr<HidScript> script) : s_(std::move(script)) {}
    ~Hid() override { s_->closed = true; }

    int write(std::span<const std::uint8_t> report) override {
        if (s_->unplugged) return -1;
        s_->written.emplace_back(report.begin(), report.end());
        return s_->writeResult == -2 ? static_cast<int>(report.size()) : s_->writeResult;
    }
    int readTimeout(std::span<std::uint8_t> report, int timeoutMs) override {
        return serve(timeoutMs == 0 ? s_->staleReports : s_->inputReports, report);
    }
    int sendFeatureReport(std::span<const std::uint8_t> report) override {
        if (s_->unplugged) return -1;
        s_->featuresSent.emplace_back(report.begin(), report.end());
        return s_->featureSendResult == -2 ? static_cast<int>(report.size()) : s_->featureSendResult;
    }
    int getFeatureReport(std::span<std::uint8_t> report) override {
        ++s_->featureGets;
        return serve(s_->featureReports, report);
    }

  private:
    // An empty script is a silent device: input reads time out, feature reads fail.
    int serve(std::deque<Read>& queue, std::span<std::uint8_t> report) {
        if (s_->unplugged) return -1;
        if (queue.empty()) return &queue == &s_->featureReports ? -1 : 0;
        Read next = std::move(queue.front());
        queue.pop_front();
        std::copy_n(next.bytes.begin(), std::min(next.bytes.size(), report.size()), report.begin());
        return next.result;
    }

    std::shared_ptr<HidScript> s_;
};

struct UsbScript {
    std::deque<Read> bulkIn;  // a Read's result is the transfer's return code when negative
    std::vector<std::pair<std::uint8_t, Bytes>> bulkOut;
    struct Control {
        std::uint8_t requestType, request;
        std::uint16_t value, index;
        unsigned timeoutMs;
    };
    std::vector<Control> controls;
    std::vector<int> claimed, released, attached, detached;
    int claimResult = 0;
    int outResult = 0;
    int outTransferred = -1;  // -1: the whole request
    int resets = 0;
    bool unplugged = false;
    bool closed = false;
};

class Usb : public Orvane::UsbDevice {
  public:
    explicit Usb(std::shared_ptr<UsbScript> script) : s_(std::move(script)) {}
    ~Usb() override { s_->closed = true; }

    int detachKernelDriver(int n) override { return s_->detached.push_back(n), 0; }
    int attachKernelDriver(int n) override { return s_->attached.push_back(n), 0; }
    int claimInterface(int n) override {
        if (s_->claimResult == 0) s_->claimed.push_back(n);
        return s_->claimResult;
    }
    int releaseInterface(int n) override { return s_->released.push_back(n), 0; }
    int bulkTransfer(std::uint8_t endpoint, std::span<std::uint8_t> data, int& transferred,
                     unsigned) override {
        transferred = 0;
        if (s_->unplugged) return Orvane::usb_error::kNoDevice;
        if (!(endpoint & 0x80)) {
            s_->bulkOut.emplace_back(endpoint, Bytes(data.begin(), data.end()));
            transferred = s_->outTransferred < 0 ? static_cast<int>(data.size()) : s_->outTransferred;
            return s_->outResult;
        }
        if (s_->bulkIn.empty()) return Orvane::usb_error::kTimeout;
        Read next = std::move(s_->bulkIn.front());
        s_->bulkIn.pop_front();
        if (next.result < 0) return next.result;
        const std::size_t n = std::min(next.bytes.size(), data.size());
        std::copy_n(next.bytes.begin(), n, data.begin());
        transferred = static_cast<int>(n);
        return 0;
    }
    int controlTransfer(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                        std::uint16_t index, std::span<std::uint8_t>, unsigned timeoutMs) override {
        if (s_->unplugged) return Orvane::usb_error::kNoDevice;
        s_->controls.push_back({requestType, request, value, index, timeoutMs});
        return 0;
    }
    int resetDevice() override { return ++s_->resets, 0; }

  private:
    std::shared_ptr<UsbScript> s_;
};

// A bus with at most one scripted device per (vendor, product).
class Bus : public Orvane::DeviceBus {
  public:
    std::shared_ptr<HidScript> addHid(std::uint16_t vid, std::uint16_t pid) {
        return hids_[{vid, pid}] = std::make_shared<HidScript>();
    }
    std::shared_ptr<UsbScript> addUsb(std::uint16_t vid, std::uint16_t pid) {
        return usbs_[{vid, pid}] = std::make_shared<UsbScript>();
    }
    std::unique_ptr<Orvane::HidDevice> openHid(std::uint16_t vid, std::uint16_t pid) override {
        const auto found = hids_.find({vid, pid});
        if (found == hids_.end() || found->second->unplugged) return nullptr;
        found->second->closed = false;
        return std::make_unique<Hid>(found->second);
    }
    std::unique_ptr<Orvane::UsbDevice> openUsb(std::uint16_t vid, std::uint16_t pid) override {
        const auto found = usbs_.find({vid, pid});
        if (found == usbs_.end() || found->second->unplugged) return nullptr;
        found->second->closed = false;
        return std::make_unique<Usb>(found->second);
    }
    std::unique_ptr<Orvane::HidDevice> wrapHid(std::intptr_t, int) override { return nullptr; }
    std::unique_ptr<Orvane::UsbDevice> wrapUsb(std::intptr_t) override { return nullptr; }
    std::vector<serial::PortInfo> listSerialPorts() override { return {}; }

  private:
    std::map<std::pair<std::uint16_t, std::uint16_t>, std::shared_ptr<HidScript>> hids_;
    std::map<std::pair<std::uint16_t, std::uint16_t>, std::shared_ptr<UsbScript>> usbs_;
};

}  // namespace scripted
