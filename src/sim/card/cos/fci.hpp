#pragma once
// The FCI a DF answers SELECT with (ISO/IEC 7816-4 §5.3.3, table 10):
//   6F L  84 L DF name  A5 L [88 01 SFI] [9F08 01 version] [BF0C L issuer data]
// 88 is the SFI of the DF's record file; A5 is the proprietary template.

#include "sim/card/cos/files.hpp"

namespace rfsim::cos {

// BER-TLV: a tag of one or two bytes, the length in its short form below 128, 81 xx up to 255.
void appendTlv(Bytes& out, std::uint16_t tag, std::span<const std::uint8_t> value);

Bytes buildFci(const DedicatedFile& df);

}  // namespace rfsim::cos
