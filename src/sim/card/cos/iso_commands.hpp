#pragma once
// Handlers of the ISO/IEC 7816-4 commands, one file per group:
//   select_command.cpp    SELECT (A4)
//   auth_commands.cpp     GET CHALLENGE (84), VERIFY (20), EXTERNAL (82) and INTERNAL (88)
//                         AUTHENTICATE
//   binary_commands.cpp   READ BINARY (B0), UPDATE BINARY (D6)
//   record_commands.cpp   READ RECORD (B2), UPDATE RECORD (DC), APPEND RECORD (E2)

#include <variant>

#include "sim/card/cos/cos_card.hpp"
#include "sim/card/cos/status_words.hpp"

namespace rfsim::cos {

CosResponse selectFile(CosState& state, const CosRequest& request);

CosResponse getChallenge(CosState& state, const CosRequest& request);
CosResponse verify(CosState& state, const CosRequest& request);
CosResponse externalAuthenticate(CosState& state, const CosRequest& request);
CosResponse internalAuthenticate(CosState& state, const CosRequest& request);

CosResponse readBinary(CosState& state, const CosRequest& request);
CosResponse updateBinary(CosState& state, const CosRequest& request);

CosResponse readRecord(CosState& state, const CosRequest& request);
CosResponse updateRecord(CosState& state, const CosRequest& request);
CosResponse appendRecord(CosState& state, const CosRequest& request);

// Shared by the file commands.
bool accessGranted(const SecurityState& security, Access access, std::uint8_t right = 0xF0);
// The EF an SFI names in the current DF (it becomes the current EF), or the current EF for SFI 0.
// 6A82 when the current DF has no such SFI, 6986 without a current EF, 6A86 for SFI 31 (RFU).
std::variant<ElementaryFile*, std::uint16_t> fileBySfi(CosState& state, std::uint8_t sfi);
// The read or update checks of an EF: its access condition (6982) and the secure messaging it
// insists on (6982 for a plain command to a `mac` or `encipher` EF).
std::uint16_t checkAccess(const CosState& state, const CosRequest& request, const ElementaryFile& file,
                          bool update);

}  // namespace rfsim::cos
