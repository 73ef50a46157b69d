#include "crypto/tea.hpp"

#include <cstddef>

namespace Orvane::tea {
namespace {

constexpr std::uint32_t kDelta = 0x9E3779B9;

std::uint32_t loadBe(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

void storeBe(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

// One 8-byte block of TEA or XTEA in place. The sum wraps modulo 2^32 as in the reference code.
void block(Variant variant, std::uint8_t* p, const Key& k, std::uint32_t cycles, bool encrypt) {
    std::uint32_t l = loadBe(p);
    std::uint32_t r = loadBe(p + 4);
    if (variant == Variant::kTea) {
        if (encrypt) {
            std::uint32_t sum = 0;
            for (std::uint32_t i = 0; i < cycles; ++i) {
                sum += kDelta;
                l += ((r << 4) + k[0]) ^ (r + sum) ^ ((r >> 5) + k[1]);
                r += ((l << 4) + k[2]) ^ (l + sum) ^ ((l >> 5) + k[3]);
            }
        } else {
            std::uint32_t sum = kDelta * cycles;
            for (std::uint32_t i = 0; i < cycles; ++i) {
                r -= ((l << 4) + k[2]) ^ (l + sum) ^ ((l >> 5) + k[3]);
                l -= ((r << 4) + k[0]) ^ (r + sum) ^ ((r >> 5) + k[1]);
                sum -= kDelta;
            }
        }
    } else {
        if (encrypt) {
            std::uint32_t sum = 0;
            for (std::uint32_t i = 0; i < cycles; ++i) {
                l += (((r << 4) ^ (r >> 5)) + r) ^ (sum + k[sum & 3]);
                sum += kDelta;
                r += (((l << 4) ^ (l >> 5)) + l) ^ (sum + k[(sum >> 11) & 3]);
            }
        } else {
            std::uint32_t sum = kDelta * cycles;
            for (std::uint32_t i = 0; i < cycles; ++i) {
                r -= (((l << 4) ^ (l >> 5)) + l) ^ (sum + k[(sum >> 11) & 3]);
                sum -= kDelta;
                l -= (((r << 4) ^ (r >> 5)) + r) ^ (sum + k[sum & 3]);
            }
        }
    }
    storeBe(p, l);
    storeBe(p + 4, r);
}

bool wholeBlocks(std::span<std::uint8_t> data, int cycles) {
    return cycles > 0 && data.size() % 8 == 0;
}

}  // namespace

Key keyFromBytes(const std::uint8_t* bytes) {
    return {loadBe(bytes), loadBe(bytes + 4), loadBe(bytes + 8), loadBe(bytes + 12)};
}

bool ecb(Variant variant, std::span<std::uint8_t> data, const Key& key, int cycles, bool encrypt) {
    if (!wholeBlocks(data, cycles)) return false;
    for (std::size_t i = 0; i < data.size(); i += 8)
        block(variant, data.data() + i, key, static_cast<std::uint32_t>(cycles), encrypt);
    return true;
}

bool cbc(Variant variant, std::span<std::uint8_t> data, const Key& key, int cycles, bool encrypt,
         Block& chain) {
    if (!wholeBlocks(data, cycles)) return false;
    for (std::size_t i = 0; i < data.size(); i += 8) {
        std::uint8_t* p = data.data() + i;
        if (encrypt) {
            for (int j = 0; j < 8; ++j)
                p[j] ^= chain[j];
            block(variant, p, key, static_cast<std::uint32_t>(cycles), true);
            for (int j = 0; j < 8; ++j)
                chain[j] = p[j];
        } else {
            Block saved;
            for (int j = 0; j < 8; ++j)
                saved[j] = p[j];
            block(variant, p, key, static_cast<std::uint32_t>(cycles), false);
            for (int j = 0; j < 8; ++j)
                p[j] ^= chain[j];
            chain = saved;
        }
    }
    return true;
}

bool xxtea(std::span<std::uint8_t> data, const Key& k, int rounds, bool encrypt) {
    if (data.size() % 4 != 0 || data.size() < 8) return false;
    const std::size_t n = data.size() / 4;
    std::uint8_t* v = data.data();
    auto word = [v](std::size_t i) { return loadBe(v + 4 * i); };
    auto put = [v](std::size_t i, std::uint32_t x) { storeBe(v + 4 * i, x); };
    const std::uint32_t count =
        rounds > 0 ? static_cast<std::uint32_t>(rounds) : static_cast<std::uint32_t>(6 + 52 / n);
    auto mx = [&k](std::uint32_t y, std::uint32_t z, std::uint32_t sum, std::size_t p, std::uint32_t e) {
        return ((z >> 5 ^ y << 2) + (y >> 3 ^ z << 4)) ^ ((sum ^ y) + (k[(p & 3) ^ e] ^ z));
    };

    if (encrypt) {
        std::uint32_t sum = 0;
        std::uint32_t z = word(n - 1);
        for (std::uint32_t round = 0; round < count; ++round) {
            sum += kDelta;
            const std::uint32_t e = (sum >> 2) & 3;
            std::size_t p = 0;
            for (; p < n - 1; ++p) {
                const std::uint32_t y = word(p + 1);
                z = word(p) + mx(y, z, sum, p, e);
                put(p, z);
            }
            const std::uint32_t y = word(0);
            z = word(n - 1) + mx(y, z, sum, p, e);
            put(n - 1, z);
        }
    } else {
        std::uint32_t sum = kDelta * count;
        std::uint32_t y = word(0);
        for (std::uint32_t round = 0; round < count; ++round) {
            const std::uint32_t e = (sum >> 2) & 3;
            std::size_t p = n - 1;
            for (; p > 0; --p) {
                const std::uint32_t z = word(p - 1);
                y = word(p) - mx(y, z, sum, p, e);
                put(p, y);
            }
            const std::uint32_t z = word(n - 1);
            y = word(0) - mx(y, z, sum, p, e);
            put(0, y);
            sum -= kDelta;
        }
    }
    return true;
}

}  // namespace Orvane::tea
