#include "reader/trace/port_trace.hpp"

#include <gtest/gtest.h>

#include <fstream>

#include "support/hex_bytes.hpp"
#include "support/pty_pair.hpp"
#include "support/temp_dir.hpp"
#include "support/trace_lines.hpp"

using nlohmann::json;

TEST(PortTrace, OpenRateWriteReadAndCloseAreTraced) {
    PtyPair pty;
    ASSERT_FALSE(pty.slavePath().empty());
    TempDir dir;
    const std::string path = dir.file("trace.jsonl");
    serial::Serial port("", 9600, serial::Timeout{1, 200, 0, 200, 0});
    port.setWatcher(
        std::make_shared<Orvane::PortTrace>(std::make_shared<Orvane::TraceFile>(path, 1 << 20), 5));
    port.setPort(pty.slavePath());
    port.open();
    port.setBaudrate(115200);
    const Bytes request = hexBytes("AA 66 00");
    ASSERT_EQ(port.write(request.data(), request.size()), 3u);
    pty.send(hexBytes("55 01"));
    std::uint8_t reply[4] = {};
    ASSERT_EQ(port.read(reply, sizeof reply), 2u);
    port.close();
    port.close();  // a second close does nothing, and is not traced

    std::vector<json> lines = readTraceLinesUntimed(path);
    for (json& line : lines) {
        EXPECT_EQ(line["type"], 5);
        EXPECT_EQ(line["dev"], pty.slavePath());
        line.erase("type");
        line.erase("dev");
    }
    const std::vector<json> expected = {
        {{"op", "open"}, {"baud", 9600}, {"result", 0}},
        {{"op", "baud"}, {"baud", 115200}, {"result", 0}},
        {{"op", "write"}, {"out", "AA6600"}, {"result", 3}},
        {{"op", "read"}, {"size", 4}, {"in", "5501"}, {"result", 2}},
        {{"op", "close"}, {"result", 0}},
    };
    EXPECT_EQ(lines, expected);
}

TEST(PortTrace, AFailedOpenIsTracedAndStillThrows) {
    TempDir dir;
    const std::string path = dir.file("trace.jsonl");
    serial::Serial port("", 9600);
    port.setWatcher(
        std::make_shared<Orvane::PortTrace>(std::make_shared<Orvane::TraceFile>(path, 1 << 20), 2));
    port.setPort(dir.file("no-such-tty"));
    EXPECT_ANY_THROW(port.open());
    const std::vector<json> lines = readTraceLines(path);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["op"], "open");
    EXPECT_EQ(lines[0]["result"], -1);
}
