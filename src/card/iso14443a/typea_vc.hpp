#pragma once
// ISO 14443-A steps as commands of a VC-family reader. The reader resolves the cascade itself and
// reports whole UIDs:
//   0x46 request (data 26 REQA, 52 WUPA)   0x47 anticollision (data 04)   0x48 select (data UID)
//   0x29 halt   0x53 activate (WUPA to ATS in one command)   0x54 ISO 14443-4 exchange   0x6B deselect

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
    // 0x53: the level-1 bytes and the ATS after them; nullopt when it fails or is too short.
    std::optional<std::array<std::uint8_t, 4>> activateAny(Orvane::IBuffer* ats, bool& exchanged);

    Orvane::IVCTsmReader& reader_;
};

}  // namespace typea
