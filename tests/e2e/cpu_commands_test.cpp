// CPU card commands 300 to 311 over real WebSocket sessions, against the simulated CPU card on one
// reader of each family that takes a card into ISO 14443-4.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "card/cpu/des_crypt.hpp"
#include "crypto/hex.hpp"
#include "crypto/providers.hpp"
#include "sim/card/cpu_card.hpp"
#include "sim/field/type_a_commands.hpp"
#include "sim_service.hpp"
#include "support/hex_bytes.hpp"

using nlohmann::json;
using namespace std::chrono_literals;

namespace {

const std::string kUid = "04112233445566";
const std::string kSmKey = "606162636465666768696A6B6C6D6E6F";  // the card's secure-messaging key

json slot(json fields = json::object()) {
    fields["rfIdx"] = 0;
    return fields;
}

// 311 fields for an APDU without data that expects `le` bytes back.
json readApdu(int cla, int ins, int p1, int p2, int le, json safe = nullptr) {
    json request = slot(
        {{"cla", cla}, {"ins", ins}, {"p1", p1}, {"p2", p2}, {"le", le}, {"lcData", ""}, {"incLe", true}});
    if (!safe.is_null()) request["safe"] = std::move(safe);
    return request;
}

json safe(bool enc, bool mac, bool provider = false) {
    json key = {{"alg", 2}, {"param", provider ? "" : kSmKey}};
    if (provider) key["provider"] = true;
    return {{"enc", enc}, {"mac", mac}, {"key", key}};
}

std::string counting(int first, int count) {
    Bytes bytes;
    for (int i = 0; i < count; ++i)
        bytes.push_back(static_cast<std::uint8_t>(first + i));
    return Orvane::hexEncode(bytes);
}

struct Family {
    const char* name;
    int type;
};

void PrintTo(const Family& f, std::ostream* os) {
    *os << f.name;
}

class CpuService : public testing::TestWithParam<Family> {
  protected:
    void SetUp() override {
        Orvane::loadCryptoProviders();
        ASSERT_TRUE(service.ready());
        service.readers.add(static_cast<std::uint8_t>(GetParam().type));
        ASSERT_TRUE(
            rfsim::attachField(service.readers.reader(static_cast<std::uint8_t>(GetParam().type)), field));
        ASSERT_TRUE(client.loggedIn());
        ASSERT_EQ(client.call(100, slot({{"devType", GetParam().type}}))["err"], 0);
        ASSERT_EQ(client.call(105, slot({{"open", true}}), 30s)["retval"], 1);
        field->place(card);
    }

    json call(int code, json request = slot()) { return client.call(code, std::move(request)); }

    // 311 with a key the client holds: the client answers every provider request with `answer`
    // until the reply comes.
    template <typename Answer>
    json callWithProvider(json request, Answer answer) {
        const std::string ack = client.send(311, std::move(request));
        for (auto message = client.next(15s); message; message = client.next(15s)) {
            if (message->contains("imp")) {
                json reply = answer(*message);
                if (!reply.is_null()) client.ws().sendText(reply.dump());
                continue;
            }
            if ((*message)["ack"] == ack) return *message;
        }
        return nullptr;
    }

    SimService service;
    std::shared_ptr<rfsim::VirtualField> field = std::make_shared<rfsim::VirtualField>();
    std::shared_ptr<rfsim::CpuCard> card = rfsim::makeCpuCard(hexBytes(kUid));
    SimClient client{service};
};

const Family kFamilies[] = {{"VD", kReaderVdHid}, {"VC", kReaderVcCh9326}};

// A client's own key operation, as a page holding the key computes it.
json providerAnswer(const json& request) {
    Orvane::Cipher cipher;
    const auto key = hexBytes(kSmKey);
    auto data = Orvane::hexDecode(request["data"].get<std::string>()).value();
    const auto iv = Orvane::hexDecode(request["iv"].get<std::string>()).value_or(Bytes{});
    const std::uint16_t sw = Orvane::desCrypt(cipher, request["type"].get<std::uint8_t>(), key,
                                              iv.size() == 8 ? iv.data() : nullptr, data);
    return {{"imp", 0}, {"ack", request["ack"]}, {"retval", sw}, {"data", Orvane::hexEncode(data)}};
}

}  // namespace

TEST_P(CpuService, WithoutAnActiveCardNothingIsSent) {
    EXPECT_EQ(call(302)["retval"], 0);
    const json raw = call(310, slot({{"apdu", "0084000008"}}));
    EXPECT_EQ(raw["err"], 0);
    EXPECT_EQ(raw["retval"], 0);
    EXPECT_EQ(raw["data"], "");
    EXPECT_EQ(call(311, readApdu(0, 0x84, 0, 0, 8))["retval"], 0xFFFF);
    EXPECT_EQ(call(309)["retval"], "未复位激活 无详细信息");
}

