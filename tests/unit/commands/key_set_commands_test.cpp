// Commands 405 and 406: card keys derived from a UID and base keys.

#include "commands/key_set_commands.hpp"

#include <openssl/evp.h>

#include "card/keys/key_set_constants.hpp"
#include "support/crypto_support.hpp"

using nlohmann::json;
namespace kc = Orvane::key_set_constants;

namespace {

class KeySetCommands : public WithCryptoProviders {
  protected:
    // The reply, or the handler's result when it is not "send now".
    static json run(int code, const json& request) {
        json reply = json::object();
        const int result = key_set_commands::work(code, request, reply);
        return result == 1 ? reply : json(result);
    }
};

// DES-ECB of one block with raw EVP calls, apart from the code under test.
Bytes desBlock(const Bytes& key, const Bytes& block, bool encrypt) {
    EVP_CIPHER* des = EVP_CIPHER_fetch(nullptr, "DES-ECB", nullptr);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    Bytes out(16);
    int n = 0, m = 0;
    EVP_CipherInit_ex(ctx, des, nullptr, key.data(), nullptr, encrypt ? 1 : 0);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EVP_CipherUpdate(ctx, out.data(), &n, block.data(), 8);
    EVP_CipherFinal_ex(ctx, out.data() + n, &m);
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(des);
    out.resize(static_cast<std::size_t>(n + m));
    return out;
}

// CRC-8 with polynomial 0x1D, bit by bit.
std::uint8_t crc8(std::uint8_t crc, const Bytes& bytes) {
    for (const std::uint8_t b : bytes) {
        crc ^= b;
        for (int i = 0; i < 8; ++i)
            crc = static_cast<std::uint8_t>(crc & 0x80 ? (crc << 1) ^ 0x1D : crc << 1);
    }
    return crc;
}

}  // namespace

TEST_F(KeySetCommands, SectorKeysFromTheUidAndABaseKey) {
    const Bytes u = {0x11, 0x22, 0x33, 0x44};
    const auto& c = kc::kSectorKeyMix;
    const Bytes byXor = {
        static_cast<std::uint8_t>(0xA0 ^ u[2] ^ c[0]), static_cast<std::uint8_t>(0xA1 ^ u[3] ^ c[1]),
        static_cast<std::uint8_t>(0xA2 ^ u[0] ^ c[2]), static_cast<std::uint8_t>(0xA3 ^ u[1] ^ c[3]),
        static_cast<std::uint8_t>(0xA4 ^ u[2]),        static_cast<std::uint8_t>(0xA5 ^ u[3] ^ c[4])};
    EXPECT_EQ(
        run(405, {{"uid", "11223344AABBCC"}, {"type", 0}, {"data", {{"key", "A0A1A2A3A4A5"}}}})["retval"],
        Orvane::hexEncode(byXor));

    Bytes byCrc;
    for (const std::uint8_t start : kc::kCrcStarts)
        byCrc.push_back(crc8(start, {0x01, 0x02, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44}));
    // A key shorter than its four bytes is zero-filled.
    EXPECT_EQ(run(405, {{"uid", "11223344"}, {"type", 1}, {"data", {{"key", "0102"}}}})["retval"],
              Orvane::hexEncode(byCrc));

    const json dealer = {{"sector", 3}, {"dealer", "010203"}, {"code", 0x1234}};
    const json sector3 = run(405, {{"uid", "11223344"}, {"type", 2}, {"data", dealer}});
    EXPECT_EQ(sector3["err"], 0);
    EXPECT_EQ(sector3["retval"].get<std::string>().size(), 12u);
    json sector0 = dealer;
    sector0["sector"] = 0;
    EXPECT_NE(run(405, {{"uid", "11223344"}, {"type", 2}, {"data", sector0}})["retval"], sector3["retval"]);
}

