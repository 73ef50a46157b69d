#include "reader/serial/serial_impl.hpp"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <utility>

namespace serial {
namespace {

using Clock = std::chrono::steady_clock;

// The rates the terminal driver knows by speed code; any other rate needs a custom divisor.
constexpr std::array<std::pair<std::uint32_t, speed_t>, 31> kSpeedCodes{{
    {0, B0},
    {50, B50},
    {75, B75},
    {110, B110},
    {134, B134},
    {150, B150},
    {200, B200},
    {300, B300},
    {600, B600},
    {1200, B1200},
    {1800, B1800},
    {2400, B2400},
    {4800, B4800},
    {9600, B9600},
    {19200, B19200},
    {38400, B38400},
    {57600, B57600},
    {115200, B115200},
    {230400, B230400},
    {460800, B460800},
    {500000, B500000},
    {576000, B576000},
    {921600, B921600},
    {1000000, B1000000},
    {1152000, B1152000},
    {1500000, B1500000},
    {2000000, B2000000},
    {2500000, B2500000},
    {3000000, B3000000},
    {3500000, B3500000},
    {4000000, B4000000},
}};

const speed_t* standardSpeed(std::uint32_t baudrate) {
    for (const auto& [rate, code] : kSpeedCodes) {
        if (rate == baudrate) return &code;
    }
    return nullptr;
}

timespec toTimespec(std::chrono::nanoseconds wait) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait);
    return timespec{static_cast<time_t>(seconds.count()), static_cast<long>((wait - seconds).count())};
}

// Waits until fd is readable (or writable) or the wait is over: >0 ready, 0 timed out, <0 errno set.
// poll, not select: a descriptor above FD_SETSIZE (a process allowed many open files) must not be
// written into a fixed-size fd_set. A hang-up counts as ready: the read or write then tells why.
int waitFor(int fd, bool forWrite, std::chrono::nanoseconds wait) {
    pollfd entry{fd, static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
    const timespec limit = toTimespec(std::max(wait, std::chrono::nanoseconds(0)));
    return ::ppoll(&entry, 1, &limit, nullptr);
}

bool wouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

}  // namespace

Serial::SerialImpl::SerialImpl(const std::string& port, std::uint32_t baudrate, ByteSize bytesize,
                               Parity parity, StopBits stopbits, FlowControl flowcontrol)
    : port_(port),
      baudrate_(baudrate),
      bytesize_(bytesize),
      parity_(parity),
      stopbits_(stopbits),
      flowcontrol_(flowcontrol) {
    updateByteTime();
    if (!port_.empty()) open();
}

Serial::SerialImpl::~SerialImpl() {
    if (fd_ != -1) ::close(fd_);
}

