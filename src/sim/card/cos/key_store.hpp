#pragma once
// The keys and PINs of one DF, each found by what it is used for and its number (the P2 of
// EXTERNAL AUTHENTICATE, INTERNAL AUTHENTICATE and VERIFY). Keys and PINs that a host proves knowing
// carry a retry counter: each failure takes one try, a success gives them all back, none left
// blocks the entry (ISO/IEC 7816-4 §7.5.6: "63Cx", then "6983 authentication method blocked").

#include <cstdint>
#include <optional>
#include <vector>

#include "sim/card/cos/apdu.hpp"

namespace rfsim::cos {

enum class KeyUsage : std::uint8_t {
    externalAuth,     // the host proves it knows the key (EXTERNAL AUTHENTICATE)
    internalAuth,     // the card proves it knows the key (INTERNAL AUTHENTICATE)
    secureMessaging,  // command and response MACs, enciphered file data
    pin,              // VERIFY; the value is the PIN as sent (packed digits)
    // The keys of a PBOC electronic deposit / purse application (purse_commands.hpp), found by
    // their key index; the DF's secure-messaging key is its application maintenance key.
    load,            // DLK: session keys of loads
    purchase,        // DPK: session keys of purchases, cash withdrawals and compound purchases
    unload,          // DULK: session keys of unloads
    overdrawUpdate,  // DUK: session keys of overdraw limit updates
    tac,             // DTK: transaction authorisation codes
    pinReload,       // DRPK: the MAC of RELOAD PIN
    pinUnblock,      // DPUK: the cryptogram and MAC of PIN UNBLOCK
};

struct CosKey {
    KeyUsage usage = KeyUsage::externalAuth;
    std::uint8_t id = 0;
    Bytes value;
    int maxTries = 0;  // 0: no retry counter (internal and secure-messaging keys)
    int triesLeft = 0;
    // Written by WRITE KEY: the key type byte as written (b8 changing it needs a MAC, b7 its new
    // value enciphered), the right to use it, and the security level a success with it reaches.
    std::uint8_t type = 0;
    std::uint8_t useRight = 0xF0;
    std::uint8_t changeRight = 0xF0;
    std::optional<std::uint8_t> nextLevel = std::nullopt;
    // Purse keys: the version and algorithm identifier INITIALIZE commands announce.
    std::uint8_t version = 0;
    std::uint8_t algorithm = 0;

    bool blocked() const { return maxTries > 0 && triesLeft == 0; }
    // One more failure; the tries left after it.
    int fail();
    void succeed() { triesLeft = maxTries; }
};

class KeyStore {
  public:
    // Adds or replaces the entry of the same usage and number (what a WRITE KEY will do).
    void put(CosKey key);
    CosKey* find(KeyUsage usage, std::uint8_t id);
    // The first key of a usage, whatever its number (the DF's secure-messaging key).
    CosKey* first(KeyUsage usage);

  private:
    std::vector<CosKey> keys_;
};

}  // namespace rfsim::cos
