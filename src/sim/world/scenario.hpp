#pragma once
// Scenario files: which virtual readers rfdock-sim starts with and which cards lie on them.
//
//   {
//     "readers": [
//       { "type": 4, "name": "desk reader",
//         "cards": [ { "kind": "mifare1k", "uid": "A1B2C3D4" }, { "kind": "mifare4k" } ] },
//       { "type": 2, "plugged": false }
//     ]
//   }
//
// "type" is the reader type 1 to 6; "name" (optional) is shown by GET /sim; "plugged" (optional,
// true by default) false starts the reader unplugged; "cards" (optional) lists cards by kind (see
// card_kinds.hpp) with an optional hex "uid" (a fresh one otherwise) and optional "faults" (see
// card_faults.hpp, e.g. { "kind": "cpu", "faults": { "badResponseMac": true } }), at most
// VirtualField::kMaxCards (64) per reader. A reader may instead be played by a recorded trace
// ("replay") or by another process ("external"), see scenario_scripts.hpp.

#include <string>
#include <string_view>

#include "sim/world/sim_world.hpp"

namespace rfsim {

// One reader of each type; 1K and 4K cards on the HID readers, a 7-byte-UID 1K card on the VD
// reader, a 1K card on each serial and CH340 reader.
std::string_view defaultScenario();

// Builds the readers and places the cards of `json` into `world`; an empty string on success, else
// what is wrong (the first problem found, with the reader's position).
std::string loadScenario(std::string_view json, SimWorld& world);

}  // namespace rfsim
