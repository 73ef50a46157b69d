#pragma once
// One key for a CPU card's cryptography, with the secure-messaging flags that go with it. The key
// value is either here (`key`, `keyLen` bytes) or held by the client: then `provider` is set and
// every encryption, decryption and MAC with this key is asked of it instead of done here.

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace Orvane::cos_7816 {

// Operations a key is used for, as the key provider numbers them.
enum KeyOp : std::uint8_t {
    kEncrypt = 0,  // ECB; the caller pads
    kDecrypt = 1,  // ECB
    kMac = 2,      // ISO/IEC 9797-1 MAC with padding method 2; the data becomes the 8-byte block
    kTacMac = 3,   // as kMac with a single-DES key: the two halves of a 16-byte key XORed
};

// Key algorithm codes as clients give them.
enum KeyAlg : std::uint8_t {
    kPinDigits = 1,
    kDesFamily = 2,  // 8, 16 or 24 bytes: DES, two-key or three-key triple DES
};

struct _KeyData;

// (operation, 8-byte IV or nullptr, the key, data in place) -> status word value (SW1 in the low
// byte; 0x0090 = success, 0xFFFF = provider unreachable or silent).
using KeyProvider = std::function<std::uint16_t(std::uint8_t op, const std::uint8_t* iv, const _KeyData& key,
                                                std::vector<std::uint8_t>& data)>;

struct _KeyData {
    KeyProvider provider;
    std::uint8_t alg = 0;
    std::uint8_t keyLen = 0;
    std::array<std::uint8_t, 16> key{};
    bool enc = false;  // secure messaging enciphers command data and deciphers response data
    bool mac = false;  // secure messaging adds a command MAC and checks the response MAC

    // No key and no secure messaging.
    void clear() { *this = _KeyData{}; }
};

}  // namespace Orvane::cos_7816
