#include "commands/key_provider/provider_exchange.hpp"

#include <optional>
#include <span>
#include <string>

#include "commands/key_provider/provider_wait.hpp"
#include "crypto/hex.hpp"
#include "protocol/send_json.hpp"

using nlohmann::json;
using Orvane::cos_7816::_KeyData;

namespace key_provider {

namespace {

constexpr std::uint16_t kCommFailure = 0xFFFF;
constexpr std::uint16_t kBadAnswer = 0x866A;  // 6A 86: parameters incorrect

json requestFor(std::uint64_t ack, std::uint8_t op, const std::uint8_t* iv, const _KeyData& key,
                const std::vector<std::uint8_t>& data) {
    return {{"imp", 0},
            {"ack", ack},
            {"type", op},
            {"alg", key.alg},
            {"param", Orvane::hexEncode(std::span(key.key.data(), std::min<std::size_t>(key.keyLen, 16)))},
            {"iv", iv ? Orvane::hexEncode(std::span(iv, 8)) : std::string()},
            {"data", Orvane::hexEncode(data)}};
}

// The answer's status word, its data put in `data`; kBadAnswer when the answer does not carry both.
std::uint16_t takeAnswer(const json& answer, std::vector<std::uint8_t>& data) {
    if (!answer.is_object()) return kBadAnswer;
    const auto retval = answer.find("retval");
    if (retval == answer.end() || !retval->is_number_integer()) return kBadAnswer;
    const auto text = answer.find("data");
    if (text == answer.end() || !text->is_string() || text->get_ref<const std::string&>().empty())
        return kBadAnswer;
    auto bytes = Orvane::hexDecode(text->get_ref<const std::string&>());
    if (!bytes || bytes->empty()) return kBadAnswer;
    data = std::move(*bytes);
    return static_cast<std::uint16_t>(retval->get<std::int64_t>() & 0xFFFF);
}

std::uint16_t operate(const ChannelPtr& channel, std::uint8_t op, const std::uint8_t* iv, const _KeyData& key,
                      std::vector<std::uint8_t>& data) {
    if (!channel || !channel->isConnected()) return kCommFailure;
    auto state = std::make_shared<ProviderWaitState>();
    const std::uint64_t ack = addProviderWait(state, channel.get());
    if (!sendJson(channel, requestFor(ack, op, iv, key, data))) {
        removeProviderWait(ack);
        return kCommFailure;
    }
    // A steady clock: a change of the wall clock neither ends the wait early nor stretches it.
    const auto deadline = std::chrono::steady_clock::now() + kProviderWait;
    std::unique_lock lock(state->mutex);
    if (!state->cv.wait_until(lock, deadline, [&] { return state->done; })) {
        lock.unlock();
        removeProviderWait(ack);
        return kCommFailure;
    }
    return takeAnswer(state->reply, data);
}

}  // namespace

Orvane::cos_7816::KeyProvider providerFor(ChannelPtr channel) {
    return [channel = std::move(channel)](std::uint8_t op, const std::uint8_t* iv, const _KeyData& key,
                                          std::vector<std::uint8_t>& data) {
        return operate(channel, op, iv, key, data);
    };
}

}  // namespace key_provider
