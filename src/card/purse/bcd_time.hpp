#pragma once
// Transaction date and time as e-purse commands carry them: seven BCD bytes CC YY MM DD hh mm ss of
// local time, the first four the date, the last three the time.

#include <array>
#include <cstdint>

namespace Orvane {

// `times` itself, or the current Unix time when it is 0.
std::uint32_t transactionTime(std::uint32_t times);

// The local date and time of a Unix time in BCD.
std::array<std::uint8_t, 7> bcdLocalTime(std::uint32_t times);

}  // namespace Orvane
