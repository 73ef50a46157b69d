#include "commands/cos7816_commands.hpp"

#include <array>
#include <climits>
#include <optional>
#include <vector>

#include "card/cpu/cos7816.hpp"
#include "crypto/hex.hpp"
#include "protocol/answer.hpp"
#include "protocol/request_fields.hpp"

using nlohmann::json;
namespace hr = handler_result;
using Orvane::Cos7816;
using Orvane::cos_7816::_KeyData;

namespace cos7816_commands {

namespace {

constexpr int kDone = 0;           // the work's success: result 0 is set for it
constexpr int kReplyComplete = 1;  // result already set

// Hex data of a request; nullopt with result 105 set when it does not decode. Its length is left
// to the command's bounds, which answer 0x866A.
std::optional<std::vector<std::uint8_t>> hexData(const std::string& text, json& reply) {
    auto bytes = Orvane::hexDecode(text);
    if (!bytes) setResult(reply, Result::kBadData);
    return bytes;
}

std::string hex(std::span<const std::uint8_t> bytes) {
    return Orvane::hexEncode(bytes);
}

// The key data of "safe"; nullopt with the work's result when it is malformed or does not parse.
struct SecureMessaging {
    _KeyData key;
    const _KeyData* use = nullptr;  // null without "safe"
    int failure = kDone;
};

SecureMessaging secureMessaging(const json& request, json& reply, const ChannelPtr& channel) {
    SecureMessaging sm;
    sm.failure = key_provider::fillSecureMessaging(reply, request, sm.key, channel);
    if (sm.failure == kDone && field(request, "safe") != nullptr) sm.use = &sm.key;
    return sm;
}

int challenge(const json& request, json& reply, Cos7816& cos) {
    const auto is32 = boolField(request, "is32");
    if (!is32) return hr::kMalformed;
    std::array<std::uint8_t, 8> out{};
    reply["retval"] = cos.getChallenge(out, *is32);
    reply["data"] = hex(std::span(out).first(*is32 ? 4 : 8));
    return kDone;
}

int select(const json& request, json& reply, Cos7816& cos) {
    const auto fid = uintField(request, "fid");
    if (!fid) return hr::kMalformed;
    const json* aid = field(request, "aid");
    const json* name = field(request, "name");
    if ((aid && !aid->is_string()) || (name && !name->is_string())) return hr::kMalformed;
    std::optional<std::vector<std::uint8_t>> bytes;
    if (aid) {
        bytes = hexData(aid->get_ref<const std::string&>(), reply);
        if (!bytes) return kReplyComplete;
    } else if (name) {
        const auto& text = name->get_ref<const std::string&>();
        bytes.emplace(text.begin(), text.end());
    }
    Orvane::FciInfo fci;
    const auto target = bytes ? std::optional<std::span<const std::uint8_t>>(*bytes) : std::nullopt;
    reply["retval"] = cos.selectFile(static_cast<std::uint16_t>(*fid & 0xFFFF), target, fci);
    if (fci.hasDfName) reply["df"] = hex(fci.dfNameBytes());
    if (fci.hasProprietary) reply["private"] = hex(fci.proprietaryBytes());
    if (fci.hasSfi) reply["sfi"] = fci.sfi;
    if (fci.hasVer) reply["ver"] = fci.ver;
    if (fci.hasIssuerData) reply["tmp"] = hex(fci.issuerDataBytes());
    return kDone;
}

int externalAuth(const json& request, json& reply, Cos7816& cos, const ChannelPtr& channel) {
    const auto id = uintField(request, "id");
    const json* keyObject = field(request, "key");
    if (!id || keyObject == nullptr || !keyObject->is_object()) return hr::kMalformed;
    _KeyData key;
    if (const int filled = key_provider::KeyDataFill(reply, *keyObject, key, channel); filled != kDone)
        return filled;
    reply["retval"] = cos.externalAuthenticate(lowByte(*id), key);
    return kDone;
}

int verify(const json& request, json& reply, Cos7816& cos) {
    const auto id = uintField(request, "id");
    const std::string* pin = stringField(request, "pin");
    if (!id || pin == nullptr) return hr::kMalformed;
    reply["retval"] = cos.verifyPin(lowByte(*id), *pin);
    return kDone;
}

int internalAuth(const json& request, json& reply, Cos7816& cos) {
    const auto id = uintField(request, "id"), type = uintField(request, "type");
    const std::string* text = stringField(request, "data");
    if (!id || !type || text == nullptr) return hr::kMalformed;
    auto data = hexData(*text, reply);
    if (!data) return kReplyComplete;
    reply["retval"] = cos.internalAuthenticate(lowByte(*id), lowByte(*type), *data);
    reply["data"] = hex(*data);
    return kDone;
}

// 805 to 807: the fields of the write, then its secure messaging, then the card.
int write(GCODE code, const json& request, json& reply, Cos7816& cos, const ChannelPtr& channel) {
    const auto sfid = uintField(request, "sfid");
    const std::string* text = stringField(request, "data");
    const auto pos = code == 805 ? uintField(request, "pos") : std::optional<std::uint64_t>(0);
    const auto id = code == 806 ? uintField(request, "id") : std::optional<std::uint64_t>(0);
    const auto mode = code == 806 ? uintField(request, "mode") : std::optional<std::uint64_t>(0);
    if (!sfid || text == nullptr || !pos || !id || !mode) return hr::kMalformed;
    const auto data = hexData(*text, reply);
    if (!data) return kReplyComplete;
    const SecureMessaging sm = secureMessaging(request, reply, channel);
    if (sm.failure != kDone) return sm.failure;
    switch (code) {
        case 805:
            reply["retval"] = cos.updateBinary(wholeValue(*sfid), wholeValue(*pos), *data, sm.use);
            break;
        case 806:
            reply["retval"] =
                cos.updateRecord(wholeValue(*sfid), lowByte(*id), lowByte(*mode), *data, sm.use);
            break;
        default:
            reply["retval"] = cos.appendRecord(wholeValue(*sfid), *data, sm.use);
            break;
    }
    return kDone;
}

// 808 and 809.
int read(GCODE code, const json& request, json& reply, Cos7816& cos, const ChannelPtr& channel) {
    const auto sfid = uintField(request, "sfid"), size = uintField(request, "size");
    const auto pos = code == 808 ? uintField(request, "pos") : std::optional<std::uint64_t>(0);
    const auto id = code == 809 ? uintField(request, "id") : std::optional<std::uint64_t>(0);
    const auto mode = code == 809 ? uintField(request, "mode") : std::optional<std::uint64_t>(0);
    if (!sfid || !size || !pos || !id || !mode) return hr::kMalformed;
    const SecureMessaging sm = secureMessaging(request, reply, channel);
    if (sm.failure != kDone) return sm.failure;
    std::vector<std::uint8_t> data;
    reply["retval"] =
        code == 808 ? cos.readBinary(wholeValue(*sfid), wholeValue(*pos), wholeValue(*size), sm.use, data)
                    : cos.readRecord(wholeValue(*sfid), lowByte(*id), lowByte(*mode), wholeValue(*size),
                                     sm.use, data);
    reply["data"] = hex(data);
    return kDone;
}

}  // namespace

bool serves(GCODE code) {
    return code >= 800 && code <= 809;
}

key_provider::KeyPlaces keyPlaces(GCODE code) {
    if (code == 802) return {.key = true};
    if (code >= 805 && code <= 809) return {.safe = true};
    return {};
}

int run(GCODE code, const json& request, json& reply, Cos7816& cos, const ChannelPtr& channel) {
    switch (code) {
        case 800:
            return challenge(request, reply, cos);
        case 801:
            return select(request, reply, cos);
        case 802:
            return externalAuth(request, reply, cos, channel);
        case 803:
            return verify(request, reply, cos);
        case 804:
            return internalAuth(request, reply, cos);
        case 805:
        case 806:
        case 807:
            return write(code, request, reply, cos, channel);
        case 808:
        case 809:
            return read(code, request, reply, cos, channel);
        default:
            return answer(reply, Result::kUnknownCode);
    }
}

}  // namespace cos7816_commands
