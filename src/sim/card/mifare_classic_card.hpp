#pragma once
// Mifare Classic 1K and 4K cards (NXP MF1S50yyX, MF1S70yyX). The reader's firmware runs the
// Crypto1 authentication, so the card model checks the key the firmware was given against the
// sector trailer and then applies the trailer's access conditions to every block read and write.
// Volatile state (authentication) is lost on power-off; the memory is not.

#include <array>
#include <memory>

#include "sim/card/type_a_card.hpp"

namespace rfsim {

enum class MifareSize : std::uint8_t { classic1K, classic4K };

class MifareClassicCard : public TypeACard {
  public:
    using Block = std::array<std::uint8_t, 16>;
    using Key = std::array<std::uint8_t, 6>;

    // A card as it leaves the factory: ATQA and SAK of NXP's cards for the size and UID length,
    // the manufacturer block, zero data blocks and transport-configuration trailers.
    MifareClassicCard(Bytes uid, MifareSize size);

    MifareSize size() const { return size_; }
    int blockCount() const { return static_cast<int>(memory_.size()); }

    // The memory as stored, past keys and access conditions, for tests that set up or inspect a
    // card (throws std::out_of_range for a block the card does not have).
    Block block(int number) const;
    void setBlock(int number, const Block& data);
    // Writes a sector trailer from its three fields; `access` is bytes 6 to 9.
    void setTrailer(int sector, const Key& keyA, const std::array<std::uint8_t, 4>& access, const Key& keyB);

    bool authenticate(int block, bool keyB, std::span<const std::uint8_t, 6> key) override;
    std::optional<Bytes> readBlock(int block) override;
    bool writeBlock(int block, std::span<const std::uint8_t, 16> data) override;

  protected:
    void powerOffLocked() override;

  private:
    // The access conditions of the authenticated sector that apply to `block`, nullopt when the
    // block is outside it or the card must refuse the access altogether.
    struct Grant {
        std::uint8_t condition;
        std::uint8_t keyMask;
    };
    std::optional<Grant> grantLocked(int block) const;
    static bool writeTrailerFields(Block& trailer, std::span<const std::uint8_t, 16> data, Grant grant);

    const MifareSize size_;
    std::vector<Block> memory_;
    int authSector_ = -1;
    bool authKeyB_ = false;
};

// Factory keys, FF FF FF FF FF FF, and the transport access bytes FF 07 80 69.
inline constexpr MifareClassicCard::Key kFactoryKey{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
inline constexpr std::array<std::uint8_t, 4> kTransportAccess{0xFF, 0x07, 0x80, 0x69};

std::shared_ptr<MifareClassicCard> makeMifare1K(Bytes uid);
std::shared_ptr<MifareClassicCard> makeMifare4K(Bytes uid);

}  // namespace rfsim
