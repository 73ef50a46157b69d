// The purse application's PIN (PIN 00 of its DF, the one VERIFY checks): CHANGE PIN and RELOAD PIN
// (80 5E) and PIN UNBLOCK (84 24).

#include <algorithm>

#include "sim/card/cos/purse_commands.hpp"

namespace rfsim::cos {
namespace {

constexpr std::uint8_t kPinId = 0x00;
constexpr std::uint8_t kSeparator = 0xFF;
// PBOC PINs are 4 to 12 digits, sent packed two to a byte.
constexpr std::size_t kMinPin = 2, kMaxPin = 6;

bool pinLengthFits(std::size_t length) {
    return length >= kMinPin && length <= kMaxPin;
}

// oldPin FF newPin: the old PIN is checked as VERIFY checks it, taking a try when wrong.
CosResponse changePin(CosKey& pin, std::span<const std::uint8_t> data) {
    const auto separator = std::ranges::find(data, kSeparator);
    if (separator == data.end()) return CosResponse::status(sw::wrongData);
    const auto oldPin = data.first(static_cast<std::size_t>(separator - data.begin()));
    const auto newPin = data.subspan(oldPin.size() + 1);
    if (oldPin.empty() || !pinLengthFits(newPin.size())) return CosResponse::status(sw::wrongLength);
    if (pin.blocked()) return CosResponse::status(sw::blocked);
    if (!std::ranges::equal(oldPin, pin.value)) return CosResponse::status(sw::triesLeft(pin.fail()));
    pin.value.assign(newPin.begin(), newPin.end());
    pin.succeed();
    return CosResponse::status(sw::ok);
}

// newPin MAC, the MAC under the PIN reload key folded to single DES: the issuer sets a new PIN,
// blocked or not, and its tries come back.
CosResponse reloadPin(CosState& state, CosKey& pin, std::span<const std::uint8_t> data) {
    constexpr std::size_t kMac = 4;
    if (data.size() < kMac || !pinLengthFits(data.size() - kMac)) return CosResponse::status(sw::wrongLength);
    const CosKey* key = state.currentDf->keys.first(KeyUsage::pinReload);
    if (!key) return CosResponse::status(sw::keyNotFound);
    const auto newPin = data.first(data.size() - kMac);
    const auto mac = purseMac(foldKey(key->value), newPin);
    if (!mac || !std::ranges::equal(*mac, data.last(kMac))) return CosResponse::status(sw::macInvalid);
    pin.value.assign(newPin.begin(), newPin.end());
    pin.succeed();
    return CosResponse::status(sw::ok);
}

}  // namespace

CosResponse changeOrReloadPin(CosState& state, const CosRequest& request) {
    const CommandApdu& apdu = request.apdu;
    if (const std::uint16_t refused = applicationRefusal(state)) return CosResponse::status(refused);
    if (apdu.p2 != 0x00 || apdu.p1 > 0x01) return CosResponse::status(sw::wrongP1P2);
    CosKey* pin = state.currentDf->keys.find(KeyUsage::pin, kPinId);
    if (!pin) return CosResponse::status(sw::keyNotFound);
    return apdu.p1 == 0x01 ? changePin(*pin, apdu.data) : reloadPin(state, *pin, apdu.data);
}

// The MAC was checked under the PIN unblock key (installPurseCommands names it), which also
// deciphers the PIN; the PIN must be the current one.
CosResponse pinUnblock(CosState& state, const CosRequest& request) {
    const CommandApdu& apdu = request.apdu;
    if (const std::uint16_t refused = applicationRefusal(state)) return CosResponse::status(refused);
    if (!request.smIv) return CosResponse::status(sw::smObjectsMissing);
    if (apdu.p1p2() != 0) return CosResponse::status(sw::wrongP1P2);
    CosKey* pin = state.currentDf->keys.find(KeyUsage::pin, kPinId);
    if (!pin) return CosResponse::status(sw::keyNotFound);
    const auto sent = decipherCommandData(request);
    if (!sent || !std::ranges::equal(*sent, pin->value)) return CosResponse::status(sw::wrongData);
    pin->succeed();
    return CosResponse::status(sw::ok);
}

}  // namespace rfsim::cos
