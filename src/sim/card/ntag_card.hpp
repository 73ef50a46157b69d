#pragma once
// NTAG213, NTAG215 and NTAG216 page tags (NXP NTAG213/215/216 datasheet, NFC Forum type 2): the
// memory map with UID pages and check bytes, static and dynamic lock bytes, capability container,
// user pages and the configuration pages, and the commands READ, WRITE, COMPATIBILITY_WRITE,
// FAST_READ, GET_VERSION, READ_CNT, READ_SIG and PWD_AUTH with AUTH0, PROT and AUTHLIM.
// Authentication lasts while the tag stays ACTIVE: HLTA, a NAK or the field going off end it. The
// memory, the NFC counter and the failed-password count are kept.

#include <array>
#include <memory>

#include "sim/card/type_a_card.hpp"

namespace rfsim {

enum class NtagType : std::uint8_t { ntag213, ntag215, ntag216 };

class NtagCard : public TypeACard {
  public:
    using Page = std::array<std::uint8_t, 4>;

    // A tag as delivered: 7-byte `uid`, password FF FF FF FF, AUTH0 FF (nothing protected).
    NtagCard(Bytes uid, NtagType type);

    NtagType type() const { return type_; }
    int pageCount() const;
    // The pages of the configuration and password (CFG0, CFG1, PWD, PACK follow each other).
    int cfg0Page() const { return pageCount() - 4; }
    int dynamicLockPage() const { return pageCount() - 5; }
    int lastUserPage() const { return pageCount() - 6; }

    // The memory as stored, PWD and PACK included, for tests that set up or inspect a tag (throws
    // std::out_of_range for a page the tag does not have).
    Page page(int number) const;
    void setPage(int number, const Page& data);
    std::uint32_t nfcCounter() const;
    bool authenticated() const;

    std::optional<Bytes> readBlock(int page) override;                           // READ
    bool writeBlock(int page, std::span<const std::uint8_t, 16> data) override;  // COMPATIBILITY_WRITE
    bool writePage(int page, std::span<const std::uint8_t, 4> data) override;    // WRITE
    std::optional<Bytes> fastRead(int firstPage, int lastPage) override;
    std::optional<Bytes> pwdAuth(std::span<const std::uint8_t, 4> password) override;
    std::optional<Bytes> getVersion() override;
    std::optional<Bytes> readCounter(int counter) override;
    std::optional<Bytes> readSignature(int address) override;

  protected:
    void powerOffLocked() override;
    void haltedLocked() override;
    void fieldLostLocked() override;

  private:
    // Callers hold mutex_.
    std::uint8_t auth0Locked() const;
    std::uint8_t accessLocked() const;
    // PROT set, not authenticated, and `page` at or past AUTH0.
    bool readBarredLocked(int page) const;
    bool lockedLocked(int page) const;
    bool writeLocked(int page, std::span<const std::uint8_t, 4> data);
    Page readableLocked(int page) const;
    void countReadLocked();

    const NtagType type_;
    std::vector<Page> memory_;
    bool authenticated_ = false;
    int failedAuths_ = 0;  // kept in EEPROM: power does not reset it
    std::uint32_t counter_ = 0;
    bool counted_ = false;  // a READ or FAST_READ was counted since power-up
};

std::shared_ptr<NtagCard> makeNtag(Bytes uid, NtagType type);

}  // namespace rfsim
