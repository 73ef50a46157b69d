#include "crypto/cipher.hpp"

#include <openssl/crypto.h>

#include <climits>
#include <cstring>
#include <span>

#include "crypto/cipher_table.hpp"

namespace Orvane {

Cipher::~Cipher() {
    EVP_CIPHER_CTX_free(ctx_);
    OPENSSL_cleanse(key_.data(), key_.size());
}

bool Cipher::setAlgorithm(std::uint8_t algorithm, std::uint32_t tagLen) {
    started_ = false;
    algorithm_ = 0;
    if (ownAlgorithm(algorithm) != OwnAlgorithm::kNone) return setOwnAlgorithm(algorithm);

    own_ = false;
    if (!ctx_ && !(ctx_ = EVP_CIPHER_CTX_new())) return false;
    if (!EVP_CIPHER_CTX_reset(ctx_)) return false;
    const EVP_CIPHER* cipher = evpCipher(algorithm);
    if (!cipher) return false;
    mode_ = modeOf(cipher);
    aead_ = mode_ == kModeGcm || mode_ == kModeCcm;
    keyLen_ = static_cast<std::uint32_t>(EVP_CIPHER_get_key_length(cipher));
    ivLen_ = static_cast<std::uint32_t>(EVP_CIPHER_get_iv_length(cipher));
    blockSize_ = static_cast<std::uint32_t>(EVP_CIPHER_get_block_size(cipher));
    if (!EVP_CipherInit_ex(ctx_, cipher, nullptr, nullptr, nullptr, 0)) return false;
    if (!EVP_CIPHER_CTX_set_padding(ctx_, 0)) return false;
    tagLen_ = aead_ ? tagLen : 0;
    algorithm_ = algorithm;
    return true;
}

bool Cipher::setOwnAlgorithm(std::uint8_t algorithm) {
    const OwnAlgorithm own = ownAlgorithm(algorithm);
    keyLen_ = 16;
    switch (own) {
        case OwnAlgorithm::kTeaEcb:
        case OwnAlgorithm::kXteaEcb:
            ivLen_ = 0;
            blockSize_ = 8;
            mode_ = kModeEcb;
            break;
        case OwnAlgorithm::kTeaCbc:
        case OwnAlgorithm::kXteaCbc:
            ivLen_ = 8;
            blockSize_ = 8;
            mode_ = kModeCbc;
            break;
        default:  // XXTEA: one word is the unit; a whole update is one block
            ivLen_ = 0;
            blockSize_ = 4;
            mode_ = kModeUnknown;
            break;
    }
    aead_ = false;
    aeadIvLen_ = 0;
    tagLen_ = 0;
    own_ = true;
    algorithm_ = algorithm;
    return true;
}

bool Cipher::setKey(const void* bytes, std::uint32_t len) {
    if (len > kMaxKeyLength || (!bytes && len > 0)) return false;
    key_.fill(0);
    if (len > 0) std::memcpy(key_.data(), bytes, len);
    if (algorithm_ == 0) keyLen_ = len;
    return true;
}

bool Cipher::setIv(const void* bytes, std::uint32_t len) {
    if (len > kMaxIvLength || (!bytes && len > 0)) return false;
    iv_.fill(0);
    if (len > 0) std::memcpy(iv_.data(), bytes, len);
    aeadIvLen_ = len;
    if (algorithm_ == 0) ivLen_ = len;
    return true;
}

bool Cipher::start(bool encrypt, const void* tag, std::uint32_t tagLen, std::uint32_t totalLen) {
    started_ = false;
    if (algorithm_ == 0) return false;
    fed_ = produced_ = held_ = 0;
    encrypt_ = encrypt;
    if (own_) {
        std::memcpy(chain_.data(), iv_.data(), chain_.size());
        teaKey_ = tea::keyFromBytes(key_.data());
    } else if (!startEvp(encrypt, tag, tagLen, totalLen)) {
        return false;
    }
    started_ = true;
    return true;
}

bool Cipher::startEvp(bool encrypt, const void* tag, std::uint32_t tagLen, std::uint32_t totalLen) {
    const int enc = encrypt ? 1 : 0;
    const bool expectTag = !encrypt && tag;
    if (expectTag && (tagLen == 0 || tagLen > 16)) return false;
    if (aead_) {
        // Direction first: OpenSSL takes an expected tag only from a context set to decrypt.
        if (!EVP_CipherInit_ex(ctx_, nullptr, nullptr, nullptr, nullptr, enc)) return false;
        ivLen_ = aeadIvLen_;
        if (EVP_CIPHER_CTX_ctrl(ctx_, EVP_CTRL_AEAD_SET_IVLEN, static_cast<int>(ivLen_), nullptr) <= 0)
            return false;
        // CCM fixes the tag length when the key is set, so it (or the expected tag) goes first.
        if (mode_ == kModeCcm) {
            void* expected = expectTag ? const_cast<void*>(tag) : nullptr;
            const auto length = static_cast<int>(expectTag ? tagLen : tagLen_);
            if (EVP_CIPHER_CTX_ctrl(ctx_, EVP_CTRL_AEAD_SET_TAG, length, expected) <= 0) return false;
        }
    }
    if (!EVP_CipherInit_ex(ctx_, nullptr, nullptr, key_.data(), ivLen_ > 0 ? iv_.data() : nullptr, enc))
        return false;
    if (!aead_) return true;
    if (mode_ == kModeGcm && expectTag &&
        EVP_CIPHER_CTX_ctrl(ctx_, EVP_CTRL_AEAD_SET_TAG, static_cast<int>(tagLen), const_cast<void*>(tag)) <=
            0)
        return false;
    if (mode_ == kModeCcm) {
        int ignored = 0;
        if (totalLen == 0 || totalLen > INT_MAX) return false;
        if (!EVP_CipherUpdate(ctx_, nullptr, &ignored, nullptr, static_cast<int>(totalLen))) return false;
    }
    return true;
}

bool Cipher::aad(const void* bytes, std::uint32_t len) {
    if (!started_ || !aead_ || len > INT_MAX || (!bytes && len > 0)) return false;
    if (len == 0) return true;
    int ignored = 0;
    if (EVP_CipherUpdate(ctx_, nullptr, &ignored, static_cast<const unsigned char*>(bytes),
                         static_cast<int>(len)))
        return true;
    started_ = false;
    return false;
}

bool Cipher::fail(IBuffer& out) {
    started_ = false;
    out.resize(produced_);
    return false;
}

bool Cipher::update(const void* input, std::uint32_t len, IBuffer& out) {
    if (!started_) return false;
    if (len == 0) return true;
    if (!input || len > INT_MAX || fed_ > UINT32_MAX - len) return fail(out);
    // TEA and XTEA need at least one cycle; XXTEA falls back to its published round count.
    if (own_ && rounds <= 0 && ownAlgorithm(algorithm_) != OwnAlgorithm::kXxtea) return fail(out);
    // Growing `out` may move its storage; an input inside it is found again by its offset.
    const std::int64_t inside = out.offsetInStorage(input);
    if (!out.resize(fed_ + len)) return fail(out);
    fed_ += len;
    const auto* in = inside >= 0 ? out.data() + inside : static_cast<const std::uint8_t*>(input);

    if (!own_) {
        int written = 0;
        if (!EVP_CipherUpdate(ctx_, out.at(produced_), &written, in, static_cast<int>(len))) return fail(out);
        produced_ += static_cast<std::uint32_t>(written);
        return true;
    }
    std::uint8_t* dest = out.at(produced_ + held_);
    if (in != dest) std::memmove(dest, in, len);
    const std::uint32_t pending = held_ + len;
    const std::uint32_t whole = pending - pending % blockSize_;
    if (whole > 0 && !runOwn(out.at(produced_), whole)) return fail(out);
    produced_ += whole;
    held_ = pending - whole;
    return true;
}

bool Cipher::runOwn(std::uint8_t* data, std::uint32_t len) {
    const std::span<std::uint8_t> bytes(data, len);
    switch (ownAlgorithm(algorithm_)) {
        case OwnAlgorithm::kTeaEcb:
            return tea::ecb(tea::Variant::kTea, bytes, teaKey_, rounds, encrypt_);
        case OwnAlgorithm::kXteaEcb:
            return tea::ecb(tea::Variant::kXtea, bytes, teaKey_, rounds, encrypt_);
        case OwnAlgorithm::kTeaCbc:
            return tea::cbc(tea::Variant::kTea, bytes, teaKey_, rounds, encrypt_, chain_);
        case OwnAlgorithm::kXteaCbc:
            return tea::cbc(tea::Variant::kXtea, bytes, teaKey_, rounds, encrypt_, chain_);
        case OwnAlgorithm::kXxtea:
            return tea::xxtea(bytes, teaKey_, rounds, encrypt_);
        default:
            return false;
    }
}

bool Cipher::finish(IBuffer& out, IBuffer* tagOut) {
    if (!started_) return false;
    started_ = false;
    if (own_) {
        out.resize(produced_);
        return held_ == 0;
    }
    // With padding off no supported mode writes here; the scratch block keeps that a promise of
    // OpenSSL's rather than a bound on `out`.
    unsigned char tail[EVP_MAX_BLOCK_LENGTH];
    int written = 0;
    if (!EVP_CipherFinal_ex(ctx_, tail, &written)) {
        if (aead_ && !encrypt_ && produced_ > 0) {
            OPENSSL_cleanse(out.data(), produced_);
            produced_ = 0;
        }
        out.resize(produced_);
        return false;
    }
    if (written > 0) {
        if (!out.write(produced_, tail, static_cast<std::uint32_t>(written))) return fail(out);
        produced_ += static_cast<std::uint32_t>(written);
    }
    out.resize(produced_);
    if (!encrypt_ || !aead_ || tagLen_ == 0 || !tagOut) return true;
    const std::uint32_t before = tagOut->size();
    if (!tagOut->grow(0, tagLen_)) return false;
    if (EVP_CIPHER_CTX_ctrl(ctx_, EVP_CTRL_AEAD_GET_TAG, static_cast<int>(tagLen_), tagOut->at(before)) <=
        0) {
        tagOut->resize(before);
        return false;
    }
    return true;
}

bool Cipher::decryptInPlace(IBuffer& data, const void* aadBytes, std::uint32_t aadLen, const void* tag,
                            std::uint32_t tagLen) {
    if (!start(false, tag, tagLen, data.size())) return false;
    if (aadBytes && aadLen > 0 && aead_ && !aad(aadBytes, aadLen)) return false;
    if (data.size() > 0 && !update(data.data(), data.size(), data)) return false;
    return finish(data, nullptr);
}

}  // namespace Orvane
