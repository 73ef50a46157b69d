#pragma once
// Commands of the VA reader family (types 2, 4, 6), the CMD byte of a VA request. These readers
// know ISO 14443-A only and report four UID bytes; a command without data takes none.

#include <cstdint>

namespace Orvane::va {

// --- reader level
// Answers with the product text.
inline constexpr std::uint8_t kIdentify = 0x10;
// Data: one byte, the UART rate code (va_frame::baudCode); the reader answers at its old rate,
// then switches.
inline constexpr std::uint8_t kSetBaud = 0x1C;
// Data: one byte, the beep length (milliseconds on the CH340 types, about 3 ms units on HID).
inline constexpr std::uint8_t kBeep = 0x1B;
// Switches the field off and on again: every card powers up idle. Not every firmware answers it.
inline constexpr std::uint8_t kRfReset = 0x2D;

// --- ISO 14443-A
// REQA to the cards in the field; replies with the ATQA (two bytes, low byte first).
inline constexpr std::uint8_t kRequest = 0x12;
// Level-1 anticollision; replies with the four UID bytes the reader resolved.
inline constexpr std::uint8_t kAnticollision = 0x13;
// Selects the card found by the last anticollision; a two-byte reply starts with the SAK.
inline constexpr std::uint8_t kSelect = 0x14;
inline constexpr std::uint8_t kHalt = 0x11;

// --- Mifare Classic on the selected card
// Data: 60 (Key A) or 61 (Key B), the block, the six key bytes.
inline constexpr std::uint8_t kMifareAuthenticate = 0x17;
// Data: the block; replies with its 16 bytes.
inline constexpr std::uint8_t kMifareRead = 0x18;
// Data: the block, then its 16 bytes.
inline constexpr std::uint8_t kMifareWrite = 0x19;

}  // namespace Orvane::va
