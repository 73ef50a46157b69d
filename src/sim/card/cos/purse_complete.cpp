// The commands that complete a purse transaction: CREDIT FOR LOAD (52), DEBIT FOR PURCHASE / CASH
// WITHDRAW / CAPP PURCHASE / UNLOAD (54) and UPDATE OVERDRAW LIMIT (58). Each takes the session its
// INITIALIZE left, checks the host's MAC and only then moves the balance and the counter.

#include <algorithm>

#include "sim/card/cos/purse_commands.hpp"

namespace rfsim::cos {
namespace {

constexpr std::size_t kDateTime = 7;  // date(4) time(3)
constexpr std::size_t kMac = 4;

// The session, taken: whatever the completion answers, it is used up.
std::optional<PurseSession> takeSession(CosState& state) {
    std::optional<PurseSession> taken;
    taken.swap(state.purse);
    return taken;
}

// type || terminal || date || time, the tail most MACs of the transaction end with.
Bytes tailOf(const PurseSession& session, std::span<const std::uint8_t> dateTime) {
    Bytes out{session.type};
    out.insert(out.end(), session.terminal.begin(), session.terminal.end());
    out.insert(out.end(), dateTime.begin(), dateTime.end());
    return out;
}

Bytes join(Bytes head, const Bytes& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

bool macMatches(std::span<const std::uint8_t> key, const Bytes& data, std::span<const std::uint8_t> mac) {
    const auto expected = purseMac(key, data);
    return expected && std::ranges::equal(*expected, mac);
}

// newBalance(4) || counter used(2) || amount or new limit(n) || tail: loads, unloads, limit updates.
Bytes onlineProofData(std::uint32_t newBalance, const PurseSession& session, std::uint32_t amount,
                      std::size_t amountLength, const Bytes& tail) {
    Bytes out;
    appendBig(out, newBalance, 4);
    appendBig(out, session.counter, 2);
    appendBig(out, amount, amountLength);
    return join(std::move(out), tail);
}

CosResponse macAnswer(const Mac4& first, const Mac4* second = nullptr) {
    Bytes out(first.begin(), first.end());
    if (second) out.insert(out.end(), second->begin(), second->end());
    return CosResponse{std::move(out), sw::ok, false};
}

// The records a compound purchase put aside, written now that it succeeded; checked when cached.
void commitCache(CosState& state, const PurseSession& session) {
    for (const CappRecord& record : session.cache) {
        ElementaryFile* ef = state.currentDf->efBySfi(record.sfi);
        if (!ef || ef->kind() != FileKind::linearFixed) continue;
        auto& records = static_cast<RecordEf*>(ef)->records;
        if (record.number >= 1 && record.number <= records.size()) records[record.number - 1] = record.data;
    }
}

CosResponse debitForPurchase(CosState& state, PurseSession& session, PurseEf& purse,
                             std::span<const std::uint8_t> data) {
    const auto terminalTxn = data.first(4);
    const auto dateTime = data.subspan(4, kDateTime);
    Bytes input(session.random.begin(), session.random.end());
    appendBig(input, session.counter, 2);
    input.insert(input.end(), terminalTxn.begin() + 2, terminalTxn.end());
    const auto sessionKey = purseSessionKey(session.purchaseKey, input);
    if (!sessionKey) return CosResponse::status(sw::wrongData);
    Bytes amount;
    appendBig(amount, session.amount, 4);
    const Bytes tail = tailOf(session, dateTime);
    if (!macMatches(*sessionKey, join(amount, tail), data.subspan(4 + kDateTime, kMac)))
        return CosResponse::status(sw::macInvalid);
    if (session.amount > purse.balance) return CosResponse::status(sw::insufficientBalance);
    Bytes tacData = join(amount, tailOf(session, {}));
    tacData.insert(tacData.end(), terminalTxn.begin(), terminalTxn.end());
    tacData.insert(tacData.end(), dateTime.begin(), dateTime.end());
    const auto mac2 = purseMac(*sessionKey, amount);
    const auto tac = purseMac(session.tacKey, tacData);
    if (!mac2 || !tac) return CosResponse::status(sw::wrongData);
    if (session.compound()) commitCache(state, session);
    purse.balance -= session.amount;
    ++purse.offlineCounter;
    keepProof(purse, session.type, session.counter, *mac2, *tac);
    return macAnswer(*tac, &*mac2);
}

CosResponse debitForUnload(PurseSession& session, PurseEf& purse, std::span<const std::uint8_t> data) {
    const auto dateTime = data.first(kDateTime);
    const Bytes tail = tailOf(session, dateTime);
    Bytes amount;
    appendBig(amount, session.amount, 4);
    if (!macMatches(session.sessionKey, join(amount, tail), data.subspan(kDateTime, kMac)))
        return CosResponse::status(sw::macInvalid);
    if (session.amount > purse.balance) return CosResponse::status(sw::insufficientBalance);
    const std::uint32_t newBalance = purse.balance - session.amount;
    const Bytes proofData = onlineProofData(newBalance, session, session.amount, 4, tail);
    const auto mac3 = purseMac(session.sessionKey, proofData);
    const auto tac = purseMac(session.tacKey, proofData);
    if (!mac3 || !tac) return CosResponse::status(sw::wrongData);
    purse.balance = newBalance;
    ++purse.onlineCounter;
    keepProof(purse, session.type, session.counter, *mac3, *tac);
    return macAnswer(*mac3);
}

}  // namespace

CosResponse creditForLoad(CosState& state, const CosRequest& request) {
    const CommandApdu& apdu = request.apdu;
    auto session = takeSession(state);
    if (apdu.p1p2() != 0) return CosResponse::status(sw::wrongP1P2);
    if (apdu.data.size() != kDateTime + kMac) return CosResponse::status(sw::wrongLength);
    if (!session || session->transaction != PurseTransaction::load)
        return CosResponse::status(sw::conditionsNotSatisfied);
    PurseEf* purse = purseIn(state, session->purseFid);
    if (!purse) return CosResponse::status(sw::conditionsNotSatisfied);
    const Bytes tail = tailOf(*session, apdu.data.first(kDateTime));
    Bytes amount;
    appendBig(amount, session->amount, 4);
    const auto mac2 = apdu.data.subspan(kDateTime, kMac);
    if (!macMatches(session->sessionKey, join(amount, tail), mac2))
        return CosResponse::status(sw::macInvalid);
    const std::uint32_t newBalance = purse->balance + session->amount;  // checked at INITIALIZE
    const auto tac =
        purseMac(session->tacKey, onlineProofData(newBalance, *session, session->amount, 4, tail));
    if (!tac) return CosResponse::status(sw::wrongData);
    purse->balance = newBalance;
    ++purse->onlineCounter;
    Mac4 hostMac{};
    std::ranges::copy(mac2, hostMac.begin());
    keepProof(*purse, session->type, session->counter, hostMac, *tac);
    return macAnswer(*tac);
}

CosResponse debit(CosState& state, const CosRequest& request) {
    const CommandApdu& apdu = request.apdu;
    auto session = takeSession(state);
    const bool purchase = apdu.p1 == 0x01;
    if ((apdu.p1 != 0x01 && apdu.p1 != 0x03) || apdu.p2 != 0x00) return CosResponse::status(sw::wrongP1P2);
    if (apdu.data.size() != (purchase ? 4 : 0) + kDateTime + kMac)
        return CosResponse::status(sw::wrongLength);
    const auto expected = purchase ? PurseTransaction::purchase : PurseTransaction::unload;
    if (!session || session->transaction != expected) return CosResponse::status(sw::conditionsNotSatisfied);
    PurseEf* purse = purseIn(state, session->purseFid);
    if (!purse) return CosResponse::status(sw::conditionsNotSatisfied);
    return purchase ? debitForPurchase(state, *session, *purse, apdu.data)
                    : debitForUnload(*session, *purse, apdu.data);
}

CosResponse updateOverdrawLimit(CosState& state, const CosRequest& request) {
    const CommandApdu& apdu = request.apdu;
    auto session = takeSession(state);
    if (apdu.p1p2() != 0) return CosResponse::status(sw::wrongP1P2);
    if (apdu.data.size() != 3 + kDateTime + kMac) return CosResponse::status(sw::wrongLength);
    if (!session || session->transaction != PurseTransaction::updateLimit)
        return CosResponse::status(sw::conditionsNotSatisfied);
    PurseEf* purse = purseIn(state, session->purseFid);
    if (!purse) return CosResponse::status(sw::conditionsNotSatisfied);
    const std::uint32_t newLimit = readBig(apdu.data, 0, 3);
    const Bytes tail = tailOf(*session, apdu.data.subspan(3, kDateTime));
    Bytes limit;
    appendBig(limit, newLimit, 3);
    const auto mac2 = apdu.data.subspan(3 + kDateTime, kMac);
    if (!macMatches(session->sessionKey, join(limit, tail), mac2)) return CosResponse::status(sw::macInvalid);
    // The balance carries the overdraw credit: it moves with the limit.
    const std::int64_t moved = std::int64_t{purse->balance} + newLimit - purse->overdrawLimit;
    if (moved < 0) return CosResponse::status(sw::insufficientBalance);
    if (moved > 0xFFFFFFFF) return CosResponse::status(sw::conditionsNotSatisfied);
    const auto newBalance = static_cast<std::uint32_t>(moved);
    const auto tac = purseMac(session->tacKey, onlineProofData(newBalance, *session, newLimit, 3, tail));
    if (!tac) return CosResponse::status(sw::wrongData);
    purse->balance = newBalance;
    purse->overdrawLimit = newLimit;
    ++purse->onlineCounter;
    Mac4 hostMac{};
    std::ranges::copy(mac2, hostMac.begin());
    keepProof(*purse, session->type, session->counter, hostMac, *tac);
    return macAnswer(*tac);
}

}  // namespace rfsim::cos
