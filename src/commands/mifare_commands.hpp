#pragma once
// Mifare Classic commands 200 to 211 on a reader's card object, after the handler's common start
// (RfWork::onEntry): parameters to card operations, results to reply fields. Takes no lock; the
// common start holds what needsOf asks for.

#include <nlohmann/json.hpp>

#include "card/mifare/mifare_classic.hpp"
#include "commands/entry_command.hpp"
#include "protocol/handler.hpp"

namespace mifare_commands {

// What a command needs of its entry: the reader for the codes that exchange frames, the card hold
// for those that select a card or work on the selected one.
EntryNeeds needsOf(GCODE code);

// After a command that holds the card: whether the card is still selected (not halted, no failed
// reselection).
bool keepsCard(const nlohmann::json& reply, const Orvane::MifareClassic& card);

// Follows the handler contract: 1 with `err` written, -1 for a missing or mistyped parameter.
int run(GCODE code, const nlohmann::json& request, nlohmann::json& reply, Orvane::MifareClassic& card);

}  // namespace mifare_commands
