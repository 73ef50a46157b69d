#include "sim/world/card_faults.hpp"

#include <nlohmann/json.hpp>

#include "sim/card/cpu_card.hpp"

namespace rfsim {

std::string applyCardFaults(TypeACard& card, const nlohmann::json& faults) {
    if (!faults.is_object()) return "\"faults\" must be an object";
    auto* cpu = dynamic_cast<CpuCard*>(&card);
    if (!cpu) return faults.empty() ? std::string() : "this card kind has no fault switches";
    cos::CosFaults switches = cpu->faults();
    for (const auto& [name, value] : faults.items()) {
        if (!value.is_boolean()) return "fault \"" + name + "\" must be true or false";
        if (name == "badResponseMac") {
            switches.badResponseMac = value.get<bool>();
        } else {
            return "unknown fault \"" + name + "\"";
        }
    }
    cpu->setFaults(switches);
    return {};
}

nlohmann::json cardFaults(const TypeACard& card) {
    const auto* cpu = dynamic_cast<const CpuCard*>(&card);
    if (!cpu) return nullptr;
    return {{"badResponseMac", cpu->faults().badResponseMac}};
}

}  // namespace rfsim
