// The COS 7816 (800-809) and FM COS (900-904) command sets over a real WebSocket session, against
// the simulated CPU card: the commands as the card received them, a personalisation run end to end
// and the card then used through the 7816 commands, keys held by the client, and bad input.

#include <gtest/gtest.h>

#include <chrono>

#include "cpu_card_session.hpp"

using nlohmann::json;
using namespace std::chrono_literals;

namespace {

using cpu_session::cpu;
using cpu_session::desKey;
using cpu_session::kOk;
using cpu_session::kUid;

const std::string kAid = "F05246444F434B02";
const std::string kLineKey = "00112233445566778899AABBCCDDEEFF";  // secure messaging, key 0
const std::string kExternalKey = "404142434445464748494A4B4C4D4E4F";
const std::string kWrongKey = "FFEEDDCCBBAA99887766554433221100";

json safe(bool enc, bool mac, const std::string& keyHex = kLineKey, bool provider = false) {
    return {{"enc", enc}, {"mac", mac}, {"key", desKey(keyHex, provider)}};
}

json withSafe(json request, json sm) {
    request["safe"] = std::move(sm);
    return request;
}

std::string counting(int first, int count) {
    Bytes bytes;
    for (int i = 0; i < count; ++i)
        bytes.push_back(static_cast<std::uint8_t>(first + i));
    return Orvane::hexEncode(bytes);
}

// 904 fields for one key.
json writeKey(int oldType, int id, int type, int pow, json key, bool mac = false, bool enc = false) {
    return cpu({{"oldType", oldType},
                {"id", id},
                {"type", type},
                {"use", 0xF0},
                {"ren", 0xF0},
                {"pow", pow},
                {"err", 0x33},
                {"attr", {{"enc", enc}, {"mac", mac}}},
                {"key", std::move(key)}});
}

// 902 fields for an EF written after level 1 with a MAC under key 0.
json macFile(int type, int fid, int size, bool macr, bool enc) {
    return cpu({{"type", type},
                {"fid", fid},
                {"size", size},
                {"read", 0xF0},
                {"write", 0xF1},
                {"attr", {{"macr", macr}, {"macw", true}, {"enc", enc}, {"idr", 0}, {"idw", 0}}}});
}

class CosService : public cpu_session::CpuCardSession {
  protected:
    // The card personalised as in Personalisation below, its DF current.
    void personalise() {
        ASSERT_EQ(status(900, cpu()), kOk);
        ASSERT_EQ(status(901, cpu({{"aid", kAid},
                                   {"fid", 0x1002},
                                   {"size", 0x0400},
                                   {"create", 0xF0},
                                   {"erase", 0xF0},
                                   {"sfi", 0x95}})),
                  kOk);
        ASSERT_EQ(status(904, writeKey(0x01, 0, 0x36, 0, desKey(kLineKey))), kOk);
        ASSERT_EQ(status(904, writeKey(0x01, 1, 0x39, 1, desKey(kExternalKey), true)), kOk);
        ASSERT_EQ(status(904, writeKey(0x01, 0, 0x3A, 0, {{"alg", 1}, {"param", "123456"}})), kOk);
        ASSERT_EQ(status(902, macFile(0x28, 0x0016, 32, false, false)), kOk);
        ASSERT_EQ(status(902, macFile(0x28, 0x0017, 32, true, true)), kOk);
        ASSERT_EQ(status(902, macFile(0x2A, 0x0019, 0x0410, false, false)), kOk);
        ASSERT_EQ(status(903, cpu({{"type", 2}, {"use", 0xF0}, {"sfi", 0x18}})), kOk);
    }
};

}  // namespace

