#pragma once
// A purse transaction between its INITIALIZE and the command that completes it (CREDIT FOR LOAD,
// DEBIT FOR PURCHASE / UNLOAD, UPDATE OVERDRAW LIMIT). The completing command uses it up, pass or
// fail; any other command in between cancels it (purse_commands.hpp).

#include <array>
#include <cstdint>
#include <vector>

#include "sim/card/cos/apdu.hpp"
#include "sim/card/cos/des.hpp"

namespace rfsim::cos {

enum class PurseTransaction : std::uint8_t { load, unload, purchase, updateLimit };

// A record UPDATE CAPP DATA CACHE put aside; a successful DEBIT FOR CAPP PURCHASE writes it.
struct CappRecord {
    std::uint8_t sfi = 0;
    std::uint8_t number = 0;
    Bytes data;
};

struct PurseSession {
    PurseTransaction transaction = PurseTransaction::load;
    std::uint8_t type = 0;       // transaction type identifier (01 ED load .. 0A ED compound purchase)
    std::uint16_t purseFid = 0;  // 0001 ED, 0002 EP
    std::uint32_t amount = 0;    // not used by limit updates
    std::array<std::uint8_t, 6> terminal{};
    std::uint16_t counter = 0;  // the counter value the transaction uses
    std::array<std::uint8_t, 4> random{};
    Bytes purchaseKey;   // DPK: purchase session keys need the terminal's number first
    Block sessionKey{};  // loads, unloads and limit updates: known at INITIALIZE
    Bytes tacKey;        // 8 bytes, DTK's halves folded
    std::vector<CappRecord> cache;

    bool compound() const { return type == 0x09 || type == 0x0A; }
};

}  // namespace rfsim::cos
