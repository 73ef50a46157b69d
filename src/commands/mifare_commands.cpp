#include "commands/mifare_commands.hpp"

#include <algorithm>
#include <array>
#include <new>
#include <optional>
#include <vector>

#include "card/mifare/mifare_layout.hpp"
#include "crypto/hex.hpp"
#include "commands/entry/rf_reader_one.hpp"
#include "commands/rf_work.hpp"
#include "protocol/log.hpp"
#include "protocol/request_fields.hpp"
#include "protocol/result_codes.hpp"

using nlohmann::json;
namespace hr = handler_result;

namespace mifare_commands {

namespace {

constexpr unsigned kKeyFormat = 104;   // a key is not 6 bytes of hex
constexpr unsigned kDataFormat = 105;  // uid, data, ctl or power does not decode
constexpr unsigned kUnknownCode = 103;

using Bytes = std::vector<std::uint8_t>;

// Hex text of exactly `size` bytes, or of 1 to `size` bytes when not `exact`.
std::optional<Bytes> decode(const std::string& text, std::size_t size, bool exact) {
    auto bytes = Orvane::hexDecode(text, size);
    if (!bytes || bytes->empty() || (exact && bytes->size() != size)) return std::nullopt;
    return bytes;
}

int done(json& reply) {
    setResult(reply, 0);
    return hr::kSendNow;
}

int fail(json& reply, unsigned code) {
    setResult(reply, code);
    return hr::kSendNow;
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
    return done(reply);
}

int selectUid(const json& request, json& reply, Orvane::MifareClassic& card) {
    const std::string* text = stringField(request, "uid");
    if (text == nullptr) return hr::kMalformed;
    const auto uid = decode(*text, 10, false);
    if (!uid) return fail(reply, kDataFormat);
    reply["retval"] = card.selectUid(uid->data(), static_cast<int>(uid->size()));
    return done(reply);
}

int selectAny(json& reply, Orvane::MifareClassic& card) {
    Orvane::TypeACardInfo info;
    reply["retval"] = card.selectAny(info);
    reply["uid"] = uidText(info);
    reply["atqa"] = info.atqa;
    reply["sak"] = info.sak;
    return done(reply);
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
    if (!key) return fail(reply, kKeyFormat);

    std::array<std::uint8_t, 16 * Orvane::mifare::kBlockSize> out{};
    const int result = card.read(*reSelect, lowByte(*sector), key->data(), out.data(),
                                 static_cast<int>(out.size()), lowByte(*pos), lowByte(*num), *keyB, *fill);
    reply["data"] = Orvane::hexEncode(std::span(out.data(), static_cast<std::size_t>(std::max(result, 0))));
    reply["retval"] = result;
    return done(reply);
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
    if (!key) return fail(reply, kKeyFormat);
    const auto data = decode(*dataText, 16 * Orvane::mifare::kBlockSize, false);
    if (!data) return fail(reply, kDataFormat);

    reply["retval"] = card.write(*reSelect, lowByte(*sector), key->data(), data->data(),
                                 static_cast<int>(data->size()), lowByte(*pos), lowByte(*num), *keyB);
    return done(reply);
}

int writeTrailer(const json& request, json& reply, Orvane::MifareClassic& card) {
    const auto sector = uintField(request, "sector");
    const std::string* keyAText = stringField(request, "keyA");
    const std::string* keyBText = stringField(request, "keyB");
    const std::string* ctlText = stringField(request, "ctl");
    if (!sector || !keyAText || !keyBText || !ctlText) return hr::kMalformed;
    const auto keyA = decode(*keyAText, Orvane::mifare::kKeySize, true);
    const auto keyB = decode(*keyBText, Orvane::mifare::kKeySize, true);
    if (!keyA || !keyB) return fail(reply, kKeyFormat);
    const auto trailer = decode(*ctlText, Orvane::mifare::kBlockSize, true);
    if (!trailer) return fail(reply, kDataFormat);

    reply["retval"] = card.writeTrailer(lowByte(*sector), keyA->data(), keyB->data(), trailer->data());
    return done(reply);
}

int bitsToText(const json& request, json& reply) {
    const std::string* power = stringField(request, "power");
    if (power == nullptr) return hr::kMalformed;
    const auto bytes = decode(*power, 4, true);
    if (!bytes) return fail(reply, kDataFormat);
    std::string text;
    reply["retval"] = Orvane::accessBitsToText(std::span<const std::uint8_t, 4>(bytes->data(), 4), text);
    reply["bitStr"] = text;
    return done(reply);
}

int textToBits(const json& request, json& reply) {
    const std::string* text = stringField(request, "bitStr");
    if (text == nullptr) return hr::kMalformed;
    std::array<std::uint8_t, 4> bytes{};
    reply["retval"] = Orvane::textToAccessBits(*text, bytes);
    reply["power"] = Orvane::hexEncode(bytes);
    return done(reply);
}

}  // namespace

bool needsReader(GCODE code) {
    return code >= 201 && code <= 209;
}

int run(GCODE code, const json& request, json& reply, Orvane::MifareClassic& card) {
    switch (code) {
        case 200:
            return setOptions(request, reply, card);
        case 201:
            return selectUid(request, reply, card);
        case 202:
            card.halt();
            return done(reply);
        case 203:
            reply["retval"] = card.isSelected();
            return done(reply);
        case 204:
            reply["retval"] = Orvane::hexEncode(card.uid());
            return done(reply);
        case 205:
            return selectAny(reply, card);
        case 206:
            reply["retval"] = Orvane::mifare::cardNumber(card.uid());
            return done(reply);
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
            return fail(reply, kUnknownCode);
    }
}

}  // namespace mifare_commands

// The handler: the reader slot, then the command on the slot's card object. The entry's share is
// kept for the whole command, and the reader's exchange mutex for every command that reaches the
// card, so a finder pass never interleaves its frames with the command's.
int RfWork::workMifareClassic(GCODE code, const json& request, json& reply) {
    try {
        int result = hr::kMalformed;
        const std::shared_ptr<RfReaderOne> entry = entryFor(request, reply, result);
        if (!entry) return result;
        const std::shared_ptr<Orvane::MifareClassic> card = entry->mifareClassic();
        std::unique_lock<std::mutex> exchange;
        if (mifare_commands::needsReader(code)) exchange = entry->lockExchange();
        return mifare_commands::run(code, request, reply, *card);
    } catch (const std::bad_alloc&) {
        // Creating the card objects or the reply ran out of memory: answer instead of ending the
        // service.
        setResult(reply, 108);
        return hr::kSendNow;
    }
}
