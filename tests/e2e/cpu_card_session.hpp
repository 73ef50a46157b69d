#pragma once
// A logged-in session with a simulated CPU card activated on a VD HID reader in slot 0: the base of
// the command-set tests (7816, FM, e-purse). Gives the card's received commands and a client-side
// key provider that answers every key request with one key.

#include <gtest/gtest.h>

#include <chrono>

#include "card/cpu/des_crypt.hpp"
#include "crypto/hex.hpp"
#include "crypto/providers.hpp"
#include "sim/card/cpu_card.hpp"
#include "sim/field/type_a_commands.hpp"
#include "sim_service.hpp"
#include "support/hex_bytes.hpp"

namespace cpu_session {

using nlohmann::json;
using namespace std::chrono_literals;

inline const std::string kUid = "04112233445566";
constexpr int kOk = 0x0090;

// Fields of a command to the type A CPU card of slot 0.
inline json cpu(json fields = json::object()) {
    fields["rfIdx"] = 0;
    fields["cpuId"] = 0;
    return fields;
}

// A DES-family key object; with `provider` the key stays with the client.
inline json desKey(const std::string& hex, bool provider = false) {
    json key = {{"alg", 2}, {"param", provider ? "" : hex}};
    if (provider) key["provider"] = true;
    return key;
}

class CpuCardSession : public testing::Test {
  protected:
    void SetUp() override {
        Orvane::loadCryptoProviders();
        ASSERT_TRUE(service.ready());
        service.readers.add(kReaderVdHid);
        ASSERT_TRUE(rfsim::attachField(service.readers.reader(kReaderVdHid), field));
        ASSERT_TRUE(client.loggedIn());
        ASSERT_EQ(client.call(100, json{{"rfIdx", 0}, {"devType", kReaderVdHid}})["err"], 0);
        ASSERT_EQ(client.call(105, json{{"rfIdx", 0}, {"open", true}}, 30s)["retval"], 1);
        field->place(card);
        ASSERT_EQ(call(300, json{{"rfIdx", 0}, {"uid", kUid}})["retval"], 1);
    }

    json call(int code, json request) { return client.call(code, std::move(request)); }
    // The retval of a command that completed (result 0).
    int status(int code, json request) {
        const json reply = call(code, std::move(request));
        EXPECT_EQ(reply.value("err", -1), 0) << code << " " << reply.dump();
        return reply.value("retval", -1);
    }

    std::vector<Bytes> received() {
        return card->withCos([](rfsim::cos::CosCard& cos) { return cos.received(); });
    }
    void forget() {
        card->withCos([](rfsim::cos::CosCard& cos) { cos.clearReceived(); });
    }
    std::string lastReceived() {
        const auto all = received();
        return all.empty() ? "(none)" : Orvane::hexEncode(all.back());
    }

    // A command whose key the client holds: every provider request is answered with `keyHex`.
    json callWithProvider(int code, json request, const std::string& keyHex, int* asked = nullptr) {
        const std::string ack = client.send(code, std::move(request));
        for (auto message = client.next(15s); message; message = client.next(15s)) {
            if (message->contains("imp")) {
                if (asked) ++*asked;
                client.ws().sendText(providerAnswer(*message, keyHex).dump());
                continue;
            }
            if ((*message)["ack"] == ack) return *message;
        }
        return nullptr;
    }

    static json providerAnswer(const json& request, const std::string& keyHex) {
        Orvane::Cipher cipher;
        const Bytes key = hexBytes(keyHex);
        auto data = Orvane::hexDecode(request["data"].get<std::string>()).value();
        const auto iv = Orvane::hexDecode(request["iv"].get<std::string>()).value_or(Bytes{});
        const std::uint16_t sw = Orvane::desCrypt(cipher, request["type"].get<std::uint8_t>(), key,
                                                  iv.size() == 8 ? iv.data() : nullptr, data);
        return {{"imp", 0}, {"ack", request["ack"]}, {"retval", sw}, {"data", Orvane::hexEncode(data)}};
    }

    SimService service;
    std::shared_ptr<rfsim::VirtualField> field = std::make_shared<rfsim::VirtualField>();
    std::shared_ptr<rfsim::CpuCard> card = rfsim::makeCpuCard(hexBytes(kUid));
    SimClient client{service};
};

}  // namespace cpu_session
