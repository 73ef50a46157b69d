#pragma once
// A PBOC 2.0 electronic deposit (ED) / electronic purse (EP) application (JR/T 0025, the ED/EP
// part), in the DF that holds purse files 0001 (ED) and 0002 (EP) and the application's keys
// (WRITE KEY types in fm_commands.cpp). Proprietary class 80; 84 where a MAC comes under this
// card's secure messaging (secure_messaging.hpp). Amounts and balances are 4 bytes, counters 2,
// the overdraw limit 3, the terminal number 6, dates 4 (YYYYMMDD) and times 3 (hhmmss), all BCD or
// big-endian as sent; MAC(K, data) is purseMac (purse_crypto.hpp).
//
// INITIALIZE FOR ...  80 50 P1 P2 Lc data Le
//   P1 P2   transaction               type  Lc  data                          answer
//   00 01   ED load                   01    0B  keyIndex amount terminal      16 bytes (a)
//   00 02   EP load                   02    0B
//   05 01   ED unload                 03    0B                                16 bytes (a)
//   01 01   ED purchase               05    0B                                15 bytes (b)
//   01 02   EP purchase               06    0B
//   02 01   ED cash withdrawal        04    0B
//   03 02   EP compound purchase      09    0B
//   03 01   ED compound purchase      0A    0B
//   04 01   ED overdraw limit update  07    07  keyIndex terminal             19 bytes (c)
//   (a) balance counter(online) keyVersion algId random(4) MAC1, SK = 3DES(DLK or unload key,
//       random || online counter || 80 00), MAC1 = MAC(SK, balance amount type terminal)
//   (b) balance counter(offline) overdrawLimit keyVersion algId random(4); the session key comes at
//       the DEBIT: SK = 3DES(DPK, random || offline counter || last 2 bytes of the terminal's
//       transaction number)
//   (c) balance counter(online) oldLimit keyVersion algId random(4) MAC1, SK from DUK as in (a),
//       MAC1 = MAC(SK, balance oldLimit 07 terminal)
// CREDIT FOR LOAD     80 52 00 00 0B date time MAC2 -> TAC
//   MAC2 = MAC(SK, amount type terminal date time); balance += amount, online counter + 1;
//   TAC = MAC(DTK', newBalance counterUsed amount type terminal date time)
// DEBIT FOR UNLOAD    80 54 03 00 0B date time MAC2 -> MAC3
//   MAC2 as for a load; balance -= amount, online counter + 1;
//   MAC3 = MAC(SK, newBalance counterUsed amount type terminal date time)
// DEBIT FOR PURCHASE / CASH WITHDRAWAL / COMPOUND PURCHASE
//                     80 54 01 00 0F terminalTxn(4) date time MAC1 -> TAC MAC2
//   MAC1 = MAC(SK, amount type terminal date time); balance -= amount, offline counter + 1;
//   MAC2 = MAC(SK, amount); TAC = MAC(DTK', amount type terminal terminalTxn date time); a compound
//   purchase also writes the records its UPDATE CAPP DATA CACHE commands put aside.
// UPDATE OVERDRAW LIMIT 80 58 00 00 0E newLimit(3) date time MAC2 -> TAC
//   MAC2 = MAC(SK, newLimit type terminal date time); balance += newLimit - oldLimit, online
//   counter + 1; TAC = MAC(DTK', newBalance counterUsed newLimit type terminal date time)
// UPDATE CAPP DATA CACHE 80|84 DC record P2(SFI << 3 | 000 or 100) Lc data: between INITIALIZE FOR
//   CAPP PURCHASE and its DEBIT, a whole record of a linear EF of the DF, held back until the DEBIT
//   succeeds; the EF's update rules and secure messaging apply as to UPDATE RECORD.
// GET BALANCE         80 5C 00 P2(01 ED, 02 EP) 04 -> balance
// GET TRANSACTION PROVE 80 5A 00 type 02 counter 08 -> MAC TAC of the purse's last transaction
//   when it had that type and used that counter, else 9406. The MAC: the card's MAC2 of a purchase,
//   its MAC3 of an unload, the host's MAC2 the card accepted for a load or limit update; an unload's
//   TAC is its MAC3 data under DTK'. Each purse keeps its last transaction only.
// CHANGE PIN          80 5E 01 00 Lc oldPin FF newPin
// RELOAD PIN          80 5E 00 00 Lc newPin MAC, MAC = MAC(DRPK', newPin)
// PIN UNBLOCK         84 24 00 00 Lc cryptogram MAC: secure messaging under DPUK, the cryptogram the
//   triple-DES ECB encipherment of  len PIN 80 00..; the PIN must be the current one; its tries
//   come back.
// APPLICATION BLOCK   84 1E 00 P2(00 for now, 01 for good) 04 MAC
// APPLICATION UNBLOCK 84 18 00 00 04 MAC
// CARD BLOCK          84 16 00 00 04 MAC
//   MACs under the DF's secure-messaging key, its application maintenance key (DAMK).
// DTK' and DRPK' are the single-DES keys folded from the 16-byte keys (foldKey).
//
// Where the rules leave room, this card:
//   - asks for a VERIFY of the DF's PIN 00 before every ED command that moves or shows money (load,
//     unload, purchase, cash withdrawal, compound purchase, limit update, GET BALANCE) and before an
//     EP load; EP purchases and EP balances go without (6982 otherwise);
//   - refuses at INITIALIZE what the completion could not do: an amount above the balance (9401; the
//     ED balance includes the overdraw credit), a load past FFFFFFFF (6985), a counter at FFFF
//     (9402), a key index it does not hold (9403), a DF without a TAC key (6A88);
//   - makes a limit update that would leave the balance below zero fail with 9401 after MAC2;
//   - takes the session with the completing command whatever it answers: a wrong MAC2 (9302) or a
//     malformed completion changes nothing and needs a new INITIALIZE; a completion of another kind,
//     or without an INITIALIZE, is 6985;
//   - lets GET CHALLENGE and UPDATE CAPP DATA CACHE, and nothing else, pass between an INITIALIZE
//     FOR CAPP PURCHASE and its DEBIT;
//   - answers 6A81 in an application blocked for now and 9303 in one blocked for good (SELECT
//     answers 6283 with the FCI and 6A81); after CARD BLOCK every command is answered 6A81;
//   - answers CHANGE PIN's wrong old PIN with 63Cx like VERIFY, PIN UNBLOCK's wrong PIN with 6A80,
//     RELOAD PIN's wrong MAC with 9302 and the 84 commands' wrong MAC with 6988 (secure messaging).

