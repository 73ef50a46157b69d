#pragma once
// The shape every command handler shares: (code, request, reply) -> what to do with the reply.

#include <nlohmann/json.hpp>

using GCODE = int;

namespace handler_result {
inline constexpr int kNothingNow = 0;  // nothing to send
inline constexpr int kSendNow = 1;     // the reply is complete: send it
inline constexpr int kLater = 2;       // a worker thread sends the reply itself
inline constexpr int kMalformed = -1;  // request rejected: no reply, connection closed
}  // namespace handler_result
