#pragma once
// Chinese texts of card status words, for clients to show. A status word value carries SW1 in its
// low byte and SW2 in its high byte (9000 is 0x0090).

#include <cstdint>
#include <string>

std::string swText(std::uint16_t sw);