TEST_F(CosService, CommandsAsTheCardReceivedThem) {
    struct Case {
        int code;
        json fields;
        const char* received;
    };
    const Case cases[] = {
        {800, {{"is32", true}}, "0084000004"},
        {800, {{"is32", false}}, "0084000008"},
        {801, {{"fid", 0x3F00}}, "00A40000023F00"},
        {801, {{"fid", 0}}, "00A4000000"},
        {801, {{"fid", 0}, {"name", "1PAY.SYS.DDF01"}}, "00A404000E315041592E5359532E4444463031"},
        {801, {{"fid", 0x3F00}, {"aid", "F0 52 46 44 4F 43 4B 01"}}, "00A4040008F05246444F434B01"},
        {803, {{"id", 0}, {"pin", "12345"}}, "002000000312345F"},
        {804, {{"id", 1}, {"type", 0}, {"data", "0102030405060708"}}, "00880001080102030405060708"},
        {805, {{"sfid", 0}, {"pos", 0x0123}, {"data", "AABBCC"}}, "00D6012303AABBCC"},
        {805, {{"sfid", 1}, {"pos", 255}, {"data", "AA"}}, "00D681FF01AA"},
        {806, {{"sfid", 5}, {"id", 2}, {"mode", 4}, {"data", "0102"}}, "00DC022C020102"},
        {807, {{"sfid", 5}, {"data", "0102"}}, "00E20028020102"},
        {808, {{"sfid", 3}, {"pos", 0}, {"size", 16}}, "00B0830010"},
        {809, {{"sfid", 5}, {"id", 1}, {"mode", 4}, {"size", 16}}, "00B2012C10"},
        {900, json::object(), "800E000000"},
        {901,
         {{"aid", ""}, {"fid", 0x3F01}, {"size", 0x0200}, {"create", 0xF0}, {"erase", 0xF0}, {"sfi", 0x95}},
         "80E03F0108380200F0F095FFFF"},
        {902,
         {{"type", 0x28},
          {"fid", 0x0016},
          {"size", 32},
          {"read", 0xF0},
          {"write", 0xF1},
          {"attr", {{"macr", false}, {"macw", true}, {"enc", false}, {"idr", 0}, {"idw", 1}}}},
         "80E0001607A80020F0F1FFFE"},
        {903, {{"type", 2}, {"use", 0xF0}, {"sfi", 0x18}}, "80E00002072F0208F000FF18"},
    };
    for (const auto& c : cases) {
        forget();
        const json reply = call(c.code, cpu(c.fields));
        EXPECT_EQ(reply.value("err", -1), 0) << c.code << " " << c.fields.dump();
        EXPECT_EQ(lastReceived(), c.received) << c.code << " " << c.fields.dump();
    }
}

TEST_F(CosService, SelectTellsTheFci) {
    const json reply = call(801, cpu({{"fid", 0}, {"aid", "F05246444F434B01"}}));
    EXPECT_EQ(reply["retval"], kOk);
    EXPECT_EQ(reply["df"], "F05246444F434B01");
    EXPECT_EQ(reply["sfi"], 5);
    EXPECT_EQ(reply["ver"], 1);
    EXPECT_EQ(reply["tmp"], "1122334455667788");
    EXPECT_EQ(reply["private"], "8801059F080101BF0C081122334455667788");
    const json missing = call(801, cpu({{"fid", 0x4444}}));
    EXPECT_EQ(missing["retval"], 0x826A);
    EXPECT_FALSE(missing.contains("df"));
}

