// GET CHALLENGE, VERIFY, EXTERNAL AUTHENTICATE and INTERNAL AUTHENTICATE (ISO/IEC 7816-4 §7.5).

#include <openssl/rand.h>

#include <algorithm>

#include "sim/card/cos/iso_commands.hpp"

namespace rfsim::cos {

namespace {

// A key written by WRITE KEY is used only where its use right allows, and a success with it
// reaches the security level it names.
bool usable(const CosState& state, const CosKey& key) {
    return rightGranted(key.useRight, state.security.level);
}
void reached(CosState& state, const CosKey& key) {
    if (key.nextLevel) state.security.level = *key.nextLevel;
}

}  // namespace

// §7.5.3: P1 P2 00 00, no data; this card gives 4 or 8 bytes.
CosResponse getChallenge(CosState& state, const CosRequest& request) {
    const CommandApdu& apdu = request.apdu;
    if (apdu.p1p2() != 0) return CosResponse::status(sw::wrongP1P2);
    if (!apdu.data.empty() || !apdu.ne || (*apdu.ne != 4 && *apdu.ne != 8))
        return CosResponse::status(sw::wrongLength);
    Bytes random(*apdu.ne);
    if (RAND_bytes(random.data(), static_cast<int>(random.size())) != 1)
        return CosResponse::status(sw::wrongData);
    state.challenge = Challenge{random};
    return CosResponse{std::move(random), sw::ok, false};
}

// §7.5.6: P1 00, P2 the PIN's number; without data the answer tells the tries left (63Cx) or 9000
// when the PIN is already verified. The PIN is compared as sent (packed digits).
CosResponse verify(CosState& state, const CosRequest& request) {
    const CommandApdu& apdu = request.apdu;
    if (apdu.p1 != 0x00) return CosResponse::status(sw::wrongP1P2);
    CosKey* pin = state.currentDf->keys.find(KeyUsage::pin, apdu.p2);
    if (!pin) return CosResponse::status(sw::keyNotFound);
    if (pin->blocked()) return CosResponse::status(sw::blocked);
    if (!usable(state, *pin)) return CosResponse::status(sw::securityNotSatisfied);
    if (apdu.data.empty())
        return CosResponse::status(state.security.pinVerified ? sw::ok : sw::triesLeft(pin->triesLeft));
    if (!std::ranges::equal(apdu.data, pin->value)) {
        state.security.pinVerified = false;
        return CosResponse::status(sw::triesLeft(pin->fail()));
    }
    pin->succeed();
    state.security.pinVerified = true;
    reached(state, *pin);
    return CosResponse::status(sw::ok);
}

// §7.5.4: P1 00, P2 the key's number, 8 data bytes: the last challenge (a 4-byte one followed by
// 4 zero bytes) enciphered with the key in ECB mode. Uses up the challenge either way.
CosResponse externalAuthenticate(CosState& state, const CosRequest& request) {
    const CommandApdu& apdu = request.apdu;
    if (apdu.p1 != 0x00) return CosResponse::status(sw::wrongP1P2);
    if (apdu.data.size() != 8) return CosResponse::status(sw::wrongLength);
    CosKey* key = state.currentDf->keys.find(KeyUsage::externalAuth, apdu.p2);
    if (!key) return CosResponse::status(sw::keyNotFound);
    if (key->blocked()) return CosResponse::status(sw::blocked);
    if (!usable(state, *key)) return CosResponse::status(sw::securityNotSatisfied);
    const auto challenge = state.takeChallenge();
    if (!challenge) return CosResponse::status(sw::referenceInvalid);
    const Block plain = challenge->block();
    const auto expected = desEcb(key->value, plain, true);
    if (!expected) return CosResponse::status(sw::wrongData);
    if (!std::ranges::equal(*expected, apdu.data)) {
        state.security.externalAuth = false;
        return CosResponse::status(sw::triesLeft(key->fail()));
    }
    key->succeed();
    state.security.externalAuth = true;
    reached(state, *key);
    return CosResponse::status(sw::ok);
}

// §7.5.2: P1 00 (the algorithm the key implies), P2 the key's number, the data to encipher; the
// answer is that data enciphered with the key in ECB mode. Data that is not whole blocks is padded
// first with 80 00.. (ISO/IEC 9797-1 method 2); data of whole blocks is enciphered as it is.
CosResponse internalAuthenticate(CosState& state, const CosRequest& request) {
    const CommandApdu& apdu = request.apdu;
    if (apdu.p1 != 0x00) return CosResponse::status(sw::wrongP1P2);
    if (apdu.data.empty()) return CosResponse::status(sw::wrongLength);
    CosKey* key = state.currentDf->keys.find(KeyUsage::internalAuth, apdu.p2);
    if (!key) return CosResponse::status(sw::keyNotFound);
    const Bytes plain =
        apdu.data.size() % 8 == 0 ? Bytes(apdu.data.begin(), apdu.data.end()) : pad80(apdu.data);
    auto enciphered = desEcb(key->value, plain, true);
    if (!enciphered) return CosResponse::status(sw::wrongData);
    return CosResponse{std::move(*enciphered), sw::ok, false};
}

}  // namespace rfsim::cos
