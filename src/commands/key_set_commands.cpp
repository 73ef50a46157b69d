#include "commands/key_set_commands.hpp"

#include <algorithm>
#include <optional>

#include "card/keys/card_key_sets.hpp"
#include "crypto/hex.hpp"
#include "protocol/answer.hpp"
#include "protocol/request_fields.hpp"

using nlohmann::json;
namespace hr = handler_result;

namespace key_set_commands {

namespace {

// Hex of 1 to N bytes; the bytes it does not fill are zero.
template <std::size_t N>
std::optional<std::array<std::uint8_t, N>> upTo(const std::string& text) {
    const auto bytes = Orvane::hexDecode(text, N);
    if (!bytes || bytes->empty()) return std::nullopt;
    std::array<std::uint8_t, N> out{};
    std::copy(bytes->begin(), bytes->end(), out.begin());
    return out;
}

// The UID's first four bytes (zero where it is shorter).
std::optional<Orvane::Uid4> uidOf(const std::string& text) {
    const auto bytes = Orvane::hexDecode(text, 10);
    if (!bytes) return std::nullopt;
    Orvane::Uid4 uid{};
    std::copy_n(bytes->begin(), std::min<std::size_t>(bytes->size(), 4), uid.begin());
    return uid;
}

std::string hexOf(std::span<const std::uint8_t> bytes) {
    return Orvane::hexEncode(bytes);
}

// 405 types 0 and 1: a base key of 6 or 4 bytes.
int sectorKeyFromKey(std::uint64_t type, const std::string& uidText, const json& data, json& reply) {
    const std::string* key = stringField(data, "key");
    if (!key) return hr::kMalformed;
    const auto uid = uidOf(uidText);
    if (!uid) return answer(reply, Result::kBadData);
    reply["retval"] = "";
    std::optional<Orvane::SectorKey> derived;
    if (type == 0) {
        if (const auto base = upTo<6>(*key)) derived = Orvane::sectorKeyByXor(*uid, *base);
    } else if (const auto base = upTo<4>(*key)) {
        derived = Orvane::sectorKeyByCrc(*uid, *base);
    }
    if (!derived) return answer(reply, Result::kBadKey);
    reply["retval"] = hexOf(*derived);
    return answer(reply);
}

// 405 type 2: dealer bytes and code.
int sectorKeyFromDealer(const std::string& uidText, const json& data, json& reply) {
    const std::string* dealer = stringField(data, "dealer");
    const auto sector = uintField(data, "sector");
    const auto code = uintField(data, "code");
    if (!dealer || !sector || !code) return hr::kMalformed;
    const auto uid = uidOf(uidText);
    if (!uid) return answer(reply, Result::kBadData);
    reply["retval"] = "";
    const auto dealerBytes = upTo<3>(*dealer);
    if (!dealerBytes) return answer(reply, Result::kBadData);
    const auto derived =
        Orvane::sectorKeyByDealer(*uid, static_cast<unsigned>(std::min<std::uint64_t>(*sector, 16)),
                                  *dealerBytes, static_cast<std::uint16_t>(*code & 0xFFFF));
    if (!derived) return answer(reply, Result::kBadParameter);
    reply["retval"] = hexOf(*derived);
    return answer(reply);
}

int sectorKey(const json& request, json& reply) {
    const std::string* uidText = stringField(request, "uid");
    const auto type = uintField(request, "type");
    const json* data = field(request, "data");
    if (!uidText || !type || !data || !data->is_object()) return hr::kMalformed;
    if (*type <= 1) return sectorKeyFromKey(*type, *uidText, *data, reply);
    if (*type == 2) return sectorKeyFromDealer(*uidText, *data, reply);
    if (!uidOf(*uidText)) return answer(reply, Result::kBadData);
    reply["retval"] = "";
    return answer(reply);
}

int keySet(const json& request, json& reply) {
    const std::string* uidText = stringField(request, "uid");
    const auto type = uintField(request, "type");
    const json* data = field(request, "data");
    if (!uidText || !type || !data || !data->is_object()) return hr::kMalformed;
    const auto dealerCode = *type == 0 ? uintField(*data, "dealerCode") : std::nullopt;
    const auto code = *type == 0 ? uintField(*data, "code") : std::nullopt;
    const std::string* dealerParam = *type == 0 ? stringField(*data, "dealerParam") : nullptr;
    const std::string* sysKey = *type == 1 || *type == 2 ? stringField(*data, "sysKey") : nullptr;
    if ((*type == 0 && (!dealerCode || !code || !dealerParam)) || ((*type == 1 || *type == 2) && !sysKey))
        return hr::kMalformed;
    const auto uid = uidOf(*uidText);
    if (!uid) return answer(reply, Result::kBadData);
    reply["retval"] = nullptr;
    std::optional<Orvane::NamedKeys> keys;
    const char* pin = nullptr;
    switch (*type) {
        case 0: {
            const auto param = upTo<4>(*dealerParam);
            if (!param) return answer(reply, Result::kBadData);
            keys = Orvane::dealerKeySet(*uid, static_cast<std::uint16_t>(*dealerCode & 0xFFFF),
                                        static_cast<std::uint16_t>(*code & 0xFFFF), *param);
            break;
        }
        case 1: {
            const auto base = upTo<6>(*sysKey);
            if (!base) return answer(reply, Result::kBadData);
            keys = Orvane::systemKeySet6(*uid, *base);
            pin = Orvane::kPinOfSet6;
            break;
        }
        case 2: {
            const auto base = upTo<8>(*sysKey);
            if (!base) return answer(reply, Result::kBadData);
            keys = Orvane::systemKeySet8(*uid, *base);
            pin = Orvane::kPinOfSet8;
            break;
        }
        default:
            return answer(reply);
    }
    if (!keys) return answer(reply, Result::kBadParameter);  // no DES in the loaded providers
    json named = json::object();
    for (const auto& [name, key] : *keys)
        named[name] = hexOf(key);
    if (pin) named["PIN"] = pin;
    reply["retval"] = std::move(named);
    return answer(reply);
}

}  // namespace

int work(GCODE code, const json& request, json& reply) {
    if (!request.is_object()) return hr::kMalformed;
    return code == 405 ? sectorKey(request, reply) : keySet(request, reply);
}

}  // namespace key_set_commands
