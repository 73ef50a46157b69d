// The program's command line and process control, run for real.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <sstream>

#include "service_process.hpp"

TEST(CommandLine, HelpAndVersion) {
    ServiceHome home;
    auto result = home.run({"-v"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "rfdock Ver:2.0.8 Build:Release-armv7-a-Linux-Clang \n");

    result = home.run({"--help"});
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.output.find("send signal to process, signal=[start,stop,restart,status]"),
              std::string::npos);

    result = home.run({"-s", "reload"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.output, "Invalid signal: 'reload'\n");

    result = home.run({"--nonsense"});
    EXPECT_NE(result.status, 0);
}

TEST(CommandLine, StatusStopAndSecondStart) {
    ServiceHome home;
    auto result = home.run({"-s", "status"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "rfdock stop/waiting\n");
    EXPECT_EQ(home.run({"-s", "stop"}).output, "rfdock is already stopped\n");

    const int port = freePort();
    RunningService service(home, port);
    ASSERT_TRUE(service.ready()) << service.output();
    result = home.run({"-s", "status"});
    EXPECT_EQ(result.output, "rfdock start/running, pid=" + std::to_string(service.pid()) + "\n");

    // A second start finds the first and opens its page instead.
    result = home.run({});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "rfdock is already running, pid=" + std::to_string(service.pid()) + "\n");
    EXPECT_NE(home.awaitOpenedUrls().find("http://127.0.0.1:" + std::to_string(port)), std::string::npos);

    result = home.run({"-s", "stop"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "rfdock stop/waiting\n");
    EXPECT_EQ(home.run({"-s", "status"}).output, "rfdock stop/waiting\n");
    EXPECT_EQ(service.stop(), 0);  // it had ended cleanly
}

TEST(CommandLine, RestartReplacesTheRunningInstance) {
    ServiceHome home;
    const int port = freePort();
    RunningService first(home, port);
    ASSERT_TRUE(first.ready());

    const pid_t second =
        home.spawn({"-s", "restart", "-p", std::to_string(port)}, home.path() + "/restart-out");
    EXPECT_EQ(first.waitExit(std::chrono::seconds(10)), 0);  // told to stop by the restart
    EXPECT_TRUE(waitForPing(port));
    EXPECT_EQ(home.run({"-s", "status"}).output,
              "rfdock start/running, pid=" + std::to_string(second) + "\n");
    EXPECT_EQ(home.run({"-s", "stop"}).status, 0);
    int status = 0;
    ::waitpid(second, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string out = readText(home.path() + "/restart-out");
    EXPECT_NE(out.find("rfdock stop/waiting"), std::string::npos) << out;
}

TEST(CommandLine, PidFileThatCannotBeLocked) {
    ServiceHome home;
    std::filesystem::create_directories(home.pidFile());  // a directory cannot be opened for writing
    const auto result = home.run({"-p", std::to_string(freePort())});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.output, "The pidfile lock is in use, the service may not have stopped properly\n");
}

TEST(CommandLine, LaunchUrlStartsWithoutOpeningTheBrowser) {
    ServiceHome home;
    const int port = freePort();
    const pid_t pid =
        home.spawn({"rfdock://start/?-p&&" + std::to_string(port) + "&\""}, home.path() + "/out");
    ASSERT_TRUE(waitForPing(port));
    EXPECT_EQ(home.openedUrls(), "");
    EXPECT_EQ(home.run({"-s", "stop"}).status, 0);
    ::waitpid(pid, nullptr, 0);
    // The port option is kept in the file, in the file's usual place among the keys.
    const std::string conf = readText(home.confFile());
    EXPECT_NE(conf.find("host = 127.0.0.1\nport = " + std::to_string(port) + "\n"), std::string::npos)
        << conf;
}

TEST(CommandLine, PlainStartOpensThePageAndZeroPortIsIgnored) {
    ServiceHome home;
    const int port = freePort();
    home.writeConfig("[server]\nport = " + std::to_string(port) + "\n");
    RunningService service(home, port, {"-p", "0"});  // the later -p 0 leaves the configured port
    ASSERT_TRUE(service.ready()) << service.output();
    EXPECT_EQ(home.awaitOpenedUrls(), "http://127.0.0.1:" + std::to_string(port) + "\n");
}

TEST(CommandLine, PortInUseIsReported) {
    ServiceHome home;
    const int port = freePort();
    RunningService first(home, port);
    ASSERT_TRUE(first.ready());
    ServiceHome other;
    const auto result = other.run({"-p", std::to_string(port)});
    EXPECT_NE(result.status, 0);
    EXPECT_NE(result.output.find("bind port run error -98"), std::string::npos) << result.output;
    // Nothing is announced and no page opened for a port that was never bound.
    EXPECT_EQ(result.output.find("listening on"), std::string::npos) << result.output;
    EXPECT_EQ(other.openedUrls(), "");
}

TEST(CommandLine, PortOutsideOneTo65535IsRefusedAndTheFileStaysAsItWas) {
    ServiceHome home;
    const std::string conf = "[server]\nport = " + std::to_string(freePort()) + "\n";
    home.writeConfig(conf);
    const std::vector<std::vector<std::string>> commands = {
        {"-p", "70000"},
        {"-p", "65536"},
        {"-p", "99999999999999999999"},
        {"-p", "-1"},
        {"-p", "abc"},
        {"-p", "80x"},
        {"-p", "+80"},
        {"--port= 80"},
        {"-p", "0x50"},
        {"-p", "70000", "-s", "status"},
        {"rfdock://start/?-p&70000"},
    };
    for (const auto& command : commands) {
        const auto result = home.run(command, std::chrono::seconds(5));
        EXPECT_NE(result.status, 0) << command[0] << " " << command.back();
        EXPECT_NE(result.output.find("Invalid port"), std::string::npos) << result.output;
        EXPECT_EQ(result.output.find("listening on"), std::string::npos) << result.output;
        EXPECT_EQ(readText(home.confFile()), conf) << command[0] << " " << command.back();
    }
    EXPECT_EQ(home.openedUrls(), "");

    // A port out of range in the file itself is refused as well, and the file is left alone.
    home.writeConfig("[server]\nport = 70000\n");
    const auto result = home.run({}, std::chrono::seconds(5));
    EXPECT_NE(result.status, 0);
    EXPECT_NE(result.output.find("port 70000"), std::string::npos) << result.output;
    EXPECT_EQ(readText(home.confFile()), "[server]\nport = 70000\n");
}

TEST(CommandLine, ListeningIsAnnouncedOnceBoundAndTheBrowserTalksToTheLog) {
    ServiceHome home;
    const int port = freePort();
    RunningService service(home, port);
    ASSERT_TRUE(service.ready()) << service.output();
    const std::string url = "http://127.0.0.1:" + std::to_string(port);
    EXPECT_EQ(home.awaitOpenedUrls(), url + "\n");
    const std::string out = service.output();
    EXPECT_NE(out.find("rfdock listening on " + url + "\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("xdg-open"), std::string::npos) << out;
    const std::string log = home.logText();
    EXPECT_NE(log.find("xdg-open says: opening " + url), std::string::npos) << log;
    EXPECT_NE(log.find("xdg-open complains: no browser for " + url), std::string::npos) << log;
}

TEST(CommandLine, OverlongListenAddressIsRefused) {
    ServiceHome home;
    home.writeConfig("[server]\nhost = " + std::string(64, 'a') + "\n");
    const auto result = home.run({"-p", std::to_string(freePort())});
    EXPECT_NE(result.status, 0);
    EXPECT_NE(result.output.find("Listen address is longer than 63 characters"), std::string::npos)
        << result.output;
}

TEST(CommandLine, TheOpenFileLimitIsRaisedToTheHardOne) {
    rlimit current{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &current), 0);
    if (current.rlim_max != RLIM_INFINITY && current.rlim_max <= 256) GTEST_SKIP() << "hard limit too low";
    ServiceHome home;
    home.writeConfig("[log]\nlevel = INFO\n");
    home.limitOpenFiles(256, current.rlim_max);
    RunningService service(home, freePort());
    ASSERT_TRUE(service.ready()) << service.output();
    const std::string limits = readText("/proc/" + std::to_string(service.pid()) + "/limits");
    const auto line = limits.substr(limits.find("Max open files"));
    std::istringstream fields(line.substr(std::string("Max open files").size()));
    std::string soft, hard;
    fields >> soft >> hard;
    EXPECT_EQ(soft, hard) << line.substr(0, line.find('\n'));
    service.stop();
    EXPECT_NE(
        home.logText().find("open files: soft limit 256, hard limit " + hard + ", soft limit now " + hard),
        std::string::npos)
        << home.logText();
}
