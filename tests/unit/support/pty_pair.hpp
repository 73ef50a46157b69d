#pragma once
// A pseudo-terminal the test opens itself: the code under test uses the slave path, the test plays
// the device on the master side.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

class PtyPair {
  public:
    PtyPair() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
        char name[128] = {};
        if (::ptsname_r(master_, name, sizeof name) == 0) slavePath_ = name;
    }
    ~PtyPair() { closeMaster(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& slavePath() const { return slavePath_; }
    int master() const { return master_; }

    void closeMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

    void send(const std::vector<std::uint8_t>& bytes) const {
        if (::write(master_, bytes.data(), bytes.size()) < 0) return;
    }

    // Everything the slave side wrote within the wait.
    // While no one holds the slave open the master reports a hang-up at once; that is waited
    // out, so a port opened late (a parked port) still has its request seen.
    std::vector<std::uint8_t> receive(int waitMs = 100) const {
        std::vector<std::uint8_t> bytes;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() < 0) break;
            pollfd pfd{master_, POLLIN, 0};
            if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) break;
            if (!(pfd.revents & POLLIN)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                continue;
            }
            std::uint8_t chunk[256];
            const ssize_t got = ::read(master_, chunk, sizeof chunk);
            if (got <= 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                continue;
            }
            bytes.insert(bytes.end(), chunk, chunk + got);
            deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(20);
        }
        return bytes;
    }

    speed_t slaveSpeed() const {
        termios options{};
        ::tcgetattr(master_, &options);
        return ::cfgetospeed(&options);
    }

  private:
    int master_ = -1;
    std::string slavePath_;
};
