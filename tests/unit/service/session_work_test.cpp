#include "service/session/session_work.hpp"

#include <gtest/gtest.h>

#include "protocol/result_codes.hpp"
#include "service/identity/machine_identity.hpp"
#include "support/fake_channel.hpp"
#include "support/log_capture.hpp"

using nlohmann::json;

namespace {

class SessionTest : public testing::Test {
  protected:
    SessionTest() : config(std::make_shared<IniCfg>()), session(channel, config) {
        config->SetValue("user", "public", "login");
        config->SetValue("pass", "secret", "login");
    }

    json lastReply() const { return json::parse(channel->lastSent()); }

    void logIn() {
        ASSERT_TRUE(session.dispatch(R"({"ack":"l","code":0,"user":"public","pass":"secret"})"));
        ASSERT_EQ(lastReply()["err"], 0);
    }

    std::shared_ptr<FakeChannel> channel = std::make_shared<FakeChannel>();
    IniCfgPtr config;
    SessionWork session;
};

}  // namespace

TEST_F(SessionTest, MalformedMessagesCloseWithoutReply) {
    const char* const malformed[] = {
        "not json",
        "",
        R"({"ack":"a","code":1)",
        R"([1,2,3])",
        R"("text")",
        R"({"code":1})",
        R"({"ack":7,"code":0,"user":"public","pass":"secret"})",
        R"({"ack":"a"})",
        R"({"ack":"a","code":"1"})",
        R"({"ack":"a","code":1.5})",
        R"({"ack":"a","code":1e30})",
        R"({"ack":"a","code":18446744073709551616})",
        R"({"ack":"a","code":0,"user":"public"})",
        R"({"ack":"a","code":0,"user":1,"pass":"secret"})",
        R"({"imp":1,"ack":1})",
        R"({"imp":-0.5,"ack":1})",
        R"({"imp":0,"ack":"1"})",
        R"({"imp":0})",
    };
    for (const char* text : malformed) {
        EXPECT_FALSE(session.dispatch(text)) << text;
        EXPECT_TRUE(channel->sent().empty()) << text;
    }
}

TEST_F(SessionTest, MalformedAfterLoginAlsoClose) {
    logIn();
    const size_t before = channel->sent().size();
    for (const char* text :
         {R"({"ack":"a","code":400})", R"({"ack":"a","code":400,"sw":-1})",
          R"({"ack":"a","code":400,"sw":"144"})", R"({"ack":"a","code":400,"sw":144.0})"}) {
        EXPECT_FALSE(session.dispatch(text)) << text;
    }
    EXPECT_EQ(channel->sent().size(), before);
}

// The log says which field made a request malformed, by name and kind, never by value.
TEST_F(SessionTest, AClosingForAMalformedRequestIsLoggedWithTheField) {
    LogCapture log;
    const struct {
        const char* message;
        const char* logged;
    } beforeLogin[] = {
        {R"({"ack":"a","code":0,"user":"public"})", R"(message code 0 ack "a": field "pass" missing)"},
        {R"({"ack":"a","code":0,"user":1,"pass":"hunter2"})",
         R"(message code 0 ack "a": field "user" not a string)"},
        {R"({"ack":"a","code":"1"})", R"(message (no code) ack "a": field "code" not a whole number)"},
        {R"({"ack":"a"})", R"(message (no code) ack "a": field "code" missing)"},
        {R"({"code":1})", R"(message code 1: field "ack" missing)"},
    };
    for (const auto& c : beforeLogin) {
        EXPECT_FALSE(session.dispatch(c.message)) << c.message;
        EXPECT_TRUE(log.contains(std::string("closing the connection: ") + c.logged)) << c.message;
    }
    logIn();
    EXPECT_FALSE(session.dispatch(R"({"ack":"k","code":400,"sw":-1})"));
    EXPECT_TRUE(log.contains(R"(message code 400 ack "k": field "sw" not a whole number of 0 or more)"));
    EXPECT_FALSE(log.contains("hunter2"));
}

