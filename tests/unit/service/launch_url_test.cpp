#include "service/process/launch_url.hpp"

#include <gtest/gtest.h>

namespace {

LaunchArguments rewrite(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    return rewriteLaunchUrl(static_cast<int>(argv.size()), argv.data());
}

}  // namespace

TEST(LaunchUrl, RewritesOnlyASingleArgumentWithThePrefix) {
    struct Case {
        std::vector<std::string> in;
        bool byUrl;
        std::vector<std::string> out;
    };
    const Case cases[] = {
        {{"rfdock", "rfdock://start/?"}, true, {"rfdock"}},
        {{"rfdock", "rfdock://start/?-p&4000\""}, true, {"rfdock", "-p", "4000"}},
        {{"rfdock", "\"rfdock://start/?-p&&4000&\""}, true, {"rfdock", "-p", "4000"}},
        {{"rfdock", "xx rfdock://start/?-s&status"}, true, {"rfdock", "-s", "status"}},
        {{"rfdock", "rfdock://start/?a%20b"}, true, {"rfdock", "a%20b"}},
        {{"rfdock", "-v"}, false, {"rfdock", "-v"}},
        {{"rfdock", "rfdock://stop/?-v"}, false, {"rfdock", "rfdock://stop/?-v"}},
        {{"rfdock", "rfdock://start/?-p", "4000"}, false, {"rfdock", "rfdock://start/?-p", "4000"}},
        {{"rfdock"}, false, {"rfdock"}},
    };
    for (const auto& c : cases) {
        const auto got = rewrite(c.in);
        EXPECT_EQ(got.launchedByUrl, c.byUrl) << c.in.back();
        EXPECT_EQ(got.args, c.out) << c.in.back();
    }
}
