#include "sim/card/cos/secure_messaging.hpp"

#include <algorithm>

#include "sim/card/cos/status_words.hpp"

namespace rfsim::cos {
namespace {

constexpr std::size_t kMacLength = 4;

constexpr bool isUpdate(std::uint8_t ins) {
    return ins == 0xD6 || ins == 0xDC || ins == 0xE2;
}

// The EF a binary or record command names (ISO/IEC 7816-4 §7.2.2, §7.3.2), without making it
// current; null for other commands or when there is none.
const ElementaryFile* targetOf(const CosState& state, const CommandApdu& apdu) {
    std::uint8_t sfi = 0;
    switch (apdu.ins) {
        case 0xB0:
        case 0xD6:
            sfi = apdu.p1 & 0x80 ? apdu.p1 & 0x1F : 0;
            break;
        case 0xB2:
        case 0xDC:
        case 0xE2:
            sfi = static_cast<std::uint8_t>(apdu.p2 >> 3);
            break;
        default:
            return nullptr;
    }
    return sfi == 0 ? state.currentEf : state.currentDf->efBySfi(sfi);
}

// The secure-messaging key the command's target names, else the current DF's first one.
const CosKey* smKeyFor(CosState& state, const CommandApdu& apdu) {
    const ElementaryFile* file = targetOf(state, apdu);
    const auto number = file ? file->rules.keyFor(isUpdate(apdu.ins)) : std::nullopt;
    if (number) return state.currentDf->keys.find(KeyUsage::secureMessaging, *number);
    return state.currentDf->keys.first(KeyUsage::secureMessaging);
}

}  // namespace

std::variant<CosRequest, std::uint16_t> unwrapCommand(CosState& state, const CommandApdu& apdu,
                                                      const SmKeyPicker& picker) {
    const auto challenge = state.takeChallenge();
    if (apdu.data.size() < kMacLength) return sw::smObjectsMissing;
    if (!challenge) return sw::referenceInvalid;
    const CosKey* key = picker ? picker(state, apdu) : smKeyFor(state, apdu);
    if (!key) return sw::keyNotFound;
    const std::size_t bodyLength = apdu.data.size() - kMacLength;
    // Header as received (CLA with b3 set), Lc as received, the data before the MAC.
    const auto mac = desMac(key->value, challenge->block(), apdu.raw.first(5 + bodyLength));
    if (!mac || !std::equal(mac->begin(), mac->begin() + kMacLength, apdu.data.begin() + bodyLength))
        return sw::smObjectsWrong;
    CosRequest request{apdu, challenge->block(), key->value, key->type};
    request.apdu.data = apdu.data.first(bodyLength);
    return request;
}

std::optional<Bytes> commandData(CosState&, const CosRequest& request, const ElementaryFile& file) {
    const auto data = request.apdu.data;
    if (!request.smIv || file.rules.smFor(true) != SmMode::encipher) return Bytes(data.begin(), data.end());
    return decipherCommandData(request);
}

std::optional<Bytes> decipherCommandData(const CosRequest& request) {
    const auto data = request.apdu.data;
    if (!request.smIv || data.empty() || data.size() % 8 != 0) return std::nullopt;
    const auto plain = desEcb(request.smKey, data, false);
    if (!plain) return std::nullopt;
    // Length byte N, N data bytes, then 80 and zeros to the end of the last block.
    const std::size_t n = (*plain)[0];
    if (n + 2 > plain->size() || (n + 2 + 7) / 8 * 8 != plain->size() || (*plain)[n + 1] != 0x80 ||
        !std::all_of(plain->begin() + static_cast<std::ptrdiff_t>(n + 2), plain->end(),
                     [](std::uint8_t b) { return b == 0; }))
        return std::nullopt;
    return Bytes(plain->begin() + 1, plain->begin() + static_cast<std::ptrdiff_t>(n + 1));
}

CosResponse wrapResponse(CosState& state, const CosRequest& request, CosResponse response) {
    if (response.sw != sw::ok || response.data.empty() || !request.smIv)
        return CosResponse::status(response.sw);
    const Bytes* key = &request.smKey;
    const Block& iv = *request.smIv;
    Bytes body = std::move(response.data);
    if (response.encipher) {
        if (body.size() > 0xFF) return CosResponse::status(sw::wrongLength);
        Bytes plain{static_cast<std::uint8_t>(body.size())};
        plain.insert(plain.end(), body.begin(), body.end());
        const auto enciphered = desEcb(*key, pad80(plain), true);
        if (!enciphered) return CosResponse::status(sw::wrongData);
        body = *enciphered;
    }
    const auto mac = desMac(*key, iv, body);
    if (!mac) return CosResponse::status(sw::wrongData);
    body.insert(body.end(), mac->begin(), mac->begin() + kMacLength);
    if (state.faults.badResponseMac) body[body.size() - kMacLength] ^= 0xFF;
    return CosResponse{std::move(body), sw::ok, false};
}

}  // namespace rfsim::cos