TEST_F(CosService, Personalisation) {
    // 900 and 901: the card's MF emptied, a DF made (and current).
    ASSERT_EQ(status(900, cpu()), kOk);
    ASSERT_EQ(status(901, cpu({{"aid", kAid},
                               {"fid", 0x1002},
                               {"size", 0x0400},
                               {"create", 0xF0},
                               {"erase", 0xF0},
                               {"sfi", 0x95}})),
              kOk);
    EXPECT_EQ(lastReceived(), "80E0100210380400F0F095FFFF" + kAid);
    // 904: the line-protection key, an external-authentication key whose change needs a MAC, a PIN.
    ASSERT_EQ(status(904, writeKey(0x01, 0, 0x36, 0, desKey(kLineKey))), kOk);
    EXPECT_EQ(lastReceived(), "80D401001536F0F00033" + kLineKey);
    ASSERT_EQ(status(904, writeKey(0x01, 1, 0x39, 1, desKey(kExternalKey), true)), kOk);
    EXPECT_EQ(lastReceived(), "80D4010115B9F0F00133" + kExternalKey);
    ASSERT_EQ(status(904, writeKey(0x01, 0, 0x3A, 0, {{"alg", 1}, {"param", "123456"}})), kOk);
    EXPECT_EQ(lastReceived(), "80D40100083AF0F00033123456");
    // Changing the external key needs a MAC: refused plain, taken under secure messaging.
    EXPECT_EQ(status(904, writeKey(0x39, 1, 0x39, 1, desKey(kExternalKey), true)), 0x8769);
    EXPECT_EQ(
        status(904, withSafe(writeKey(0x39, 1, 0x39, 1, desKey(kExternalKey), true), safe(false, true))),
        kOk);
    EXPECT_EQ(Orvane::hexEncode(received().back()).substr(0, 10), "84D4390119");
    // 902: a binary file written with a MAC, one read and written with MAC and encipherment, a
    // record file written with a MAC; 903: the purse.
    ASSERT_EQ(status(902, macFile(0x28, 0x0016, 32, false, false)), kOk);
    EXPECT_EQ(lastReceived(), "80E0001607A80020F0F1FFFF");
    ASSERT_EQ(status(902, macFile(0x28, 0x0017, 32, true, true)), kOk);
    EXPECT_EQ(lastReceived(), "80E0001707E80020F0F1FF7F");
    ASSERT_EQ(status(902, macFile(0x2A, 0x0019, 0x0410, false, false)), kOk);
    ASSERT_EQ(status(903, cpu({{"type", 2}, {"use", 0xF0}, {"sfi", 0x18}})), kOk);

    // The card in use: its DF selected by name.
    const json selected = call(801, cpu({{"fid", 0}, {"aid", kAid}}));
    EXPECT_EQ(selected["retval"], kOk);
    EXPECT_EQ(selected["df"], kAid);
    EXPECT_EQ(selected["sfi"], 0x15);

    const json binaryWrite = cpu({{"sfid", 0x16}, {"pos", 0}, {"data", counting(0x30, 8)}});
    // Before authentication the rights refuse; a MAC under a wrong key is refused first.
    EXPECT_EQ(status(805, withSafe(binaryWrite, safe(false, true))), 0x8269);
    EXPECT_EQ(status(805, withSafe(binaryWrite, safe(false, true, kWrongKey))), 0x8869);

    // A wrong PIN counts down, and its status text says so.
    const int wrong = status(803, cpu({{"id", 0}, {"pin", "111111"}}));
    EXPECT_EQ(wrong, 0xC263);
    EXPECT_EQ(call(400, json{{"sw", wrong}})["retval"], "警告 认证失败,还可重试2次");
    EXPECT_EQ(status(803, cpu({{"id", 0}, {"pin", "123456"}})), kOk);
    EXPECT_EQ(status(805, withSafe(binaryWrite, safe(false, true))), 0x8269);  // the PIN reaches level 0

    EXPECT_EQ(status(802, cpu({{"id", 1}, {"key", desKey(kExternalKey)}})), kOk);

    // 805 / 808 with a MAC.
    EXPECT_EQ(status(805, binaryWrite), 0x8269);  // plain: the file wants a MAC
    EXPECT_EQ(status(805, withSafe(binaryWrite, safe(false, true))), kOk);
    const json maced = call(808, withSafe(cpu({{"sfid", 0x16}, {"pos", 0}, {"size", 8}}), safe(false, true)));
    EXPECT_EQ(maced["retval"], kOk);
    EXPECT_EQ(maced["data"], counting(0x30, 8));
    EXPECT_EQ(call(808, cpu({{"sfid", 0x16}, {"pos", 4}, {"size", 4}}))["data"], counting(0x34, 4));

    // 805 / 808 with MAC and encipherment.
    const json sealedWrite = cpu({{"sfid", 0x17}, {"pos", 2}, {"data", counting(0x50, 20)}});
    EXPECT_EQ(status(805, withSafe(sealedWrite, safe(true, true))), kOk);
    const auto last = received().back();
    EXPECT_EQ(Orvane::hexEncode(last).substr(0, 10), "04D697021C");  // 24 enciphered + 4 MAC bytes
    const json sealed =
        call(808, withSafe(cpu({{"sfid", 0x17}, {"pos", 2}, {"size", 20}}), safe(true, true)));
    EXPECT_EQ(sealed["retval"], kOk);
    EXPECT_EQ(sealed["data"], counting(0x50, 20));
    EXPECT_EQ(status(808, cpu({{"sfid", 0x17}, {"pos", 0}, {"size", 4}})), 0x8269);

    // 806, 807, 809 on the record file.
    const json append = cpu({{"sfid", 0x19}, {"data", counting(0x70, 16)}});
    EXPECT_EQ(status(807, append), 0x8269);
    EXPECT_EQ(status(807, withSafe(append, safe(false, true))), kOk);
    EXPECT_EQ(status(807, withSafe(append, safe(false, true))), kOk);
    EXPECT_EQ(
        status(806, withSafe(cpu({{"sfid", 0x19}, {"id", 2}, {"mode", 4}, {"data", counting(0x90, 16)}}),
                             safe(false, true))),
        kOk);
    EXPECT_EQ(call(809, cpu({{"sfid", 0x19}, {"id", 1}, {"mode", 4}, {"size", 16}}))["data"],
              counting(0x70, 16));
    const json record2 =
        call(809, withSafe(cpu({{"sfid", 0x19}, {"id", 2}, {"mode", 4}, {"size", 16}}), safe(false, true)));
    EXPECT_EQ(record2["retval"], kOk);
    EXPECT_EQ(record2["data"], counting(0x90, 16));
    EXPECT_EQ(status(809, cpu({{"sfid", 0x19}, {"id", 3}, {"mode", 4}, {"size", 16}})), 0x836A);
}

