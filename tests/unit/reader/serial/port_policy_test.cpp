// Which paths a client may name as a reader's serial port: terminals that no session owns.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "reader/serial/port_policy.hpp"
#include "support/pty_pair.hpp"
#include "support/session_on_pty.hpp"

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

TEST(PortPolicy, TheKernelsSerialConsoleIsRefused) {
    std::ifstream active("/sys/class/tty/console/active");
    std::string name;
    bool seen = false;
    while (active >> name) {
        const std::string path = "/dev/" + name;
        if (!name.starts_with("ttyS") || !std::filesystem::exists(path)) continue;
        seen = true;
        int reachError = -1;
        EXPECT_EQ(serial::portRefusal(path, reachError), "the kernel's console") << path;
        EXPECT_EQ(reachError, 0);
    }
    if (!seen) GTEST_SKIP() << "the kernel has no serial console here";
}

TEST(PortPolicy, APortThatCannotBeReachedSaysWhy) {
    int reachError = 0;
    EXPECT_TRUE(serial::portRefusal("/nonexistent/ttyUSB0", reachError));
    EXPECT_EQ(reachError, ENOENT);
    EXPECT_TRUE(serial::portRefusal("/dev/null", reachError));
    EXPECT_EQ(reachError, 0);  // reached, and no terminal
}
