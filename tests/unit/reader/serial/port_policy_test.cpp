// Which paths a client may name as a reader's serial port: terminals that no session owns.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "reader/serial/port_policy.hpp"
#include "support/pty_pair.hpp"

namespace {

// A child process that makes the pty's slave its session's controlling terminal, as a shell's
// terminal is, and stays until the object goes.
class SessionOnPty {
  public:
    explicit SessionOnPty(const std::string& slavePath) {
        int ready[2];
        if (::pipe(ready) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setsid();
            // Opened without O_NOCTTY by a session leader with no terminal: it becomes the
            // controlling terminal.
            const int fd = ::open(slavePath.c_str(), O_RDWR);
            const char ok = fd >= 0 ? '1' : '0';
            [[maybe_unused]] const auto written = ::write(ready[1], &ok, 1);
            ::pause();
            ::_exit(0);
        }
        ::close(ready[1]);
        char ok = '0';
        ready_ = ::read(ready[0], &ok, 1) == 1 && ok == '1';
        ::close(ready[0]);
    }
    ~SessionOnPty() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool ready() const { return ready_; }

  private:
    pid_t pid_ = -1;
    bool ready_ = false;
};

}  // namespace

TEST(PortPolicy, APtyWithoutASessionIsAReaderPortAShellsIsNot) {
    PtyPair free;
    ASSERT_FALSE(free.slavePath().empty());
    EXPECT_EQ(serial::portRefusal(free.slavePath()), std::nullopt);

    PtyPair shell;
    SessionOnPty session(shell.slavePath());
    ASSERT_TRUE(session.ready());
    const auto refusal = serial::portRefusal(shell.slavePath());
    ASSERT_TRUE(refusal);
    EXPECT_NE(refusal->find("the terminal of session"), std::string::npos) << *refusal;
}

TEST(PortPolicy, ConsolesFilesAndOtherDevicesAreRefused) {
    const std::string file = testing::TempDir() + "/not-a-port";
    std::ofstream(file) << "x";
    for (const std::string& path :
         {std::string("/dev/tty"), std::string("/dev/console"), std::string("/dev/ptmx"),
          std::string("/dev/null"), std::string("/dev/tty1"), file, std::string("/nonexistent/ttyUSB0"),
          std::string("/dev")}) {
        if (path == "/dev/tty1" && !std::filesystem::exists(path)) continue;
        EXPECT_TRUE(serial::portRefusal(path)) << path;
    }
}
