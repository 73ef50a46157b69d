#include "card/cpu/cos7816.hpp"

#include "card/cpu/pin_digits.hpp"

#include <algorithm>
#include <array>

namespace Orvane {

namespace {

constexpr std::uint8_t kSelect = 0xA4, kVerify = 0x20, kExternalAuth = 0x82, kInternalAuth = 0x88,
                       kReadBinary = 0xB0, kUpdateBinary = 0xD6, kReadRecord = 0xB2, kUpdateRecord = 0xDC,
                       kAppendRecord = 0xE2;
constexpr std::uint8_t kByFileId = 0x00, kByName = 0x04;
constexpr std::uint8_t kBinarySfiFlag = 0x80;       // P1 b8: P1 b5-b1 is a short EF identifier
constexpr std::uint16_t kMaxBinaryOffset = 0x7FFF;  // P1 b8 clear: a 15-bit offset
constexpr std::uint16_t kSelectLocked = 0x816A;     // 6A 81 as a packed status word
constexpr std::size_t kBlock = 8;

bool recordArgsFit(std::uint32_t sfid) {
    return sfid < Cos7816::kSfiLimit;
}

std::uint8_t recordP2(std::uint32_t sfid, std::uint8_t mode) {
    return static_cast<std::uint8_t>((mode & 0x07) | sfid << 3);
}

// P1 P2 of the binary commands; nullopt when sfid or pos is out of its range.
std::optional<std::array<std::uint8_t, 2>> binaryP1P2(std::uint32_t sfid, std::uint32_t pos) {
    if (sfid >= Cos7816::kSfiLimit) return std::nullopt;
    if (sfid != 0) {
        if (pos > 0xFF) return std::nullopt;
        return std::array{static_cast<std::uint8_t>(kBinarySfiFlag | sfid), static_cast<std::uint8_t>(pos)};
    }
    if (pos > kMaxBinaryOffset) return std::nullopt;
    return std::array{static_cast<std::uint8_t>(pos >> 8), static_cast<std::uint8_t>(pos & 0xFF)};
}

}  // namespace

std::uint8_t* Cos7816::header(std::uint8_t ins, std::uint8_t p1, std::uint8_t p2) {
    std::uint8_t* io = card_->ioBuffer();
    io[0] = 0x00;
    io[1] = ins;
    io[2] = p1;
    io[3] = p2;
    return io;
}

std::uint16_t Cos7816::sendData(std::span<const std::uint8_t> data, const cos_7816::_KeyData* key) {
    // Callers keep data within one Lc byte; the I/O buffer holds 5 + 255 bytes at least.
    if (data.size() > 0xFF) return sw::kBadParam;
    std::uint8_t* io = card_->ioBuffer();
    io[4] = static_cast<std::uint8_t>(data.size());
    std::copy(data.begin(), data.end(), io + 5);
    return card_->transceive(key, kApduLcData);
}

std::uint16_t Cos7816::sendLe(std::uint8_t le, const cos_7816::_KeyData* key,
                              std::vector<std::uint8_t>& out) {
    card_->ioBuffer()[4] = le;
    const std::uint16_t status = card_->transceive(key, kApduLe);
    out.assign(card_->responseData(), card_->responseData() + card_->responseLength());
    return status;
}

std::uint16_t Cos7816::getChallenge(std::span<std::uint8_t, 8> out, bool shortForm) {
    return card_->getChallenge(out, shortForm);
}

std::uint16_t Cos7816::selectFile(std::uint16_t fid, std::optional<std::span<const std::uint8_t>> name,
                                  FciInfo& fci) {
    if (name && name->size() > kMaxName) return sw::kBadParam;
    const std::array<std::uint8_t, 2> fidBytes{static_cast<std::uint8_t>(fid >> 8),
                                               static_cast<std::uint8_t>(fid & 0xFF)};
    std::span<const std::uint8_t> data = name ? *name : std::span<const std::uint8_t>(fidBytes);
    // SELECT by identifier without data selects the MF (ISO/IEC 7816-4 §7.1.1).
    if (!name && fid == 0) data = {};
    header(kSelect, name ? kByName : kByFileId, 0x00);
    const std::uint16_t status = sendData(data, nullptr);
    if (status != sw::kOk && status != kSelectLocked) return status;
    const std::span<const std::uint8_t> response(card_->responseData(), card_->responseLength());
    if (status == kSelectLocked && response.empty()) return kLockedSelect;
    decodeFci(response, fci);
    return status;
}

std::uint16_t Cos7816::externalAuthenticate(std::uint8_t id, const cos_7816::_KeyData& key) {
    std::array<std::uint8_t, kBlock> challenge{};
    const std::uint16_t status = card_->getChallenge(challenge, false);
    if (status != sw::kOk) return status;
    std::vector<std::uint8_t> cryptogram(challenge.begin(), challenge.end());
    const std::uint16_t cryptStatus = keyOperation(*card_, cos_7816::kEncrypt, key, nullptr, cryptogram);
    if (cryptStatus != sw::kOk) return cryptStatus;
    // A provider may answer any number of bytes: only one block is an answer to the challenge.
    if (cryptogram.size() != kBlock) return sw::kBadParam;
    header(kExternalAuth, 0x00, id);
    return sendData(cryptogram, nullptr);
}

std::uint16_t Cos7816::verifyPin(std::uint8_t id, std::string_view pin) {
    const auto packed = packPinDigits(pin, kMaxPinDigits);
    if (!packed) return sw::kBadParam;
    header(kVerify, 0x00, id);
    return sendData(*packed, nullptr);
}

std::uint16_t Cos7816::internalAuthenticate(std::uint8_t id, std::uint8_t type,
                                            std::vector<std::uint8_t>& data) {
    if (data.size() > kMaxAuthData) return sw::kBadParam;
    header(kInternalAuth, type, id);
    const std::uint16_t status = sendData(data, nullptr);
    data.assign(card_->responseData(), card_->responseData() + card_->responseLength());
    return status;
}

std::uint16_t Cos7816::updateBinary(std::uint32_t sfid, std::uint32_t pos, std::span<const std::uint8_t> data,
                                    const cos_7816::_KeyData* key) {
    const auto p1p2 = binaryP1P2(sfid, pos);
    if (!p1p2 || data.size() > kMaxFileData) return sw::kBadParam;
    header(kUpdateBinary, (*p1p2)[0], (*p1p2)[1]);
    return sendData(data, key);
}

std::uint16_t Cos7816::readBinary(std::uint32_t sfid, std::uint32_t pos, std::uint32_t size,
                                  const cos_7816::_KeyData* key, std::vector<std::uint8_t>& out) {
    out.clear();
    const auto p1p2 = binaryP1P2(sfid, pos);
    if (!p1p2 || size > kMaxFileData) return sw::kBadParam;
    header(kReadBinary, (*p1p2)[0], (*p1p2)[1]);
    return sendLe(static_cast<std::uint8_t>(size), key, out);
}

std::uint16_t Cos7816::updateRecord(std::uint32_t sfid, std::uint8_t id, std::uint8_t mode,
                                    std::span<const std::uint8_t> data, const cos_7816::_KeyData* key) {
    if (!recordArgsFit(sfid) || data.size() > kMaxFileData) return sw::kBadParam;
    header(kUpdateRecord, id, recordP2(sfid, mode));
    return sendData(data, key);
}

std::uint16_t Cos7816::appendRecord(std::uint32_t sfid, std::span<const std::uint8_t> data,
                                    const cos_7816::_KeyData* key) {
    if (!recordArgsFit(sfid) || data.size() > kMaxFileData) return sw::kBadParam;
    header(kAppendRecord, 0x00, recordP2(sfid, 0));
    return sendData(data, key);
}

std::uint16_t Cos7816::readRecord(std::uint32_t sfid, std::uint8_t id, std::uint8_t mode, std::uint32_t size,
                                  const cos_7816::_KeyData* key, std::vector<std::uint8_t>& out) {
    out.clear();
    if (!recordArgsFit(sfid) || size > kMaxFileData) return sw::kBadParam;
    header(kReadRecord, id, recordP2(sfid, mode));
    return sendLe(static_cast<std::uint8_t>(size), key, out);
}

}  // namespace Orvane
