#include "commands/pboc_commands.hpp"

#include <cstdint>
#include <optional>

#include "card/purse/cos_pboc2.hpp"
#include "commands/order_record_json.hpp"
#include "crypto/hex.hpp"
#include "protocol/answer.hpp"
#include "protocol/request_fields.hpp"

using nlohmann::json;
namespace hr = handler_result;
using Orvane::CosPboc2;
using Orvane::cos_7816::_KeyData;

namespace pboc_commands {

namespace {

constexpr int kDone = 0;           // the work's success: result 0 is set for it
constexpr int kReplyComplete = 1;  // result already set

// The key object at `name` filled; -1 when it is missing or not an object, else KeyDataFill's result.
int keyAt(const json& request, const char* name, json& reply, _KeyData& key, const ChannelPtr& channel) {
    const json* object = field(request, name);
    if (object == nullptr || !object->is_object()) return hr::kMalformed;
    return key_provider::KeyDataFill(reply, *object, key, channel);
}

int changePin(const json& request, json& reply, CosPboc2& cos) {
    const auto id = uintField(request, "id");
    const std::string* oldPin = stringField(request, "oldPin");
    const std::string* newPin = stringField(request, "newPin");
    if (!id || oldPin == nullptr || newPin == nullptr) return hr::kMalformed;
    reply["retval"] = cos.changePin(lowByte(*id), *oldPin, *newPin);
    return kDone;
}

// 1001 and 1002: a PIN set again with a key.
int pinWithKey(GCODE code, const json& request, json& reply, CosPboc2& cos, const ChannelPtr& channel) {
    const auto id = uintField(request, "id");
    const std::string* pin = stringField(request, "pin");
    if (!id || pin == nullptr) return hr::kMalformed;
    _KeyData key;
    if (const int filled = keyAt(request, "key", reply, key, channel); filled != kDone) return filled;
    reply["retval"] =
        code == 1001 ? cos.reloadPin(lowByte(*id), key, *pin) : cos.unblockPin(lowByte(*id), key, *pin);
    return kDone;
}

// 1003 to 1005: application unblock and block, card block.
int blocking(GCODE code, const json& request, json& reply, CosPboc2& cos, const ChannelPtr& channel) {
    const auto die = code == 1004 ? boolField(request, "die") : std::optional<bool>(false);
    if (!die) return hr::kMalformed;
    _KeyData key;
    if (const int filled = keyAt(request, "key", reply, key, channel); filled != kDone) return filled;
    switch (code) {
        case 1003:
            reply["retval"] = cos.unblockApplication(key);
            break;
        case 1004:
            reply["retval"] = cos.blockApplication(key, *die);
            break;
        default:
            reply["retval"] = cos.blockCard(key);
            break;
    }
    return kDone;
}

int balance(const json& request, json& reply, CosPboc2& cos) {
    const auto type = uintField(request, "type");
    if (!type) return hr::kMalformed;
    std::uint32_t money = 0;
    reply["retval"] = cos.getBalance(lowByte(*type), money);
    reply["money"] = money;
    return kDone;
}

int transactionProve(const json& request, json& reply, CosPboc2& cos) {
    const auto type = uintField(request, "type"), seq = uintField(request, "seq");
    if (!type || !seq) return hr::kMalformed;
    std::uint32_t mac = 0, tac = 0;
    reply["retval"] = cos.getTransactionProve(lowByte(*type), wholeValue(*seq), mac, tac);
    reply["mac"] = mac;
    reply["tac"] = tac;
    return kDone;
}

int stepOne(const json& request, json& reply, CosPboc2& cos, const ChannelPtr& channel) {
    const auto type = uintField(request, "type"), id = uintField(request, "id");
    if (!type || !id) return hr::kMalformed;
    _KeyData key, keyTac;
    if (const int filled = keyAt(request, "key", reply, key, channel); filled != kDone) return filled;
    const json* tacObject = field(request, "keyTac");
    const bool withTac = tacObject != nullptr && tacObject->is_object();
    if (withTac) {
        if (const int filled = key_provider::KeyDataFill(reply, *tacObject, keyTac, channel); filled != kDone)
            return filled;
    }
    const json* orderData = field(request, "orderData");
    if (orderData == nullptr || !orderData->is_object()) return hr::kMalformed;
    Orvane::OrderRecord record;
    if (const int read = order_record_json::read(*orderData, false, record, reply); read != kDone)
        return read;
    reply["retval"] =
        cos.initialize(wholeValue(*type), lowByte(*id), key, withTac ? &keyTac : nullptr, record);
    reply["orderData"] = order_record_json::write(record, false);
    return kDone;
}

int stepTwo(const json& request, json& reply, CosPboc2& cos) {
    const json* orderData = field(request, "orderData");
    if (orderData == nullptr || !orderData->is_object()) {
        setResult(reply, Result::kBadParameter);
        return kReplyComplete;
    }
    Orvane::OrderRecord record;
    if (const int read = order_record_json::read(*orderData, true, record, reply); read != kDone) return read;
    reply["retval"] = cos.commit(record);
    reply["orderData"] = order_record_json::write(record, true);
    return kDone;
}

int updateCache(const json& request, json& reply, CosPboc2& cos, const ChannelPtr& channel) {
    const auto sfid = uintField(request, "sfid"), id = uintField(request, "id"),
               mode = uintField(request, "mode");
    const std::string* text = stringField(request, "data");
    if (!sfid || !id || !mode || text == nullptr) return hr::kMalformed;
    const auto data = Orvane::hexDecode(*text);
    if (!data) {
        setResult(reply, Result::kBadData);
        return kReplyComplete;
    }
    _KeyData sm;
    if (const int filled = key_provider::fillSecureMessaging(reply, request, sm, channel); filled != kDone)
        return filled;
    const _KeyData* use = field(request, "safe") != nullptr ? &sm : nullptr;
    reply["retval"] = cos.updateCappDataCache(wholeValue(*sfid), lowByte(*id), lowByte(*mode), *data, use);
    return kDone;
}

}  // namespace

bool serves(GCODE code) {
    return code >= 1000 && code <= 1010;
}

key_provider::KeyPlaces keyPlaces(GCODE code) {
    if (code >= 1001 && code <= 1005) return {.key = true};
    if (code == 1008) return {.key = true, .keyTac = true};
    if (code == 1010) return {.safe = true};
    return {};
}

int run(GCODE code, const json& request, json& reply, CosPboc2& cos, const ChannelPtr& channel) {
    switch (code) {
        case 1000:
            return changePin(request, reply, cos);
        case 1001:
        case 1002:
            return pinWithKey(code, request, reply, cos, channel);
        case 1003:
        case 1004:
        case 1005:
            return blocking(code, request, reply, cos, channel);
        case 1006:
            return balance(request, reply, cos);
        case 1007:
            return transactionProve(request, reply, cos);
        case 1008:
            return stepOne(request, reply, cos, channel);
        case 1009:
            return stepTwo(request, reply, cos);
        case 1010:
            return updateCache(request, reply, cos, channel);
        default:
            return answer(reply, Result::kUnknownCode);
    }
}

}  // namespace pboc_commands
