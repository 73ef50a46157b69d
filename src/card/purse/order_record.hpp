#pragma once
// The record of one two-step e-purse transaction: what the terminal sends, what the card reported
// in step one, and what step one computed for step two. The client keeps it between the steps.

#include <array>
#include <cstdint>

namespace Orvane {

struct OrderRecord {
    std::array<std::uint8_t, 6> number{};   // terminal number
    std::uint32_t money = 0;                // amount; for a limit update the new overdraw limit
    std::uint32_t times = 0;                // Unix time of the transaction; 0: now
    std::uint8_t type = 0;                  // transaction type (see purse_transaction.hpp)
    std::uint32_t oldBalance = 0;           // as the card reported it
    std::int64_t newBalance = 0;            // after the transaction
    std::uint16_t seq = 0;                  // the card's transaction counter plus 1
    std::uint8_t keyVer = 0;                // key version reported by the card
    std::uint8_t keyFlag = 0;               // algorithm identifier reported by the card
    std::array<std::uint8_t, 7> bcdTime{};  // CC YY MM DD hh mm ss, local time of `times`
    std::uint8_t tmpAlg = 0;                // session key algorithm: always 2 (DES family)
    std::array<std::uint8_t, 16> tmpKey{};  // session key
    std::uint8_t tmpKeyLen = 0;
    std::uint32_t limit = 0;  // overdraw limit reported by the card
    // MAC values, each its 4 bytes m0 m1 m2 m3 read as m0 + 256 m1 + 65536 m2 + 16777216 m3.
    std::uint32_t tac = 0;        // TAC expected from the card, computed in step one
    std::uint32_t mac = 0;        // MAC computed in step one
    std::uint32_t commitTac = 0;  // TAC the card returned in step two
    std::uint32_t commitMac = 0;  // MAC the card returned in step two
};

}  // namespace Orvane
