// Cost of the cipher engine against OpenSSL's EVP calls on the same 4 KiB buffers, and throughput
// of the own TEA family. The EVP baseline is the cheapest correct use of EVP for one message: the
// cipher fetched and set once, then key and IV, update and final per message, which is the work
// Cipher::start/update/finish has to do as well.

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdint>
#include <vector>

#include "crypto/cipher.hpp"
#include "crypto/providers.hpp"
#include "crypto/std_buf.hpp"

namespace {

constexpr std::size_t kMessage = 4096;

std::vector<std::uint8_t> pattern(std::size_t n, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(seed + i * 31 + (i >> 5));
    return bytes;
}

const std::vector<std::uint8_t> kInput = pattern(kMessage, 7);
const std::vector<std::uint8_t> kKey = pattern(32, 101);
const std::vector<std::uint8_t> kIv = pattern(16, 211);

void engine(benchmark::State& state, std::uint8_t algorithm, int rounds) {
    Orvane::loadCryptoProviders();
    Orvane::Cipher cipher;
    if (!cipher.setAlgorithm(algorithm, 0)) {
        state.SkipWithError("algorithm not available");
        return;
    }
    cipher.setKey(kKey.data(), cipher.keyLength());
    cipher.setIv(kIv.data(), cipher.ivLength());
    cipher.rounds = rounds;
    Orvane::StdBuf out;
    out.reserve(kMessage + 32);
    for (auto _ : state) {
        bool ok = cipher.start(true);
        ok &= cipher.update(kInput.data(), kMessage, out);
        ok &= cipher.finish(out);
        if (!ok) state.SkipWithError("cipher failed");
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kMessage));
}

void rawEvp(benchmark::State& state, const char* name) {
    Orvane::loadCryptoProviders();
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, name, nullptr);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    if (!cipher || !ctx || !EVP_EncryptInit_ex(ctx, cipher, nullptr, nullptr, nullptr) ||
        !EVP_CIPHER_CTX_set_padding(ctx, 0)) {
        state.SkipWithError("EVP set-up failed");
    } else {
        std::vector<std::uint8_t> out(kMessage + 32);
        for (auto _ : state) {
            int n = 0;
            int tail = 0;
            const bool ok =
                EVP_EncryptInit_ex(ctx, nullptr, nullptr, kKey.data(), kIv.data()) &&
                EVP_EncryptUpdate(ctx, out.data(), &n, kInput.data(), static_cast<int>(kMessage)) &&
                EVP_EncryptFinal_ex(ctx, out.data() + n, &tail);
            if (!ok) state.SkipWithError("EVP failed");
            benchmark::DoNotOptimize(out.data());
            benchmark::ClobberMemory();
        }
        state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kMessage));
    }
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(cipher);
}

}  // namespace

BENCHMARK_CAPTURE(engine, aes128cbc_cipher, 13, 0);
BENCHMARK_CAPTURE(rawEvp, aes128cbc_evp, "AES-128-CBC");
BENCHMARK_CAPTURE(engine, tdes2cbc_cipher, 11, 0);
BENCHMARK_CAPTURE(rawEvp, tdes2cbc_evp, "DES-EDE-CBC");
BENCHMARK_CAPTURE(engine, tea_ecb_32, 7, 32);
BENCHMARK_CAPTURE(engine, tea_ecb_64, 7, 64);
BENCHMARK_CAPTURE(engine, xtea_ecb_32, 8, 32);
BENCHMARK_CAPTURE(engine, xtea_cbc_32, 17, 32);
BENCHMARK_CAPTURE(engine, xxtea_published_rounds, 27, 0);
BENCHMARK_CAPTURE(engine, xxtea_64, 27, 64);