TEST_F(CosService, KeysTheClientHolds) {
    personalise();
    int asked = 0;
    const json auth =
        callWithProvider(802, cpu({{"id", 1}, {"key", desKey("", true)}}), kExternalKey, &asked);
    EXPECT_EQ(auth["retval"], kOk);
    EXPECT_EQ(asked, 1);  // the challenge enciphered
    asked = 0;
    const json write = callWithProvider(
        805, withSafe(cpu({{"sfid", 0x16}, {"pos", 0}, {"data", "0102"}}), safe(false, true, "", true)),
        kLineKey, &asked);
    EXPECT_EQ(write["retval"], kOk);
    EXPECT_EQ(asked, 1);  // the command MAC (an update answers without data)
    const json read = callWithProvider(
        808, withSafe(cpu({{"sfid", 0x17}, {"pos", 0}, {"size", 4}}), safe(true, true, "", true)), kLineKey);
    EXPECT_EQ(read["retval"], kOk);
    EXPECT_EQ(read["data"], "00000000");
    const json key = callWithProvider(
        904, withSafe(writeKey(0x39, 1, 0x39, 1, desKey(kExternalKey), true), safe(false, true, "", true)),
        kLineKey);
    EXPECT_EQ(key["retval"], kOk);
}

TEST_F(CosService, BadInputIsAnsweredWithoutCardTraffic) {
    struct Case {
        int code;
        json fields;
        int err;
        int retval;  // -1: none
    };
    const Case cases[] = {
        {801, {{"fid", 0}, {"aid", "A0000000030000000000000000000000FF"}}, 0, 0x866A},
        {801, {{"fid", 0}, {"aid", "A00"}}, 105, -1},
        {803, {{"id", 0}, {"pin", "12a456"}}, 0, 0x866A},
        {805, {{"sfid", 1}, {"pos", 256}, {"data", "00"}}, 0, 0x866A},
        {805, {{"sfid", 0}, {"pos", 0x8000}, {"data", "00"}}, 0, 0x866A},
        {808, {{"sfid", 32}, {"pos", 0}, {"size", 4}}, 0, 0x866A},
        {806, {{"sfid", 40}, {"id", 1}, {"mode", 4}, {"data", "00"}}, 0, 0x866A},
        {805, {{"sfid", 1}, {"pos", 0}, {"data", std::string(600, '5')}}, 0, 0x866A},
        {808, {{"sfid", 1}, {"pos", 0}, {"size", 300}}, 0, 0x866A},
        {904, writeKey(0x01, 0, 0x3A, 0, {{"alg", 1}, {"param", "12345678901234"}}), 0, 0x866A},
        {903, {{"type", 2}, {"use", 0xF0}, {"sfi", 32}}, 0, 0x866A},
        {800, {{"cpuId", 2}, {"is32", true}}, 113, -1},
    };
    for (const auto& c : cases) {
        forget();
        json request = cpu();
        request.update(c.fields);
        const json reply = call(c.code, request);
        EXPECT_EQ(reply.value("err", -1), c.err) << c.code << " " << c.fields.dump();
        if (c.retval >= 0) {
            EXPECT_EQ(reply.value("retval", -1), c.retval) << c.code << " " << c.fields.dump();
        }
        EXPECT_TRUE(received().empty()) << c.code << " " << c.fields.dump();
    }
    // An "attr" of 902 that lacks a field is a malformed request: the connection is closed.
    forget();
    client.send(902, cpu({{"type", 0x28},
                          {"fid", 0x16},
                          {"size", 32},
                          {"read", 0xF0},
                          {"write", 0xF0},
                          {"attr", {{"macr", false}, {"macw", true}, {"enc", false}, {"idr", 0}}}}));
    EXPECT_TRUE(client.ws().closedByServer());
    EXPECT_TRUE(received().empty());
}
