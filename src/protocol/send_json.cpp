#include "protocol/send_json.hpp"

#include "protocol/log.hpp"

std::optional<std::string> renderJson(const nlohmann::json& value) {
    try {
        return value.dump(2, ' ', false, nlohmann::json::error_handler_t::strict);
    } catch (const nlohmann::json::exception& e) {
        logError("json dump err %s", e.what());
        return std::nullopt;
    }
}

namespace {

EventSend renderAndSend(const ChannelPtr& channel, const nlohmann::json& value, bool droppable) {
    auto text = renderJson(value);
    if (!text || !channel || !channel->isConnected()) return EventSend::kNotSent;
    if (droppable && !channel->hasRoomForEvent(text->size())) return EventSend::kDropped;
    if (!channel->sendText(std::move(*text))) {
        logError("sendJson fail");
        return EventSend::kNotSent;
    }
    return EventSend::kSent;
}

}  // namespace

bool sendJson(const ChannelPtr& channel, const nlohmann::json& reply) {
    return renderAndSend(channel, reply, false) == EventSend::kSent;
}

bool sendJson(const ChannelRef& channel, const nlohmann::json& reply) {
    return sendJson(channel.lock(), reply);
}

EventSend sendEvent(const ChannelPtr& channel, const nlohmann::json& event) {
    return renderAndSend(channel, event, true);
}
