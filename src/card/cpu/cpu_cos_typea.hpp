#pragma once
// One reader's type A CPU card: activation with RATS (keeping the UID and the ATS), raw APDU
// exchanges, and APDUs with secure messaging.
//
// The object outlives commands: the registry keeps one per reader, so a card activated by one
// command is still active for the next. It has no lock; callers keep its exchanges apart.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "card/cpu/icpu_cos_reader.hpp"
#include "card/iso14443a/iiso14443a_reader.hpp"
#include "crypto/bind_buf.hpp"
#include "crypto/cipher.hpp"
#include "crypto/std_buf.hpp"

namespace Orvane {

class CpuCosTypeA : public ICpuCosReader {
  public:
    static constexpr std::uint32_t kAtsCapacity = 32;

    explicit CpuCosTypeA(std::shared_ptr<IIso14443AReader> reader);
    CpuCosTypeA(const CpuCosTypeA&) = delete;
    CpuCosTypeA& operator=(const CpuCosTypeA&) = delete;

    // Selects the card with this UID (4, 7 or 10 bytes) and takes it into ISO 14443-4 (RATS). A card
    // active before is deselected first. UID and ATS are kept on success and cleared otherwise.
    bool activate(const std::uint8_t* uid, int uidLen);
    // As activate, for whichever card answers; info gets its UID, ATQA and SAK.
    bool activateAny(TypeACardInfo& info);
    // Deselects through the reader and forgets the card.
    void deactivate();
    bool isActive() const { return active_ == 1; }
    std::span<const std::uint8_t> uid() const { return {uid_.data(), uidLen_}; }
    std::span<const std::uint8_t> ats() const { return {atsStore_.data(), atsStore_.size()}; }
    // The ATS store itself (capacity kAtsCapacity), as the ATS detail text reads it.
    IBuffer& atsStore() { return atsStore_; }

    // Passes apdu unchanged to the card when one is active; response gets everything the reader
    // returned, status word included. False when no card is active (nothing sent) or the exchange
    // failed.
    bool rawApdu(std::span<const std::uint8_t> apdu, std::vector<std::uint8_t>& response);

    std::uint8_t* ioBuffer() override { return io_.data(); }
    const std::uint8_t* responseData() const override { return io_.data(); }
    std::uint32_t responseLength() const override { return io_.size(); }
    std::uint16_t getChallenge(std::span<std::uint8_t, 8> out, bool shortForm) override;
    std::uint16_t crypt(std::uint8_t op, const cos_7816::_KeyData& key, const std::uint8_t* iv,
                        std::vector<std::uint8_t>& data) override;
    std::uint16_t transceive(const cos_7816::_KeyData* key, std::uint8_t apduCase) override;

  private:
    // The key's operation, by its provider when it has one, else here.
    std::uint16_t keyOp(std::uint8_t op, const cos_7816::_KeyData& key, const std::uint8_t* iv,
                        std::vector<std::uint8_t>& data);
    // Sends command_; the response (status word included) lands in io_. False: no card or failure.
    bool exchange();
    void forget();

    std::shared_ptr<IIso14443AReader> reader_;
    Cipher cipher_;
    std::uint8_t active_ = 0;
    std::array<std::uint8_t, 10> uid_{};
    std::uint32_t uidLen_ = 0;
    std::array<std::uint8_t, kAtsCapacity> atsMemory_{};
    BindBuf atsStore_{atsMemory_.data(), kAtsCapacity};
    StdBuf io_;
    std::vector<std::uint8_t> work_;     // data handed to the key operations
    std::vector<std::uint8_t> command_;  // the command as it goes to the card
};

}  // namespace Orvane
