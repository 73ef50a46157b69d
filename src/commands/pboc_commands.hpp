#pragma once
// Commands 1000 to 1010: the electronic deposit / electronic purse command set of a CPU card
// (Orvane::CosPboc2) — PINs, blocking, balance, transaction proofs, the two steps of a value
// transaction with its order record, and the compound-purchase data cache.

#include <nlohmann/json.hpp>

#include "commands/key_provider/key_data_fill.hpp"
#include "protocol/channel.hpp"
#include "protocol/handler.hpp"

namespace Orvane {
class CosPboc2;
}

namespace pboc_commands {

bool serves(GCODE code);

// Where the command's keys may name the key provider: "key" for 1001 to 1005, "key" and "keyTac"
// for 1008, "safe" for 1010.
key_provider::KeyPlaces keyPlaces(GCODE code);

// One served code, by the work contract of key_provider::Work: 0 done (result 0 to be set), 1 the
// reply is complete, -1 a required field is missing or of another type.
int run(GCODE code, const nlohmann::json& request, nlohmann::json& reply, Orvane::CosPboc2& cos,
        const ChannelPtr& channel);

}  // namespace pboc_commands
