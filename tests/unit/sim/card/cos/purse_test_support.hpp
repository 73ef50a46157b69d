#pragma once
// The host side of PBOC electronic deposit / purse transactions, computed in the test from the
// JR/T 0025 rules with plain OpenSSL calls (cos_test_support.hpp): session keys, MACs and TACs the
// card's answers are checked against, and the purse application of the default card.

#include "cos_test_support.hpp"

namespace purse_test {

using namespace cos_test;
namespace defaults = rfsim::cos::defaults;

inline Bytes big(std::uint32_t value, std::size_t length) {
    Bytes out;
    for (std::size_t i = length; i-- > 0;)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return out;
}

// SK: the 8 input bytes enciphered with the 16-byte key (two-key triple DES).
inline Bytes sessionKey(const Bytes& key16, const Bytes& input8) {
    return ecb(key16, input8);
}

// The 4-byte MAC with a single-DES key: CBC from a zero IV over data 80 00.., the last block's
// first 4 bytes.
inline Bytes mac(const Bytes& key8, const Bytes& data) {
    const Bytes chained = evp("DES-CBC", key8, Bytes(8, 0), padded(data));
    return Bytes(chained.end() - 8, chained.end() - 4);
}

// DTK and DRPK become single-DES keys: left half XOR right half.
inline Bytes fold(const Bytes& key16) {
    Bytes out(8);
    for (std::size_t i = 0; i < 8; ++i)
        out[i] = key16[i] ^ key16[i + 8];
    return out;
}

inline const Bytes kTerminal = hexBytes("112233445566");
inline const Bytes kDateTime = hexBytes("20240229 235959");
inline const Bytes kTerminalTxn = hexBytes("0000ABCD");
inline const Bytes kTacKey = fold(bytes(defaults::kTacKey));
inline const Bytes kMaintenanceKey = bytes(defaults::kMaintenanceKey);

class PurseTest : public CosTest {
  protected:
    void selectPurseApp() { ASSERT_EQ(sendHex("00A4040C09 A00000000386980701"), "9000"); }
    void verifyPin() { ASSERT_EQ(sendHex("0020000003 888888"), "9000"); }

    rfsim::cos::DedicatedFile& app() {
        auto* df = card->state().mf->child(defaults::kPurseAppId);
        return *static_cast<rfsim::cos::DedicatedFile*>(df);
    }
    rfsim::cos::PurseEf& purse(std::uint16_t fid) {
        return *static_cast<rfsim::cos::PurseEf*>(app().child(fid));
    }

    // The response split from its status word; the status word as hex.
    std::pair<Bytes, std::string> exchange(const Bytes& apdu) {
        Bytes r = send(apdu);
        if (r.size() < 2) return {{}, "short"};
        const std::string status = hex(std::span(r).last(2));
        r.resize(r.size() - 2);
        return {r, status};
    }

    // CLA 84: the header, Lc' (data and MAC) and data MAC'd under `key` from a fresh 4-byte
    // challenge (the IV: challenge 00 00 00 00).
    Bytes withMac(const Bytes& key, Bytes header, const Bytes& data = {}) {
        const Bytes iv = cat({challenge(4), Bytes(4, 0)});
        header[0] = 0x84;
        Bytes command = cat({header, {static_cast<std::uint8_t>(data.size() + 4)}, data});
        return cat({command, mac4(key, iv, command)});
    }
};

}  // namespace purse_test

namespace purse_test {

enum class Flow { load, unload, purchase, update };

// One transaction on the default card's purse application.
struct Transaction {
    const char* name;
    Flow flow;
    std::uint8_t p1, p2, type;
    std::uint32_t amount;  // an update's new limit
    std::array<std::uint8_t, 16> key;
    std::uint8_t keyVersion;
    std::uint32_t balanceBefore, balanceAfter;
    bool pin;  // the card wants the PIN verified first
};

// A purse's state, to see what moved.
struct Snapshot {
    std::uint32_t balance, limit;
    std::uint16_t online, offline;
    bool operator==(const Snapshot&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Snapshot& s) {
    return os << "balance " << s.balance << " limit " << s.limit << " online " << s.online << " offline "
              << s.offline;
}

// The completing command the host builds from the INITIALIZE answer, and what it expects back.
struct Completion {
    Bytes command;
    Bytes answer;  // without the status word
    Bytes proof;   // GET TRANSACTION PROVE: MAC || TAC
    std::uint16_t counter = 0;
};

class PurseTransactionTest : public PurseTest {
  protected:
    static constexpr std::uint8_t kKeyIndex = 0x01;

    Snapshot snapshot(std::uint16_t fid) {
        const auto& p = purse(fid);
        return {p.balance, p.overdrawLimit, p.onlineCounter, p.offlineCounter};
    }

