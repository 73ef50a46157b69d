#include "service/process/process_context.hpp"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

std::optional<std::string> homeDirectory() {
    // RFDOCK_HOME lets tests and service managers give the service its own folder. HOME is not
    // looked at: `sudo` keeps it, and a root instance would leave root-owned files in the user's
    // folder that the user's own start then trips over.
    if (const char* home = std::getenv("RFDOCK_HOME"); home && home[0] == '/') return std::string(home);
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    if (size <= 0) size = 16384;
    std::vector<char> scratch(static_cast<std::size_t>(size));
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, scratch.data(), scratch.size(), &found) != 0 || !found ||
        !found->pw_dir || !*found->pw_dir)
        return std::nullopt;
    return std::string(found->pw_dir);
}

std::string executableDir() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    std::string exe(path, static_cast<std::size_t>(n));
    const auto slash = exe.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : exe.substr(0, slash));
}

bool makeDirectories(const std::string& path) {
    if (path.empty()) return false;
    for (std::size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos != path.size() && path[pos] != '/') continue;
        const std::string part = path.substr(0, pos);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

ProcessContext makeProcessContext(const char* argv0, std::string runDir) {
    ProcessContext ctx;
    std::string name = argv0 ? argv0 : "rfdock";
    const auto slash = name.rfind('/');
    ctx.programName = slash == std::string::npos ? name : name.substr(slash + 1);
    if (ctx.programName.empty()) ctx.programName = "rfdock";
    ctx.programDir = executableDir();
    ctx.runDir = runDir.empty() ? ctx.programDir : std::move(runDir);
    ctx.confFile = ctx.runDir + "/etc/" + ctx.programName + ".conf";
    ctx.pidFile = ctx.runDir + "/logs/" + ctx.programName + ".pid";
    ctx.logFile = ctx.runDir + "/logs/" + ctx.programName + ".log";
    makeDirectories(ctx.runDir + "/logs");
    return ctx;
}
