#pragma once
// Commands 900 to 904: personalisation of FM-type cards (Orvane::CosFm2) — erase the DF, create a
// DF, elementary files and the purse file, write keys.

#include <nlohmann/json.hpp>

#include "protocol/channel.hpp"
#include "protocol/handler.hpp"

namespace Orvane {
class CosFm2;
}

namespace fm_cos_commands {

bool serves(GCODE code);

// Whether the command's secure messaging names the key provider (904 only).
bool needsProvider(GCODE code, const nlohmann::json& request);

// One served code, by the work contract of key_provider::Work: 0 done (result 0 to be set), 1 the
// reply is complete, -1 a required field is missing or of another type.
int run(GCODE code, const nlohmann::json& request, nlohmann::json& reply, Orvane::CosFm2& cos,
        const ChannelPtr& channel);

}  // namespace fm_cos_commands
