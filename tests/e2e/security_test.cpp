// What a service that every local page and program can reach must not allow, run for real.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <thread>

#include "http_client.hpp"
#include "service_process.hpp"
#include "sim_service.hpp"

namespace fs = std::filesystem;

namespace {

unsigned modeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0xFFFF;
}

}  // namespace

TEST(PrivateData, ANewDataFolderAndConfigurationAreTheOwnersAlone) {
    ServiceHome home;
    RunningService service(home, freePort());
    ASSERT_TRUE(service.ready()) << service.output();
    EXPECT_EQ(modeOf(home.dataDir()), 0700u);
    EXPECT_EQ(modeOf(home.confFile()), 0600u);
}

TEST(PrivateData, AnOpenConfigurationIsTightenedAtStartAndSaid) {
    ServiceHome home;
    home.writeConfig("[login]\npass = secret\n");
    ::chmod(home.dataDir().c_str(), 0755);
    ::chmod(home.confFile().c_str(), 0644);
    RunningService service(home, freePort());
    ASSERT_TRUE(service.ready()) << service.output();
    EXPECT_EQ(modeOf(home.dataDir()), 0700u);
    EXPECT_EQ(modeOf(home.confFile()), 0600u);
    const std::string log = home.logText();
    EXPECT_NE(log.find("configuration " + home.confFile() + " was mode 0644, now 0600"), std::string::npos)
        << log;
}

TEST(PrivateData, TheDataFolderFollowsRfdockHomeNotHome) {
    ServiceHome home;
    const std::string elsewhere = home.path() + "/elsewhere";
    fs::create_directories(elsewhere);
    home.setHomeVariable(elsewhere);
    const CommandResult result = home.run({"-s", "status"});
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_TRUE(fs::exists(home.dataDir())) << "RFDOCK_HOME names the data folder's home";
    EXPECT_FALSE(fs::exists(elsewhere + "/.tesmar")) << "HOME is not looked at";
}

namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::json;

std::string loginText(const std::string& ack, const std::string& pass) {
    return json{{"ack", ack}, {"code", 0}, {"user", "public"}, {"pass", pass}}.dump();
}

// The reply to one message sent now, and how long it took.
std::pair<json, std::chrono::milliseconds> timed(WsClient& ws, const std::string& text) {
    const auto start = Clock::now();
    ws.sendText(text);
    const auto reply = ws.receive(std::chrono::seconds(5));
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    return {reply ? json::parse(*reply) : json(), took};
}

}  // namespace

TEST(PasswordGuessing, RefusalsAfterTheFirstFewAreAnsweredLaterAndLaterOnThatConnectionOnly) {
    SimService service;
    ASSERT_TRUE(service.ready());
    WsClient guesser(service.port());
    ASSERT_TRUE(guesser.open());
    std::chrono::milliseconds tenth{0};
    for (int i = 1; i <= 10; ++i) {
        const auto [reply, took] =
            timed(guesser, loginText("g" + std::to_string(i), "wrong" + std::to_string(i)));
        EXPECT_EQ(reply.value("err", -1), 101) << i;
        if (i <= 3) {
            EXPECT_LT(took.count(), 100) << i;
        }
        if (i == 10) tenth = took;
    }
    EXPECT_GE(tenth.count(), 950);

    // Another connection meanwhile: its login and its commands are not slowed down.
    std::thread slowGuess([&] { timed(guesser, loginText("g11", "wrong11")); });
    SimClient other(service);
    const auto start = Clock::now();
    ASSERT_TRUE(other.loggedIn());
    EXPECT_EQ(other.call(1).value("err", -1), 0);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(), 300);
    slowGuess.join();

    // The right password still logs in on the guessing connection, and counting starts again.
    const auto [right, took] = timed(guesser, loginText("ok", service.password()));
    EXPECT_EQ(right.value("err", -1), 0);
    EXPECT_LT(took.count(), 1500) << "waits at most for the gate, never for a delay of its own";
    EXPECT_LT(timed(guesser, loginText("g12", "wrong12")).second.count(), 100);
}

TEST(PasswordGuessing, GuessesSentAheadWaitForEachOther) {
    SimService service;
    ASSERT_TRUE(service.ready());
    WsClient guesser(service.port());
    ASSERT_TRUE(guesser.open());
    const auto start = Clock::now();
    for (int i = 1; i <= 6; ++i)
        guesser.sendText(loginText("p" + std::to_string(i), "wrong"));
    guesser.sendText(json{{"ack", "v"}, {"code", 1}}.dump());
    std::vector<std::string> acks;
    for (int i = 0; i < 7; ++i) {
        const auto reply = guesser.receive(std::chrono::seconds(5));
        ASSERT_TRUE(reply);
        acks.push_back(json::parse(*reply).value("ack", ""));
    }
    // 0 + 0 + 0 + 100 + 200 + 400 ms, in order, and the command after them only then.
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(), 650);
    EXPECT_EQ(acks, (std::vector<std::string>{"p1", "p2", "p3", "p4", "p5", "p6", "v"}));
}

TEST(AllowedOrigins, AnUpgradeFromAPageNotListedIsRefused) {
    ServiceHome home;
    home.writeConfig("[server]\norigins = https://app.example\n");
    RunningService service(home, freePort());
    ASSERT_TRUE(service.ready()) << service.output();
    const auto upgrade = [&](const std::string& origin) {
        RawConnection c(service.port());
        c.send(
            "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
            "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n" +
            (origin.empty() ? std::string() : "Origin: " + origin + "\r\n") + "\r\n");
        const std::string reply = c.receiveSome();
        return reply.substr(0, reply.find("\r\n"));
    };
    EXPECT_EQ(upgrade("https://evil.example"), "HTTP/1.1 403 Forbidden");
    EXPECT_EQ(upgrade("https://app.example"), "HTTP/1.1 101 Switching Protocols");
    EXPECT_EQ(upgrade(""), "HTTP/1.1 101 Switching Protocols");
    service.stop();
    const std::string log = home.logText();
    EXPECT_NE(log.find("forbid origin: https://evil.example"), std::string::npos) << log;
    EXPECT_NE(readText(home.confFile()).find("origins = https://app.example"), std::string::npos);
}

TEST(DefaultPassword, AStartWithItSaysSo) {
    ServiceHome home;
    RunningService service(home, freePort());
    ASSERT_TRUE(service.ready()) << service.output();
    service.stop();
    EXPECT_NE(home.logText().find("the login password is the default one"), std::string::npos);

    ServiceHome own;
    own.writeConfig("[login]\npass = a-password-of-my-own\n");
    RunningService quiet(own, freePort());
    ASSERT_TRUE(quiet.ready());
    quiet.stop();
    EXPECT_EQ(own.logText().find("the login password is the default one"), std::string::npos);
}
