#pragma once
// A contactless CPU card: ISO/IEC 14443-4 type A (SAK 0x20) with an ATS announcing TA, TB and TC,
// whose APDUs go to a small ISO/IEC 7816-4 operating system (cos/). The COS state lives behind the
// card's lock; tests reach it through withCos.

#include <memory>

#include "sim/card/cos/cos_card.hpp"
#include "sim/card/iso4_card.hpp"

namespace rfsim {

// TL 0D, T0 78 (TA, TB, TC present, FSCI 8: 256-byte frames), TA 77 (DR and DS 2, 4, 8),
// TB 81 (FWI 8, SFGI 1), TC 02 (CID supported, NAD not); historical bytes: COS version 21 (2.1),
// manufacturer code 52, "CPUSIM".
inline constexpr std::array<std::uint8_t, 13> kCpuAts = {0x0D, 0x78, 0x77, 0x81, 0x02, 0x21, 0x52,
                                                         'C',  'P',  'U',  'S',  'I',  'M'};

class CpuCard : public Iso4Card {
  public:
    // A card with the default content (cos/default_content.hpp) unless `cos` is given.
    explicit CpuCard(Bytes uid, std::shared_ptr<cos::CosCard> cos = {});

    // RATS opens a new session: the COS starts over in the MF with no challenge and no rights.
    std::optional<Bytes> rats() override;

    cos::CosFaults faults() const;
    void setFaults(cos::CosFaults faults);

    // Runs `f(CosCard&)` under the card's lock.
    template <typename F>
    auto withCos(F&& f) {
        std::lock_guard lock(mutex_);
        return f(*cos_);
    }

  protected:
    void powerOffLocked() override;

  private:
    CpuCard(Bytes uid, std::shared_ptr<cos::CosCard> cos, int);
    std::shared_ptr<cos::CosCard> cos_;
};

std::shared_ptr<CpuCard> makeCpuCard(Bytes uid);

}  // namespace rfsim
