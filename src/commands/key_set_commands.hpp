#pragma once
// Commands 405 (a card's sector key) and 406 (a card's key set): keys derived from the card's UID
// and the base keys in the request. No reader takes part.

#include <nlohmann/json.hpp>

#include "protocol/handler.hpp"

namespace key_set_commands {

// Handler contract of protocol/handler.hpp.
int work(GCODE code, const nlohmann::json& request, nlohmann::json& reply);

}  // namespace key_set_commands
