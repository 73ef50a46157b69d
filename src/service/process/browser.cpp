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

void openServicePage(const IniCfg& config, const std::string& outputFile) {
    const std::string url = servicePageUrl(config);
    const pid_t child = ::fork();
    if (child < 0) return;
    if (child == 0) {
        if (::fork() == 0) {
            // The browser may outlive the service: it must not keep the listening socket, the
            // pid file lock or anything else of ours open.
            if (::close_range(3, ~0U, 0) != 0)
                for (int fd = 3; fd < 1024; ++fd)
                    ::close(fd);
            const int devNull = ::open("/dev/null", O_RDWR);
            if (devNull >= 0) ::dup2(devNull, STDIN_FILENO);
            int out =
                outputFile.empty() ? -1 : ::open(outputFile.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0600);
            if (out < 0) out = devNull;
            if (out >= 0) {
                ::dup2(out, STDOUT_FILENO);
                ::dup2(out, STDERR_FILENO);
            }
            ::execlp("xdg-open", "xdg-open", url.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
}
