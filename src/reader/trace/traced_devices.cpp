#include "reader/trace/traced_devices.hpp"

#include <algorithm>

#include "reader/trace/device_trace.hpp"

namespace Orvane {
namespace {

// The first `count` bytes of `bytes`, as far as there are any: a result is only a number the
// device or its library gave.
std::string hexOfFirst(std::span<const std::uint8_t> bytes, long count) {
    const auto n = static_cast<std::size_t>(std::clamp<long>(count, 0, static_cast<long>(bytes.size())));
    return traceHex(bytes.first(n));
}

}  // namespace

nlohmann::json TraceTarget::record(const char* op) const {
    return traceRecord(readerType, device, op);
}

// ---- HID ----------------------------------------------------------------------------------------

TracedHid::~TracedHid() {
    inner_.reset();
    target_.write(target_.record("close"));
}

int TracedHid::sent(const char* op, std::span<const std::uint8_t> report, int result) {
    nlohmann::json line = target_.record(op);
    line["out"] = traceHex(report);
    line["result"] = result;
    target_.write(line);
    return result;
}

int TracedHid::received(nlohmann::json line, std::span<const std::uint8_t> report, int result) {
    line["size"] = report.size();
    line["result"] = result;
    line["in"] = hexOfFirst(report, result);
    target_.write(line);
    return result;
}

int TracedHid::write(std::span<const std::uint8_t> report) {
    return sent("hidWrite", report, inner_->write(report));
}

int TracedHid::readTimeout(std::span<std::uint8_t> report, int timeoutMs) {
    nlohmann::json line = target_.record("hidRead");
    line["timeoutMs"] = timeoutMs;
    return received(std::move(line), report, inner_->readTimeout(report, timeoutMs));
}

int TracedHid::sendFeatureReport(std::span<const std::uint8_t> report) {
    return sent("featureSet", report, inner_->sendFeatureReport(report));
}

int TracedHid::getFeatureReport(std::span<std::uint8_t> report) {
    // The caller names the report in its first byte; that is part of the request.
    nlohmann::json line = target_.record("featureGet");
    line["reportId"] = report.empty() ? -1 : report[0];
    return received(std::move(line), report, inner_->getFeatureReport(report));
}

// ---- USB ----------------------------------------------------------------------------------------

TracedUsb::~TracedUsb() {
    inner_.reset();
    target_.write(target_.record("close"));
}

int TracedUsb::interfaceCall(const char* op, int interfaceNumber, int result) {
    nlohmann::json line = target_.record(op);
    line["interface"] = interfaceNumber;
    line["result"] = result;
    target_.write(line);
    return result;
}

int TracedUsb::detachKernelDriver(int n) {
    return interfaceCall("detachKernel", n, inner_->detachKernelDriver(n));
}
int TracedUsb::attachKernelDriver(int n) {
    return interfaceCall("attachKernel", n, inner_->attachKernelDriver(n));
}
int TracedUsb::claimInterface(int n) {
    return interfaceCall("claim", n, inner_->claimInterface(n));
}
int TracedUsb::releaseInterface(int n) {
    return interfaceCall("release", n, inner_->releaseInterface(n));
}

int TracedUsb::bulkTransfer(std::uint8_t endpoint, std::span<std::uint8_t> data, int& transferred,
                            unsigned timeoutMs) {
    const bool in = (endpoint & 0x80) != 0;
    nlohmann::json line = target_.record(in ? "bulkIn" : "bulkOut");
    line["endpoint"] = endpoint;
    line["timeoutMs"] = timeoutMs;
    if (in) {
        line["size"] = data.size();
    } else {
        line["out"] = traceHex(data);
    }
    const int result = inner_->bulkTransfer(endpoint, data, transferred, timeoutMs);
    line["result"] = result;
    line["transferred"] = transferred;
    if (in) line["in"] = hexOfFirst(data, transferred);
    target_.write(line);
    return result;
}

int TracedUsb::controlTransfer(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                               std::uint16_t index, std::span<std::uint8_t> data, unsigned timeoutMs) {
    // Bit 7 of bmRequestType: device to host (USB 2.0, 9.3.1).
    const bool in = (requestType & 0x80) != 0;
    nlohmann::json line = target_.record("control");
    line["requestType"] = requestType;
    line["request"] = request;
    line["value"] = value;
    line["index"] = index;
    line["timeoutMs"] = timeoutMs;
    if (in) {
        line["size"] = data.size();
    } else {
        line["out"] = traceHex(data);
    }
    const int result = inner_->controlTransfer(requestType, request, value, index, data, timeoutMs);
    line["result"] = result;
    if (in) line["in"] = hexOfFirst(data, result);
    target_.write(line);
    return result;
}

int TracedUsb::resetDevice() {
    const int result = inner_->resetDevice();
    nlohmann::json line = target_.record("reset");
    line["result"] = result;
    target_.write(line);
    return result;
}

}  // namespace Orvane