TEST_P(CpuService, ActivationAndWhatTheCardTells) {
    const json any = call(304);
    EXPECT_EQ(any["retval"], 1);
    EXPECT_EQ(any["sak"], 0x20);
    EXPECT_EQ(call(302)["retval"], 1);
    // A VC reader tells only the first cascade level of the UID when it activates any card.
    if (GetParam().type != kReaderVcCh9326) {
        EXPECT_EQ(any["uid"], kUid);
        EXPECT_EQ(call(303)["retval"], kUid);
        EXPECT_EQ(call(305)["retval"], "1716864051");  // 33 44 55 66 little-endian
    }
    const json ats = call(308);
    EXPECT_EQ(ats["retval"].get<std::string>().substr(0, 14), "0D787781022152");
    EXPECT_EQ(call(307)["retval"], 0x21);
    EXPECT_EQ(call(306)["retval"], 0x52);
    EXPECT_EQ(call(309)["retval"].get<std::string>().rfind("当前复位激活详细信息\nATS数据:0D 78 77 81", 0),
              0u);

    EXPECT_EQ(call(301)["err"], 0);
    EXPECT_EQ(call(302)["retval"], 0);
    EXPECT_EQ(call(303)["retval"], "");
    EXPECT_EQ(call(300, slot({{"uid", kUid}}))["retval"], 1);
    EXPECT_EQ(call(300, slot({{"uid", "01020304"}}))["retval"], 0);
    EXPECT_EQ(call(302)["retval"], 0);
}

TEST_P(CpuService, PlainAndSecuredApdus) {
    ASSERT_EQ(call(300, slot({{"uid", kUid}}))["retval"], 1);
    const json raw = call(310, slot({{"apdu", "00A4040008F05246444F434B01"}}));
    EXPECT_EQ(raw["retval"], 1);
    EXPECT_EQ(raw["data"].get<std::string>().substr(0, 2), "6F");
    EXPECT_EQ(raw["data"].get<std::string>().substr(raw["data"].get<std::string>().size() - 4), "9000");

    // READ BINARY by short EF identifier: plain, with a MAC, enciphered with a MAC.
    const json plain = call(311, readApdu(0, 0xB0, 0x81, 0, 16));
    EXPECT_EQ(plain["retval"], 0x0090);
    EXPECT_EQ(plain["data"], counting(0x00, 16));
    const json maced = call(311, readApdu(0, 0xB0, 0x83, 0, 16, safe(false, true)));
    EXPECT_EQ(maced["retval"], 0x0090);
    EXPECT_EQ(maced["data"], counting(0xA0, 16));
    const json sealed = call(311, readApdu(0, 0xB0, 0x84, 0, 16, safe(true, true)));
    EXPECT_EQ(sealed["retval"], 0x0090);
    EXPECT_EQ(sealed["data"], counting(0xB0, 16));
    // Without its MAC the protected file stays closed.
    EXPECT_EQ(call(311, readApdu(0, 0xB0, 0x83, 0, 16))["retval"], 0x8269);

    card->setFaults({.badResponseMac = true});
    const json corrupted = call(311, readApdu(0, 0xB0, 0x83, 0, 16, safe(false, true)));
    EXPECT_EQ(corrupted["retval"], 0x8162);
    EXPECT_EQ(corrupted["data"], counting(0xA0, 16));
}

TEST_P(CpuService, KeysTheClientHolds) {
    ASSERT_EQ(call(300, slot({{"uid", kUid}}))["retval"], 1);
    ASSERT_EQ(call(310, slot({{"apdu", "00A4040008F05246444F434B01"}}))["retval"], 1);
    std::vector<json> requests;
    const json reply =
        callWithProvider(readApdu(0, 0xB0, 0x84, 0, 16, safe(true, true, true)), [&](const json& r) {
            requests.push_back(r);
            return providerAnswer(r);
        });
    EXPECT_EQ(reply["retval"], 0x0090);
    EXPECT_EQ(reply["data"], counting(0xB0, 16));
    // The command MAC with the challenge as IV, then the response's MAC and decryption.
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0]["type"], 2);
    EXPECT_EQ(requests[0]["iv"].get<std::string>().size(), 16u);
    EXPECT_EQ(requests[2]["type"], 1);
    EXPECT_EQ(requests[2]["iv"], "");

    // A provider answering without data, and one that never answers.
    EXPECT_EQ(callWithProvider(readApdu(0, 0xB0, 0x83, 0, 16, safe(false, true, true)),
                               [](const json& r) {
                                   return json{{"imp", 0}, {"ack", r["ack"]}, {"retval", 144}, {"data", ""}};
                               })["retval"],
              0x866A);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(callWithProvider(readApdu(0, 0xB0, 0x83, 0, 16, safe(false, true, true)),
                               [](const json&) { return json(nullptr); })["retval"],
              0xFFFF);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 9500ms);
    EXPECT_EQ(call(1)["err"], 0);  // the session went on reading meanwhile
}

