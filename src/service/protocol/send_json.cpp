#include "service/protocol/send_json.hpp"

#include "service/protocol/log.hpp"

std::optional<std::string> renderJson(const nlohmann::json& value) {
    try {
        return value.dump(2, ' ', false, nlohmann::json::error_handler_t::strict);
    } catch (const nlohmann::json::exception& e) {
        logError("json dump err %s", e.what());
        return std::nullopt;
    }
}

bool sendJson(const ChannelPtr& channel, const nlohmann::json& reply) {
    auto text = renderJson(reply);
    if (!text) return false;
    if (!channel || !channel->isConnected()) return false;
    if (!channel->sendText(std::move(*text))) {
        logError("sendJson fail");
        return false;
    }
    return true;
}

bool sendJson(const ChannelRef& channel, const nlohmann::json& reply) {
    return sendJson(channel.lock(), reply);
}
