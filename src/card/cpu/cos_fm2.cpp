#include "card/cpu/cos_fm2.hpp"

#include <algorithm>
#include <vector>

namespace Orvane {

namespace {

constexpr std::uint8_t kProprietaryCla = 0x80;
constexpr std::uint8_t kEraseDf = 0x0E, kCreateFile = 0xE0, kWriteKey = 0xD4;
constexpr std::uint8_t kDfType = 0x38, kPurseType = 0x2F;
constexpr std::uint8_t kWriteMacBit = 0x80, kEncipherBit = 0x40;
constexpr std::uint8_t kKeyMacBit = 0x80, kKeyEncBit = 0x40;
constexpr std::uint8_t kSfiLimit = 32;

std::uint8_t high(std::uint16_t value) {
    return static_cast<std::uint8_t>(value >> 8);
}
std::uint8_t low(std::uint16_t value) {
    return static_cast<std::uint8_t>(value & 0xFF);
}

bool keyFits(const cos_7816::_KeyData& value, std::uint8_t type) {
    switch (value.alg) {
        case cos_7816::kPinDigits:
            return type == CosFm2::kPinType && value.keyLen >= CosFm2::kMinPin &&
                   value.keyLen <= CosFm2::kMaxPin;
        case cos_7816::kDesFamily:
            return value.keyLen <= CosFm2::kMaxKey;
        default:
            return false;
    }
}

}  // namespace

EfProtectionBytes efProtection(std::uint8_t type, const FileProtection& protection) {
    EfProtectionBytes bytes;
    bytes.fileType = type;
    if (protection.macw) bytes.fileType |= kWriteMacBit;
    if (protection.enc) bytes.fileType |= kEncipherBit;
    const std::uint8_t idr = protection.idr & 0x0F, idw = protection.idw & 0x0F;
    if (!protection.macr) {
        bytes.b11 = idw ^ 0xFF;
    } else if (((idr | idw) & 0x0C) != 0) {
        // Key numbers of 4 or more: one byte each, b8 of B10 clear for the read MAC.
        bytes.b10 = idr ^ 0x7F;
        bytes.b11 = idw ^ 0xFF;
    } else {
        // Both below 4: packed into B11, b8 clear for the read MAC.
        bytes.b11 = static_cast<std::uint8_t>(((idw & 0x03) | (idr & 0x03) << 2) ^ 0x7F);
    }
    return bytes;
}

std::uint16_t CosFm2::send(std::uint8_t ins, std::uint8_t p1, std::uint8_t p2,
                           std::span<const std::uint8_t> data, const cos_7816::_KeyData* sm) {
    if (data.size() > 0xFF) return sw::kBadParam;
    std::uint8_t* io = card_->ioBuffer();
    io[0] = kProprietaryCla;
    io[1] = ins;
    io[2] = p1;
    io[3] = p2;
    io[4] = static_cast<std::uint8_t>(data.size());
    std::copy(data.begin(), data.end(), io + 5);
    return card_->transceive(sm, kApduLcData);
}

std::uint16_t CosFm2::eraseDf() {
    return send(kEraseDf, 0x00, 0x00, {});
}

std::uint16_t CosFm2::createDf(std::uint16_t fid, std::uint16_t size, std::uint8_t create, std::uint8_t erase,
                               std::uint8_t sfi, std::span<const std::uint8_t> aid) {
    if (aid.size() > kMaxAid) return sw::kBadParam;
    std::vector<std::uint8_t> data = {kDfType, high(size), low(size), create, erase, sfi, 0xFF, 0xFF};
    data.insert(data.end(), aid.begin(), aid.end());
    return send(kCreateFile, high(fid), low(fid), data);
}

std::uint16_t CosFm2::createEf(std::uint8_t type, std::uint16_t fid, std::uint16_t size, std::uint8_t read,
                               std::uint8_t write, const FileProtection& protection) {
    const EfProtectionBytes p = efProtection(type, protection);
    const std::uint8_t data[] = {p.fileType, high(size), low(size), read, write, p.b10, p.b11};
    return send(kCreateFile, high(fid), low(fid), data);
}

std::uint16_t CosFm2::createPurseFile(std::uint8_t type, std::uint8_t use, std::uint32_t sfi) {
    if (sfi >= kSfiLimit) return sw::kBadParam;
    const std::uint8_t data[] = {kPurseType, 0x02, 0x08, use, 0x00, 0xFF, static_cast<std::uint8_t>(sfi)};
    return send(kCreateFile, 0x00, type, data);
}

std::uint16_t CosFm2::writeKey(const KeyHeader& header, const cos_7816::_KeyData& value,
                               const cos_7816::_KeyData* sm) {
    if (!keyFits(value, header.type)) return sw::kBadParam;
    std::uint8_t keyType = header.type;
    if (header.enc) keyType |= kKeyEncBit;
    if (header.mac) keyType |= kKeyMacBit;
    std::vector<std::uint8_t> data = {keyType, header.use, header.ren, header.pow, header.err};
    data.insert(data.end(), value.key.begin(), value.key.begin() + value.keyLen);
    return send(kWriteKey, header.oldType, header.id, data, sm);
}

}  // namespace Orvane
