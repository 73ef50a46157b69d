#pragma once
// Secure messaging as this card does it (CLA b3 = 1, 0x04: ISO/IEC 7816-4 §5.1.1 "proprietary
// secure messaging"), with a secure-messaging key K of the current DF (16 bytes: two-key triple
// DES): the one the target EF names for reading or updating, else the DF's first:
//
// Command  CLA|04 INS P1 P2 Lc' [data'] MAC4 [Le]    Lc' counts data' and the MAC.
//   MAC4 = first 4 bytes of desMac(K, IV = last challenge, CLA|04 INS P1 P2 Lc' data'), the
//   ISO/IEC 9797-1 MAC algorithm 3 with padding method 2 (des.hpp).
//   data' is the plain command data, or, on an EF whose SmMode is `encipher`, the triple-DES ECB
//   encipherment of  Lc data 80 00..  (length byte, data, padding method 2).
// Response [data'] MAC4 SW1 SW2
//   data' is the plain response data, or on an `encipher` EF the encipherment of N data 80 00..;
//   MAC4 = first 4 bytes of desMac(K, IV = the same challenge, data').
//
// The card decides per EF whether data is enciphered (AccessRules::sm); the CLA only says that a
// MAC is there, so an enciphered command without a MAC is not accepted. A response that carries no
// data (an update) or a status other than 9000 goes out as the bare status word, without a MAC.
// Each secure-messaging command uses up the challenge: the host asks for a new one every time.

#include <functional>
#include <optional>
#include <variant>

#include "sim/card/cos/apdu.hpp"
#include "sim/card/cos/cos_state.hpp"

namespace rfsim::cos {

// A command with its secure-messaging wrapping removed.
struct CosRequest {
    CommandApdu apdu;            // data without the MAC
    std::optional<Block> smIv;   // set when the command came under secure messaging
    Bytes smKey;                 // the key that checked its MAC: it deciphers the data, MACs the answer
    std::uint8_t smKeyType = 0;  // that key's type byte as WRITE KEY wrote it (0 for built-in keys)
};

// Commands whose MAC is under a key of their own (PIN UNBLOCK: the PIN unblock key) name it.
using SmKeyPicker = std::function<const CosKey*(CosState&, const CommandApdu&)>;

// Checks the MAC of a CLA|04 command and strips it: the status word when the command cannot be
// accepted (6987 no room for a MAC, 6984 no challenge, 6A88 no such secure-messaging key in the
// current DF, 6988 wrong MAC). Takes the challenge in every case. `picker`, when set, names the key.
std::variant<CosRequest, std::uint16_t> unwrapCommand(CosState& state, const CommandApdu& apdu,
                                                      const SmKeyPicker& picker = {});

// The command data for a file: deciphered when the command came under secure messaging to an
// `encipher` EF, as is otherwise; nullopt when the cryptogram does not decipher to length, data
// and padding (the card answers 6A80).
std::optional<Bytes> commandData(CosState& state, const CosRequest& request, const ElementaryFile& file);
// The command data of a secure-messaging command deciphered: Lc data 80 00.. -> data.
std::optional<Bytes> decipherCommandData(const CosRequest& request);

// The response of a command that came under secure messaging.
CosResponse wrapResponse(CosState& state, const CosRequest& request, CosResponse response);

}  // namespace rfsim::cos