    // INITIALIZE FOR ...: the answer, checked field by field up to the random, and MAC1 where
    // there is one.
    Bytes initialize(const Transaction& t) {
        const Bytes data = t.flow == Flow::update ? cat({{kKeyIndex}, kTerminal})
                                                  : cat({{kKeyIndex}, big(t.amount, 4), kTerminal});
        const std::uint8_t le = t.flow == Flow::purchase ? 0x0F : t.flow == Flow::update ? 0x13 : 0x10;
        auto [answer, status] =
            exchange(cat({{0x80, 0x50, t.p1, t.p2, static_cast<std::uint8_t>(data.size())}, data, {le}}));
        EXPECT_EQ(status, "9000");
        EXPECT_EQ(answer.size(), le);
        if (answer.size() != le) return {};
        const Snapshot before = snapshot(t.p2);
        const bool online = t.flow != Flow::purchase;
        Bytes head = cat({big(t.balanceBefore, 4), big(online ? before.online : before.offline, 2)});
        if (t.flow == Flow::purchase || t.flow == Flow::update) head = cat({head, big(before.limit, 3)});
        head = cat({head, {t.keyVersion, defaults::kPurseAlgorithm}});
        EXPECT_EQ(hex(std::span(answer).first(head.size())), hex(head));
        if (online) {
            const Bytes random(answer.begin() + head.size(), answer.begin() + head.size() + 4);
            const Bytes sk = onlineSessionKey(t, random, before.online);
            const Bytes signedData =
                t.flow == Flow::update
                    ? cat({big(t.balanceBefore, 4), big(before.limit, 3), {t.type}, kTerminal})
                    : cat({big(t.balanceBefore, 4), big(t.amount, 4), {t.type}, kTerminal});
            EXPECT_EQ(hex(std::span(answer).last(4)), hex(mac(sk, signedData))) << "MAC1";
        }
        return answer;
    }

    static Bytes onlineSessionKey(const Transaction& t, const Bytes& random, std::uint16_t counter) {
        return sessionKey(bytes(t.key), cat({random, big(counter, 2), {0x80, 0x00}}));
    }

    // The completion for an INITIALIZE answer; `corrupt` spoils the host's MAC.
    Completion complete(const Transaction& t, const Bytes& init, bool corrupt = false) {
        Completion c;
        c.counter = static_cast<std::uint16_t>(init[4] << 8 | init[5]);
        const std::size_t randomAt = t.flow == Flow::purchase || t.flow == Flow::update ? 11 : 8;
        const Bytes random(init.begin() + randomAt, init.begin() + randomAt + 4);
        const Bytes amount = big(t.amount, t.flow == Flow::update ? 3 : 4);
        const Bytes tail = cat({{t.type}, kTerminal, kDateTime});
        const Bytes proofData = cat({big(t.balanceAfter, 4), big(c.counter, 2), amount, tail});
        Bytes hostMac;
        switch (t.flow) {
            case Flow::load:
            case Flow::unload:
            case Flow::update: {
                const Bytes sk = onlineSessionKey(t, random, c.counter);
                hostMac = mac(sk, cat({amount, tail}));
                const Bytes tac = mac(kTacKey, proofData);
                const std::uint8_t ins = t.flow == Flow::load ? 0x52 : t.flow == Flow::unload ? 0x54 : 0x58;
                const std::uint8_t p1 = t.flow == Flow::unload ? 0x03 : 0x00;
                const Bytes head = t.flow == Flow::update ? amount : Bytes{};
                c.command = cat({{0x80, ins, p1, 0x00, static_cast<std::uint8_t>(head.size() + 11)},
                                 head,
                                 kDateTime,
                                 hostMac,
                                 {0x04}});
                if (t.flow == Flow::unload) {
                    const Bytes mac3 = mac(sk, proofData);
                    c.answer = mac3;
                    c.proof = cat({mac3, tac});
                } else {
                    c.answer = tac;
                    c.proof = cat({hostMac, tac});
                }
                break;
            }
            case Flow::purchase: {
                const Bytes sk = sessionKey(
                    bytes(t.key),
                    cat({random, big(c.counter, 2), Bytes(kTerminalTxn.end() - 2, kTerminalTxn.end())}));
                hostMac = mac(sk, cat({amount, tail}));
                const Bytes mac2 = mac(sk, amount);
                const Bytes tac = mac(kTacKey, cat({amount, {t.type}, kTerminal, kTerminalTxn, kDateTime}));
                c.command = cat({{0x80, 0x54, 0x01, 0x00, 0x0F}, kTerminalTxn, kDateTime, hostMac, {0x08}});
                c.answer = cat({tac, mac2});
                c.proof = cat({mac2, tac});
                break;
            }
        }
        if (corrupt) c.command[c.command.size() - 2] ^= 0x01;
        return c;
    }

    std::string prove(std::uint8_t type, std::uint16_t counter) {
        return hex(send(cat({{0x80, 0x5A, 0x00, type, 0x02}, big(counter, 2), {0x08}})));
    }
};

}  // namespace purse_test
