#include "card/keys/card_key_sets.hpp"

#include <algorithm>

#include "card/keys/des_ecb.hpp"
#include "card/keys/key_set_constants.hpp"

namespace Orvane {

namespace kc = key_set_constants;
using Bytes = std::vector<std::uint8_t>;

namespace {

std::uint8_t byte(unsigned value) {
    return static_cast<std::uint8_t>(value & 0xFF);
}

// CRC-8, polynomial 0x1D, most significant bit first, no reflection, no final XOR.
const std::array<std::uint8_t, 256>& crc8Table() {
    static const std::array<std::uint8_t, 256> table = [] {
        std::array<std::uint8_t, 256> t{};
        for (unsigned i = 0; i < 256; ++i) {
            unsigned crc = i;
            for (int bit = 0; bit < 8; ++bit)
                crc = crc & 0x80 ? (crc << 1) ^ 0x1D : crc << 1;
            t[i] = byte(crc);
        }
        return t;
    }();
    return table;
}

std::uint8_t crc8(std::uint8_t start, std::span<const std::uint8_t> bytes) {
    std::uint8_t crc = start;
    for (const std::uint8_t b : bytes)
        crc = crc8Table()[crc ^ b];
    return crc;
}

// The UID as 8 characters of upper-case hex, last byte first.
std::array<std::uint8_t, 8> reversedUidText(const Uid4& uid) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::array<std::uint8_t, 8> text{};
    for (int i = 0; i < 4; ++i) {
        text[2 * i] = static_cast<std::uint8_t>(kDigits[uid[3 - i] >> 4]);
        text[2 * i + 1] = static_cast<std::uint8_t>(kDigits[uid[3 - i] & 0x0F]);
    }
    return text;
}

Bytes labelled(const std::array<std::uint8_t, 8>& text, const char (&label)[12]) {
    Bytes key(text.begin(), text.end());
    for (int i = 0; i < 8; ++i)
        key[i] ^= static_cast<std::uint8_t>(label[3 + i]);  // characters 4 to 11
    return key;
}

// One key of the six-byte system key set: a DES key from UID and system key, two blocks under it,
// and the UID with its complement under those two as a two-key triple DES key.
std::optional<Bytes> systemKey6(const Uid4& u, const std::array<std::uint8_t, 6>& s, std::size_t n) {
    const std::uint8_t e = byte(s[0] + kc::kSysKeyOffsets[n]);
    const std::uint8_t d = kc::kSysKeyBytes[n];
    const std::array<std::uint8_t, 8> b = {byte(e ^ byte(u[1] + u[2] + u[3])),
                                           byte(u[0] ^ u[1] ^ u[2] ^ s[1]),
                                           byte(s[2] ^ byte(u[0] + u[2])),
                                           byte(s[3] ^ byte(u[1] + u[3])),
                                           byte(u[1] ^ s[4] ^ u[3]),
                                           byte(byte(d + s[5]) ^ u[0] ^ u[2]),
                                           e,
                                           s[1]};
    std::array<std::uint8_t, 16> c = {
        u[0], u[1], u[2], u[3], e, s[1], kc::kSysKeyTail[0], kc::kSysKeyTail[1]};
    if (!desEcb(b, std::span(c.data(), 8), true)) return std::nullopt;
    std::copy_n(c.begin(), 8, c.begin() + 8);
    if (!desEcb(b, std::span(c.data() + 8, 8), true)) return std::nullopt;
    Bytes key = {u[0], u[1], u[2], u[3], u[0], u[1], u[2], u[3]};
    for (int i = 0; i < 8; ++i)
        key.push_back(byte(~key[i]));
    if (!desEcb(c, key, true)) return std::nullopt;
    return key;
}

Bytes reversedFours(const Bytes& bytes) {
    Bytes out(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i)
        out[i] = bytes[i - i % 4 + 3 - i % 4];
    return out;
}

template <typename Op>
Bytes eachByte(const Bytes& bytes, Op op) {
    Bytes out(bytes.size());
    std::transform(bytes.begin(), bytes.end(), out.begin(), [&](std::uint8_t b) { return byte(op(b)); });
    return out;
}

}  // namespace

SectorKey sectorKeyByXor(const Uid4& u, const std::array<std::uint8_t, 6>& k) {
    const auto& c = kc::kSectorKeyMix;
    return {byte(k[0] ^ u[2] ^ c[0]), byte(k[1] ^ u[3] ^ c[1]), byte(k[2] ^ u[0] ^ c[2]),
            byte(k[3] ^ u[1] ^ c[3]), byte(k[4] ^ u[2]),        byte(k[5] ^ u[3] ^ c[4])};
}

