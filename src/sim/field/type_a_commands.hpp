#pragma once
// The ISO 14443-A and Mifare Classic commands of the three reader families, installed into a
// reader's firmware and working on a virtual field:
//   VA (types 2, 4, 6): 0x12 request, 0x13 anticollision, 0x14 select, 0x11 halt, 0x17 authenticate,
//       0x18 read, 0x19 write; WUPA is 0x2D (field reset) followed by 0x12.
//   VC (types 3, 5): 0x46 request, 0x47 anticollision over all cascade levels, 0x48 select, 0x29 halt,
//       0x53 activate with RATS, 0x6B deselect, 0x54 APDU exchange, 0x4A authenticate, 0x4B read,
//       0x4C write; for page tags 0x88 fast read, 0x8A password, 0x87 version, 0x89 counter, 0x8B
//       signature (the read and write commands serve page tags as READ and COMPATIBILITY_WRITE).
//   VD (type 1): 0x41 request, 0x42/0x43 anticollision/select of cascade level 1, 0x46/0x47 of levels
//       2 and 3, 0x45 halt, 0x5A RATS, 0x5B APDU exchange, 0x5C deselect, 0x5F authenticate,
//       0x61 read, 0x60 write.

#include <memory>

#include "sim/field/type_a_front_end.hpp"
#include "sim/field/virtual_field.hpp"
#include "sim/firmware/virtual_reader.hpp"

namespace rfsim {

// False for a firmware of no known family (nothing is installed then).
bool attachField(Firmware& firmware, std::shared_ptr<VirtualField> field);
bool attachField(VirtualReader& reader, std::shared_ptr<VirtualField> field);

// Installs `body(frontEnd, request)` -> Reply as the firmware's handler of `command`; the handler
// keeps the front end alive.
template <typename Body>
void installCommand(Firmware& firmware, std::uint8_t command, const std::shared_ptr<TypeAFrontEnd>& frontEnd,
                    Body body) {
    firmware.setCommand(command, [frontEnd, body](const Request& request) -> std::optional<Reply> {
        return body(*frontEnd, request);
    });
}

inline Reply badParameter() {
    return Reply{kStatusBadParameter, {}};
}

// Mifare commands with the data layout the VA and VC families share: 60 (Key A) or 61 (Key B), the
// block and the 6 key bytes; the block; the block and its 16 bytes.
Reply mifareAuthenticate(TypeAFrontEnd& frontEnd, const Request& request);
Reply mifareRead(TypeAFrontEnd& frontEnd, const Request& request);
Reply mifareWrite(TypeAFrontEnd& frontEnd, const Request& request);

// One family's table each (used by attachField).
void installVaTypeA(Firmware& firmware, std::shared_ptr<TypeAFrontEnd> frontEnd);
void installVcTypeA(Firmware& firmware, std::shared_ptr<TypeAFrontEnd> frontEnd);
// The VC family's page tag commands (part of installVcTypeA).
void installVcPageTag(Firmware& firmware, const std::shared_ptr<TypeAFrontEnd>& frontEnd);
void installVdTypeA(Firmware& firmware, std::shared_ptr<TypeAFrontEnd> frontEnd);

}  // namespace rfsim
