#include "card/purse/cos_pboc2.hpp"

#include <algorithm>
#include <vector>

#include "card/cpu/pin_digits.hpp"
#include "card/purse/purse_bytes.hpp"

namespace Orvane {

namespace {

constexpr std::uint8_t kProprietaryCla = 0x80;
constexpr std::uint8_t kPinChange = 0x5E, kPinUnblock = 0x24, kAppUnblock = 0x18, kAppBlock = 0x1E,
                       kCardBlock = 0x16, kGetBalance = 0x5C, kGetProve = 0x5A, kUpdateCache = 0xDC;
constexpr std::uint8_t kChangeP1 = 0x01, kReloadP1 = 0x00;
constexpr std::uint8_t kPinSeparator = 0xFF;
constexpr std::size_t kMacBytes = 4;
constexpr std::uint8_t kBalanceBytes = 4, kProveBytes = 8;

}  // namespace

bool CosPboc2::put(std::uint8_t ins, std::uint8_t p1, std::uint8_t p2, std::span<const std::uint8_t> data) {
    if (data.size() > 0xFF) return false;
    std::uint8_t* io = card_->ioBuffer();
    io[0] = kProprietaryCla;
    io[1] = ins;
    io[2] = p1;
    io[3] = p2;
    io[4] = static_cast<std::uint8_t>(data.size());
    std::copy(data.begin(), data.end(), io + 5);
    return true;
}

std::uint16_t CosPboc2::send(std::uint8_t ins, std::uint8_t p1, std::uint8_t p2,
                             std::span<const std::uint8_t> data, const cos_7816::_KeyData* sm) {
    if (!put(ins, p1, p2, data)) return sw::kBadParam;
    return card_->transceive(sm, kApduLcData);
}

std::uint16_t CosPboc2::sendForAnswer(std::uint8_t ins, std::uint8_t p1, std::uint8_t p2,
                                      std::span<const std::uint8_t> data, std::uint8_t le) {
    if (!put(ins, p1, p2, data)) return sw::kBadParam;
    card_->ioBuffer()[5 + data.size()] = le;
    return card_->transceive(nullptr, kApduLcDataLe);
}

std::uint16_t CosPboc2::sendWithMac(std::uint8_t ins, std::uint8_t p2, cos_7816::_KeyData key) {
    key.enc = false;
    key.mac = true;
    return send(ins, 0x00, p2, {}, &key);
}

std::uint16_t CosPboc2::changePin(std::uint8_t id, std::string_view oldPin, std::string_view newPin) {
    const auto oldPacked = packPinDigits(oldPin, kMaxPinDigits);
    const auto newPacked = packPinDigits(newPin, kMaxPinDigits);
    if (!oldPacked || !newPacked) return sw::kBadParam;
    std::vector<std::uint8_t> data = *oldPacked;
    data.push_back(kPinSeparator);
    data.insert(data.end(), newPacked->begin(), newPacked->end());
    return send(kPinChange, kChangeP1, id, data);
}

std::uint16_t CosPboc2::reloadPin(std::uint8_t id, const cos_7816::_KeyData& key, std::string_view pin) {
    const auto packed = packPinDigits(pin, kMaxPinDigits);
    if (!packed) return sw::kBadParam;
    std::vector<std::uint8_t> mac = *packed;
    const std::uint16_t status = keyOperation(*card_, cos_7816::kTacMac, key, nullptr, mac);
    if (status != sw::kOk) return status;
    // A key provider may answer any number of bytes.
    if (mac.size() < kMacBytes) return sw::kBadParam;
    std::vector<std::uint8_t> data = *packed;
    data.insert(data.end(), mac.begin(), mac.begin() + kMacBytes);
    return send(kPinChange, kReloadP1, id, data);
}

std::uint16_t CosPboc2::unblockPin(std::uint8_t id, cos_7816::_KeyData key, std::string_view pin) {
    const auto packed = packPinDigits(pin, kMaxPinDigits);
    if (!packed) return sw::kBadParam;
    key.enc = true;
    key.mac = true;
    return send(kPinUnblock, id, 0x00, *packed, &key);
}

std::uint16_t CosPboc2::unblockApplication(cos_7816::_KeyData key) {
    return sendWithMac(kAppUnblock, 0x00, std::move(key));
}

std::uint16_t CosPboc2::blockApplication(cos_7816::_KeyData key, bool permanent) {
    return sendWithMac(kAppBlock, permanent ? 0x01 : 0x00, std::move(key));
}

std::uint16_t CosPboc2::blockCard(cos_7816::_KeyData key) {
    return sendWithMac(kCardBlock, 0x00, std::move(key));
}

std::uint16_t CosPboc2::getBalance(std::uint8_t type, std::uint32_t& money) {
    money = 0;
    std::uint8_t* io = card_->ioBuffer();
    const std::uint8_t command[] = {kProprietaryCla, kGetBalance, 0x00, type, kBalanceBytes};
    std::copy(std::begin(command), std::end(command), io);
    const std::uint16_t status = card_->transceive(nullptr, kApduLe);
    if (status == sw::kOk && card_->responseLength() == kBalanceBytes)
        money = purse_bytes::bigEndian(card_->responseData(), kBalanceBytes);
    return status;
}

std::uint16_t CosPboc2::getTransactionProve(std::uint8_t type, std::uint32_t seq, std::uint32_t& mac,
                                            std::uint32_t& tac) {
    mac = tac = 0;
    if (seq > 0xFFFF) return sw::kBadParam;
    const std::uint8_t counter[] = {static_cast<std::uint8_t>(seq >> 8), static_cast<std::uint8_t>(seq)};
    const std::uint16_t status = sendForAnswer(kGetProve, 0x00, type, counter, kProveBytes);
    if (status == sw::kOk && card_->responseLength() == kProveBytes) {
        mac = purse_bytes::macValue(card_->responseData());
        tac = purse_bytes::macValue(card_->responseData() + 4);
    }
    return status;
}

std::uint16_t CosPboc2::updateCappDataCache(std::uint32_t sfid, std::uint8_t id, std::uint8_t mode,
                                            std::span<const std::uint8_t> data,
                                            const cos_7816::_KeyData* sm) {
    if (sfid >= kSfiLimit || data.size() > kMaxCacheData) return sw::kBadParam;
    const auto p2 = static_cast<std::uint8_t>((mode & 0x07) | sfid << 3);
    return send(kUpdateCache, id, p2, data, sm);
}

}  // namespace Orvane