SectorKey sectorKeyByCrc(const Uid4& u, const std::array<std::uint8_t, 4>& k) {
    const std::array<std::uint8_t, 8> input = {k[0], k[1], k[2], k[3], u[0], u[1], u[2], u[3]};
    SectorKey out{};
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = crc8(kc::kCrcStarts[i], input);
    return out;
}

std::optional<SectorKey> sectorKeyByDealer(const Uid4& u, unsigned sector,
                                           const std::array<std::uint8_t, 3>& d, std::uint16_t code) {
    if (sector >= 16) return std::nullopt;
    SectorKey b = {byte((u[3] >> 2) | ((u[1] ^ u[2]) << 6)),
                   byte((u[2] >> 2) | (u[3] << 6)),
                   byte((u[1] >> 2) | (u[2] << 6)),
                   byte((u[0] >> 2) | (u[1] << 6)),
                   byte(((u[3] >> 2) ^ (u[0] >> 2)) | (u[0] << 6)),
                   byte(((u[2] >> 2) ^ (u[1] >> 2)) | ((u[0] ^ u[3]) << 6))};
    if (sector == 0) {
        for (std::size_t i = 0; i < b.size(); ++i)
            b[i] ^= kc::kSectorZeroMask[i];
        return b;
    }
    const std::uint8_t s = byte(sector), notS = byte(~sector);
    b[0] ^= d[0];
    b[1] ^= d[1];
    b[2] ^= byte(d[0] ^ (code >> 8));
    b[3] ^= byte(d[2] ^ code);
    b[4] ^= byte((s | byte(notS << 4)) ^ kc::kDealerK1);
    b[5] ^= byte((notS & byte(s * 16 + 15)) ^ code ^ kc::kDealerK2);
    return b;
}

NamedKeys dealerKeySet(const Uid4& uid, std::uint16_t dealerCode, std::uint16_t code,
                       const std::array<std::uint8_t, 4>& dealerParam) {
    const auto text = reversedUidText(uid);
    Bytes eak(text.begin(), text.end());
    eak[0] ^= byte(dealerCode >> 8);
    eak[1] ^= byte(dealerCode);
    eak[3] ^= byte(code);
    for (int i = 0; i < 4; ++i)
        eak[4 + i] ^= dealerParam[i];
    return {{"ACK_USER", labelled(text, kc::kLabelUser)},
            {"ACK_KEY", labelled(text, kc::kLabelKey)},
            {"ACK_CODE", labelled(text, kc::kLabelCode)},
            {"ACK_JXS", labelled(text, kc::kLabelDealer)},
            {"EAK", eak}};
}

std::optional<NamedKeys> systemKeySet6(const Uid4& uid, const std::array<std::uint8_t, 6>& sysKey) {
    static constexpr const char* kNames[] = {"ACK", "EAK2", "EAK4", "PK1", "LK1", "TAC"};
    NamedKeys keys;
    for (std::size_t n = 0; n < std::size(kNames); ++n) {
        auto key = systemKey6(uid, sysKey, n);
        if (!key) return std::nullopt;
        keys.emplace_back(kNames[n], std::move(*key));
    }
    return keys;
}

std::optional<NamedKeys> systemKeySet8(const Uid4& u, const std::array<std::uint8_t, 8>& sysKey) {
    // The UID twice, enciphered, then the same eight bytes deciphered.
    Bytes base = {u[0], u[1], u[2], u[3], u[0], u[1], u[2], u[3],
                  u[0], u[1], u[2], u[3], u[0], u[1], u[2], u[3]};
    if (!desEcb(sysKey, std::span(base.data(), 8), true) ||
        !desEcb(sysKey, std::span(base.data() + 8, 8), false))
        return std::nullopt;
    const Bytes amk = reversedFours(base);
    const Bytes tac(base.rbegin(), base.rend());
    return NamedKeys{{"ACK", base},
                     {"AMK", amk},
                     {"PUK", eachByte(base, [](std::uint8_t b) { return ~b; })},
                     {"RPK", eachByte(amk, [](std::uint8_t b) { return ~b; })},
                     {"PK1", eachByte(base, [](std::uint8_t b) { return b & kc::kAndMask; })},
                     {"PK2", eachByte(base, [](std::uint8_t b) { return b | kc::kOrMask; })},
                     {"LK1", eachByte(amk, [](std::uint8_t b) { return b ^ kc::kXorMask; })},
                     {"LK2", eachByte(amk, [](std::uint8_t b) { return ~b | kc::kOrMask; })},
                     {"TAC", tac}};
}

}  // namespace Orvane
