#pragma once
// ISO 14443-A steps as commands of a VC-family reader (reader/frame/vc_opcodes.hpp). The reader
// resolves the cascade itself and reports whole UIDs.

#include <cstdint>
#include <optional>
#include <span>

#include "card/iso14443a/cascade.hpp"
#include "crypto/buffer.hpp"
#include "reader/frame/ivc_tsm_reader.hpp"

namespace typea {

class VcTypeA {
  public:
    static constexpr bool kActivates = true;

    explicit VcTypeA(Orvane::IVCTsmReader& reader) : reader_(reader) {}

    std::optional<std::uint16_t> request(bool wake);
    // True as soon as the reader reported a UID; a failed select leaves the SAK as it was.
    bool anticollision(Orvane::TypeACardInfo& info);
    bool halt();
    // Activation of whichever card answers; its four level-1 bytes replace the record's UID.
    bool activate(Orvane::TypeACardInfo& info, Orvane::IBuffer* ats, TypeAState& state);
    bool selectKnown(const CascadeImage& image, bool activate, Orvane::IBuffer* ats, TypeAState& state);
    bool rawExchange(std::span<const std::uint8_t> request, Orvane::IBuffer& response);
    bool deselect();

  private:
    // Anticollision: the UID the reader reports (1 to 10 bytes), empty on failure.
    std::span<const std::uint8_t> reportedUid();
    // Activation: the level-1 bytes and the ATS after them; nullopt when it fails or is too short.
    std::optional<std::array<std::uint8_t, 4>> activateAny(Orvane::IBuffer* ats, bool& exchanged);

    Orvane::IVCTsmReader& reader_;
};

}  // namespace typea
