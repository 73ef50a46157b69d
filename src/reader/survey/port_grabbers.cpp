#include "reader/survey/port_grabbers.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <filesystem>
#include <fstream>

namespace Orvane {
namespace {

namespace fs = std::filesystem;

struct KnownGrabber {
    const char* comm;
    const char* effect;
};

constexpr std::array kKnownGrabbers{
    KnownGrabber{"ModemManager",
                 "probes serial ports with modem commands and holds them meanwhile: a reader's port may "
                 "be busy or take stray bytes"},
    KnownGrabber{"brltty",
                 "takes CH340 serial ports (1a86:7523), the bridge of readers of types 2 and 6, for "
                 "braille displays: the port vanishes or stays held"},
};

// A process id from a /proc entry name; 0 for anything else.
int pidOf(const std::string& name) {
    int pid = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
    return error == std::errc() && end == name.data() + name.size() && pid > 0 ? pid : 0;
}

// comm is at most 15 bytes and a newline; a longer read means it is no comm file.
std::string commOf(const fs::path& processDir) {
    std::ifstream in(processDir / "comm");
    std::string line;
    if (!in || !std::getline(in, line) || line.size() > 15) return {};
    return line;
}

}  // namespace

std::vector<PortGrabber> findPortGrabbers(const std::string& root) {
    std::vector<PortGrabber> found;
    if (root.empty()) return found;
    std::error_code ec;
    // Processes come and go while this runs: an entry that vanished is skipped.
    for (fs::directory_iterator it(fs::path(root) / "proc", ec), end; !ec && it != end; it.increment(ec)) {
        const int pid = pidOf(it->path().filename().string());
        if (pid == 0) continue;
        const std::string comm = commOf(it->path());
        const auto known = std::find_if(kKnownGrabbers.begin(), kKnownGrabbers.end(),
                                        [&](const KnownGrabber& k) { return comm == k.comm; });
        if (known != kKnownGrabbers.end()) found.push_back({known->comm, pid, known->effect});
    }
    std::sort(found.begin(), found.end(),
              [](const PortGrabber& a, const PortGrabber& b) { return a.pid < b.pid; });
    return found;
}

}  // namespace Orvane
