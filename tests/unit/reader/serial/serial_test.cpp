#include "reader/serial/serial.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/select.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

#include "support/pty_pair.hpp"

using serial::Serial;
using serial::Timeout;
using testing::MatchesRegex;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

namespace {

// The record the reader transports use: 1 ms between bytes, 200 ms per read or write.
constexpr Timeout kReaderTimeout{1, 200, 0, 200, 0};

class SerialOnPty : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(pty.slavePath().empty());
        port.setTimeout(kReaderTimeout);
        port.setPort(pty.slavePath());
        port.open();
    }

    PtyPair pty;
    Serial port;
};

template <typename Exception>
std::string messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& e) {
        return e.what();
    }
    return "(no exception)";
}

}  // namespace

TEST(SerialErrors, OpenNeedsAPortName) {
    Serial port;
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { port.open(); }), "Empty port is invalid.");
    EXPECT_FALSE(port.isOpen());
}

TEST(SerialErrors, ClosedPortOperationsNameTheOperation) {
    Serial port;
    std::uint8_t byte = 0;
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"Serial::read", [&] { port.read(&byte, 1); }},
        {"Serial::write", [&] { port.write(&byte, 1); }},
        {"Serial::flush", [&] { port.flush(); }},
        {"Serial::flushInput", [&] { port.flushInput(); }},
        {"Serial::flushOutput", [&] { port.flushOutput(); }},
    };
    for (const auto& [operation, action] : cases) {
        EXPECT_EQ(messageOf<serial::PortNotOpenedException>(action),
                  std::string("PortNotOpenedException ") + operation + " failed.");
    }
}

TEST(SerialErrors, MissingDeviceGivesTheErrnoText) {
    Serial port;
    port.setPort("/nonexistent/ttyUSB9");
    const std::string message = messageOf<serial::IOException>([&] { port.open(); });
    EXPECT_THAT(
        message,
        MatchesRegex(
            R"(IO Exception \(2\): No such file or directory, file serial_impl\.cpp, line [0-9]+\.)"));
    EXPECT_FALSE(port.isOpen());
}

TEST(SerialErrors, DescribedIoExceptionNamesTheSourceLine) {
    const serial::IOException error("::tcgetattr");
    EXPECT_THAT(error.what(),
                MatchesRegex(R"(IO Exception: ::tcgetattr, file serial_test\.cpp, line [0-9]+\.)"));
}

TEST_F(SerialOnPty, OpenTwiceIsRefused) {
    EXPECT_EQ(messageOf<serial::SerialException>([&] { port.open(); }),
              "SerialException Serial port already open. failed.");
    EXPECT_TRUE(port.isOpen());
}

TEST_F(SerialOnPty, SilentDeviceEndsAReadAtTheDeadline) {
    std::uint8_t buffer[6] = {};
    const auto start = Clock::now();
    EXPECT_EQ(port.read(buffer, sizeof buffer), 0u);
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(195));
    EXPECT_LT(waited, std::chrono::milliseconds(400));
}

TEST_F(SerialOnPty, ReadCollectsFragmentsUntilComplete) {
    std::thread device([&] {
        pty.send({1, 2, 3});
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pty.send({4, 5, 6, 7});
    });
    std::uint8_t buffer[6] = {};
    EXPECT_EQ(port.read(buffer, sizeof buffer), 6u);
    device.join();
    EXPECT_EQ(Bytes(buffer, buffer + 6), (Bytes{1, 2, 3, 4, 5, 6}));
    std::uint8_t rest = 0;
    EXPECT_EQ(port.read(&rest, 1), 1u);
    EXPECT_EQ(rest, 7);
}

TEST_F(SerialOnPty, WritesPassUnchanged) {
    // Raw mode: no CR/LF translation, no flow-control characters eaten.
    const Bytes frame{0xFE, 0x02, 0x0A, 0x0D, 0x11, 0x13, 0x00, 0xFF};
    port.flush();
    EXPECT_EQ(port.write(frame.data(), frame.size()), frame.size());
    EXPECT_EQ(pty.receive(), frame);
}

