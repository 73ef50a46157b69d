// Keys from requests, the exchange with a client that holds a key, and the provider works.

#include <gtest/gtest.h>

#include <future>
#include <latch>
#include <thread>

#include "commands/key_provider/key_data_fill.hpp"
#include "commands/key_provider/provider_exchange.hpp"
#include "commands/key_provider/provider_wait.hpp"
#include "commands/key_provider/provider_work.hpp"
#include "support/fake_channel.hpp"

using nlohmann::json;
using Orvane::cos_7816::_KeyData;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes keyBytes(const _KeyData& key) {
    return Bytes(key.key.begin(), key.key.begin() + key.keyLen);
}

}  // namespace

TEST(KeyDataFill, KeyTextsByAlgorithm) {
    const struct {
        json object;
        int result;
        Bytes bytes;  // on 0
        int err;      // on 1
    } cases[] = {
        // PIN digits: two a byte, an odd count ending in the nibble F.
        {{{"alg", 1}, {"param", "12345"}}, 0, {0x12, 0x34, 0x5F}, 0},
        {{{"alg", 1}, {"param", "123456"}}, 0, {0x12, 0x34, 0x56}, 0},
        {{{"alg", 1}, {"param", "12a4"}}, 1, {}, 105},
        {{{"alg", 1}, {"param", "12 34"}}, 1, {}, 105},
        {{{"alg", 1}, {"param", std::string(33, '1')}}, 1, {}, 105},
        {{{"alg", 1}, {"param", std::string(32, '1')}}, 0, Bytes(16, 0x11), 0},
        // DES family: hex by the common rule.
        {{{"alg", 2}, {"param", "0x11-22 33"}}, 0, {0x11, 0x22, 0x33}, 0},
        {{{"alg", 2}, {"param", "112"}}, 1, {}, 105},
        {{{"alg", 2}, {"param", std::string(34, 'A')}}, 1, {}, 105},
        // Any other algorithm: the text itself, at most 16 bytes.
        {{{"alg", 7}, {"param", "abc"}}, 0, {'a', 'b', 'c'}, 0},
        {{{"alg", 0}, {"param", std::string(17, 'x')}}, 1, {}, 112},
        {{{"alg", 258}, {"param", "12"}}, 0, {0x12}, 0},  // the low byte counts: 2
        // Not handled.
        {{{"alg", 2}}, -1, {}, 0},
        {{{"alg", -1}, {"param", "11"}}, -1, {}, 0},
        {{{"alg", "2"}, {"param", "11"}}, -1, {}, 0},
        {{{"alg", 2}, {"param", 11}}, -1, {}, 0},
    };
    for (const auto& c : cases) {
        json reply = json::object();
        _KeyData key;
        EXPECT_EQ(key_provider::KeyDataFill(reply, c.object, key, nullptr), c.result) << c.object;
        if (c.result == 0) {
            EXPECT_EQ(keyBytes(key), c.bytes) << c.object;
        } else if (c.result == 1) {
            EXPECT_EQ(reply["err"], c.err) << c.object;
        }
        EXPECT_FALSE(key.provider) << c.object;
    }
}

TEST(KeyDataFill, SecureMessagingAndProviderPlaces) {
    const auto channel = std::make_shared<FakeChannel>();
    json reply = json::object();
    _KeyData key;
    key.enc = true;
    EXPECT_EQ(key_provider::fillSecureMessaging(reply, json::object(), key, channel), 0);
    EXPECT_FALSE(key.enc);

    const json safe = {{"safe", {{"enc", false}, {"mac", true}, {"key", {{"alg", 2}, {"param", "00"}}}}}};
    EXPECT_EQ(key_provider::fillSecureMessaging(reply, safe, key, channel), 0);
    EXPECT_TRUE(key.mac);
    EXPECT_FALSE(key.enc);
    EXPECT_FALSE(key.provider);
    for (const char* missing : {"enc", "mac", "key"}) {
        json incomplete = safe;
        incomplete["safe"].erase(missing);
        EXPECT_EQ(key_provider::fillSecureMessaging(reply, incomplete, key, channel), -1) << missing;
    }

    json provided = safe;
    provided["safe"]["key"]["provider"] = true;
    EXPECT_EQ(key_provider::fillSecureMessaging(reply, provided, key, channel), 0);
    EXPECT_TRUE(key.provider);

    using key_provider::KeyPlaces;
    const json providerKey = {{"alg", 2}, {"param", ""}, {"provider", true}};
    EXPECT_TRUE(key_provider::needsProvider(provided, KeyPlaces{.safe = true}));
    EXPECT_FALSE(key_provider::needsProvider(provided, KeyPlaces{.key = true, .keyTac = true}));
    EXPECT_TRUE(key_provider::needsProvider({{"keyTac", providerKey}}, KeyPlaces{.keyTac = true}));
    EXPECT_TRUE(key_provider::needsProvider({{"key", providerKey}}, KeyPlaces{.key = true}));
    EXPECT_FALSE(key_provider::needsProvider({{"key", {{"provider", 1}}}}, KeyPlaces{.key = true}));
    EXPECT_FALSE(key_provider::needsProvider({{"safe", "key"}}, KeyPlaces{.safe = true}));
    EXPECT_FALSE(key_provider::needsProvider(json::array(), KeyPlaces{true, true, true}));
}

