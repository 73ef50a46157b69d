#include "service/process/pid_file.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <thread>

std::unique_ptr<PidFile> PidFile::acquire(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return nullptr;
    }
    const std::string text = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) != 0 ||
        ::pwrite(fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<PidFile>(new PidFile(fd));
}

PidFile::~PidFile() {
    // The file stays: removing it could let a second instance lock a fresh file while a third
    // still holds the old one.
    [[maybe_unused]] const int emptied = ::ftruncate(fd_, 0);
    ::close(fd_);
}

pid_t runningInstance(const std::string& pidPath) {
    const int fd = ::open(pidPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    pid_t pid = 0;
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        char text[32] = {};
        const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
        pid = n > 0 ? static_cast<pid_t>(std::strtol(text, nullptr, 10)) : 0;
        if (pid <= 0) pid = -1;  // locked while its pid is still being written
    }
    ::close(fd);
    return pid;
}

bool waitUntilStopped(const std::string& pidPath, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (runningInstance(pidPath) != 0) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}