TEST_F(SerialOnPty, StandardRatesReachTheTerminal) {
    for (const auto& [rate, code] : {std::pair{9600u, B9600}, {57600u, B57600}, {115200u, B115200}}) {
        port.setBaudrate(rate);
        EXPECT_EQ(pty.slaveSpeed(), code) << rate;
    }
}

TEST_F(SerialOnPty, CustomRateNeedsTheSerialDriver) {
    // A pseudo-terminal has no UART divisor, so the custom-rate path reports the driver's refusal.
    port.setBaudrate(57600);
    EXPECT_THROW(port.setBaudrate(12345), serial::IOException);
    // The refused rate is not kept: the line runs at the rate it had.
    EXPECT_EQ(port.getBaudrate(), 57600u);
    EXPECT_EQ(pty.slaveSpeed(), B57600);
}

TEST_F(SerialOnPty, SetPortReopensUnderTheNewName) {
    PtyPair other;
    port.setPort(other.slavePath());
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.getPort(), other.slavePath());
    const Bytes bytes{0x55, 0xAA};
    port.write(bytes.data(), bytes.size());
    EXPECT_EQ(other.receive(), bytes);
}

TEST_F(SerialOnPty, VanishedDeviceFailsTheReadInsteadOfWaiting) {
    pty.closeMaster();
    std::uint8_t buffer[6] = {};
    const auto start = Clock::now();
    EXPECT_ANY_THROW(port.read(buffer, sizeof buffer));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100));
}

TEST_F(SerialOnPty, BadSettingsAreRefused) {
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { port.setBytesize(static_cast<serial::ByteSize>(9)); }),
              "invalid char len");
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { port.setParity(static_cast<serial::Parity>(7)); }),
              "invalid parity");
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { port.setStopbits(static_cast<serial::StopBits>(0)); }),
              "invalid stop bit");
}

// Descriptors numbered past FD_SETSIZE, as a service with many connections hands out: the port's
// waits must work there as anywhere (a select() on an fd_set would write past the set).
TEST(SerialHighDescriptor, ReadsAndTimesOutAboveFdSetSize) {
    rlimit saved{};
    ::getrlimit(RLIMIT_NOFILE, &saved);
    constexpr rlim_t kWanted = FD_SETSIZE + 64;
    if (saved.rlim_max != RLIM_INFINITY && saved.rlim_max < kWanted) GTEST_SKIP() << "hard limit too low";
    rlimit raised = saved;
    raised.rlim_cur = std::max(saved.rlim_cur, kWanted);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &raised), 0);
    std::vector<int> fillers;
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0 && fd < FD_SETSIZE + 8;)
        fillers.push_back(fd);
    {
        PtyPair pty;
        ASSERT_GE(pty.master(), FD_SETSIZE);
        Serial port;
        port.setTimeout(kReaderTimeout);
        port.setPort(pty.slavePath());
        port.open();
        std::uint8_t buffer[4] = {};
        EXPECT_EQ(port.read(buffer, sizeof buffer), 0u);  // silent: the deadline ends it
        std::thread device([&] { pty.send({1, 2, 3, 4}); });
        EXPECT_EQ(port.read(buffer, sizeof buffer), 4u);
        device.join();
        EXPECT_EQ(Bytes(buffer, buffer + 4), (Bytes{1, 2, 3, 4}));
        port.write(Bytes{9, 8}.data(), 2);
        EXPECT_EQ(pty.receive(), (Bytes{9, 8}));
    }
    for (const int fd : fillers)
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &saved);
}

TEST(SerialByteTime, CountsStartDataParityAndStopBits) {
    struct Case {
        std::uint32_t rate;
        serial::Parity parity;
        serial::StopBits stop;
        std::uint32_t ns;
    };
    const Case cases[] = {
        {9600, serial::Parity::none, serial::StopBits::one, 104166u * 10},
        {57600, serial::Parity::even, serial::StopBits::two, 17361u * 13},
        {115200, serial::Parity::none, serial::StopBits::onePointFive, 8680u * 12 - 8680u * 3 / 2},
    };
    for (const auto& c : cases) {
        Serial port("", c.rate, {}, serial::ByteSize::eight, c.parity, c.stop);
        EXPECT_EQ(port.byteTimeNs(), c.ns) << c.rate;
    }
}