void Serial::SerialImpl::open() {
    if (port_.empty()) throw std::invalid_argument("Empty port is invalid.");
    if (isOpen_) throw SerialException("Serial port already open.");

    do {
        fd_ = ::open(port_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    } while (fd_ == -1 && errno == EINTR);
    if (fd_ == -1) {
        const int error = errno;
        if (error == ENFILE || error == EMFILE) throw IOException("Too many file handles open.");
        throw IOException(error);
    }
    try {
        reconfigurePort();
    } catch (...) {
        // A port that cannot be configured is not left half open.
        ::close(fd_);
        fd_ = -1;
        throw;
    }
    isOpen_ = true;
}

void Serial::SerialImpl::close() {
    if (!isOpen_) return;
    if (fd_ != -1) {
        const int result = ::close(fd_);
        if (result != 0 && errno != EINTR) {
            const int error = errno;
            fd_ = -1;
            isOpen_ = false;
            throw IOException(error);
        }
    }
    fd_ = -1;
    isOpen_ = false;
}

// A refused setting is not kept: the port goes back to the settings it had.
template <typename T>
void Serial::SerialImpl::applySetting(T& setting, T value) {
    const T previous = setting;
    setting = value;
    if (isOpen_) {
        try {
            reconfigurePort();
        } catch (...) {
            setting = previous;
            try {
                reconfigurePort();
            } catch (...) {
            }
            throw;
        }
    }
    updateByteTime();
}

void Serial::SerialImpl::setBaudrate(std::uint32_t baudrate) {
    applySetting(baudrate_, baudrate);
}
void Serial::SerialImpl::setBytesize(ByteSize bytesize) {
    applySetting(bytesize_, bytesize);
}
void Serial::SerialImpl::setParity(Parity parity) {
    applySetting(parity_, parity);
}
void Serial::SerialImpl::setStopbits(StopBits stopbits) {
    applySetting(stopbits_, stopbits);
}
void Serial::SerialImpl::setFlowcontrol(FlowControl flowcontrol) {
    applySetting(flowcontrol_, flowcontrol);
}

void Serial::SerialImpl::reconfigurePort() {
    if (fd_ == -1) throw IOException("Invalid file descriptor, is the serial port open?");
    termios options{};
    if (::tcgetattr(fd_, &options) == -1) throw IOException("::tcgetattr");

    // Raw mode: bytes pass unchanged in both directions, modem lines are ignored.
    options.c_cflag |= CLOCAL | CREAD;
    options.c_lflag &= ~(ICANON | ECHO | ECHOE | ECHOK | ECHONL | ISIG | IEXTEN);
    options.c_oflag &= ~OPOST;
    options.c_iflag &= ~(INLCR | IGNCR | ICRNL | IGNBRK | BRKINT | PARMRK | ISTRIP | INPCK | IUCLC);

    const speed_t* speed = standardSpeed(baudrate_);
    // The custom divisor takes effect on the 38,400 speed code.
    const speed_t code = speed ? *speed : B38400;
    ::cfsetispeed(&options, code);
    ::cfsetospeed(&options, code);

    options.c_cflag &= ~CSIZE;
    switch (bytesize_) {
        case ByteSize::five:
            options.c_cflag |= CS5;
            break;
        case ByteSize::six:
            options.c_cflag |= CS6;
            break;
        case ByteSize::seven:
            options.c_cflag |= CS7;
            break;
        case ByteSize::eight:
            options.c_cflag |= CS8;
            break;
        default:
            throw std::invalid_argument("invalid char len");
    }
    switch (stopbits_) {
        case StopBits::one:
            options.c_cflag &= ~CSTOPB;
            break;
        case StopBits::two:
        case StopBits::onePointFive:
            options.c_cflag |= CSTOPB;
            break;  // the UART has no 1.5
        default:
            throw std::invalid_argument("invalid stop bit");
    }
    options.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    switch (parity_) {
        case Parity::none:
            break;
        case Parity::odd:
            options.c_cflag |= PARENB | PARODD;
            break;
        case Parity::even:
            options.c_cflag |= PARENB;
            break;
        case Parity::mark:
            options.c_cflag |= PARENB | PARODD | CMSPAR;
            break;  // stick parity 1
        case Parity::space:
            options.c_cflag |= PARENB | CMSPAR;
            break;  // stick parity 0
        default:
            throw std::invalid_argument("invalid parity");
    }
    options.c_iflag &= ~(IXON | IXOFF | IXANY);
    options.c_cflag &= ~CRTSCTS;
    if (flowcontrol_ == FlowControl::software) options.c_iflag |= IXON | IXOFF;
    if (flowcontrol_ == FlowControl::hardware) options.c_cflag |= CRTSCTS;

    // Reads never block in the driver: the deadlines are kept here.
    options.c_cc[VMIN] = 0;
    options.c_cc[VTIME] = 0;

    if (::tcsetattr(fd_, TCSANOW, &options) == -1) throw IOException(errno);
    if (!speed) setCustomBaudrate();
}

void Serial::SerialImpl::setCustomBaudrate() {
    serial_struct settings{};
    if (::ioctl(fd_, TIOCGSERIAL, &settings) == -1) throw IOException(errno);
    if (baudrate_ == 0 || settings.baud_base <= 0 ||
        static_cast<std::uint32_t>(settings.baud_base) < baudrate_)
        throw IOException(EINVAL);
    settings.flags &= ~ASYNC_SPD_MASK;
    settings.flags |= ASYNC_SPD_CUST;
    settings.custom_divisor = settings.baud_base / static_cast<int>(baudrate_);
    if (::ioctl(fd_, TIOCSSERIAL, &settings) == -1) throw IOException(errno);
}

void Serial::SerialImpl::updateByteTime() {
    if (baudrate_ == 0) {
        byteTimeNs_ = 0;
        return;
    }
    const std::uint32_t bitTime = 1'000'000'000u / baudrate_;
    const std::uint32_t bits = 1u + static_cast<std::uint32_t>(bytesize_) +
                               static_cast<std::uint32_t>(parity_) + static_cast<std::uint32_t>(stopbits_);
    byteTimeNs_ = bitTime * bits;
    if (stopbits_ == StopBits::onePointFive) byteTimeNs_ -= bitTime * 3 / 2;
}

void Serial::SerialImpl::flush() {
    if (!isOpen_) throw PortNotOpenedException("Serial::flush");
    ::tcdrain(fd_);
}

void Serial::SerialImpl::flushInput() {
    if (!isOpen_) throw PortNotOpenedException("Serial::flushInput");
    ::tcflush(fd_, TCIFLUSH);
}

void Serial::SerialImpl::flushOutput() {
    if (!isOpen_) throw PortNotOpenedException("Serial::flushOutput");
    ::tcflush(fd_, TCOFLUSH);
}

std::size_t Serial::SerialImpl::read(std::uint8_t* buffer, std::size_t size) {
    if (!isOpen_) throw PortNotOpenedException("Serial::read");
    if (size == 0) return 0;
    const auto total = std::chrono::milliseconds(timeout_.readConstant) +
                       std::chrono::milliseconds(std::uint64_t{timeout_.readMultiplier} * size);
    const auto deadline = Clock::now() + total;
    const auto interByte = std::chrono::milliseconds(timeout_.interByte);

    std::size_t held = 0;
    const auto readSome = [&](bool afterReady) {
        const ssize_t got = ::read(fd_, buffer + held, size - held);
        if (got > 0) {
            held += static_cast<std::size_t>(got);
        } else if (got == 0) {
            if (afterReady)
                throw SerialException(
                    "device reports readiness to read but returned no data (device disconnected?)");
        } else if (!wouldBlock(errno)) {
            throw IOException(errno);
        }
    };

    readSome(false);
    while (held < size) {
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) break;
        // An inter-byte timeout of 0 sets no step: wait for the rest of the deadline.
        const auto step = interByte.count() == 0 ? left : std::min<Clock::duration>(interByte, left);
        const int ready = waitFor(fd_, false, step);
        if (ready < 0) {
            if (errno == EINTR) continue;
            throw IOException(errno);
        }
        if (ready > 0) readSome(true);
    }
    return held;
}

std::size_t Serial::SerialImpl::write(const std::uint8_t* data, std::size_t length) {
    if (!isOpen_) throw PortNotOpenedException("Serial::write");
    if (length == 0) return 0;
    const auto total = std::chrono::milliseconds(timeout_.writeConstant) +
                       std::chrono::milliseconds(std::uint64_t{timeout_.writeMultiplier} * length);
    const auto deadline = Clock::now() + total;

    std::size_t done = 0;
    while (done < length) {
        const auto left = deadline - Clock::now();
        const int ready = waitFor(fd_, true, left);
        if (ready < 0) {
            if (errno == EINTR) continue;
            throw IOException(errno);
        }
        if (ready == 0) break;  // deadline passed while the driver's buffer stayed full
        const ssize_t put = ::write(fd_, data + done, length - done);
        if (put > 0) {
            done += static_cast<std::size_t>(put);
        } else if (put == 0) {
            throw SerialException(
                "device reports readiness to write but wrote no data (device disconnected?)");
        } else if (!wouldBlock(errno)) {
            throw IOException(errno);
        }
        if (done < length && Clock::now() >= deadline) break;
    }
    return done;
}

}  // namespace serial
