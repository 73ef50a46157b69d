#include "service/process/options.hpp"

#include <gtest/gtest.h>

#include <optional>

TEST(CommandLine, ShortAndLongForms) {
    auto line = parseCommandLine({"rfdock", "-p", "4000", "--signal", "status"});
    ASSERT_TRUE(line);
    EXPECT_EQ(line->port, "4000");
    EXPECT_EQ(line->signal, "status");
    EXPECT_FALSE(line->help);

    line = parseCommandLine({"rfdock", "--port=5", "-v", "-h"});
    ASSERT_TRUE(line);
    EXPECT_EQ(line->port, "5");
    EXPECT_TRUE(line->version);
    EXPECT_TRUE(line->help);

    EXPECT_FALSE(parseCommandLine({"rfdock", "-x"}));
    EXPECT_FALSE(parseCommandLine({"rfdock", "--bogus"}));
    EXPECT_FALSE(parseCommandLine({"rfdock", "-p"}));
    // Parsing twice in one process starts afresh.
    EXPECT_TRUE(parseCommandLine({"rfdock", "-s", "stop"}));
}

TEST(CommandLine, HelpListsEveryOption) {
    const std::string help = helpText("rfdock");
    for (const char* text : {"-h, --help", "Print this information", "-v, --version", "Print Version",
                             "-p, --port <port>", "Set listen port", "-s, --signal <signal>",
                             "send signal to process, signal=[start,stop,restart,status]"})
        EXPECT_NE(help.find(text), std::string::npos) << text;
}

TEST(CommandLine, PortIsAPlainDecimalFromOneTo65535OrZero) {
    const struct {
        const char* text;
        std::optional<int> port;
    } cases[] = {
        {"1", 1},      {"80", 80},    {"65535", 65535},
        {"0080", 80},  {"0", 0},  // leaves the configured port
        {"65536", {}}, {"70000", {}}, {"99999999999999999999", {}},
        {"-1", {}},    {"+80", {}},   {"", {}},
        {" 80", {}},   {"80 ", {}},   {"0x50", {}},
        {"8e1", {}},   {"abc", {}},   {"4294967376", {}},  // 2^32 + 80
    };
    for (const auto& c : cases)
        EXPECT_EQ(parsePort(c.text), c.port) << c.text;

    for (const char* text : {"70000", "abc", "-1"}) {
        EXPECT_FALSE(parseCommandLine({"rfdock", "-p", text})) << text;
        EXPECT_FALSE(parseCommandLine({"rfdock", std::string("--port=") + text})) << text;
    }
    EXPECT_TRUE(parseCommandLine({"rfdock", "-p", "0"}));
}
