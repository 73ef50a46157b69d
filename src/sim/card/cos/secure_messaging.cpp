#include "sim/card/cos/secure_messaging.hpp"

#include <algorithm>

#include "sim/card/cos/status_words.hpp"

namespace rfsim::cos {
namespace {

constexpr std::size_t kMacLength = 4;

const Bytes* smKey(CosState& state) {
    const CosKey* key = state.currentDf->keys.first(KeyUsage::secureMessaging);
    return key ? &key->value : nullptr;
}

}  // namespace

std::variant<CosRequest, std::uint16_t> unwrapCommand(CosState& state, const CommandApdu& apdu) {
    const auto challenge = state.takeChallenge();
    if (apdu.data.size() < kMacLength) return sw::smObjectsMissing;
    if (!challenge) return sw::referenceInvalid;
    const Bytes* key = smKey(state);
    if (!key) return sw::keyNotFound;
    const std::size_t bodyLength = apdu.data.size() - kMacLength;
    // Header as received (CLA with b3 set), Lc as received, the data before the MAC.
    const auto mac = desMac(*key, challenge->block(), apdu.raw.first(5 + bodyLength));
    if (!mac || !std::equal(mac->begin(), mac->begin() + kMacLength, apdu.data.begin() + bodyLength))
        return sw::smObjectsWrong;
    CosRequest request{apdu, challenge->block()};
    request.apdu.data = apdu.data.first(bodyLength);
    return request;
}

std::optional<Bytes> commandData(CosState& state, const CosRequest& request, const ElementaryFile& file) {
    const auto data = request.apdu.data;
    if (!request.smIv || file.rules.sm != SmMode::encipher) return Bytes(data.begin(), data.end());
    const Bytes* key = smKey(state);
    if (!key || data.empty() || data.size() % 8 != 0) return std::nullopt;
    const auto plain = desEcb(*key, data, false);
    if (!plain) return std::nullopt;
    // Length byte N, N data bytes, then 80 and zeros to the end of the last block.
    const std::size_t n = (*plain)[0];
    if (n + 2 > plain->size() || (n + 2 + 7) / 8 * 8 != plain->size() || (*plain)[n + 1] != 0x80 ||
        !std::all_of(plain->begin() + static_cast<std::ptrdiff_t>(n + 2), plain->end(),
                     [](std::uint8_t b) { return b == 0; }))
        return std::nullopt;
    return Bytes(plain->begin() + 1, plain->begin() + static_cast<std::ptrdiff_t>(n + 1));
}

CosResponse wrapResponse(CosState& state, const Block& iv, CosResponse response) {
    if (response.sw != sw::ok || response.data.empty()) return CosResponse::status(response.sw);
    const Bytes* key = smKey(state);
    if (!key) return CosResponse::status(sw::keyNotFound);
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
