#pragma once
// A child process that makes a pty's slave its session's controlling terminal, as a login shell's
// terminal is, and stays until the object goes.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>

class SessionOnPty {
  public:
    explicit SessionOnPty(const std::string& slavePath) {
        int ready[2];
        if (::pipe(ready) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setsid();
            // Opened without O_NOCTTY by a session leader with no terminal: it becomes the
            // controlling terminal.
            const int fd = ::open(slavePath.c_str(), O_RDWR);
            const char ok = fd >= 0 ? '1' : '0';
            [[maybe_unused]] const auto written = ::write(ready[1], &ok, 1);
            ::pause();
            ::_exit(0);
        }
        ::close(ready[1]);
        char ok = '0';
        ready_ = ::read(ready[0], &ok, 1) == 1 && ok == '1';
        ::close(ready[0]);
    }
    ~SessionOnPty() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool ready() const { return ready_; }

  private:
    pid_t pid_ = -1;
    bool ready_ = false;
};
