#include "sim/script/external_link.hpp"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <thread>

#include "support/temp_dir.hpp"

using nlohmann::json;
using namespace std::chrono_literals;

namespace {

// A process at the other end, played by a thread: each connection is handed to `serve`.
class Peer {
  public:
    Peer(const std::string& path, std::function<void(int)> serve) : serve_(std::move(serve)) {
        listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 4);
        thread_ = std::thread([this] {
            for (int fd; (fd = ::accept(listener_, nullptr, nullptr)) >= 0;) {
                serve_(fd);
                ::close(fd);
            }
        });
    }
    ~Peer() {
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }

  private:
    int listener_ = -1;
    std::function<void(int)> serve_;
    std::thread thread_;
};

std::string readLine(int fd) {
    std::string line;
    char c;
    while (::read(fd, &c, 1) == 1 && c != '\n')
        line += c;
    return line;
}

void sendText(int fd, const std::string& text) {
    if (::send(fd, text.data(), text.size(), MSG_NOSIGNAL) < 0) return;
}

}  // namespace

TEST(ExternalLink, OneLineOutOneLineBack) {
    TempDir dir;
    const std::string path = dir.file("s");
    Peer peer(path, [](int fd) {
        for (std::string line; !(line = readLine(fd)).empty();) {
            const json request = json::parse(line);
            // Two answers in one write: the second must wait for its own request.
            if (request["op"] == "first")
                sendText(fd, R"({"result":1})"
                             "\n"
                             R"({"result":2})"
                             "\n");
        }
    });
    rfsim::ExternalLink link(path);
    EXPECT_EQ(link.ask({{"op", "first"}}), (json{{"result", 1}}));
    EXPECT_EQ(link.ask({{"op", "second"}}), (json{{"result", 2}}));
    EXPECT_TRUE(link.connected());
    EXPECT_EQ(link.lastError(), "");
}

TEST(ExternalLink, BadOrMissingAnswersDropTheConnectionAndTheNextRequestReconnects) {
    struct Case {
        const char* what;
        std::string answer;  // empty: none at all
        const char* error;
    };
    const Case cases[] = {
        {"no JSON", "hello\n", "not a JSON object"},
        {"no object", "[1]\n", "not a JSON object"},
        {"silence", "", "no answer within"},
        {"a line without end", std::string(1100000, 'x'), "longer than 1 MiB"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string path = dir.file("s");
        int connections = 0;
        Peer peer(path, [&](int fd) {
            ++connections;
            readLine(fd);
            if (connections == 1) {
                sendText(fd, c.answer);
                readLine(fd);  // until the link hangs up
                return;
            }
            sendText(fd, "{\"result\":0}\n");
        });
        rfsim::ExternalLink link(path, 300ms);
        EXPECT_EQ(link.ask({{"op", "open"}}), std::nullopt) << c.what;
        EXPECT_FALSE(link.connected()) << c.what;
        EXPECT_NE(link.lastError().find(c.error), std::string::npos) << c.what << ": " << link.lastError();
        EXPECT_EQ(link.ask({{"op", "open"}}), (json{{"result", 0}})) << c.what;
    }
}

TEST(ExternalLink, NobodyListeningIsNoAnswer) {
    TempDir dir;
    rfsim::ExternalLink link(dir.file("nobody"));
    EXPECT_EQ(link.ask({{"op", "open"}}), std::nullopt);
    EXPECT_NE(link.lastError().find("cannot connect"), std::string::npos);
    rfsim::ExternalLink tooLong(std::string(200, 'x'));
    EXPECT_EQ(tooLong.ask({{"op", "open"}}), std::nullopt);
}

TEST(ExternalLink, StatusIsReadWithoutWaitingForAnAnswerInFlight) {
    TempDir dir;
    const std::string path = dir.file("s");
    Peer peer(path, [](int fd) {
        readLine(fd);
        sendText(fd, "{}\n");
        readLine(fd);
        std::this_thread::sleep_for(600ms);
        sendText(fd, "{}\n");
    });
    rfsim::ExternalLink link(path);
    ASSERT_TRUE(link.ask({{"op", "open"}}));
    std::thread slow([&] { link.ask({{"op", "hidRead"}}); });
    std::this_thread::sleep_for(100ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(link.connected());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms);
    slow.join();
}
