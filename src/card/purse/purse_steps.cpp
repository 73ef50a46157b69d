// The two steps of an e-purse transaction, terminal side. Each MAC is the card MAC of the key
// record (ISO/IEC 9797-1, padding method 2, no IV) cut to its first 4 bytes; the TAC is the same
// MAC under the single-DES key made of the TAC key's halves XORed.

#include <algorithm>
#include <vector>

#include "card/purse/bcd_time.hpp"
#include "card/purse/cos_pboc2.hpp"
#include "card/purse/purse_bytes.hpp"
#include "card/purse/purse_transaction.hpp"

namespace Orvane {

namespace {

using Bytes = std::vector<std::uint8_t>;
using purse_bytes::appendBigEndian;
using purse_bytes::bigEndian;
using purse_bytes::macValue;

constexpr std::uint8_t kInitialize = 0x50, kCredit = 0x52, kDebit = 0x54, kUpdateLimit = 0x58;
constexpr std::uint8_t kLoadAnswer = 16, kDebitAnswer = 15, kLimitAnswer = 19;
constexpr std::size_t kBlock = 8, kMacBytes = 4;
constexpr std::uint8_t kSessionAlg = cos_7816::kDesFamily;

void append(Bytes& out, std::span<const std::uint8_t> bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

std::span<const std::uint8_t> dateOf(const OrderRecord& record) {
    return std::span(record.bcdTime).first(4);
}
std::span<const std::uint8_t> timeOf(const OrderRecord& record) {
    return std::span(record.bcdTime).last(3);
}

// The first 4 bytes of op (MAC or TAC MAC) over `data` as a MAC value; the status of the operation.
std::uint16_t macOver(ICpuCosReader& card, std::uint8_t op, const cos_7816::_KeyData& key, Bytes data,
                      std::uint32_t& value) {
    const std::uint16_t status = keyOperation(card, op, key, nullptr, data);
    if (status != sw::kOk) return status;
    // A key provider may answer any number of bytes.
    if (data.size() < kMacBytes) return sw::kBadParam;
    value = macValue(data.data());
    return status;
}

cos_7816::_KeyData sessionKey(const OrderRecord& record) {
    cos_7816::_KeyData key;
    key.alg = record.tmpAlg;
    key.keyLen = std::min<std::uint8_t>(record.tmpKeyLen, static_cast<std::uint8_t>(key.key.size()));
    std::copy_n(record.tmpKey.begin(), key.keyLen, key.key.begin());
    return key;
}

// The session key: `seed` enciphered with the master key.
std::uint16_t deriveSessionKey(ICpuCosReader& card, const cos_7816::_KeyData& key, Bytes seed,
                               OrderRecord& record) {
    const std::uint16_t status = keyOperation(card, cos_7816::kEncrypt, key, nullptr, seed);
    if (status != sw::kOk) return status;
    if (seed.size() < kBlock) return sw::kBadParam;
    record.tmpKey.fill(0);
    std::copy_n(seed.begin(), kBlock, record.tmpKey.begin());
    record.tmpKeyLen = kBlock;
    record.tmpAlg = kSessionAlg;
    return sw::kOk;
}

// 9000 when the card's MAC1 is the MAC of `data` under the session key, 0x8869 when it is not.
std::uint16_t checkMac1(ICpuCosReader& card, const OrderRecord& record, Bytes data,
                        const std::uint8_t* cardMac1) {
    std::uint32_t mac1 = 0;
    const std::uint16_t status = macOver(card, cos_7816::kMac, sessionKey(record), std::move(data), mac1);
    if (status != sw::kOk) return status;
    return mac1 == macValue(cardMac1) ? sw::kOk : sw::kMac1Mismatch;
}

void stampTime(OrderRecord& record) {
    record.times = transactionTime(record.times);
    record.bcdTime = bcdLocalTime(record.times);
}

// money ‖ type ‖ number: what every MAC of a transaction starts with.
Bytes amountTypeNumber(std::uint32_t money, const OrderRecord& record) {
    Bytes data;
    appendBigEndian(data, money, 4);
    data.push_back(record.type);
    append(data, record.number);
    return data;
}

// Load and unload. Answer: balance(4) counter(2) keyVer algId random(4) MAC1(4).
std::uint16_t initializeOnline(ICpuCosReader& card, const PurseTransaction& transaction,
                               const cos_7816::_KeyData& key, const cos_7816::_KeyData* keyTac,
                               const Bytes& answer, OrderRecord& record) {
    const std::uint8_t* a = answer.data();
    const std::span<const std::uint8_t> balance(a, 4), counter(a + 4, 2), random(a + 8, 4);
    record.oldBalance = bigEndian(a, 4);
    const std::int64_t old = record.oldBalance;
    record.newBalance = transaction.flow == PurseFlow::unload ? old - record.money : old + record.money;
    record.seq = static_cast<std::uint16_t>(bigEndian(a + 4, 2) + 1);
    record.keyVer = a[6];
    record.keyFlag = a[7];

    Bytes seed;
    append(seed, random);
    append(seed, counter);
    seed.insert(seed.end(), {0x80, 0x00});
    if (const std::uint16_t status = deriveSessionKey(card, key, seed, record); status != sw::kOk)
        return status;

    Bytes mac1Data;
    append(mac1Data, balance);
    const Bytes rest = amountTypeNumber(record.money, record);
    append(mac1Data, rest);
    const std::uint16_t result = checkMac1(card, record, mac1Data, a + 12);

    // What the card's TAC (load) or MAC (unload) of step two covers.
    Bytes proof;
    appendBigEndian(proof, static_cast<std::uint32_t>(record.newBalance), 4);
    append(proof, counter);
    append(proof, rest);
    append(proof, dateOf(record));
    append(proof, timeOf(record));
    if (transaction.flow == PurseFlow::unload) {
        macOver(card, cos_7816::kMac, sessionKey(record), proof, record.mac);
    } else if (keyTac != nullptr && keyTac->alg != 0) {
        macOver(card, cos_7816::kTacMac, *keyTac, proof, record.tac);
    }
    return result;
}

// Purchase, cash withdrawal and compound purchase. Answer: balance(4) offline counter(2) limit(3)
// keyVer algId random(4).
std::uint16_t initializeDebit(ICpuCosReader& card, const cos_7816::_KeyData& key,
                              const cos_7816::_KeyData* keyTac, const Bytes& answer, OrderRecord& record) {
    const std::uint8_t* a = answer.data();
    record.oldBalance = bigEndian(a, 4);
    record.newBalance = static_cast<std::int64_t>(record.oldBalance) - record.money;
    record.limit = bigEndian(a + 6, 3);
    record.keyVer = a[9];
    record.keyFlag = a[10];
    record.seq = static_cast<std::uint16_t>(bigEndian(a + 4, 2) + 1);

    Bytes seed(a + 11, a + 15);
    seed.insert(seed.end(), a + 4, a + 6);
    appendBigEndian(seed, record.seq, 2);
    if (const std::uint16_t status = deriveSessionKey(card, key, seed, record); status != sw::kOk)
        return status;

    // The MAC the card answers in step two covers the amount alone.
    Bytes amount;
    appendBigEndian(amount, record.money, 4);
    const std::uint16_t status = macOver(card, cos_7816::kMac, sessionKey(record), amount, record.mac);
    if (keyTac == nullptr) return status;

    Bytes proof = amountTypeNumber(record.money, record);
    appendBigEndian(proof, record.seq, 4);
    append(proof, dateOf(record));
    append(proof, timeOf(record));
    return macOver(card, cos_7816::kTacMac, *keyTac, proof, record.tac);
}

// Overdraw-limit update. Answer: balance(4) counter(2) old limit(3) keyVer algId random(4) MAC1(4).
std::uint16_t initializeLimit(ICpuCosReader& card, const cos_7816::_KeyData& key,
                              const cos_7816::_KeyData* keyTac, const Bytes& answer, OrderRecord& record) {
    const std::uint8_t* a = answer.data();
    const std::span<const std::uint8_t> balance(a, 4), counter(a + 4, 2), oldLimit(a + 6, 3);
    record.limit = bigEndian(a + 6, 3);
    record.oldBalance = bigEndian(a, 4);
    record.newBalance = static_cast<std::int64_t>(record.oldBalance) + record.money - record.limit;
    record.seq = static_cast<std::uint16_t>(bigEndian(a + 4, 2) + 1);
    record.keyVer = a[9];
    record.keyFlag = a[10];

    Bytes seed(a + 11, a + 15);
    append(seed, counter);
    seed.insert(seed.end(), {0x80, 0x00});
    if (const std::uint16_t status = deriveSessionKey(card, key, seed, record); status != sw::kOk)
        return status;

    Bytes mac1Data;
    append(mac1Data, balance);
    append(mac1Data, oldLimit);
    mac1Data.push_back(record.type);
    append(mac1Data, record.number);
    const std::uint16_t result = checkMac1(card, record, mac1Data, a + 15);

    if (keyTac != nullptr) {
        Bytes proof;
        appendBigEndian(proof, static_cast<std::uint32_t>(record.newBalance), 4);
        append(proof, counter);
        appendBigEndian(proof, record.money, 3);
        proof.push_back(record.type);
        append(proof, record.number);
        append(proof, dateOf(record));
        append(proof, timeOf(record));
        macOver(card, cos_7816::kTacMac, *keyTac, proof, record.tac);
    }
    return result;
}

}  // namespace

std::uint16_t CosPboc2::initialize(std::uint32_t type, std::uint8_t keyIndex, const cos_7816::_KeyData& key,
                                   const cos_7816::_KeyData* keyTac, OrderRecord& record) {
    record.type = static_cast<std::uint8_t>(type);
    const auto transaction = purseTransaction(type);
    if (!transaction) return sw::kBadParam;
    if (transaction->flow == PurseFlow::limit && record.money > kMaxLimit) return sw::kBadParam;

    Bytes command{keyIndex};
    if (transaction->flow != PurseFlow::limit) appendBigEndian(command, record.money, 4);
    append(command, record.number);
    const std::uint8_t expected = transaction->flow == PurseFlow::debit   ? kDebitAnswer
                                  : transaction->flow == PurseFlow::limit ? kLimitAnswer
                                                                          : kLoadAnswer;
    const std::uint16_t status =
        sendForAnswer(kInitialize, transaction->p1, transaction->p2, command, expected);
    if (status != sw::kOk) return status;
    if (card_->responseLength() != expected) return sw::kUnexpectedLength;
    const Bytes answer(card_->responseData(), card_->responseData() + expected);
    stampTime(record);
    switch (transaction->flow) {
        case PurseFlow::load:
        case PurseFlow::unload:
            return initializeOnline(*card_, *transaction, key, keyTac, answer, record);
        case PurseFlow::debit:
            return initializeDebit(*card_, key, keyTac, answer, record);
        case PurseFlow::limit:
            return initializeLimit(*card_, key, keyTac, answer, record);
    }
    return sw::kBadParam;
}

std::uint16_t CosPboc2::commit(OrderRecord& record) {
    if (record.tmpAlg != kSessionAlg) return sw::kBadParam;
    const auto transaction = purseTransaction(record.type);
    if (!transaction) return sw::kBadParam;
    const bool limit = transaction->flow == PurseFlow::limit;
    if (limit && record.money > kMaxLimit) return sw::kBadParam;

    Bytes macData;
    if (limit) {
        appendBigEndian(macData, record.money, 3);
        macData.push_back(record.type);
        append(macData, record.number);
    } else {
        macData = amountTypeNumber(record.money, record);
    }
    append(macData, dateOf(record));
    append(macData, timeOf(record));
    Bytes mac = macData;
    const std::uint16_t macStatus = keyOperation(*card_, cos_7816::kMac, sessionKey(record), nullptr, mac);
    if (macStatus != sw::kOk) return macStatus;
    if (mac.size() < kMacBytes) return sw::kBadParam;

    Bytes command;
    std::uint8_t ins = kDebit, p1 = 0x00, le = 4;
    switch (transaction->flow) {
        case PurseFlow::load:
            ins = kCredit;
            break;
        case PurseFlow::unload:
            p1 = 0x03;
            break;
        case PurseFlow::debit:
            p1 = 0x01;
            le = 8;
            appendBigEndian(command, record.seq, 4);
            break;
        case PurseFlow::limit:
            ins = kUpdateLimit;
            appendBigEndian(command, record.money, 3);
            break;
    }
    append(command, dateOf(record));
    append(command, timeOf(record));
    command.insert(command.end(), mac.begin(), mac.begin() + kMacBytes);
    const std::uint16_t status = sendForAnswer(ins, p1, 0x00, command, le);
    if (status != sw::kOk || card_->responseLength() != le) return status;
    const std::uint8_t* r = card_->responseData();
    if (transaction->flow == PurseFlow::unload) {
        record.commitMac = macValue(r);
    } else {
        record.commitTac = macValue(r);
        if (le == 8) record.commitMac = macValue(r + 4);
    }
    return status;
}

}  // namespace Orvane
