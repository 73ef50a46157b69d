#include "commands/mifare_commands.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "card/mifare/mifare_layout.hpp"
#include "commands/entry/rf_reader_one.hpp"
#include "commands/rf_work.hpp"
#include "crypto/hex.hpp"
#include "protocol/answer.hpp"
#include "protocol/log.hpp"
#include "protocol/request_fields.hpp"

using nlohmann::json;
namespace hr = handler_result;

namespace mifare_commands {

namespace {

constexpr Result kKeyFormat = Result::kBadKey;    // a key is not 6 bytes of hex
constexpr Result kDataFormat = Result::kBadData;  // uid, data, ctl or power does not decode

using Bytes = std::vector<std::uint8_t>;

// Hex text of exactly `size` bytes, or of 1 to `size` bytes when not `exact`.
std::optional<Bytes> decode(const std::string& text, std::size_t size, bool exact) {
    auto bytes = Orvane::hexDecode(text, size);
    if (!bytes || bytes->empty() || (exact && bytes->size() != size)) return std::nullopt;
    return bytes;
}

std::string uidText(const Orvane::TypeACardInfo& info) {
    const auto length =
        static_cast<std::size_t>(std::clamp(info.uidLen, 0, static_cast<int>(info.uid.size())));
    return Orvane::hexEncode(std::span(info.uid.data(), length));
}

int setOptions(const json& request, json& reply, Orvane::MifareClassic& card) {
    const auto isWrite = boolField(request, "isWrite");
    const auto isCheck = boolField(request, "isCheck");
    if (!isWrite || !isCheck) return hr::kMalformed;
    card.isWrite = *isWrite;
    card.isCheck = *isCheck;
    return answer(reply);
}

int selectUid(const json& request, json& reply, Orvane::MifareClassic& card) {
    const std::string* text = stringField(request, "uid");
    if (text == nullptr) return hr::kMalformed;
    const auto uid = decode(*text, 10, false);
    if (!uid) return answer(reply, kDataFormat);
    reply["retval"] = card.selectUid(uid->data(), static_cast<int>(uid->size()));
    return answer(reply);
}

int selectAny(json& reply, Orvane::MifareClassic& card) {
    Orvane::TypeACardInfo info;
    reply["retval"] = card.selectAny(info);
    reply["uid"] = uidText(info);
    reply["atqa"] = info.atqa;
    reply["sak"] = info.sak;
    return answer(reply);
}

int readBlocks(const json& request, json& reply, Orvane::MifareClassic& card) {
    const auto reSelect = boolField(request, "reSelect");
    const auto sector = uintField(request, "sector");
    const std::string* pwd = stringField(request, "pwd");
    const auto pos = uintField(request, "pos");
    const auto num = uintField(request, "num");
    const auto keyB = boolField(request, "keyB");
    const auto fill = boolField(request, "fill");
    if (!reSelect || !sector || !pwd || !pos || !num || !keyB || !fill) return hr::kMalformed;
    const auto key = decode(*pwd, Orvane::mifare::kKeySize, true);
    if (!key) return answer(reply, kKeyFormat);

    std::array<std::uint8_t, 16 * Orvane::mifare::kBlockSize> out{};
    const int result = card.read(*reSelect, lowByte(*sector), key->data(), out.data(),
                                 static_cast<int>(out.size()), lowByte(*pos), lowByte(*num), *keyB, *fill);
    reply["data"] = Orvane::hexEncode(std::span(out.data(), static_cast<std::size_t>(std::max(result, 0))));
    reply["retval"] = result;
    return answer(reply);
}

int writeBlocks(const json& request, json& reply, Orvane::MifareClassic& card) {
    const auto reSelect = boolField(request, "reSelect");
    const auto sector = uintField(request, "sector");
    const std::string* pwd = stringField(request, "pwd");
    const std::string* dataText = stringField(request, "data");
    const auto pos = uintField(request, "pos");
    const auto num = uintField(request, "num");
    const auto keyB = boolField(request, "keyB");
    if (!reSelect || !sector || !pwd || !dataText || !pos || !num || !keyB) return hr::kMalformed;
    const auto key = decode(*pwd, Orvane::mifare::kKeySize, true);
    if (!key) return answer(reply, kKeyFormat);
    const auto data = decode(*dataText, 16 * Orvane::mifare::kBlockSize, false);
    if (!data) return answer(reply, kDataFormat);

    reply["retval"] = card.write(*reSelect, lowByte(*sector), key->data(), data->data(),
                                 static_cast<int>(data->size()), lowByte(*pos), lowByte(*num), *keyB);
    return answer(reply);
}

int writeTrailer(const json& request, json& reply, Orvane::MifareClassic& card) {
    const auto sector = uintField(request, "sector");
    const std::string* keyAText = stringField(request, "keyA");
    const std::string* keyBText = stringField(request, "keyB");
    const std::string* ctlText = stringField(request, "ctl");
    if (!sector || !keyAText || !keyBText || !ctlText) return hr::kMalformed;
    const auto keyA = decode(*keyAText, Orvane::mifare::kKeySize, true);
    const auto keyB = decode(*keyBText, Orvane::mifare::kKeySize, true);
    if (!keyA || !keyB) return answer(reply, kKeyFormat);
    const auto trailer = decode(*ctlText, Orvane::mifare::kBlockSize, true);
    if (!trailer) return answer(reply, kDataFormat);

    reply["retval"] = card.writeTrailer(lowByte(*sector), keyA->data(), keyB->data(), trailer->data());
    return answer(reply);
}

int bitsToText(const json& request, json& reply) {
    const std::string* power = stringField(request, "power");
    if (power == nullptr) return hr::kMalformed;
    const auto bytes = decode(*power, 4, true);
    if (!bytes) return answer(reply, kDataFormat);
    std::string text;
    reply["retval"] = Orvane::accessBitsToText(std::span<const std::uint8_t, 4>(bytes->data(), 4), text);
    reply["bitStr"] = text;
    return answer(reply);
}

int textToBits(const json& request, json& reply) {
    const std::string* text = stringField(request, "bitStr");
    if (text == nullptr) return hr::kMalformed;
    std::array<std::uint8_t, 4> bytes{};
    reply["retval"] = Orvane::textToAccessBits(*text, bytes);
    reply["power"] = Orvane::hexEncode(bytes);
    return answer(reply);
}

}  // namespace

EntryNeeds needsOf(GCODE code) {
    switch (code) {
        case 201:
        case 202:
        case 205:
        case 207:
        case 208:
        case 209:
            return {.stopsFinder = false, .exchange = true, .card = EntryNeeds::Card::held};
        case 203:
        case 204:
        case 206:
            return {.stopsFinder = false, .exchange = true, .card = EntryNeeds::Card::untouched};
        default:
            return {};
    }
}

bool keepsCard(const json& reply, const Orvane::MifareClassic& card) {
    const json* result = field(reply, "retval");
    const bool lost = result != nullptr && result->is_number_integer() &&
                      result->get<int>() == Orvane::MifareClassic::kCardLost;
    return card.isSelected() && !lost;
}

int run(GCODE code, const json& request, json& reply, Orvane::MifareClassic& card) {
    switch (code) {
        case 200:
            return setOptions(request, reply, card);
        case 201:
            return selectUid(request, reply, card);
        case 202:
            card.halt();
            return answer(reply);
        case 203:
            reply["retval"] = card.isSelected();
            return answer(reply);
        case 204:
            reply["retval"] = Orvane::hexEncode(card.uid());
            return answer(reply);
        case 205:
            return selectAny(reply, card);
        case 206:
            reply["retval"] = Orvane::mifare::cardNumber(card.uid());
            return answer(reply);
        case 207:
            return readBlocks(request, reply, card);
        case 208:
            return writeBlocks(request, reply, card);
        case 209:
            return writeTrailer(request, reply, card);
        case 210:
            return bitsToText(request, reply);
        case 211:
            return textToBits(request, reply);
        default:
            logWarn("MifareClassic gcode %d fail", code);
            return answer(reply, Result::kUnknownCode);
    }
}

}  // namespace mifare_commands

// The handler: the common start, then the command on the entry's card object. A card the command
// leaves selected stays held, so a finder pass never comes between this command and the next.
int RfWork::workMifareClassic(GCODE code, const json& request, json& reply) {
    const EntryNeeds needs = mifare_commands::needsOf(code);
    return onEntry(request, reply, needs, [&](EntryCommand& command) {
        const std::shared_ptr<Orvane::MifareClassic> card = command.entry().mifareClassic();
        const int result = mifare_commands::run(code, request, reply, *card);
        if (needs.card == EntryNeeds::Card::held && mifare_commands::keepsCard(reply, *card))
            command.keepTypeACard(card->uid());
        return result;
    });
}
