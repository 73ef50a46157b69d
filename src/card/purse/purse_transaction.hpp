#pragma once
// The two-step transactions of the electronic deposit (ED) and electronic purse (EP), by the
// transaction type byte that the MACs and the TAC also cover.
//
//   type  step one (80 50 P1 P2)           step two                          balance
//    1    INITIALIZE FOR LOAD, ED 00 01     CREDIT FOR LOAD 80 52 00 00       old + money
//    2    INITIALIZE FOR LOAD, EP 00 02     CREDIT FOR LOAD 80 52 00 00       old + money
//    3    INITIALIZE FOR UNLOAD 05 01       DEBIT FOR UNLOAD 80 54 03 00      old - money
//    4    INITIALIZE FOR CASH WITHDRAW 02 01  DEBIT 80 54 01 00                 old - money
//    5    INITIALIZE FOR PURCHASE 01 01     DEBIT 80 54 01 00                 old - money
//    6    INITIALIZE FOR PURCHASE 01 02     DEBIT 80 54 01 00                 old - money
//    7    INITIALIZE FOR UPDATE 04 01       UPDATE OVERDRAW LIMIT 80 58 00 00  old + new limit - old limit
//    9    INITIALIZE FOR CAPP PURCHASE 03 02  DEBIT 80 54 01 00                 old - money
//   10    INITIALIZE FOR CAPP PURCHASE 03 01  DEBIT 80 54 01 00                 old - money

#include <cstdint>
#include <optional>

namespace Orvane {

enum class PurseFlow : std::uint8_t {
    load,    // online, MAC1 checked, the card answers a TAC
    unload,  // online, MAC1 checked, the card answers a MAC
    debit,   // offline: purchase, cash withdrawal, compound purchase
    limit,   // online overdraw-limit update
};

struct PurseTransaction {
    PurseFlow flow;
    std::uint8_t p1;  // of INITIALIZE
    std::uint8_t p2;
};

// The transaction of a type; nullopt for 8 and every value outside the table.
inline std::optional<PurseTransaction> purseTransaction(std::uint32_t type) {
    switch (type) {
        case 1:
            return PurseTransaction{PurseFlow::load, 0x00, 0x01};
        case 2:
            return PurseTransaction{PurseFlow::load, 0x00, 0x02};
        case 3:
            return PurseTransaction{PurseFlow::unload, 0x05, 0x01};
        case 4:
            return PurseTransaction{PurseFlow::debit, 0x02, 0x01};
        case 5:
            return PurseTransaction{PurseFlow::debit, 0x01, 0x01};
        case 6:
            return PurseTransaction{PurseFlow::debit, 0x01, 0x02};
        case 7:
            return PurseTransaction{PurseFlow::limit, 0x04, 0x01};
        case 9:
            return PurseTransaction{PurseFlow::debit, 0x03, 0x02};
        case 10:
            return PurseTransaction{PurseFlow::debit, 0x03, 0x01};
        default:
            return std::nullopt;
    }
}

}  // namespace Orvane
