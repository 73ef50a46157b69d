#include "sim/script/scripted_device.hpp"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "crypto/hex.hpp"
#include "reader/bus/device_bus.hpp"

namespace rfsim {
namespace {

using nlohmann::json;

// A number from the script as an int; `fallback` when it is none or out of range.
int intOf(const json& answer, const char* key, int fallback) {
    if (!answer.contains(key) || !answer[key].is_number_integer()) return fallback;
    const auto value = answer[key].get<long long>();
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) return fallback;
    return static_cast<int>(value);
}

int clampResult(int result, int low, std::size_t room) {
    return std::clamp(result, low, static_cast<int>(std::min<std::size_t>(room, 1 << 20)));
}

const char* interfaceOp(SimDevice::InterfaceRequest request) {
    switch (request) {
        case SimDevice::InterfaceRequest::detachKernel:
            return "detachKernel";
        case SimDevice::InterfaceRequest::attachKernel:
            return "attachKernel";
        case SimDevice::InterfaceRequest::claim:
            return "claim";
        case SimDevice::InterfaceRequest::release:
            return "release";
    }
    return "?";
}

}  // namespace

std::string usbDeviceName(const UsbIds& ids) {
    char name[16];
    std::snprintf(name, sizeof name, "%04x:%04x", unsigned{ids.vendorId}, unsigned{ids.productId});
    return name;
}

ScriptedDevice::ScriptedDevice(int type, UsbIds ids, std::shared_ptr<VirtualReader> reader,
                               std::shared_ptr<ReaderScript> script)
    : SimDevice(ids.vendorId, ids.productId, ids.hid, std::move(reader)),
      type_(type),
      name_(usbDeviceName(ids)),
      hid_(ids.hid),
      script_(std::move(script)) {}

std::optional<ScriptedDevice::Answer> ScriptedDevice::ask(json request) {
    request["type"] = type_;
    request["dev"] = name_;
    const std::optional<json> answer = script_->answer(request);
    if (!answer || !answer->is_object()) return std::nullopt;
    Answer out;
    out.result = intOf(*answer, "result", 0);
    if (answer->contains("in") && (*answer)["in"].is_string()) {
        // A script's bytes are checked as a device's are: bad hex is no bytes at all.
        out.in = Orvane::hexDecode((*answer)["in"].get<std::string>(), 1 << 20).value_or(Bytes{});
    }
    if (answer->contains("transferred")) out.transferred = intOf(*answer, "transferred", 0);
    return out;
}

std::size_t ScriptedDevice::fill(std::span<std::uint8_t> buffer, const Bytes& in) {
    const std::size_t n = std::min(buffer.size(), in.size());
    std::copy_n(in.begin(), n, buffer.begin());
    std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(n), buffer.end(), 0);
    return n;
}

bool ScriptedDevice::hostOpen() {
    const auto answer = ask({{"op", "open"}, {"link", hid_ ? "hid" : "usb"}});
    return answer && answer->result >= 0;
}

void ScriptedDevice::hostClose() {
    ask({{"op", "close"}});
}

int ScriptedDevice::hidWrite(std::span<const std::uint8_t> report) {
    const auto answer = ask({{"op", "hidWrite"}, {"out", Orvane::hexEncode(report)}});
    return answer ? clampResult(answer->result, -1, report.size()) : static_cast<int>(report.size());
}

int ScriptedDevice::hidRead(std::span<std::uint8_t> report) {
    const auto answer = ask({{"op", "hidRead"}, {"size", report.size()}});
    if (!answer) return 0;  // nothing within the timeout
    fill(report, answer->in);
    return clampResult(answer->result, -1, report.size());
}

int ScriptedDevice::hidSendFeature(std::span<const std::uint8_t> report) {
    const auto answer = ask({{"op", "featureSet"}, {"out", Orvane::hexEncode(report)}});
    return answer ? clampResult(answer->result, -1, report.size()) : static_cast<int>(report.size());
}

int ScriptedDevice::hidGetFeature(std::span<std::uint8_t> report) {
    const int reportId = report.empty() ? -1 : report[0];
    const auto answer = ask({{"op", "featureGet"}, {"size", report.size()}, {"reportId", reportId}});
    if (!answer) return -1;  // the control read stalls
    fill(report, answer->in);
    return clampResult(answer->result, -1, report.size());
}

int ScriptedDevice::usbBulk(std::uint8_t endpoint, std::span<std::uint8_t> data, int& transferred) {
    transferred = 0;
    const bool in = (endpoint & 0x80) != 0;
    json request = {{"op", in ? "bulkIn" : "bulkOut"}, {"endpoint", endpoint}};
    if (in) {
        request["size"] = data.size();
    } else {
        request["out"] = Orvane::hexEncode(data);
    }
    const auto answer = ask(std::move(request));
    if (!answer) {
        if (in) return Orvane::usb_error::kTimeout;
        transferred = static_cast<int>(data.size());
        return 0;
    }
    if (in) {
        transferred = static_cast<int>(fill(data, answer->in));
    } else {
        transferred =
            clampResult(answer->transferred.value_or(static_cast<int>(data.size())), 0, data.size());
    }
    return std::min(answer->result, 0);  // libusb's results here are 0 or an error
}

int ScriptedDevice::usbControl(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                               std::uint16_t index, std::span<std::uint8_t> data) {
    const bool in = (requestType & 0x80) != 0;
    json line = {{"op", "control"},
                 {"requestType", requestType},
                 {"request", request},
                 {"value", value},
                 {"index", index}};
    if (in) {
        line["size"] = data.size();
    } else {
        line["out"] = Orvane::hexEncode(data);
    }
    const auto answer = ask(std::move(line));
    if (!answer) return in ? Orvane::usb_error::kTimeout : static_cast<int>(data.size());
    if (in) fill(data, answer->in);
    return clampResult(answer->result, std::numeric_limits<int>::min(), data.size());
}

int ScriptedDevice::usbReset() {
    const auto answer = ask({{"op", "reset"}});
    return answer ? std::min(answer->result, 0) : 0;
}

int ScriptedDevice::usbInterface(InterfaceRequest request, int interfaceNumber) {
    const auto answer = ask({{"op", interfaceOp(request)}, {"interface", interfaceNumber}});
    return answer ? std::min(answer->result, 0) : SimDevice::usbInterface(request, interfaceNumber);
}

}  // namespace rfsim
