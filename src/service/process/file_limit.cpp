#include "service/process/file_limit.hpp"

#include <sys/resource.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>

#include "protocol/log.hpp"

namespace {

std::string limitText(rlim_t limit) {
    return limit == RLIM_INFINITY ? "unlimited" : std::to_string(limit);
}

// The kernel's ceiling for descriptors, which an unlimited hard limit stands for.
rlim_t descriptorCeiling() {
    std::ifstream file("/proc/sys/fs/nr_open");
    rlim_t ceiling = 0;
    return file >> ceiling && ceiling > 0 ? ceiling : RLIM_INFINITY;
}

}  // namespace

void raiseOpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        logWarn("open files: no limit to read: %s", std::strerror(errno));
        return;
    }
    const rlim_t soft = limit.rlim_cur;
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? descriptorCeiling() : limit.rlim_max;
    if (soft != limit.rlim_cur && ::setrlimit(RLIMIT_NOFILE, &limit) != 0) {
        logWarn("open files: soft limit %s, hard limit %s, not raised: %s", limitText(soft),
                limitText(limit.rlim_max), std::strerror(errno));
        return;
    }
    logInfo("open files: soft limit %s, hard limit %s, soft limit now %s", limitText(soft),
            limitText(limit.rlim_max), limitText(limit.rlim_cur));
}
