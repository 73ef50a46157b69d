#pragma once
// ISO 14443-A steps as commands of a VA-family reader (reader/frame/va_opcodes.hpp). The reader
// reports four UID bytes (level 1) and cannot take a card into ISO 14443-4.

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "card/iso14443a/cascade.hpp"
#include "crypto/buffer.hpp"
#include "reader/frame/iva_reader.hpp"

namespace typea {

class VaTypeA {
  public:
    static constexpr bool kActivates = false;

    explicit VaTypeA(Orvane::IVAReader& reader) : reader_(reader) {}

    // A wake-up is an RF reset (every card powers up idle) followed by a request.
    std::optional<std::uint16_t> request(bool wake);
    bool anticollision(Orvane::TypeACardInfo& info);
    bool halt();
    bool activate(Orvane::TypeACardInfo&, Orvane::IBuffer*, TypeAState&) { return false; }
    // Selects the card only if anticollision finds the image's level-1 bytes.
    bool selectKnown(const CascadeImage& image, bool activate, Orvane::IBuffer* ats, TypeAState& state);
    bool rawExchange(std::span<const std::uint8_t>, Orvane::IBuffer&) { return false; }
    bool deselect() { return true; }

    // Request, anticollision and select again, succeeding only for the card with these level-1
    // bytes: after a Mifare authentication the reader needs the card selected anew.
    bool reactivate(const std::array<std::uint8_t, 4>& cl1Uid);

  private:
    // Anticollision: the level-1 bytes, nullopt on failure.
    std::optional<std::array<std::uint8_t, 4>> levelOne();

    Orvane::IVAReader& reader_;
};

}  // namespace typea
