#include "service/process/instance_control.hpp"

#include <csignal>
#include <cstdio>

#include "service/process/pid_file.hpp"

namespace {

constexpr std::chrono::seconds kStopWait{10};

// Sends the termination request and waits, bounded, until the old instance has let go of its pid file.
bool stopInstance(pid_t pid, const ProcessContext& ctx) {
    if (pid > 0) ::kill(pid, SIGTERM);
    std::printf("%s stop/waiting\n", ctx.programName.c_str());
    if (waitUntilStopped(ctx.pidFile, kStopWait)) return true;
    std::printf("%s did not stop within %lld seconds\n", ctx.programName.c_str(),
                static_cast<long long>(kStopWait.count()));
    return false;
}

}  // namespace

bool handleProcessSignal(const std::string& signal, const ProcessContext& ctx) {
    const char* name = ctx.programName.c_str();
    const pid_t pid = runningInstance(ctx.pidFile);
    if (signal == "start") {
        if (pid == 0) return false;
        std::printf("%s is already running, pid=%d\n", name, pid);
        return true;
    }
    if (signal == "stop") {
        if (pid == 0)
            std::printf("%s is already stopped\n", name);
        else
            stopInstance(pid, ctx);
        return true;
    }
    if (signal == "restart") {
        if (pid != 0 && !stopInstance(pid, ctx)) return true;
        return false;
    }
    if (signal == "status") {
        if (pid == 0)
            std::printf("%s stop/waiting\n", name);
        else
            std::printf("%s start/running, pid=%d\n", name, pid);
        return true;
    }
    std::printf("Invalid signal: '%s'\n", signal.c_str());
    return true;
}
