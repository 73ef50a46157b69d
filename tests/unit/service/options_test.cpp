#include "service/process/options.hpp"

#include <gtest/gtest.h>

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
