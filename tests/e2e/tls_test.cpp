// HTTPS with a generated certificate, checked with openssl s_client as a real peer.

#include <gtest/gtest.h>

#include <memory>

#include "http_client.hpp"
#include "process_stats.hpp"
#include "service_process.hpp"

namespace {

class TlsTest : public testing::Test {
  protected:
    void SetUp() override {
        home.writeCertificate("localhost");
        home.writeConfig("[server]\ntlsEnable = true\nsrvHost = localhost\n");
        service = std::make_unique<RunningService>(home, port, std::vector<std::string>{}, true);
        ASSERT_TRUE(service->ready());
    }

    std::string client(const std::string& options) {
        return shellOutput(
            "printf 'GET /ping HTTP/1.1\\r\\nHost: localhost\\r\\nConnection: close\\r\\n\\r\\n' | "
            "timeout 10 openssl s_client -ign_eof -connect 127.0.0.1:" +
            std::to_string(port) + " " + options);
    }

    ServiceHome home;
    int port = freePort();
    std::unique_ptr<RunningService> service;
};

}  // namespace

TEST_F(TlsTest, ServerNameMustMatch) {
    const std::string good = client("-servername localhost");
    EXPECT_NE(good.find("pong"), std::string::npos) << good;
    const std::string wrong = client("-servername other.example");
    EXPECT_NE(wrong.find("unrecognized name"), std::string::npos) << wrong;
    EXPECT_EQ(wrong.find("pong"), std::string::npos);
    const std::string none = client("-noservername");
    EXPECT_EQ(none.find("pong"), std::string::npos) << none;
    service->stop();
    const std::string log = home.logText();
    EXPECT_NE(log.find("forbid tls servername: other.example"), std::string::npos) << log;
    EXPECT_NE(log.find("tls servername does not exist"), std::string::npos) << log;
}

TEST_F(TlsTest, SessionResumesFromATicket) {
    for (const char* version : {"-tls1_2", "-tls1_3"}) {
        const std::string session = home.path() + "/session-" + std::string(version + 1);
        const std::string first =
            client(std::string("-servername localhost ") + version + " -sess_out " + session);
        ASSERT_NE(first.find("pong"), std::string::npos) << first;
        const std::string second =
            client(std::string("-servername localhost ") + version + " -sess_in " + session);
        EXPECT_NE(second.find("Reused, TLS"), std::string::npos) << version << "\n" << second;
    }
}

TEST_F(TlsTest, AResumedSessionMustNameTheHostToo) {
    for (const char* version : {"-tls1_2", "-tls1_3"}) {
        const std::string session = home.path() + "/resume-" + std::string(version + 1);
        const std::string first =
            client(std::string("-servername localhost ") + version + " -sess_out " + session);
        ASSERT_NE(first.find("pong"), std::string::npos) << first;
        for (const char* name : {"-servername evil.example", "-noservername"}) {
            const std::string resumed = client(std::string(name) + " " + version + " -sess_in " + session);
            EXPECT_EQ(resumed.find("pong"), std::string::npos) << version << " " << name << "\n" << resumed;
        }
    }
    service->stop();
    EXPECT_NE(home.logText().find("forbid tls servername: evil.example"), std::string::npos)
        << home.logText();
}

TEST(TlsFallback, MissingCertificateServesPlainHttp) {
    ServiceHome home;
    home.writeConfig("[server]\ntlsEnable = true\n");
    RunningService service(home, freePort());
    ASSERT_TRUE(service.ready()) << service.output();
    service.stop();
    EXPECT_NE(readText(home.confFile()).find("tlsEnable = false"), std::string::npos);
    EXPECT_NE(home.logText().find("TLS crtFile ssl/host.crt error"), std::string::npos);
}
