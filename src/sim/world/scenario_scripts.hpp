#pragma once
// Scenario readers played by a script instead of firmware:
//
//   { "type": 1, "replay": "trace.jsonl" }              a recorded device trace, played back
//   { "type": 2, "replay": "trace.jsonl", "device": "/tmp/x/ttySIM0" }   ... of that device
//   { "type": 4, "external": "/run/user/1000/reader.sock" }   another process, over a Unix socket
//
// A replay picks the lines of the device a reader of `type` used (scripts/trace_lines.hpp) unless
// "device" names it. Such readers take no "cards".

#include <nlohmann/json.hpp>
#include <string>

#include "sim/world/sim_world.hpp"

namespace rfsim {

// Whether the scenario entry asks for a scripted reader.
bool namesScript(const nlohmann::json& entry);

// Adds the reader the entry describes to `world` (`added` is set); empty on success, else what is
// wrong, starting with `where`.
std::string addScriptedReader(const nlohmann::json& entry, int type, const std::string& name,
                              const std::string& where, SimWorld& world, SimWorld::Reader*& added);

}  // namespace rfsim
