// The service's start-up, command line and process control, shared by rfdock and rfdock-sim.

#include <malloc.h>
#include <sys/prctl.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "protocol/log.hpp"
#include "reader/trace/device_trace.hpp"
#include "service/config/ini_cfg.hpp"
#include "service/frontend/rf_dock.hpp"
#include "service/process/browser.hpp"
#include "service/process/crypto_providers.hpp"
#include "service/process/file_limit.hpp"
#include "service/process/instance_control.hpp"
#include "service/process/launch_url.hpp"
#include "service/process/logging.hpp"
#include "service/process/options.hpp"
#include "service/process/pid_file.hpp"
#include "service/process/private_files.hpp"
#include "service/service_main.hpp"
#include "service/version.hpp"

namespace {

std::string dataDirectory(const std::string& programName) {
    const auto home = homeDirectory();
    if (!home) {
        std::printf("Failed to get Home path.\n");
        return {};
    }
    std::string dir = *home + "/.tesmar/" + programName;
    struct stat st {};
    const bool existed = ::stat(dir.c_str(), &st) == 0;
    // A new data folder is private from the start; an old one is tightened, with a log line, once
    // logging runs (keepDataPrivate).
    if (makeDirectories(dir) && !existed) ::chmod(dir.c_str(), 0700);
    return dir;
}

std::string programNameOf(const char* argv0) {
    const std::string path = argv0 ? argv0 : "";
    const std::string name = path.substr(path.rfind('/') + 1);
    return name.empty() ? "rfdock" : name;
}

// RFDOCK_TRACE=<file> writes every device operation to that file (docs/traces.md). Started only by
// the instance that serves, so a second start that finds the first one running leaves its trace be.
void startTraceIfAsked() {
    const char* path = std::getenv("RFDOCK_TRACE");
    if (!path || !*path) return;
    if (Orvane::startDeviceTrace(path)) {
        logInfo("Device trace on: %s (it holds card data)", path);
    } else {
        logWarn("Device trace: cannot open %s", path);
    }
}

}  // namespace

int runService(int argc, char** argv, const ServiceHooks& hooks) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    // Messages of up to 1 MiB come and go on many threads. A fixed threshold keeps every block of
    // 256 KiB or more in its own mapping, given back when freed; glibc's sliding one would move
    // above them after the first free and leave them in per-thread heaps the service never shrinks.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    std::signal(SIGPIPE, SIG_IGN);  // a closed console must not end the service
    const std::string runDir = dataDirectory(programNameOf(argv[0]));
    const LaunchArguments launch = rewriteLaunchUrl(argc, argv);
    const ProcessContext context = makeProcessContext(argv[0], runDir);

    auto config = std::make_shared<IniCfg>(context.confFile);
    setupLogging(*config, context);
    keepDataPrivate(runDir, context.confFile);

    const auto options = parseCommandLine(launch.args);
    if (!options) return -1;
    if (options->help) {
        std::printf("%s\n", helpText(context.programName).c_str());
        return 0;
    }
    if (options->version) {
        std::printf("%s Build:%s \n", kVersionText, kBuildText);
        return 0;
    }
    const std::string signal = options->signal.value_or("start");
    if (signal == "reload") {
        std::printf("Invalid signal: '%s'\n", signal.c_str());
        return -1;
    }
    if (options->port) {
        const int port = parsePort(*options->port).value_or(0);  // parseCommandLine checked it
        if (port != 0) config->set(cfg::port, port);
    }
    if (handleProcessSignal(signal, context)) {
        if (!launch.launchedByUrl && signal.find("start") != std::string::npos)
            openServicePage(*config, currentLogFile());
        return 0;
    }
    ::prctl(PR_SET_NAME, (context.programName + ": master").substr(0, 15).c_str());

    const auto pidFile = PidFile::acquire(context.pidFile);
    if (!pidFile) {
        std::printf("The pidfile lock is in use, the service may not have stopped properly\n");
        return -1;
    }
    loadCryptoProviders(context.programDir);
    startTraceIfAsked();
    if (hooks.beforeServe && !hooks.beforeServe()) return -1;

    RfDock dock(launch.launchedByUrl, config, context);
    if (hooks.extraRoutes) dock.setExtraRoutes(hooks.extraRoutes);
    if (!dock.init()) return -1;
    raiseOpenFileLimit();
    // Announced, and the page opened, only once the port is ours: a browser sent to a port that
    // could not be bound would find nothing there, or somebody else.
    const int result = dock.run([&] {
        std::printf("%s listening on %s\n", context.programName.c_str(), servicePageUrl(*config).c_str());
        if (!launch.launchedByUrl) openServicePage(*config, currentLogFile());
    });
    if (result != 0) {
        std::printf("bind port run error %d\n", result);
        return result;
    }
    return 0;
}