TEST_F(SessionTest, BinaryFrameCloses) {
    channel->setTextFrame(false);
    EXPECT_FALSE(session.dispatch(R"({"ack":"a","code":0,"user":"public","pass":"secret"})"));
    EXPECT_TRUE(channel->sent().empty());
}

TEST_F(SessionTest, CommandBeforeLoginIsRefusedAndConnectionStays) {
    EXPECT_TRUE(session.dispatch(R"({"ack":"v","code":1})"));
    EXPECT_EQ(channel->lastSent(),
              "{\n  \"ack\": \"v\",\n  \"err\": 100,\n  \"msg\": \"请登录插件服务后操作!\"\n}");
    EXPECT_FALSE(session.loggedIn());
}

TEST_F(SessionTest, LoginStateSurvivesAWrongSecondLogin) {
    EXPECT_TRUE(session.dispatch(R"({"ack":"1","code":0,"user":"public","pass":"secreT"})"));
    EXPECT_EQ(lastReply()["err"], 101);
    EXPECT_EQ(lastReply()["msg"], "插件服务接入验证失败!");
    EXPECT_TRUE(session.dispatch(R"({"ack":"1","code":0,"user":"public","pass":"secret "})"));
    EXPECT_EQ(lastReply()["err"], 101);
    EXPECT_FALSE(session.loggedIn());

    logIn();
    EXPECT_TRUE(session.dispatch(R"({"ack":"2","code":0,"user":"public","pass":"wrong"})"));
    EXPECT_EQ(lastReply()["err"], 101);
    EXPECT_TRUE(session.loggedIn());
    EXPECT_TRUE(session.dispatch(R"({"ack":"3","code":1})"));
    EXPECT_EQ(lastReply()["err"], 0);
}

TEST_F(SessionTest, EmptyPasswordInFileMeansTheDefault) {
    config->SetValue("pass", "", "login");
    EXPECT_TRUE(session.dispatch(R"({"ack":"l","code":0,"user":"public","pass":""})"));
    EXPECT_EQ(lastReply()["err"], 101);
    const json login = {{"ack", "l"}, {"code", 0}, {"user", "public"}, {"pass", defaultPassword()}};
    EXPECT_TRUE(session.dispatch(login.dump()));
    EXPECT_EQ(lastReply()["err"], 0);
}

TEST_F(SessionTest, VersionReplyIsRenderedExactly) {
    logIn();
    EXPECT_TRUE(session.dispatch(R"({"ack":"ver","code":1,"extra":[1,2]})"));
    EXPECT_EQ(channel->lastSent(),
              "{\n"
              "  \"ack\": \"ver\",\n"
              "  \"build\": \"Release-armv7-a-Linux-Clang\",\n"
              "  \"err\": 0,\n"
              "  \"msg\": \"完成\",\n"
              "  \"ver\": 208,\n"
              "  \"version\": \"rfdock Ver:2.0.8\"\n"
              "}");
}

TEST_F(SessionTest, CodesWithoutHandlerAnswer103) {
    logIn();
    for (long long code : {3LL, 99LL, 199LL, 399LL, 401LL, 404LL, 498LL, 1199LL, -5LL, 4294967296LL}) {
        const json request = {{"ack", "x"}, {"code", code}};
        EXPECT_TRUE(session.dispatch(request.dump())) << code;
        EXPECT_EQ(lastReply()["err"], 103) << code;
        EXPECT_EQ(lastReply()["msg"], "命令码不可用!") << code;
        EXPECT_EQ(lastReply().size(), 3u) << code;
    }
}

TEST_F(SessionTest, MachineIdentityAnswersTheDigests) {
    logIn();
    EXPECT_TRUE(session.dispatch(R"({"ack":"m","code":2})"));
    const json reply = lastReply();
    nlohmann::json expected = {{"ack", "m"}};
    fillMachineIdentity(expected);
    setResult(expected, Result::kDone);
    EXPECT_EQ(reply, expected);
    EXPECT_EQ(reply.size(), 5u);  // ack, err, md5, msg, sha256
}

