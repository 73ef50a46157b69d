#include "service/process/private_files.hpp"

#include <sys/stat.h>

#include "protocol/log.hpp"

namespace {

void tighten(const std::string& path, mode_t allowed, const char* what) {
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) return;
    const mode_t mode = st.st_mode & 07777;
    if ((mode & ~allowed) == 0) return;
    if (::chmod(path.c_str(), mode & allowed) == 0)
        logWarn("%s %s was mode %04o, now %04o", what, path.c_str(), unsigned(mode),
                unsigned(mode & allowed));
}

}  // namespace

void keepDataPrivate(const std::string& dataDir, const std::string& confFile) {
    tighten(dataDir, 0700, "data folder");
    tighten(confFile, 0600, "configuration");
}
