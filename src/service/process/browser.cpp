#include "service/process/browser.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

std::string servicePageUrl(const IniCfg& config) {
    std::string host = config.GetValue(cfg::srvHost.key, cfg::srvHost.section);
    if (host.empty()) host = "127.0.0.1";
    return std::string(config.get(cfg::tlsEnable) ? "https://" : "http://") + host + ":" +
           std::to_string(config.get(cfg::port));
}

void openServicePage(const IniCfg& config) {
    const std::string url = servicePageUrl(config);
    const pid_t child = ::fork();
    if (child < 0) return;
    if (child == 0) {
        if (::fork() == 0) {
            const int devNull = ::open("/dev/null", O_RDWR);
            if (devNull >= 0) ::dup2(devNull, STDIN_FILENO);
            ::execlp("xdg-open", "xdg-open", url.c_str(), static_cast<char*>(nullptr));
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
}
