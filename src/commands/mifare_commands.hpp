#pragma once
// Mifare Classic commands 200 to 211 on a reader's card object, after the handler has found the
// reader slot: parameters to card operations, results to reply fields. Takes no lock; the caller
// holds the reader's exchangeMutex for the commands that reach the card (see needsReader).

#include <nlohmann/json.hpp>

#include "card/mifare/mifare_classic.hpp"
#include "protocol/handler.hpp"

namespace mifare_commands {

// True for the codes that exchange frames with the reader.
bool needsReader(GCODE code);

// Follows the handler contract: 1 with `err` written, -1 for a missing or mistyped parameter.
int run(GCODE code, const nlohmann::json& request, nlohmann::json& reply, Orvane::MifareClassic& card);

}  // namespace mifare_commands
