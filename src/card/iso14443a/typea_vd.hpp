#pragma once
// ISO 14443-A steps as commands of a VD-family reader (reader/frame/vd_opcodes.hpp). The program
// runs the cascade itself.

#include <cstdint>
#include <optional>
#include <span>

#include "card/iso14443a/cascade.hpp"
#include "crypto/buffer.hpp"
#include "reader/frame/ivd_reader.hpp"

namespace typea {

class VdTypeA {
  public:
    static constexpr bool kActivates = true;

    explicit VdTypeA(Orvane::IVDReader& reader) : reader_(reader) {}

    // ATQA of the cards that answered REQA (or WUPA when `wake`).
    std::optional<std::uint16_t> request(bool wake);
    // Anticollision and select through every cascade level the ATQA and the UID call for.
    bool anticollision(Orvane::TypeACardInfo& info);
    bool halt();
    // RATS on the selected card.
    bool activate(Orvane::TypeACardInfo& info, Orvane::IBuffer* ats, TypeAState& state);
    // Wake-up and select of a known UID, level by level, without anticollision.
    bool selectKnown(const CascadeImage& image, bool activate, Orvane::IBuffer* ats, TypeAState& state);
    bool rawExchange(std::span<const std::uint8_t> request, Orvane::IBuffer& response);
    bool deselect();

  private:
    // Anticollision and select at level 2 or 3; the four UID bytes go to info.uid[at..].
    bool higherLevel(std::uint8_t sel, Orvane::TypeACardInfo& info, int at);
    bool rats(Orvane::IBuffer* ats, TypeAState& state);

    Orvane::IVDReader& reader_;
};

}  // namespace typea
