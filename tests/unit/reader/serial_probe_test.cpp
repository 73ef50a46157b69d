// What one serial port probe says when a reader is not found there: why the port did not open,
// and whether anything answered the handshake.

#include "reader/serial_probe.hpp"

#include <grp.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <thread>

#include "reader/rf_reader_ports.hpp"
#include "reader/transport/held_serial_ports.hpp"
#include "reader/transport/vc_reader_serial.hpp"
#include "support/log_capture.hpp"
#include "support/pty_pair.hpp"
#include "support/session_on_pty.hpp"
#include "support/sim_readers.hpp"
#include "support/temp_dir.hpp"

using Orvane::ProbeOutcome;

TEST(SerialProbe, OpenErrorsSayWhatStandsInTheWay) {
    const struct {
        int error;
        ProbeOutcome outcome;
    } cases[] = {
        {ENOENT, ProbeOutcome::notPresent},
        {ENXIO, ProbeOutcome::notPresent},
        {ENODEV, ProbeOutcome::notPresent},
        {EIO, ProbeOutcome::notPresent},
        {EACCES, ProbeOutcome::permissionDenied},
        {EPERM, ProbeOutcome::permissionDenied},
        {EBUSY, ProbeOutcome::busy},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Orvane::openFailure("/dev/ttyUSB0", c.error).outcome, c.outcome) << c.error;
}

TEST(SerialProbe, PermissionDeniedNamesTheGroupToJoin) {
    TempDir dir;
    const std::string node = dir.file("ttyUSB0");
    writeFile(node, "");
    const group* dialout = ::getgrnam("dialout");
    if (!dialout || ::chown(node.c_str(), static_cast<uid_t>(-1), dialout->gr_gid) != 0)
        GTEST_SKIP() << "no dialout group to give the node to";

    const Orvane::ProbeReport probe = Orvane::openFailure(node, EACCES);
    EXPECT_EQ(probe.detail,
              node + " belongs to group dialout: add the user to that group or install the udev rules");
}

namespace {

// Answers the first request with bytes no reader sends.
class NoisyPty {
  public:
    NoisyPty()
        : thread_([this] {
              if (!pty.receive(5000).empty()) pty.send({0x13, 0x37});
          }) {}
    ~NoisyPty() { thread_.join(); }

    PtyPair pty;

  private:
    std::thread thread_;
};

class SerialPortProbe : public testing::Test {
  protected:
    void SetUp() override { Orvane::forgetLastGoodSerialPorts(); }
    void TearDown() override { Orvane::forgetLastGoodSerialPorts(); }

    // Connects a type-5 reader to `path` as a port named by the client; the probe line it logged.
    std::string probeLine(const std::string& path, bool& found) {
        LogCapture log;
        Orvane::VCReaderSerial reader;
        found = Orvane::connectVcSerialPort(reader, sim.bus, path, true);
        for (const std::string& line : log.lines())
            if (line.find("reader probe: type 5 on " + path + ":") != std::string::npos) return line;
        return {};
    }

    SimReaders sim;
};

}  // namespace

TEST_F(SerialPortProbe, EveryNamedPortTriedLogsWhatItFound) {
    TempDir dir;
    PtyPair silent, shell, held;
    SessionOnPty session(shell.slavePath());
    ASSERT_TRUE(session.ready());
    const int otherReader = 0;
    Orvane::held_serial_ports::hold(held.slavePath(), &otherReader);
    auto noisy = std::make_unique<NoisyPty>();
    sim.add(kReaderVcSerial);

    const struct {
        std::string path;
        const char* says;
    } cases[] = {
        {dir.file("ttyUSB7"), "not present (No such file or directory)"},
        {silent.slavePath(), "no answer (nothing came back at 115,200 baud)"},
        {noisy->pty.slavePath(),
         "wrong answer (2 bytes came back at 115,200 baud, none a reader's identify reply)"},
        {shell.slavePath(), "refused (the terminal of session"},
        {held.slavePath(), "busy (another reader of this service works on it)"},
        {sim.portOf(kReaderVcSerial), "found"},
    };
    for (const auto& c : cases) {
        bool found = false;
        const std::string line = probeLine(c.path, found);
        EXPECT_NE(line.find(std::string("info reader probe: type 5 on ") + c.path + ": " + c.says),
                  std::string::npos)
            << c.path << " logged: " << line;
        EXPECT_EQ(found, std::string(c.says) == "found") << c.path;
    }
    Orvane::held_serial_ports::release(&otherReader);
}
