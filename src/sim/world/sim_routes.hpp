#pragma once
// HTTP routes of rfdock-sim that show the virtual readers and move cards on and off them:
//   GET    /sim                           readers, their cards, the card kinds
//   POST   /sim/readers/{id}/cards        place a card: {"kind": "...", "uid": "hex" (optional)}
//   DELETE /sim/readers/{id}/cards/{uid}  take that card off
//   DELETE /sim/readers/{id}/cards        take every card off
// Errors are JSON {"error": "why"} with 400 (malformed), 404 (no such reader or card), 405 or 409
// (a card with that UID is there already).

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
