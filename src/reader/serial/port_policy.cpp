#include "reader/serial/port_policy.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace serial {

namespace {

// Linux device numbers (Documentation/admin-guide/devices.txt): major 4 minors 0-63 are the virtual
// consoles (ttyS* start at 64); major 5 minors 0, 1, 2 are /dev/tty, /dev/console and /dev/ptmx.
constexpr unsigned kTtyMajor = 4, kMaxVirtualConsole = 63, kAltTtyMajor = 5, kMaxAltTtyMinor = 2;

// Closes on every path out.
struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

// The session whose controlling terminal is device `device`, found in /proc/PID/stat (field 7,
// tty_nr, in the kernel's new_encode_dev form); 0 when no process has it as its terminal. TIOCGSID
// alone cannot tell: on a pty slave it answers only to the processes of that session.
pid_t sessionOfTerminal(dev_t device) {
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return 0;
    pid_t found = 0;
    while (const dirent* entry = ::readdir(proc)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        const auto close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream fields(line.substr(close + 1));
        std::string state;
        long parent = 0, group = 0, session = 0;
        unsigned long terminal = 0;
        if (!(fields >> state >> parent >> group >> session >> terminal) || terminal == 0) continue;
        const unsigned major = (terminal >> 8) & 0xFFF;
        const unsigned minor = (terminal & 0xFF) | ((terminal >> 12) & 0xFFF00);
        if (::makedev(major, minor) == device) {
            found = static_cast<pid_t>(session);
            break;
        }
    }
    ::closedir(proc);
    return found;
}

// The terminals the kernel prints its messages on (/sys/class/tty/console/active, e.g. "tty0 ttyS0"),
// by device number: frames written there land on the machine's console, and a reader's replies
// would be interleaved with kernel messages.
bool isKernelConsole(dev_t device) {
    std::ifstream active("/sys/class/tty/console/active");
    std::string name;
    while (active >> name) {
        if (name.find('/') != std::string::npos || name.starts_with(".")) continue;
        std::ifstream number("/sys/class/tty/" + name + "/dev");
        unsigned major = 0, minor = 0;
        char colon = 0;
        if (number >> major >> colon >> minor && colon == ':' && ::makedev(major, minor) == device)
            return true;
    }
    return false;
}

}  // namespace

bool isVirtualConsole(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode) && ::major(st.st_rdev) == kTtyMajor &&
           ::minor(st.st_rdev) <= kMaxVirtualConsole;
}

std::optional<std::string> portRefusal(const std::string& path) {
    int reachError = 0;
    return portRefusal(path, reachError);
}

std::optional<std::string> portRefusal(const std::string& path, int& reachError) {
    reachError = 0;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        reachError = errno;
        return std::string("cannot be reached: ") + std::strerror(reachError);
    }
    if (!S_ISCHR(st.st_mode)) return std::string("not a character device");
    const unsigned major = ::major(st.st_rdev), minor = ::minor(st.st_rdev);
    if (major == kTtyMajor && minor <= kMaxVirtualConsole) return std::string("a virtual console");
    if (major == kAltTtyMajor && minor <= kMaxAltTtyMinor)
        return std::string("a console or the controlling terminal");
    if (isKernelConsole(st.st_rdev)) return std::string("the kernel's console");
    // Looked at without becoming its controlling process and without waiting for a carrier.
    const Fd port{::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)};
    if (port.fd < 0) {
        reachError = errno;
        return std::string("cannot be opened: ") + std::strerror(reachError);
    }
    if (!::isatty(port.fd)) return std::string("not a terminal device");
    pid_t session = 0;
    if (::ioctl(port.fd, TIOCGSID, &session) != 0) session = sessionOfTerminal(st.st_rdev);
    if (session > 0) return "the terminal of session " + std::to_string(session);
    return std::nullopt;
}

}  // namespace serial
