#include "sim/pty/pty_reader_host.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "reader/serial/serial.hpp"
#include "sim/firmware/va_firmware.hpp"
#include "support/hex_bytes.hpp"

namespace {

struct PtyHostTest : testing::Test {
    void SetUp() override {
        ASSERT_TRUE(host.ok());
        port.setPort(host.portPath());
        port.open();
    }
    Bytes exchange(const Bytes& request, std::size_t expected) {
        port.write(request.data(), request.size());
        Bytes reply(expected);
        reply.resize(port.read(reply.data(), reply.size()));
        return reply;
    }

    std::shared_ptr<rfsim::VirtualReader> reader = std::make_shared<rfsim::VirtualReader>(
        std::make_unique<rfsim::VaFirmware>(rfsim::VaFirmware::Options{"QX", 9600}));
    rfsim::PtyReaderHost host{reader};
    serial::Serial port{"", 57600, serial::Timeout{1, 200, 0, 200, 0}};
};

}  // namespace

TEST_F(PtyHostTest, AnswersOnlyAtTheReadersRate) {
    EXPECT_EQ(host.lineBaud(), 57600u);
    EXPECT_TRUE(exchange(hexBytes("FE 02 01 10 3C 0F"), 8).empty());
    port.setBaudrate(9600);
    EXPECT_EQ(exchange(hexBytes("FE 02 01 10 3C 0F"), 8), hexBytes("FE 02 03 00 51 58 F9 6F"));
    // Rate change: answered at 9,600, then the reader listens at 57,600.
    EXPECT_EQ(exchange(hexBytes("FE 02 02 1C 03 D4 81"), 6), hexBytes("FE 02 01 00 2E 3E"));
    EXPECT_TRUE(exchange(hexBytes("FE 02 01 10 3C 0F"), 8).empty());
    port.setBaudrate(57600);
    EXPECT_EQ(exchange(hexBytes("FE 02 01 10 3C 0F"), 8), hexBytes("FE 02 03 00 51 58 F9 6F"));
}

TEST_F(PtyHostTest, UnplugMakesThePortFail) {
    port.setBaudrate(9600);
    host.unplug();
    std::uint8_t byte = 0;
    EXPECT_ANY_THROW(port.read(&byte, 1));
}

TEST_F(PtyHostTest, ReplugComesBackAtTheSamePathAsANewLine) {
    const std::string path = host.portPath();
    port.setBaudrate(9600);
    ASSERT_EQ(exchange(hexBytes("FE 02 01 10 3C 0F"), 8), hexBytes("FE 02 03 00 51 58 F9 6F"));

    host.unplug();
    struct stat info {};
    EXPECT_NE(::lstat(path.c_str(), &info), 0);  // gone, as a pulled USB-serial port
    serial::Serial other{"", 9600, serial::Timeout{1, 200, 0, 200, 0}};
    other.setPort(path);
    EXPECT_ANY_THROW(other.open());
    EXPECT_EQ(host.lineBaud(), 0u);

    ASSERT_TRUE(host.plug());
    EXPECT_EQ(host.portPath(), path);
    // The port opened before the unplug belongs to the old line and stays dead.
    std::uint8_t byte = 0;
    EXPECT_ANY_THROW(port.read(&byte, 1));
    port.close();
    port.open();
    EXPECT_EQ(exchange(hexBytes("FE 02 01 10 3C 0F"), 8), hexBytes("FE 02 03 00 51 58 F9 6F"));
    EXPECT_TRUE(host.plug());  // plugged already: the line stays
    EXPECT_EQ(exchange(hexBytes("FE 02 01 10 3C 0F"), 8), hexBytes("FE 02 03 00 51 58 F9 6F"));
}

TEST(PtyHostLifetime, LeavesNothingBehind) {
    auto reader = std::make_shared<rfsim::VirtualReader>(std::make_unique<rfsim::VaFirmware>());
    std::filesystem::path folder;
    {
        rfsim::PtyReaderHost host(reader);
        ASSERT_TRUE(host.ok());
        folder = std::filesystem::path(host.portPath()).parent_path();
        EXPECT_TRUE(std::filesystem::is_symlink(host.portPath()));
        host.unplug();
        ASSERT_TRUE(host.plug());
        // Unplugged at the end too.
        host.unplug();
    }
    EXPECT_FALSE(std::filesystem::exists(folder));
    rfsim::PtyReaderHost again(reader);  // a host for a reader that is out starts without a line
    ASSERT_TRUE(again.ok());
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(again.portPath())));
    ASSERT_TRUE(again.plug());
    EXPECT_TRUE(std::filesystem::is_symlink(again.portPath()));
}
