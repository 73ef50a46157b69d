#include "sim/world/scenario_scripts.hpp"

#include "sim/script/external_reader.hpp"
#include "sim/script/scripted_device.hpp"
#include "sim/script/trace_replay.hpp"

namespace rfsim {
namespace {

using nlohmann::json;

std::string stringField(const json& entry, const char* key, std::string& value) {
    if (!entry.contains(key)) return {};
    if (!entry[key].is_string() || entry[key].get<std::string>().empty())
        return std::string("\"") + key + "\" must be a non-empty string";
    value = entry[key].get<std::string>();
    return {};
}

}  // namespace

bool namesScript(const json& entry) {
    return entry.contains("replay") || entry.contains("external");
}

std::string addScriptedReader(const json& entry, int type, const std::string& name, const std::string& where,
                              SimWorld& world, SimWorld::Reader*& added) {
    std::string replay, external, device;
    for (const auto& [key, value] :
         {std::pair{"replay", &replay}, std::pair{"external", &external}, std::pair{"device", &device}}) {
        if (std::string error = stringField(entry, key, *value); !error.empty()) return where + ": " + error;
    }
    if (!replay.empty() && !external.empty())
        return where + ": a reader is either \"replay\" or \"external\"";
    if (entry.contains("cards")) return where + ": a replayed or external reader takes no \"cards\"";
    std::shared_ptr<ReaderScript> script;
    std::shared_ptr<ExternalReader> outside;
    if (!replay.empty()) {
        const std::optional<UsbIds> ids = usbIdsOfType(type);
        DeviceLines lines = loadDeviceLines(replay, type, ids ? usbDeviceName(*ids) : std::string(), device);
        if (!lines.error.empty()) return where + ": " + lines.error;
        script = std::make_shared<TraceReplay>(replay, type, std::move(lines));
    } else {
        outside = std::make_shared<ExternalReader>(external, type);
        script = outside;
    }
    added = world.addScripted(type, script, name);
    if (!added) return where + ": the reader could not be set up (no pseudo-terminal?)";
    if (outside && added->host) outside->setPort(added->host->portPath());
    return {};
}

}  // namespace rfsim
