#include "sim/script/trace_lines.hpp"

#include <fstream>

namespace rfsim {
namespace {

using nlohmann::json;

// A line too long for any device operation is not from a trace.
constexpr std::size_t kMaxLine = 4u << 20;

bool readLines(const std::string& path, std::vector<TraceLine>& lines, std::string& error) {
    std::ifstream file(path);
    if (!file) {
        error = "cannot read the trace " + path;
        return false;
    }
    std::string text;
    for (std::size_t number = 1; std::getline(file, text); ++number) {
        if (text.find_first_not_of(" \t\r") == std::string::npos) continue;
        json value = text.size() <= kMaxLine ? json::parse(text, nullptr, false) : json();
        if (value.is_discarded() || !value.is_object() || !value.contains("op") || !value["op"].is_string() ||
            !value.contains("dev") || !value["dev"].is_string()) {
            error = path + ", line " + std::to_string(number) + ": not a trace line";
            return false;
        }
        lines.push_back({number, std::move(value)});
    }
    return true;
}

std::string answeringPort(const std::vector<TraceLine>& lines, int type) {
    for (const TraceLine& line : lines) {
        const json& v = line.value;
        const bool ofType = v.contains("type") && v["type"].is_number_integer() && v["type"] == type;
        if (ofType && v["op"] == "read" && v.contains("in") && v["in"].is_string() &&
            !v["in"].get<std::string>().empty())
            return v["dev"].get<std::string>();
    }
    return {};
}

}  // namespace

DeviceLines loadDeviceLines(const std::string& path, int type, const std::string& usbName,
                            const std::string& device) {
    DeviceLines out;
    std::vector<TraceLine> all;
    if (!readLines(path, all, out.error)) return out;
    out.device = !device.empty() ? device : !usbName.empty() ? usbName : answeringPort(all, type);
    if (out.device.empty()) {
        out.error = path + ": no reader of type " + std::to_string(type) + " answered on a serial port";
        return out;
    }
    for (TraceLine& line : all)
        if (line.value["dev"] == out.device) out.lines.push_back(std::move(line));
    if (out.lines.empty()) out.error = path + ": no line of the device " + out.device;
    return out;
}

}  // namespace rfsim