namespace {

// A client holding a key: it sees the service's requests on its channel and answers them.
class ProviderExchange : public testing::Test {
  protected:
    // Runs one provider operation on a thread; the test answers through answerLast().
    std::future<std::uint16_t> operate(std::uint8_t op, const std::uint8_t* iv, Bytes data = {1, 2, 3}) {
        key.alg = 2;
        key.keyLen = 2;
        key.key[0] = 0xAB;
        key.key[1] = 0xCD;
        return std::async(std::launch::async, [this, op, iv, data]() mutable {
            const std::uint16_t sw = key_provider::providerFor(channel)(op, iv, key, data);
            std::lock_guard lock(resultMutex);
            result = data;
            return sw;
        });
    }

    json awaitRequest(std::size_t n) {
        EXPECT_TRUE(channel->waitForSent(n));
        return json::parse(channel->sent().at(n - 1));
    }

    static json answerTo(const json& request, json retval, json data) {
        return {{"imp", 0}, {"ack", request["ack"]}, {"retval", retval}, {"data", data}};
    }

    std::shared_ptr<FakeChannel> channel = std::make_shared<FakeChannel>();
    _KeyData key;
    std::mutex resultMutex;
    Bytes result;
};

}  // namespace

TEST_F(ProviderExchange, RequestsCarryTheOperationAndTheAnswerReplacesTheData) {
    const std::uint8_t iv[8] = {0, 1, 2, 3, 4, 5, 6, 0xFF};
    auto mac = operate(2, iv);
    const json request = awaitRequest(1);
    EXPECT_EQ(request["imp"], 0);
    EXPECT_EQ(request["type"], 2);
    EXPECT_EQ(request["alg"], 2);
    EXPECT_EQ(request["param"], "ABCD");
    EXPECT_EQ(request["iv"], "00010203040506FF");
    EXPECT_EQ(request["data"], "010203");
    EXPECT_EQ(ResolveProviderResponse(channel, answerTo(request, 144, "0x1122334455667788")), 1);
    EXPECT_EQ(mac.get(), 0x0090);
    EXPECT_EQ(result, (Bytes{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}));

    auto encrypt = operate(0, nullptr);
    const json second = awaitRequest(2);
    EXPECT_EQ(second["type"], 0);
    EXPECT_EQ(second["iv"], "");
    EXPECT_GT(second["ack"].get<std::uint64_t>(), request["ack"].get<std::uint64_t>());
    // The status word keeps its low 16 bits, SW1 in the low byte.
    ResolveProviderResponse(channel, answerTo(second, 0x12345 + (1 << 20), "AA"));
    EXPECT_EQ(encrypt.get(), 0x2345);
}

TEST_F(ProviderExchange, AnswersWithoutAStatusOrDataAreRefused) {
    for (const json& bad : {answerTo({{"ack", 0}}, 144, ""), answerTo({{"ack", 0}}, "144", "AA"),
                            answerTo({{"ack", 0}}, 144, "ABC"), answerTo({{"ack", 0}}, 144.5, "AA"),
                            answerTo({{"ack", 0}}, 144, nullptr)}) {
        const std::size_t n = channel->sentCount() + 1;
        auto sw = operate(1, nullptr);
        json answer = bad;
        answer["ack"] = awaitRequest(n)["ack"];
        ResolveProviderResponse(channel, std::move(answer));
        EXPECT_EQ(sw.get(), 0x866A) << bad;
        EXPECT_EQ(result, (Bytes{1, 2, 3})) << bad;
    }
}

TEST_F(ProviderExchange, OnlyTheConnectionTheRequestWentToCanAnswerIt) {
    auto sw = operate(2, nullptr);
    const json request = awaitRequest(1);
    const auto otherPage = std::make_shared<FakeChannel>();
    // Another connection guessing the ack is ignored, as is a second answer to the same ack.
    EXPECT_EQ(ResolveProviderResponse(otherPage, answerTo(request, 144, "EEEEEEEE")), 1);
    EXPECT_EQ(pendingProviderWaits(), 1u);
    EXPECT_EQ(ResolveProviderResponse(channel, answerTo(request, 144, "11111111")), 1);
    EXPECT_EQ(ResolveProviderResponse(channel, answerTo(request, 144, "22222222")), 1);
    EXPECT_EQ(sw.get(), 0x0090);
    EXPECT_EQ(result, (Bytes{0x11, 0x11, 0x11, 0x11}));
    // Not a provider answer at all: the session closes the connection.
    EXPECT_EQ(ResolveProviderResponse(channel, {{"imp", 0}, {"ack", "1"}}), 0);
    EXPECT_EQ(ResolveProviderResponse(nullptr, answerTo(request, 144, "11")), 0);
}

