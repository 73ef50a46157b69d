// Which paths a client may name as a reader's serial port: terminals that no session owns.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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
