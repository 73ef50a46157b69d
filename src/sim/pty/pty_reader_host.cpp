#include "sim/pty/pty_reader_host.hpp"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace rfsim {
namespace {

std::uint32_t rateOf(speed_t code) {
    static constexpr std::array<std::pair<speed_t, std::uint32_t>, 10> kRates{{
        {B1200, 1200},
        {B2400, 2400},
        {B4800, 4800},
        {B9600, 9600},
        {B19200, 19200},
        {B38400, 38400},
        {B57600, 57600},
        {B115200, 115200},
        {B230400, 230400},
        {B460800, 460800},
    }};
    for (const auto& [c, rate] : kRates) {
        if (c == code) return rate;
    }
    return 0;
}

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// A folder of the host's own for the port's link, under TMPDIR if that works, else /tmp.
std::string makeFolder() {
    for (const char* base : {static_cast<const char*>(std::getenv("TMPDIR")), "/tmp"}) {
        if (!base || !*base) continue;
        std::string folder = std::string(base) + "/rfdock-sim-XXXXXX";
        if (::mkdtemp(folder.data())) return folder;
    }
    return {};
}

void drain(int fd) {
    char bytes[64];
    while (::read(fd, bytes, sizeof bytes) > 0) {
    }
}

}  // namespace

PtyReaderHost::PtyReaderHost(std::shared_ptr<VirtualReader> reader, LineResponder respond)
    : reader_(std::move(reader)), respond_(std::move(respond)) {
    folder_ = makeFolder();
    if (folder_.empty() || ::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) return;
    portPath_ = folder_ + "/ttySIM0";
    if (!openLine()) return;
    ok_ = true;
    start();  // or no line at all, for a reader that is unplugged
}

PtyReaderHost::~PtyReaderHost() {
    stop();
    hangUp();
    closeFd(wake_[0]);
    closeFd(wake_[1]);
    if (!folder_.empty()) ::rmdir(folder_.c_str());
}

void PtyReaderHost::unplug() {
    std::lock_guard control(controlMutex_);
    reader_->unplug();
    stop();
    hangUp();
}

bool PtyReaderHost::plug() {
    std::lock_guard control(controlMutex_);
    if (!ok_) return false;
    {
        std::lock_guard lock(fdMutex_);
        if (master_ >= 0 && reader_->connected(lineConnection_)) return true;
    }
    stop();  // a host thread that hung up by itself has ended; collect it
    hangUp();
    if (!openLine()) return false;
    reader_->plug();
    start();
    return true;
}

bool PtyReaderHost::openLine() {
    std::lock_guard lock(fdMutex_);
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    char name[128] = {};
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0) {
        closeFd(master_);
        return false;
    }
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    termios options{};
    if (slave_ >= 0 && ::tcgetattr(slave_, &options) == 0) {
        // Nothing echoed or translated before the service configures its side.
        ::cfmakeraw(&options);
        ::tcsetattr(slave_, TCSANOW, &options);
    }
    // The new link replaces the path in one step, so the path never names another line.
    const std::string staged = portPath_ + ".new";
    ::unlink(staged.c_str());
    if (::symlink(name, staged.c_str()) != 0 || ::rename(staged.c_str(), portPath_.c_str()) != 0) {
        ::unlink(staged.c_str());
        closeFd(master_);
        closeFd(slave_);
        return false;
    }
    return true;
}

void PtyReaderHost::hangUp() {
    std::lock_guard lock(fdMutex_);
    if (!portPath_.empty()) ::unlink(portPath_.c_str());
    closeFd(master_);
    closeFd(slave_);
}

void PtyReaderHost::start() {
    const std::optional<std::uint64_t> connection = reader_->connection();
    if (!connection) {
        hangUp();
        return;
    }
    lineConnection_ = *connection;
    drain(wake_[0]);  // a wake-up meant for a thread that had ended already
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
}

void PtyReaderHost::stop() {
    if (!thread_.joinable()) return;
    stopping_ = true;
    const char byte = 0;
    if (::write(wake_[1], &byte, 1) < 0) {
        // The pipe is only a wake-up; the thread also polls with a timeout.
    }
    thread_.join();
}

std::uint32_t PtyReaderHost::lineBaud() const {
    std::lock_guard lock(fdMutex_);
    termios options{};
    if (master_ < 0 || ::tcgetattr(master_, &options) != 0) return 0;
    return rateOf(::cfgetospeed(&options));
}

void PtyReaderHost::run() {
    std::array<std::uint8_t, 4096> chunk{};
    while (!stopping_) {
        if (!reader_->connected(lineConnection_)) {
            // The cable came out, maybe between a request and its answer: the line goes with it.
            hangUp();
            return;
        }
        pollfd fds[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(fds, 2, 100) <= 0) continue;
        if (fds[1].revents) break;
        if (!(fds[0].revents & POLLIN)) {
            // A hang-up without data (no side open): wait for the service to open its side.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        const ssize_t got = ::read(master_, chunk.data(), chunk.size());
        if (got <= 0) continue;
        const Bytes reply = answer({chunk.data(), static_cast<std::size_t>(got)});
        if (!reply.empty() && !writeAll(reply)) break;
    }
}

Bytes PtyReaderHost::answer(std::span<const std::uint8_t> bytes) {
    // The pty shares one termios between its sides: its rate is what the service set.
    if (respond_) return respond_(bytes, lineBaud());
    if (lineBaud() != reader_->baud()) {
        reader_->lineNoise();
        return {};
    }
    return reader_->receive(bytes, false);
}

bool PtyReaderHost::writeAll(const Bytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size() && !stopping_) {
        const ssize_t put = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (put > 0) {
            done += static_cast<std::size_t>(put);
            continue;
        }
        if (put < 0 && errno != EAGAIN && errno != EINTR) return false;
        // The line's buffer is full until the service reads: wait for room or a stop.
        pollfd fds[2] = {{master_, POLLOUT, 0}, {wake_[0], POLLIN, 0}};
        ::poll(fds, 2, 100);
        if (fds[1].revents) return false;
    }
    return true;
}

}  // namespace rfsim