TEST_F(ProviderExchange, CancellingASessionReleasesOnlyItsOwnWaits) {
    auto mine = operate(2, nullptr);
    awaitRequest(1);
    const auto other = std::make_shared<FakeChannel>();
    _KeyData otherKey;
    auto theirs = std::async(std::launch::async, [&] {
        Bytes data = {9};
        return key_provider::providerFor(other)(0, nullptr, otherKey, data);
    });
    ASSERT_TRUE(other->waitForSent(1));
    cancelProviderWaits(channel.get());
    EXPECT_EQ(mine.get(), 0x866A);
    EXPECT_EQ(theirs.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    ResolveProviderResponse(other, answerTo(json::parse(other->lastSent()), 144, "99"));
    EXPECT_EQ(theirs.get(), 0x0090);
    EXPECT_EQ(pendingProviderWaits(), 0u);
}

TEST_F(ProviderExchange, AClosedOrFailingConnectionIsACommunicationFailure) {
    channel->close();
    EXPECT_EQ(operate(2, nullptr).get(), 0xFFFF);
    channel = std::make_shared<FakeChannel>();
    channel->setFailSends(true);
    EXPECT_EQ(operate(2, nullptr).get(), 0xFFFF);
    EXPECT_EQ(pendingProviderWaits(), 0u);
    Bytes data;
    EXPECT_EQ(key_provider::providerFor(nullptr)(0, nullptr, key, data), 0xFFFF);
}

TEST(ProviderWorks, InlineWithoutProviderBoundedWithIt) {
    const auto channel = std::make_shared<FakeChannel>();
    key_provider::ProviderWorks works(channel);
    json reply = {{"ack", "a"}};
    EXPECT_EQ(works.run(
                  {}, reply, [](const json&, json& r, const ChannelPtr&) { return r["x"] = 1, 0; }, false),
              1);
    EXPECT_EQ(reply["x"], 1);
    EXPECT_EQ(reply["err"], 0);
    EXPECT_EQ(works.run({}, reply, nullptr, false), 1);
    EXPECT_EQ(reply["err"], 114);

    // Works that wait for the client: the ninth is refused while eight wait.
    std::latch release(1);
    const auto waiting = [&](const json&, json& r, const ChannelPtr&) {
        release.wait();
        r["done"] = true;
        return 0;
    };
    for (int i = 0; i < key_provider::ProviderWorks::kMaxInFlight; ++i) {
        json r = {{"ack", std::to_string(i)}};
        EXPECT_EQ(works.run({}, r, waiting, true), 2) << i;
    }
    json refused = {{"ack", "9"}};
    EXPECT_EQ(works.run({}, refused, waiting, true), 1);
    EXPECT_EQ(refused["err"], 114);
    release.count_down();
    ASSERT_TRUE(channel->waitForSent(8));
    for (const auto& text : channel->sent())
        EXPECT_EQ(json::parse(text)["err"], 0);
    for (int i = 0; i < 200 && works.inFlight() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(works.inFlight(), 0);
}

TEST(ProviderWorks, AMalformedRequestFoundOnTheThreadClosesTheConnection) {
    const auto channel = std::make_shared<FakeChannel>();
    key_provider::ProviderWorks works(channel);
    json reply = {{"ack", "a"}};
    EXPECT_EQ(works.run(
                  {}, reply, [](const json&, json&, const ChannelPtr&) { return -1; }, true),
              2);
    for (int i = 0; i < 200 && channel->isConnected(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(channel->isConnected());
    EXPECT_EQ(channel->sentCount(), 0u);
}

TEST(ProviderWorks, AClosingSessionEndsTheWorksWaitingForItsClient) {
    const auto channel = std::make_shared<FakeChannel>();
    auto works = std::make_unique<key_provider::ProviderWorks>(channel);
    json reply = {{"ack", "a"}};
    std::atomic<std::uint16_t> status{0};
    works->run(
        {}, reply,
        [&status](const json&, json& r, const ChannelPtr& c) {
            _KeyData key;
            Bytes data = {1};
            status = key_provider::providerFor(c)(2, nullptr, key, data);
            r["retval"] = status.load();
            return 0;
        },
        true);
    ASSERT_TRUE(channel->waitForSent(1));
    const auto start = std::chrono::steady_clock::now();
    works.reset();
    ASSERT_TRUE(channel->waitForSent(2));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(status.load(), 0x866A);
    EXPECT_TRUE(key_provider::awaitProviderWorks(std::chrono::seconds(1)));
}
