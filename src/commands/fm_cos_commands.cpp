#include "commands/fm_cos_commands.hpp"

#include <algorithm>
#include <climits>
#include <optional>

#include "card/cpu/cos_fm2.hpp"
#include "commands/key_provider/key_data_fill.hpp"
#include "crypto/hex.hpp"
#include "protocol/answer.hpp"
#include "protocol/request_fields.hpp"

using nlohmann::json;
namespace hr = handler_result;
using Orvane::CosFm2;
using Orvane::cos_7816::_KeyData;

namespace fm_cos_commands {

namespace {

constexpr int kDone = 0;

std::uint16_t word(std::uint64_t value) {
    return static_cast<std::uint16_t>(value & 0xFFFF);
}

int createDf(const json& request, json& reply, CosFm2& cos) {
    const std::string* aidText = stringField(request, "aid");
    const auto fid = uintField(request, "fid"), size = uintField(request, "size"),
               create = uintField(request, "create"), erase = uintField(request, "erase"),
               sfi = uintField(request, "sfi");
    if (aidText == nullptr || !fid || !size || !create || !erase || !sfi) return hr::kMalformed;
    const auto aid = Orvane::hexDecode(*aidText);
    if (!aid) return answer(reply, Result::kBadData);
    reply["retval"] =
        cos.createDf(word(*fid), word(*size), lowByte(*create), lowByte(*erase), lowByte(*sfi), *aid);
    return kDone;
}

// "attr" of 902: absent gives no protection; present it needs all five fields.
std::optional<Orvane::FileProtection> protection(const json& request) {
    const json* attr = field(request, "attr");
    if (attr == nullptr) return Orvane::FileProtection{};
    const auto macr = boolField(*attr, "macr"), macw = boolField(*attr, "macw"),
               enc = boolField(*attr, "enc");
    const auto idr = uintField(*attr, "idr"), idw = uintField(*attr, "idw");
    if (!macr || !macw || !enc || !idr || !idw) return std::nullopt;
    return Orvane::FileProtection{*macr, *macw, *enc, lowByte(*idr), lowByte(*idw)};
}

int createEf(const json& request, json& reply, CosFm2& cos) {
    const auto type = uintField(request, "type"), fid = uintField(request, "fid"),
               size = uintField(request, "size"), read = uintField(request, "read"),
               write = uintField(request, "write");
    const auto attr = protection(request);
    if (!type || !fid || !size || !read || !write || !attr) return hr::kMalformed;
    reply["retval"] =
        cos.createEf(lowByte(*type), word(*fid), word(*size), lowByte(*read), lowByte(*write), *attr);
    return kDone;
}

int createPurse(const json& request, json& reply, CosFm2& cos) {
    const auto type = uintField(request, "type"), use = uintField(request, "use"),
               sfi = uintField(request, "sfi");
    if (!type || !use || !sfi) return hr::kMalformed;
    // The whole value is checked: 0x118 must not pass as SFI 0x18.
    reply["retval"] = cos.createPurseFile(lowByte(*type), lowByte(*use), wholeValue(*sfi));
    return kDone;
}

std::optional<Orvane::KeyHeader> keyHeader(const json& request) {
    const auto oldType = uintField(request, "oldType"), id = uintField(request, "id"),
               type = uintField(request, "type"), use = uintField(request, "use"),
               ren = uintField(request, "ren"), pow = uintField(request, "pow"),
               err = uintField(request, "err");
    const json* attr = field(request, "attr");
    const auto enc = attr ? boolField(*attr, "enc") : std::nullopt;
    const auto mac = attr ? boolField(*attr, "mac") : std::nullopt;
    if (!oldType || !id || !type || !use || !ren || !pow || !err || !enc || !mac) return std::nullopt;
    return Orvane::KeyHeader{lowByte(*oldType), lowByte(*id),  lowByte(*type), lowByte(*use), lowByte(*ren),
                             lowByte(*pow),     lowByte(*err), *enc,           *mac};
}

int writeKey(const json& request, json& reply, CosFm2& cos, const ChannelPtr& channel) {
    const auto header = keyHeader(request);
    const json* keyObject = field(request, "key");
    if (!header || keyObject == nullptr || !keyObject->is_object()) return hr::kMalformed;
    _KeyData sm;
    if (const int filled = key_provider::fillSecureMessaging(reply, request, sm, channel); filled != kDone)
        return filled;
    _KeyData value;
    // The key written is the one in the request: a provider flag on it means nothing here.
    if (const int filled = key_provider::KeyDataFill(reply, *keyObject, value, nullptr); filled != kDone)
        return filled;
    value.provider = nullptr;
    reply["retval"] = cos.writeKey(*header, value, field(request, "safe") != nullptr ? &sm : nullptr);
    return kDone;
}

}  // namespace

bool serves(GCODE code) {
    return code >= 900 && code <= 904;
}

bool needsProvider(GCODE code, const json& request) {
    return code == 904 && key_provider::needsProvider(request, {.safe = true});
}

int run(GCODE code, const json& request, json& reply, CosFm2& cos, const ChannelPtr& channel) {
    switch (code) {
        case 900:
            reply["retval"] = cos.eraseDf();
            return kDone;
        case 901:
            return createDf(request, reply, cos);
        case 902:
            return createEf(request, reply, cos);
        case 903:
            return createPurse(request, reply, cos);
        case 904:
            return writeKey(request, reply, cos, channel);
        default:
            return answer(reply, Result::kUnknownCode);
    }
}

}  // namespace fm_cos_commands
