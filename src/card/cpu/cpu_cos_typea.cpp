#include "card/cpu/cpu_cos_typea.hpp"

#include <algorithm>
#include <climits>

#include "card/cpu/des_crypt.hpp"

namespace Orvane {

namespace {

constexpr std::uint8_t kSecureMessagingCla = 0x04;  // CLA bit: command MAC and/or enciphered data
constexpr std::size_t kMacBytes = 4;                // a card MAC is the first 4 bytes of the block
constexpr std::size_t kMaxLc = 255;                 // short APDUs only: one Lc byte
constexpr std::size_t kBlock = 8;

// Lc once secure messaging has enciphered and MACed lc plain data bytes: Lc and the data enciphered
// with 80 00.. padding (always at least one byte of it), then 4 MAC bytes.
std::size_t securedLc(std::size_t lc, bool enc, bool mac) {
    const std::size_t body = enc ? ((lc + 1) / kBlock + 1) * kBlock : lc;
    return body + (mac ? kMacBytes : 0);
}

}  // namespace

CpuCosTypeA::CpuCosTypeA(std::shared_ptr<IIso14443AReader> reader) : reader_(std::move(reader)) {
    io_.reserve(kMinIoCapacity);
}

void CpuCosTypeA::forget() {
    active_ = 0;
    uid_.fill(0);
    uidLen_ = 0;
    // Zeroed so that ATS positions past a short ATS read as 0, not as an earlier card's bytes.
    atsMemory_.fill(0);
    atsStore_.clear();
}

bool CpuCosTypeA::activate(const std::uint8_t* uid, int uidLen) {
    if (active_ != 0 && reader_) reader_->deselect();
    forget();
    if (!reader_ || uid == nullptr || uidLen <= 0 || uidLen > static_cast<int>(uid_.size())) return false;
    if (!reader_->selectUid(uid, uidLen, true, &atsStore_)) {
        forget();
        return false;
    }
    active_ = 1;
    uidLen_ = static_cast<std::uint32_t>(uidLen);
    std::copy_n(uid, uidLen_, uid_.begin());
    return true;
}

bool CpuCosTypeA::activateAny(TypeACardInfo& info) {
    if (active_ != 0 && reader_) reader_->deselect();
    forget();
    if (!reader_ || !reader_->selectAny(info, true, &atsStore_)) {
        forget();
        return false;
    }
    active_ = 1;
    uidLen_ = static_cast<std::uint32_t>(std::clamp(info.uidLen, 0, static_cast<int>(uid_.size())));
    std::copy_n(info.uid.begin(), uidLen_, uid_.begin());
    return true;
}

void CpuCosTypeA::deactivate() {
    if (reader_) reader_->deselect();
    forget();
}

bool CpuCosTypeA::rawApdu(std::span<const std::uint8_t> apdu, std::vector<std::uint8_t>& response) {
    response.clear();
    if (active_ != 1 || !reader_ || apdu.size() > static_cast<std::size_t>(INT_MAX)) return false;
    StdBuf received;
    const bool ok = reader_->rawExchange(apdu.data(), static_cast<int>(apdu.size()), received);
    response.assign(received.data(), received.data() + received.size());
    return ok;
}

bool CpuCosTypeA::exchange() {
    if (active_ != 1 || !reader_ || command_.size() > static_cast<std::size_t>(INT_MAX)) return false;
    return reader_->rawExchange(command_.data(), static_cast<int>(command_.size()), io_);
}

std::uint16_t CpuCosTypeA::getChallenge(std::span<std::uint8_t, 8> out, bool shortForm) {
    std::fill(out.begin(), out.end(), 0);
    if (active_ != 1 || !reader_) return sw::kCommFailure;
    const std::uint8_t le = shortForm ? 4 : 8;
    const std::uint8_t command[] = {0x00, 0x84, 0x00, 0x00, le};
    // Its own response buffer: transceive asks for a challenge while its command is being built.
    StdBuf response;
    if (!reader_->rawExchange(command, sizeof command, response)) return sw::kCommFailure;
    const std::uint32_t n = response.size();
    if (n < 2) return sw::kShortAnswer;
    if (n == le + 2u) std::copy_n(response.data(), le, out.begin());
    return static_cast<std::uint16_t>(response.data()[n - 2] | response.data()[n - 1] << 8);
}

std::uint16_t CpuCosTypeA::crypt(std::uint8_t op, const cos_7816::_KeyData& key, const std::uint8_t* iv,
                                 std::vector<std::uint8_t>& data) {
    return keyCrypt(cipher_, op, key, iv, data);
}

std::uint16_t CpuCosTypeA::keyOp(std::uint8_t op, const cos_7816::_KeyData& key, const std::uint8_t* iv,
                                 std::vector<std::uint8_t>& data) {
    if (key.provider) return key.provider(op, iv, key, data);
    return crypt(op, key, iv, data);
}

std::uint16_t CpuCosTypeA::transceive(const cos_7816::_KeyData* key, std::uint8_t apduCase) {
    if (apduCase > kApduLcDataLe) return sw::kBadParam;
    if (io_.capacity() < kMinIoCapacity && !io_.reserve(kMinIoCapacity)) return sw::kCommFailure;
    // The I/O buffer never holds less than kMinIoCapacity bytes, so every index below (at most
    // 5 + 255) lies inside it whatever Lc says.
    const std::uint8_t* io = io_.data();
    const bool caseLe = apduCase == kApduLe;
    const bool mac = key != nullptr && key->mac;
    const bool encCommand = key != nullptr && key->enc && !caseLe;
    const std::size_t lc = caseLe ? 0 : io[4];
    const std::uint8_t le = caseLe ? io[4] : apduCase == kApduLcDataLe ? io[5 + lc] : 0;

    // A secured command whose Lc would not fit its one byte is refused before any card traffic.
    if (!caseLe && securedLc(lc, encCommand, mac) > kMaxLc) return sw::kBadParam;

    command_.assign(io, io + 5 + lc);
    if (key != nullptr && (key->enc || key->mac)) command_[0] |= kSecureMessagingCla;

    if (encCommand) {
        // Lc and the data are enciphered together; the card finds the plain length in the first byte.
        work_.assign(command_.begin() + 4, command_.end());
        padMethod2(work_);
        const std::uint16_t status = keyOp(cos_7816::kEncrypt, *key, nullptr, work_);
        if (status != sw::kOk) return status;
        // A key provider may answer any number of bytes.
        if (work_.size() + (mac ? kMacBytes : 0) > kMaxLc) return sw::kBadParam;
        command_.resize(5);
        command_[4] = static_cast<std::uint8_t>(work_.size());
        command_.insert(command_.end(), work_.begin(), work_.end());
    }

    std::array<std::uint8_t, kBlock> challenge{};
    if (mac) {
        const std::uint16_t status = getChallenge(challenge, false);
        if (status != sw::kOk) return status;
        // Byte 4 counts the MAC too, and the MAC covers that byte: set it first.
        command_[4] = caseLe ? kMacBytes : static_cast<std::uint8_t>(command_[4] + kMacBytes);
        work_ = command_;
        const std::uint16_t macStatus = keyOp(cos_7816::kMac, *key, challenge.data(), work_);
        if (macStatus != sw::kOk) return macStatus;
        if (work_.size() < kMacBytes) return sw::kBadParam;
        command_.insert(command_.end(), work_.begin(), work_.begin() + kMacBytes);
    }
    if (apduCase == kApduLcDataLe || (caseLe && mac)) command_.push_back(le);

    if (!exchange()) return sw::kCommFailure;
    const std::uint32_t received = io_.size();
    if (received < 2) {
        io_.clear();
        return sw::kShortAnswer;
    }
    std::uint16_t status =
        static_cast<std::uint16_t>(io_.data()[received - 2] | io_.data()[received - 1] << 8);
    io_.resize(received - 2);
    // Four bytes or fewer cannot be a MAC with data: such an answer is taken as it is.
    if (key == nullptr || io_.size() <= kMacBytes || status != sw::kOk) return status;

    if (mac) {
        const std::uint32_t length = io_.size();
        const std::uint8_t* data = io_.data();
        const std::uint8_t* cardMac = data + length - kMacBytes;
        work_.assign(data, cardMac);
        const std::uint16_t macStatus = keyOp(cos_7816::kMac, *key, challenge.data(), work_);
        if (macStatus != sw::kOk) return macStatus;
        if (work_.size() < kMacBytes) return sw::kBadParam;
        if (!std::equal(work_.begin(), work_.begin() + kMacBytes, cardMac)) status = sw::kMacMismatch;
        io_.resize(length - kMacBytes);
    }
    if (io_.size() % kBlock != 0 || !key->enc || status != sw::kOk) return status;

    work_.assign(io_.data(), io_.data() + io_.size());
    const std::uint16_t decStatus = keyOp(cos_7816::kDecrypt, *key, nullptr, work_);
    if (decStatus != sw::kOk) return decStatus;
    // The first plain byte is the data length; the padding after the data goes with it. A length
    // that does not fit leaves the whole plain block.
    if (!work_.empty() && work_[0] < work_.size()) {
        io_.assign(work_.data() + 1, work_[0]);
    } else {
        io_.assign(work_.data(), static_cast<std::uint32_t>(work_.size()));
    }
    return sw::kOk;
}

}  // namespace Orvane
