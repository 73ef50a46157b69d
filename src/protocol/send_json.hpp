#pragma once
// Renders replies and events the one way every client sees them: indent of two spaces, keys sorted,
// non-ASCII text as UTF-8, invalid UTF-8 refused.

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "protocol/channel.hpp"

// The rendered text, or nullopt (logged) when the value holds invalid UTF-8.
std::optional<std::string> renderJson(const nlohmann::json& value);

// Renders and sends one reply or event; false when rendering fails, the channel is gone or closed,
// or the send fails. Safe from any thread.
bool sendJson(const ChannelPtr& channel, const nlohmann::json& reply);
bool sendJson(const ChannelRef& channel, const nlohmann::json& reply);

enum class EventSend {
    kSent,
    kDropped,  // the client lags too far behind (Channel::hasRoomForEvent)
    kNotSent,  // rendering failed, or the channel is gone, closed or refused it
};

// Like sendJson for an unsolicited event that may be lost: dropped while the channel has no room
// for it. Safe from any thread.
EventSend sendEvent(const ChannelPtr& channel, const nlohmann::json& event);
