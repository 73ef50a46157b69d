#pragma once
// Commands 800 to 809: the ISO/IEC 7816-4 command set of a CPU card (Orvane::Cos7816) — challenge,
// SELECT with its FCI, authentication, PIN, and binary and record files with optional secure
// messaging.

#include <nlohmann/json.hpp>

#include "commands/key_provider/key_data_fill.hpp"
#include "protocol/channel.hpp"
#include "protocol/handler.hpp"

namespace Orvane {
class Cos7816;
}

namespace cos7816_commands {

bool serves(GCODE code);

// Where the command's key may name the key provider: "key" for 802, "safe" for 805 to 809.
key_provider::KeyPlaces keyPlaces(GCODE code);

// One served code, by the work contract of key_provider::Work: 0 done (result 0 to be set), 1 the
// reply is complete, -1 a required field is missing or of another type.
int run(GCODE code, const nlohmann::json& request, nlohmann::json& reply, Orvane::Cos7816& cos,
        const ChannelPtr& channel);

}  // namespace cos7816_commands
