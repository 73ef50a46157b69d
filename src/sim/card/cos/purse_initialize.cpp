// INITIALIZE FOR LOAD / UNLOAD / PURCHASE / CASH WITHDRAW / CAPP PURCHASE / UPDATE (80 50): checks
// what the transaction may do, answers the purse's state with a fresh random and, where the host
// must see it first, MAC1; the session waits for its completion (purse_commands.hpp).

#include <openssl/rand.h>

#include "sim/card/cos/purse_commands.hpp"

namespace rfsim::cos {
namespace {

struct Kind {
    std::uint8_t p1, p2, type;
    PurseTransaction transaction;
    KeyUsage key;
};

constexpr Kind kKinds[] = {
    {0x00, 0x01, 0x01, PurseTransaction::load, KeyUsage::load},
    {0x00, 0x02, 0x02, PurseTransaction::load, KeyUsage::load},
    {0x05, 0x01, 0x03, PurseTransaction::unload, KeyUsage::unload},
    {0x01, 0x01, 0x05, PurseTransaction::purchase, KeyUsage::purchase},
    {0x01, 0x02, 0x06, PurseTransaction::purchase, KeyUsage::purchase},
    {0x02, 0x01, 0x04, PurseTransaction::purchase, KeyUsage::purchase},
    {0x03, 0x02, 0x09, PurseTransaction::purchase, KeyUsage::purchase},
    {0x03, 0x01, 0x0A, PurseTransaction::purchase, KeyUsage::purchase},
    {0x04, 0x01, 0x07, PurseTransaction::updateLimit, KeyUsage::overdrawUpdate},
};

const Kind* kindOf(std::uint8_t p1, std::uint8_t p2) {
    for (const Kind& kind : kKinds)
        if (kind.p1 == p1 && kind.p2 == p2) return &kind;
    return nullptr;
}

// Session keys of online transactions: random || online counter || 80 00.
std::optional<Block> onlineSessionKey(const CosKey& key, const PurseSession& session) {
    Bytes input(session.random.begin(), session.random.end());
    appendBig(input, session.counter, 2);
    input.push_back(0x80);
    input.push_back(0x00);
    return purseSessionKey(key.value, input);
}

// 0 when the purse can take the amount, else the status word refusing it.
std::uint16_t amountRefusal(const PurseEf& purse, const PurseSession& session) {
    switch (session.transaction) {
        case PurseTransaction::load:
            return std::uint64_t{purse.balance} + session.amount > 0xFFFFFFFFu ? sw::conditionsNotSatisfied
                                                                               : 0;
        case PurseTransaction::unload:
        case PurseTransaction::purchase:
            return session.amount > purse.balance ? sw::insufficientBalance : 0;
        case PurseTransaction::updateLimit:
            return 0;
    }
    return 0;
}

// The answer: balance, counter, [limit,] key version, algorithm, random [, MAC1].
std::optional<Bytes> answer(const PurseEf& purse, const PurseSession& session, const CosKey& key) {
    Bytes out;
    appendBig(out, purse.balance, 4);
    appendBig(out, session.counter, 2);
    if (session.transaction == PurseTransaction::purchase ||
        session.transaction == PurseTransaction::updateLimit)
        appendBig(out, purse.overdrawLimit, 3);
    out.push_back(key.version);
    out.push_back(key.algorithm);
    out.insert(out.end(), session.random.begin(), session.random.end());
    if (session.transaction == PurseTransaction::purchase) return out;
    Bytes signedData;
    appendBig(signedData, purse.balance, 4);
    if (session.transaction == PurseTransaction::updateLimit)
        appendBig(signedData, purse.overdrawLimit, 3);
    else
        appendBig(signedData, session.amount, 4);
    signedData.push_back(session.type);
    signedData.insert(signedData.end(), session.terminal.begin(), session.terminal.end());
    const auto mac1 = purseMac(session.sessionKey, signedData);
    if (!mac1) return std::nullopt;
    out.insert(out.end(), mac1->begin(), mac1->end());
    return out;
}

}  // namespace

CosResponse initializeTransaction(CosState& state, const CosRequest& request) {
    const CommandApdu& apdu = request.apdu;
    if (const std::uint16_t refused = applicationRefusal(state)) return CosResponse::status(refused);
    const Kind* kind = kindOf(apdu.p1, apdu.p2);
    if (!kind) return CosResponse::status(sw::wrongP1P2);
    const bool update = kind->transaction == PurseTransaction::updateLimit;
    const std::size_t lc = update ? 7 : 11;
    if (apdu.data.size() != lc) return CosResponse::status(sw::wrongLength);
    PurseEf* purse = purseIn(state, apdu.p2);
    if (!purse) return CosResponse::status(sw::fileNotFound);
    if (needsPin(kind->type) && !state.security.pinVerified)
        return CosResponse::status(sw::securityNotSatisfied);
    const CosKey* key = state.currentDf->keys.find(kind->key, apdu.data[0]);
    if (!key) return CosResponse::status(sw::keyIndexUnsupported);
    const CosKey* tacKey = state.currentDf->keys.first(KeyUsage::tac);
    if (!tacKey) return CosResponse::status(sw::keyNotFound);

    PurseSession session;
    session.transaction = kind->transaction;
    session.type = kind->type;
    session.purseFid = apdu.p2;
    session.amount = update ? 0 : readBig(apdu.data, 1, 4);
    std::copy(apdu.data.end() - 6, apdu.data.end(), session.terminal.begin());
    const bool online = kind->transaction != PurseTransaction::purchase;
    session.counter = online ? purse->onlineCounter : purse->offlineCounter;
    if (session.counter == 0xFFFF) return CosResponse::status(sw::counterAtMaximum);
    if (const std::uint16_t refused = amountRefusal(*purse, session)) return CosResponse::status(refused);
    if (RAND_bytes(session.random.data(), static_cast<int>(session.random.size())) != 1)
        return CosResponse::status(sw::wrongData);
    session.tacKey = foldKey(tacKey->value);
    if (online) {
        const auto sessionKey = onlineSessionKey(*key, session);
        if (!sessionKey) return CosResponse::status(sw::wrongData);
        session.sessionKey = *sessionKey;
    } else {
        session.purchaseKey = key->value;
    }
    auto out = answer(*purse, session, *key);
    if (!out) return CosResponse::status(sw::wrongData);
    state.purse = std::move(session);
    return CosResponse{std::move(*out), sw::ok, false};
}

}  // namespace rfsim::cos
