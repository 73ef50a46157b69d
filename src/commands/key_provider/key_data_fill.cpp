#include "commands/key_provider/key_data_fill.hpp"

#include "card/cpu/pin_digits.hpp"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "commands/key_provider/provider_exchange.hpp"
#include "crypto/hex.hpp"
#include "protocol/request_fields.hpp"
#include "protocol/result_codes.hpp"

using nlohmann::json;
using Orvane::cos_7816::_KeyData;

namespace key_provider {

namespace {

constexpr std::size_t kKeyBytes = 16;

bool isProvider(const json* object) {
    if (object == nullptr || !object->is_object()) return false;
    const auto provider = boolField(*object, "provider");
    return provider && *provider;
}

}  // namespace

int KeyDataFill(json& reply, const json& keyObject, _KeyData& key, const ChannelPtr& channel) {
    const std::string* param = stringField(keyObject, "param");
    const auto alg = uintField(keyObject, "alg");
    if (param == nullptr || !alg) return -1;
    key.alg = lowByte(*alg);
    std::optional<std::vector<std::uint8_t>> bytes;
    Result failure = Result::kBadData;
    switch (key.alg) {
        case Orvane::cos_7816::kDesFamily:
            bytes = Orvane::hexDecode(*param, kKeyBytes);
            break;
        case Orvane::cos_7816::kPinDigits:
            bytes = Orvane::packPinDigits(*param, 2 * kKeyBytes);
            break;
        default:
            if (param->size() <= kKeyBytes) bytes.emplace(param->begin(), param->end());
            failure = Result::kBadParameter;
            break;
    }
    if (!bytes) {
        setResult(reply, failure);
        return 1;
    }
    key.key.fill(0);
    std::copy(bytes->begin(), bytes->end(), key.key.begin());
    key.keyLen = static_cast<std::uint8_t>(bytes->size());
    key.provider = nullptr;
    if (isProvider(&keyObject)) key.provider = providerFor(channel);
    return 0;
}

int fillSecureMessaging(json& reply, const json& request, _KeyData& key, const ChannelPtr& channel) {
    key.clear();
    const json* safe = field(request, "safe");
    if (safe == nullptr) return 0;
    const auto enc = boolField(*safe, "enc");
    const auto mac = boolField(*safe, "mac");
    const json* keyObject = field(*safe, "key");
    if (!enc || !mac || keyObject == nullptr || !keyObject->is_object()) return -1;
    key.enc = *enc;
    key.mac = *mac;
    return KeyDataFill(reply, *keyObject, key, channel);
}

bool needsProvider(const json& request, KeyPlaces places) {
    if (!request.is_object()) return false;
    if (places.key && isProvider(field(request, "key"))) return true;
    if (places.safe) {
        const json* safe = field(request, "safe");
        if (safe != nullptr && safe->is_object() && isProvider(field(*safe, "key"))) return true;
    }
    return places.keyTac && isProvider(field(request, "keyTac"));
}

}  // namespace key_provider
