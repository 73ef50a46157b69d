#pragma once
// Page tag commands 1100 to 1114 on a reader's tag object, after the handler's common start
// (RfWork::onEntry): parameters to tag operations, results to reply fields. Takes no lock; the
// common start holds what needsOf asks for.

#include <nlohmann/json.hpp>

#include "card/page_tag/page_tag_type_a.hpp"
#include "commands/entry_command.hpp"
#include "protocol/handler.hpp"

namespace page_tag_commands {

// The reader for the codes that exchange frames, the card hold for those that select a tag or work
// on the selected one.
EntryNeeds needsOf(GCODE code);

// After a command that holds the tag: whether it is still selected (not halted, not lost).
bool keepsTag(const nlohmann::json& reply, const Orvane::PageTagTypeA& tag);

// Follows the handler contract: 1 with `err` written, -1 for a missing or mistyped parameter.
int run(GCODE code, const nlohmann::json& request, nlohmann::json& reply, Orvane::PageTagTypeA& tag);

}  // namespace page_tag_commands
