#pragma once
// The symmetric cipher engine: block ciphers of OpenSSL's EVP interface and the own TEA family
// behind one set of calls, chosen by algorithm code (cipher_table.hpp).
//
// One operation is start, any number of update, then finish. update writes into `out` as if `out`
// held the operation's whole output from position 0: it is resized to the bytes fed so far and the
// new output lands after what was produced before. Own algorithms (TEA, XTEA, XXTEA) have no
// padding and work in place: bytes short of a whole block are held back in `out` until the next
// update, and finish fails while any are held. Every failure answers false and leaves `out` sized
// to what was produced; a failed operation has to be started again.

#include <openssl/evp.h>

#include <array>
#include <cstdint>

#include "crypto/buffer.hpp"
#include "crypto/tea.hpp"

namespace Orvane {

class Cipher {
  public:
    static constexpr std::uint32_t kMaxKeyLength = 64;
    static constexpr std::uint32_t kMaxIvLength = 16;

    Cipher() = default;
    virtual ~Cipher();
    Cipher(const Cipher&) = delete;
    Cipher& operator=(const Cipher&) = delete;

    // Chooses the algorithm; tagLen is the tag length of the AEAD modes (GCM, CCM). Switching
    // algorithms reuses the OpenSSL context. False for an unknown code or a cipher that the loaded
    // providers do not offer; then no algorithm is chosen.
    bool setAlgorithm(std::uint8_t algorithm, std::uint32_t tagLen);
    // Copies the key (at most 64 bytes, else false and nothing changes). The key length follows len
    // only while no algorithm is chosen; a chosen algorithm keeps its own key length, and key bytes
    // short of it are zero.
    bool setKey(const void* bytes, std::uint32_t len);
    // Copies the IV (at most 16 bytes). len becomes the IV length of the AEAD modes; the IV length
    // of the other modes follows len only while no algorithm is chosen.
    bool setIv(const void* bytes, std::uint32_t len);

    // Begins an operation. When decrypting in an AEAD mode, tag is the expected tag. CCM needs the
    // message length up front in totalLen.
    bool start(bool encrypt, const void* tag = nullptr, std::uint32_t tagLen = 0, std::uint32_t totalLen = 0);
    // Additional authenticated data of an AEAD mode; false in the other modes.
    bool aad(const void* bytes, std::uint32_t len);
    // Processes len bytes. The input may lie anywhere, inside `out` too.
    bool update(const void* input, std::uint32_t len, IBuffer& out);
    // Ends the operation. When encrypting in an AEAD mode with a tag length above 0, the tag is
    // appended to *tagOut. A tag that does not verify on decryption wipes the plaintext produced
    // and leaves `out` empty: unauthenticated bytes are never handed on.
    bool finish(IBuffer& out, IBuffer* tagOut = nullptr);
    // start(decrypt, tag, size) + aad (AEAD only) + update over the buffer itself + finish.
    bool decryptInPlace(IBuffer& data, const void* aadBytes = nullptr, std::uint32_t aadLen = 0,
                        const void* tag = nullptr, std::uint32_t tagLen = 0);

    std::uint8_t algorithm() const { return algorithm_; }
    std::uint8_t mode() const { return mode_; }
    bool aead() const { return aead_; }
    std::uint32_t keyLength() const { return keyLen_; }
    std::uint32_t ivLength() const { return ivLen_; }
    std::uint32_t blockSize() const { return blockSize_; }
    std::uint32_t tagLength() const { return tagLen_; }

    // Cycles of TEA and XTEA (32 is the published cipher); rounds of XXTEA, where 0 or less takes
    // the published 6 + 52 / words.
    int rounds = 64;

  private:
    bool setOwnAlgorithm(std::uint8_t algorithm);
    bool startEvp(bool encrypt, const void* tag, std::uint32_t tagLen, std::uint32_t totalLen);
    bool runOwn(std::uint8_t* data, std::uint32_t len);
    bool fail(IBuffer& out);

    EVP_CIPHER_CTX* ctx_ = nullptr;
    std::uint8_t algorithm_ = 0;
    std::uint32_t fed_ = 0;
    std::uint32_t produced_ = 0;
    std::uint32_t held_ = 0;
    bool aead_ = false;
    std::uint8_t mode_ = 0;
    bool encrypt_ = false;
    bool started_ = false;
    std::array<std::uint8_t, kMaxKeyLength> key_{};
    std::array<std::uint8_t, kMaxIvLength> iv_{};
    std::uint32_t ivLen_ = 0;
    std::uint32_t aeadIvLen_ = 0;
    std::uint32_t tagLen_ = 0;
    std::uint32_t keyLen_ = 0;
    std::uint32_t blockSize_ = 0;
    bool own_ = false;
    tea::Block chain_{};
    tea::Key teaKey_{};
};

}  // namespace Orvane
