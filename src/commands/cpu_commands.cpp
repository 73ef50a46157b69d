#include "commands/cpu_commands.hpp"

#include <algorithm>
#include <vector>

#include "card/cpu/cpu_card_text.hpp"
#include "card/cpu/cpu_cos_typea.hpp"
#include "commands/key_provider/key_data_fill.hpp"
#include "crypto/hex.hpp"
#include "protocol/answer.hpp"
#include "protocol/log.hpp"
#include "protocol/request_fields.hpp"

using nlohmann::json;
namespace hr = handler_result;
using Orvane::CpuCosTypeA;

namespace cpu_commands {

namespace {

constexpr std::size_t kMaxUid = 10;
constexpr std::size_t kMaxRawApdu = 65535;
constexpr std::size_t kMaxLcData = 255;
// Where the ATS store keeps what the ATS detail text and 306/307 read.
constexpr std::size_t kAtsVersion = 5, kAtsMaker = 6;

std::uint8_t atsByte(const CpuCosTypeA& card, std::size_t at) {
    const auto ats = card.ats();
    return at < ats.size() ? ats[at] : 0;
}

int activate(const json& request, json& reply, CpuCosTypeA& card) {
    const std::string* text = stringField(request, "uid");
    if (!text) return hr::kMalformed;
    const auto uid = Orvane::hexDecode(*text, kMaxUid);
    if (!uid) return answer(reply, Result::kBadData);
    reply["retval"] = card.activate(uid->data(), static_cast<int>(uid->size())) ? 1 : 0;
    return answer(reply);
}

int activateAny(json& reply, CpuCosTypeA& card) {
    Orvane::TypeACardInfo info;
    const bool active = card.activateAny(info);
    reply["retval"] = active ? 1 : 0;
    const auto length =
        static_cast<std::size_t>(std::clamp(info.uidLen, 0, static_cast<int>(info.uid.size())));
    reply["uid"] = active ? Orvane::hexEncode(std::span(info.uid.data(), length)) : std::string();
    reply["atqa"] = info.atqa;
    reply["sak"] = info.sak;
    return answer(reply);
}

int rawApdu(const json& request, json& reply, CpuCosTypeA& card) {
    const std::string* text = stringField(request, "apdu");
    if (!text) return hr::kMalformed;
    const auto apdu = Orvane::hexDecode(*text, kMaxRawApdu);
    if (!apdu) return answer(reply, Result::kBadData);
    std::vector<std::uint8_t> response;
    const bool done = card.isActive() && card.rawApdu(*apdu, response);
    reply["retval"] = done ? 1 : 0;
    reply["data"] = card.isActive() ? Orvane::hexEncode(response) : std::string();
    return answer(reply);
}

// The APDU of 311 in the card's I/O buffer; its case, or nullopt (with the result) when a field
// is missing or its data does not decode.
struct BuiltApdu {
    int result = hr::kMalformed;
    std::uint8_t apduCase = 0;
};

BuiltApdu buildApdu(const json& request, json& reply, CpuCosTypeA& card) {
    const auto cla = uintField(request, "cla"), ins = uintField(request, "ins"),
               p1 = uintField(request, "p1"), p2 = uintField(request, "p2"), le = uintField(request, "le");
    const std::string* lcData = stringField(request, "lcData");
    const auto incLe = boolField(request, "incLe");
    if (!cla || !ins || !p1 || !p2 || !le || !lcData || !incLe) return {};
    const auto data = Orvane::hexDecode(*lcData, kMaxLcData);
    if (!data) return {answer(reply, Result::kBadData)};
    std::uint8_t* apdu = card.ioBuffer();
    apdu[0] = lowByte(*cla);
    apdu[1] = lowByte(*ins);
    apdu[2] = lowByte(*p1);
    apdu[3] = lowByte(*p2);
    if (data->empty()) {
        apdu[4] = *incLe ? lowByte(*le) : 0;
        return {0, static_cast<std::uint8_t>(*incLe ? Orvane::kApduLe : Orvane::kApduLcData)};
    }
    apdu[4] = static_cast<std::uint8_t>(data->size());
    std::copy(data->begin(), data->end(), apdu + 5);
    if (!*incLe) return {0, Orvane::kApduLcData};
    apdu[5 + data->size()] = lowByte(*le);
    return {0, Orvane::kApduLcDataLe};
}

}  // namespace

EntryNeeds needsOf(GCODE code) {
    switch (code) {
        case 300:
        case 301:
        case 304:
        case 310:
            return {.stopsFinder = false, .exchange = false, .card = EntryNeeds::Card::held};
        default:
            return {};
    }
}

int run(GCODE code, const json& request, json& reply, CpuCosTypeA& card) {
    switch (code) {
        case 300:
            return activate(request, reply, card);
        case 301:
            card.deactivate();
            return answer(reply);
        case 302:
            reply["retval"] = card.isActive() ? 1 : 0;
            return answer(reply);
        case 303:
            reply["retval"] = Orvane::hexEncode(card.uid());
            return answer(reply);
        case 304:
            return activateAny(reply, card);
        case 305:
            reply["retval"] = Orvane::compatibleCardNumberText(card.uid());
            return answer(reply);
        case 306:
            reply["retval"] = atsByte(card, kAtsMaker);
            return answer(reply);
        case 307:
            reply["retval"] = atsByte(card, kAtsVersion);
            return answer(reply);
        case 308:
            reply["retval"] = Orvane::hexEncode(card.ats());
            return answer(reply);
        case 309:
            reply["retval"] = Orvane::atsDetailText(card.atsStore(), card.uid());
            return answer(reply);
        case 310:
            return rawApdu(request, reply, card);
        default:
            logWarn("CpuCosTypeA gcode %d fail", code);
            return answer(reply, Result::kUnknownCode);
    }
}

key_provider::Work apduWork(std::shared_ptr<CpuCosTypeA> card, std::shared_ptr<RfReaderOne> entry) {
    return [card = std::move(card), entry = std::move(entry)](const json& request, json& reply,
                                                              const ChannelPtr& channel) {
        EntryCommand hold(entry, {.stopsFinder = false, .exchange = false, .card = EntryNeeds::Card::held});
        Orvane::cos_7816::_KeyData key;
        // Fields first: a request missing one is malformed whatever its key says.
        const BuiltApdu apdu = buildApdu(request, reply, *card);
        if (apdu.result != 0) return apdu.result;
        if (const int filled = key_provider::fillSecureMessaging(reply, request, key, channel); filled != 0)
            return filled;
        const bool secured = field(request, "safe") != nullptr;
        reply["retval"] = card->transceive(secured ? &key : nullptr, apdu.apduCase);
        reply["data"] = Orvane::hexEncode(std::span(card->responseData(), card->responseLength()));
        if (card->isActive()) hold.keepTypeACard(card->uid());
        return 0;
    };
}

}  // namespace cpu_commands
