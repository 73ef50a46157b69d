#pragma once
// Command and response APDUs of the short form (ISO/IEC 7816-3 §12.1.3 and 7816-4 §5.1): one Lc
// byte, one Le byte. Everything here reads from the bytes the reader handed over and never trusts a
// length it has not checked against them.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace rfsim::cos {

using Bytes = std::vector<std::uint8_t>;

struct CommandApdu {
    std::uint8_t cla = 0, ins = 0, p1 = 0, p2 = 0;
    // The Lc bytes; empty for cases 1 and 2.
    std::span<const std::uint8_t> data;
    // Ne, the number of bytes expected: 1 to 256 (Le 00 means 256); absent for cases 1 and 3.
    std::optional<std::size_t> ne;
    // The whole command as received.
    std::span<const std::uint8_t> raw;

    std::uint16_t p1p2() const { return static_cast<std::uint16_t>(p1 << 8 | p2); }
};

// The four short cases of ISO/IEC 7816-3 §12.1.3 told apart by length alone:
//   4 bytes              case 1   CLA INS P1 P2
//   5 bytes              case 2   ... Le
//   5 + Lc bytes         case 3   ... Lc data          (Lc 01..FF)
//   6 + Lc bytes         case 4   ... Lc data Le
// Anything else (shorter than 4, Lc 00 followed by more bytes as in the extended form, a length
// that matches neither case) is nullopt; the card answers 6700 to it.
std::optional<CommandApdu> parseCommand(std::span<const std::uint8_t> apdu);

// What a command handler answers: data and status word; `encipher` asks the secure-messaging layer
// to encipher the data (set by file commands on files that keep their content confidential).
struct CosResponse {
    Bytes data;
    std::uint16_t sw = 0x9000;
    bool encipher = false;

    static CosResponse status(std::uint16_t sw) { return CosResponse{{}, sw, false}; }
};

// Response APDU bytes: data, SW1, SW2.
Bytes toBytes(const CosResponse& response);

}  // namespace rfsim::cos
