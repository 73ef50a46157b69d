#pragma once
// HTTP routes of rfdock-sim that show the virtual readers, move cards on and off them and pull
// their cables:
//   GET    /sim                           readers (with "plugged"), their cards, the card kinds; a
//                                         replayed reader shows "replay" (file, device, lines,
//                                         played, divergence), an external one "external"
//   GET    /sim/readers/{id}/cards        one reader as GET /sim shows it
//   POST   /sim/readers/{id}/cards        place a card: {"kind": "...", "uid": "hex" (optional)}
//   DELETE /sim/readers/{id}/cards/{uid}  take that card off
//   DELETE /sim/readers/{id}/cards        take every card off
//   POST   /sim/readers/{id}/unplug       pull the cable (204); {"afterNextRequest": true} pulls
//                                         it once the next request has arrived, before the answer
//   POST   /sim/readers/{id}/plug         put it back (204): a new device for the service
// Errors are JSON {"error": "why"} with 400 (malformed), 404 (no such reader or card), 405, 409
// (a card with that UID is there already, or the reader holds VirtualField::kMaxCards cards) or
// 500 (a serial reader's line could not be set up again).

#include <optional>
#include <string>
#include <string_view>

#include "sim/world/sim_world.hpp"

namespace rfsim {

struct SimRouteReply {
    unsigned status = 200;
    std::string body;  // JSON
};

// Nullopt when the path is not under /sim.
std::optional<SimRouteReply> handleSimRoute(SimWorld& world, std::string_view method, std::string_view path,
                                            std::string_view body);

}  // namespace rfsim