TEST_F(SessionTest, StatusWordTextUsesTheLow16Bits) {
    logIn();
    EXPECT_TRUE(session.dispatch(R"({"ack":"s","code":400,"sw":144})"));
    EXPECT_EQ(lastReply()["retval"], "正常 成功执行");
    EXPECT_EQ(lastReply()["err"], 0);
    EXPECT_TRUE(session.dispatch(R"({"ack":"s","code":400,"sw":65680})"));  // 0x10090
    EXPECT_EQ(lastReply()["retval"], "正常 成功执行");
}

TEST_F(SessionTest, ProviderAnswersAreTakenBeforeLoginAndNeverAnswered) {
    EXPECT_TRUE(session.dispatch(R"({"imp":0,"ack":12345,"retval":144,"data":"00"})"));
    EXPECT_TRUE(session.dispatch(R"({"imp":0,"ack":-3})"));
    EXPECT_TRUE(channel->sent().empty());
    // A non-numeric imp does not make a provider answer: it is a command.
    EXPECT_TRUE(session.dispatch(R"({"imp":"0","ack":"c","code":1})"));
    EXPECT_EQ(lastReply()["err"], 100);
}

TEST_F(SessionTest, FailedSendClosesTheConnection) {
    channel->setFailSends(true);
    EXPECT_FALSE(session.dispatch(R"({"ack":"v","code":1})"));
    channel->setFailSends(false);
    channel->close();
    EXPECT_FALSE(session.dispatch(R"({"ack":"v","code":1})"));
}

TEST_F(SessionTest, InvalidUtf8InAckCannotBeRendered) {
    // The parser accepts only valid UTF-8, so an escaped lone surrogate is the way in.
    EXPECT_FALSE(session.dispatch(R"({"ack":"\ud800","code":1})"));
    EXPECT_TRUE(channel->sent().empty());
}

TEST_F(SessionTest, HostileNestingIsRefusedQuickly) {
    const std::string deep = "{\"ack\":\"a\",\"code\":1,\"x\":" + std::string(1 << 20, '[');
    EXPECT_FALSE(session.dispatch(deep));
    std::string ok = "{\"ack\":\"a\",\"code\":0,\"user\":\"public\",\"pass\":\"secret\",\"x\":";
    ok += std::string(62, '[') + std::string(62, ']') + "}";
    EXPECT_TRUE(session.dispatch(ok));
    EXPECT_EQ(lastReply()["err"], 0);
    // Brackets inside strings do not count.
    const std::string quoted =
        R"({"ack":"[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[","code":1})";
    EXPECT_TRUE(session.dispatch(quoted));
}

namespace {

// A channel that throws when a reply is handed to it, as an allocation that fails would.
class ThrowingChannel : public FakeChannel {
  public:
    bool sendText(std::string) override { throw std::runtime_error("no room for the reply"); }
};

}  // namespace

TEST(SessionFailures, AnExceptionInAHandlerClosesTheConnectionAndIsLoggedWithCodeAndAck) {
    LogCapture log;
    const auto channel = std::make_shared<ThrowingChannel>();
    SessionWork session(channel, std::make_shared<IniCfg>());
    const std::string longAck(300, 'a');
    const struct {
        std::string message;
        std::string logged;
    } cases[] = {
        {R"({"ack":"v1","code":1})", R"(error message code 1 ack "v1" failed: no room for the reply)"},
        {R"({"ack":"l","code":0,"user":"x","pass":"y"})", R"(error message code 0 ack "l" failed)"},
        {json{{"ack", longAck}, {"code", 2}}.dump(),
         "error message code 2 ack \"" + std::string(256, 'a') + "…(cut, 300 bytes)\" failed"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(session.dispatch(c.message)) << c.message.substr(0, 40);
        EXPECT_TRUE(log.contains(c.logged)) << c.logged.substr(0, 60);
    }
}
