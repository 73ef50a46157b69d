#pragma once
// Bringing a VB reader behind a raw-driven CH340 bridge to a working rate: bridge and reader UART
// have to be moved together, and the reader only hears a rate change at the rate it runs at.

#include <cstdint>

namespace Orvane {

class VBReaderCH340;

// True when bridge and reader both run at `baud` (one of the reader's own rates) afterwards.
bool setUpCh340Rate(VBReaderCH340& reader, std::uint32_t baud);

}  // namespace Orvane