TEST_P(CpuService, TheFinderLeavesAnActiveCardAloneBetweenApdus) {
    ASSERT_EQ(call(113, slot({{"enable", true}, {"limit", 0}}))["err"], 0);
    ASSERT_EQ(call(117, slot({{"ms", 10}, {"evt", true}, {"fixIdle", true}}))["err"], 0);
    ASSERT_EQ(call(300, slot({{"uid", kUid}}))["retval"], 1);
    ASSERT_EQ(call(310, slot({{"apdu", "00A4040008F05246444F434B01"}}))["retval"], 1);
    // Each pause spans several finder passes; a pass that woke or deselected the card would leave
    // it without its application selected, and the next read would fail.
    for (int round = 0; round < 15; ++round) {
        std::this_thread::sleep_for(50ms);
        const json read = call(311, readApdu(0, 0xB0, 0x81, 0, 16));
        ASSERT_EQ(read["retval"], 0x0090) << "round " << round;
        ASSERT_EQ(read["data"], counting(0x00, 16));
    }
    EXPECT_EQ(call(119)["err"], 0);
}

TEST_P(CpuService, AFloodOfProviderWorkIsBoundedAndEndsWithTheSession) {
    ASSERT_EQ(call(106)["err"], 0);  // the flooding session takes the reader
    auto flooder = std::make_unique<SimClient>(service);
    ASSERT_TRUE(flooder->loggedIn());
    ASSERT_EQ(flooder->call(100, slot({{"devType", GetParam().type}}))["err"], 0);
    ASSERT_EQ(flooder->call(105, slot({{"open", true}}), 30s)["retval"], 1);
    ASSERT_EQ(flooder->call(300, slot({{"uid", kUid}}))["retval"], 1);
    constexpr int kSent = 12;
    for (int i = 0; i < kSent; ++i)
        flooder->send(311, readApdu(0, 0xB0, 0x83, 0, 16, safe(false, true, true)));
    // Never answered. The works beyond the bound are refused at once; those in flight take the
    // card one at a time, so one key request is out and the others wait for the card.
    int refused = 0, requests = 0;
    for (int i = 0; i < kSent - 8 + 1; ++i) {
        const auto message = flooder->next();
        ASSERT_TRUE(message);
        if (message->contains("imp")) ++requests;
        if (message->value("err", 0) == 114) ++refused;
    }
    EXPECT_EQ(requests, 1);
    EXPECT_EQ(refused, kSent - 8);
    EXPECT_EQ(flooder->call(1, slot())["err"], 0);

    // The works end with their session, long before their waits would.
    const auto start = std::chrono::steady_clock::now();
    flooder.reset();
    ASSERT_EQ(client.call(105, slot({{"open", true}}), 30s)["retval"], 1);
    ASSERT_EQ(call(300, slot({{"uid", kUid}}))["retval"], 1);
    EXPECT_EQ(call(310, slot({{"apdu", "0084000008"}}))["retval"], 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST_P(CpuService, BadInput) {
    EXPECT_EQ(call(300, slot({{"uid", "0x1"}}))["err"], 105);
    EXPECT_EQ(call(310, slot({{"apdu", "00A"}}))["err"], 105);
    json badData = readApdu(0, 0xB0, 0x81, 0, 16);
    badData["lcData"] = std::string(2 * 256, 'A');
    EXPECT_EQ(call(311, badData)["err"], 105);
    EXPECT_EQ(call(302, json{{"rfIdx", 6}})["err"], 109);
    EXPECT_EQ(call(398)["err"], 103);
    json badKey = readApdu(0, 0xB0, 0x81, 0, 16, safe(false, true));
    badKey["safe"]["key"]["param"] = "123";
    EXPECT_EQ(call(311, badKey)["err"], 105);
}

INSTANTIATE_TEST_SUITE_P(Families, CpuService, testing::ValuesIn(kFamilies),
                         [](const auto& info) { return std::string(info.param.name); });
