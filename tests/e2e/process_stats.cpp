#include "process_stats.hpp"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "service_process.hpp"

namespace {

long statusField(pid_t pid, const std::string& name) {
    const std::string status = readText("/proc/" + std::to_string(pid) + "/status");
    const auto at = status.find("\n" + name + ":");
    return at == std::string::npos ? -1 : std::atol(status.c_str() + at + name.size() + 2);
}

}  // namespace

long residentKiB(pid_t pid) {
    return statusField(pid, "VmRSS");
}

long peakResidentKiB(pid_t pid) {
    return statusField(pid, "VmHWM");
}

int threadCount(pid_t pid) {
    return static_cast<int>(statusField(pid, "Threads"));
}

int openDescriptors(pid_t pid) {
    std::error_code error;
    std::filesystem::directory_iterator fds("/proc/" + std::to_string(pid) + "/fd", error);
    if (error) return -1;
    int count = 0;
    for (auto it = std::filesystem::begin(fds); it != std::filesystem::end(fds); it.increment(error))
        ++count;
    return count;
}

std::string describeDescriptors(pid_t pid) {
    std::error_code error;
    std::string text;
    for (const auto& entry :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error))
        text += entry.path().filename().string() + " -> " +
                std::filesystem::read_symlink(entry.path(), error).string() + "\n";
    return text;
}

std::string shellOutput(const std::string& command) {
    std::string output;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return output;
    std::array<char, 4096> chunk;
    while (std::size_t n = std::fread(chunk.data(), 1, chunk.size(), pipe))
        output.append(chunk.data(), n);
    ::pclose(pipe);
    return output;
}