TEST_F(KeySetCommands, KeySetsFromTheUidAndASystemKey) {
    const json set8 =
        run(406, {{"uid", "11223344"}, {"type", 2}, {"data", {{"sysKey", "0123456789ABCDEF"}}}});
    ASSERT_EQ(set8["err"], 0);
    const Bytes sys = hexBytes("0123456789ABCDEF"), twice = hexBytes("1122334411223344");
    Bytes ack = desBlock(sys, twice, true);
    const Bytes second = desBlock(sys, twice, false);
    ack.insert(ack.end(), second.begin(), second.end());
    EXPECT_EQ(set8["retval"]["ACK"], Orvane::hexEncode(ack));
    EXPECT_EQ(set8["retval"]["TAC"], Orvane::hexEncode(Bytes(ack.rbegin(), ack.rend())));
    EXPECT_EQ(set8["retval"]["PIN"], "740318");
    for (const char* name : {"AMK", "PUK", "RPK", "PK1", "PK2", "LK1", "LK2"})
        EXPECT_EQ(set8["retval"][name].get<std::string>().size(), 32u) << name;

    const json set6 = run(406, {{"uid", "11223344"}, {"type", 1}, {"data", {{"sysKey", "010203040506"}}}});
    ASSERT_EQ(set6["err"], 0);
    EXPECT_EQ(set6["retval"]["PIN"], "740317");
    for (const char* name : {"ACK", "EAK2", "EAK4", "PK1", "LK1", "TAC"})
        EXPECT_EQ(set6["retval"][name].get<std::string>().size(), 32u) << name;
    EXPECT_NE(set6["retval"]["ACK"], set6["retval"]["TAC"]);

    // The UID's text, last byte first, "44332211", mixed with the dealer's numbers.
    const json set0 =
        run(406, {{"uid", "11223344"},
                  {"type", 0},
                  {"data", {{"dealerCode", 0x0102}, {"code", 0x0304}, {"dealerParam", "A0B0C0D0"}}}});
    const Bytes text = {'4', '4', '3', '3', '2', '2', '1', '1'};
    const Bytes eak = {static_cast<std::uint8_t>(text[0] ^ 0x01),
                       static_cast<std::uint8_t>(text[1] ^ 0x02),
                       text[2],
                       static_cast<std::uint8_t>(text[3] ^ 0x04),
                       static_cast<std::uint8_t>(text[4] ^ 0xA0),
                       static_cast<std::uint8_t>(text[5] ^ 0xB0),
                       static_cast<std::uint8_t>(text[6] ^ 0xC0),
                       static_cast<std::uint8_t>(text[7] ^ 0xD0)};
    EXPECT_EQ(set0["retval"]["EAK"], Orvane::hexEncode(eak));
    Bytes user = text;
    for (int i = 0; i < 8; ++i)
        user[i] ^= static_cast<std::uint8_t>(kc::kLabelUser[3 + i]);
    EXPECT_EQ(set0["retval"]["ACK_USER"], Orvane::hexEncode(user));
}

TEST_F(KeySetCommands, BadInputAnswersItsCode) {
    const struct {
        int code;
        json request;
        json expected;  // err and retval, or the handler result -1
    } cases[] = {
        {405,
         {{"uid", "11223344"}, {"type", 2}, {"data", {{"sector", 16}, {"dealer", "01"}, {"code", 1}}}},
         {{"err", 112}, {"retval", ""}}},
        {405, {{"uid", "11223344"}, {"type", 0}, {"data", {{"key", "A0A"}}}}, {{"err", 104}, {"retval", ""}}},
        {405,
         {{"uid", "11223344"}, {"type", 1}, {"data", {{"key", "0102030405"}}}},
         {{"err", 104}, {"retval", ""}}},
        {405,
         {{"uid", "11223344"}, {"type", 2}, {"data", {{"sector", 1}, {"dealer", "0x"}, {"code", 1}}}},
         {{"err", 105}, {"retval", ""}}},
        {405, {{"uid", "11223344"}, {"type", 3}, {"data", json::object()}}, {{"err", 0}, {"retval", ""}}},
        {405, {{"uid", "XYZ"}, {"type", 0}, {"data", {{"key", "A0"}}}}, {{"err", 105}}},
        {405, {{"uid", "11223344"}, {"type", 2}, {"data", {{"sector", 1}, {"dealer", "01"}}}}, -1},
        {405, {{"uid", "11223344"}, {"type", 0}}, -1},
        {406,
         {{"uid", "11223344"}, {"type", 2}, {"data", {{"sysKey", "012"}}}},
         {{"err", 105}, {"retval", nullptr}}},
        {406,
         {{"uid", "11223344"}, {"type", 1}, {"data", {{"sysKey", "01020304050607"}}}},
         {{"err", 105}, {"retval", nullptr}}},
        {406,
         {{"uid", "11223344"}, {"type", 9}, {"data", json::object()}},
         {{"err", 0}, {"retval", nullptr}}},
        {406, {{"uid", "1122334"}, {"type", 2}, {"data", {{"sysKey", "01"}}}}, {{"err", 105}}},
        {406, {{"uid", "11223344"}, {"type", 0}, {"data", {{"dealerCode", 1}, {"code", 1}}}}, -1},
        {406, {{"uid", 1122}, {"type", 2}, {"data", {{"sysKey", "01"}}}}, -1},
    };
    for (const auto& c : cases) {
        const json reply = run(c.code, c.request);
        if (c.expected.is_number()) {
            EXPECT_EQ(reply, c.expected) << c.request;
            continue;
        }
        EXPECT_EQ(reply["err"], c.expected["err"]) << c.request;
        EXPECT_EQ(reply.contains("retval"), c.expected.contains("retval")) << c.request;
        if (c.expected.contains("retval")) {
            EXPECT_EQ(reply["retval"], c.expected["retval"]) << c.request;
        }
    }
}