#include <variant>

#include "sim/card/cos/cos_card.hpp"
#include "sim/card/cos/purse_crypto.hpp"
#include "sim/card/cos/status_words.hpp"

namespace rfsim::cos {

inline constexpr std::uint16_t kEdFid = 0x0001;
inline constexpr std::uint16_t kEpFid = 0x0002;

CosResponse initializeTransaction(CosState& state, const CosRequest& request);
CosResponse creditForLoad(CosState& state, const CosRequest& request);
CosResponse debit(CosState& state, const CosRequest& request);
CosResponse updateOverdrawLimit(CosState& state, const CosRequest& request);
CosResponse updateCappDataCache(CosState& state, const CosRequest& request);
CosResponse getBalance(CosState& state, const CosRequest& request);
CosResponse getTransactionProve(CosState& state, const CosRequest& request);
CosResponse changeOrReloadPin(CosState& state, const CosRequest& request);
CosResponse pinUnblock(CosState& state, const CosRequest& request);
CosResponse applicationBlock(CosState& state, const CosRequest& request);
CosResponse applicationUnblock(CosState& state, const CosRequest& request);
CosResponse cardBlock(CosState& state, const CosRequest& request);

// Shared by the purse commands (purse_application.cpp).
// 0 when the current DF's application may run purse commands, else 6A81 (blocked for now) or 9303.
std::uint16_t applicationRefusal(const CosState& state);
// The purse file of that FID in the current DF, or null.
PurseEf* purseIn(const CosState& state, std::uint16_t fid);
// The purse P2 names (01 ED, 02 EP), or the status word refusing it (6A86, 6A82 when missing).
std::variant<PurseEf*, std::uint16_t> pursePicked(const CosState& state, std::uint8_t p2);
// Whether the transaction needs the PIN verified first (see above).
bool needsPin(std::uint8_t type);
// Keeps what GET TRANSACTION PROVE gives back for this transaction.
void keepProof(PurseEf& purse, std::uint8_t type, std::uint16_t counter, const Mac4& mac, const Mac4& tac);

}  // namespace rfsim::cos
