#pragma once
// ISO 15693 commands 500 to 514 on a reader's RfIso15693, after the handler's common start
// (RfWork::onEntry). Parameters are checked before the reader slot: a request without them closes
// the connection whatever its rfIdx.

#include <nlohmann/json.hpp>

#include "card/iso15693/iiso15693_reader.hpp"
#include "commands/entry_command.hpp"
#include "protocol/handler.hpp"

namespace iso15693_commands {

// The codes of the family this handler serves.
bool serves(GCODE code);
// False when a parameter of a served code is missing or of the wrong JSON type.
bool hasParameters(GCODE code, const nlohmann::json& request);
// The reader for every served code: each asks the reader for ISO 15693 mode.
EntryNeeds needsOf(GCODE code);

// For a served code with its parameters: 1 with `err` written.
int run(GCODE code, const nlohmann::json& request, nlohmann::json& reply, Orvane::IIso15693Reader& tags);

}  // namespace iso15693_commands
