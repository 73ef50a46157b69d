#pragma once
// A type A card with ISO/IEC 14443-4 (SAK bit 6, 0x20): RATS opens a layer-4 session and answers
// the ATS; APDUs then go to a handler that stands in for the card's operating system.

#include <functional>
#include <memory>

#include "sim/card/type_a_card.hpp"

namespace rfsim {

class Iso4Card : public TypeACard {
  public:
    // The response APDU, status word included. Runs under the card's lock: it must not call back
    // into the card.
    using ApduHandler = std::function<Bytes(std::span<const std::uint8_t>)>;

    // `ats` starts with its length byte TL. Without a handler every APDU gets 6D 00 (INS not
    // supported).
    Iso4Card(Bytes uid, Bytes ats, ApduHandler handler = {});

    std::optional<Bytes> rats() override;
    std::optional<Bytes> exchangeApdu(std::span<const std::uint8_t> apdu) override;

  private:
    const Bytes ats_;
    const ApduHandler handler_;
};

// ATS 06 75 77 81 02 80: FSCI 5 (64 bytes), TA, TB and TC present, one historical byte.
std::shared_ptr<Iso4Card> makeIso4Card(Bytes uid, Bytes ats = {0x06, 0x75, 0x77, 0x81, 0x02, 0x80},
                                       Iso4Card::ApduHandler handler = {});

}  // namespace rfsim
