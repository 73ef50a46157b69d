#pragma once
// Fault switches of a card as the scenario file and the /sim routes carry them:
//   "faults": { "badResponseMac": true }     (cpu cards: every secure-messaging response MAC is wrong)

#include <nlohmann/json_fwd.hpp>
#include <string>

#include "sim/card/type_a_card.hpp"

namespace rfsim {

// Sets the switches `faults` names on `card`; an empty string on success, else what is wrong (an
// unknown switch, a value that is not true or false, a card kind without switches).
std::string applyCardFaults(TypeACard& card, const nlohmann::json& faults);

// The card's switches as a JSON object, or null for a card kind without any.
nlohmann::json cardFaults(const TypeACard& card);

}  // namespace rfsim
