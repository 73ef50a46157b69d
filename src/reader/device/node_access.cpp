#include "reader/device/node_access.hpp"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace Orvane {

bool mayReadWrite(const std::string& path) {
    return ::access(path.c_str(), R_OK | W_OK) == 0;
}

std::string owningGroup(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    // A group with many members needs a larger buffer than most.
    for (std::size_t size = 4096; size <= (1u << 20); size *= 4) {
        std::vector<char> buffer(size);
        group entry{};
        group* found = nullptr;
        const int error = ::getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE) continue;
        return error == 0 && found && found->gr_name ? found->gr_name : "";
    }
    return {};
}

std::string permissionDetail(const std::string& path) {
    const std::string group = owningGroup(path);
    return path + (group.empty() ? "" : " (group " + group + ")") +
           " is not readable and writable by this process: " + kPermissionHint;
}

}  // namespace Orvane
