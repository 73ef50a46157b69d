#pragma once
// ICODE SLI commands 600 to 612 on a reader's RfIcodeSli, after the handler's common start
// (RfWork::onEntry). Parameters are checked before the reader slot, as for ISO 15693.

#include <nlohmann/json.hpp>

#include "card/icode/iicode_sli_reader.hpp"
#include "commands/entry_command.hpp"
#include "protocol/handler.hpp"

namespace icode_sli_commands {

bool serves(GCODE code);
// False when a parameter of a served code is missing or of the wrong JSON type.
bool hasParameters(GCODE code, const nlohmann::json& request);
EntryNeeds needsOf(GCODE code);

// For a served code with its parameters: 1 with `err` written.
int run(GCODE code, const nlohmann::json& request, nlohmann::json& reply, Orvane::IIcodeSliReader& tags);

}  // namespace icode_sli_commands
