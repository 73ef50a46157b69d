// A reader played by another process: an emulator written here in Python (standard library only)
// plays a type 1 reader over the scenario's Unix socket, behind the real HID transport and frame
// code. It answers VD frames on feature reports: version, REQA, the two cascade levels of a 7-byte
// UID, Mifare authentication and block reads.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "sim_process.hpp"
#include "support/temp_dir.hpp"

using nlohmann::json;
using namespace std::chrono_literals;

namespace {

constexpr const char* kPython = "/usr/bin/python3";

// argv: socket path, file to append each command code to.
constexpr const char* kEmulator = R"PY(
import json, os, socket, sys

A = [0x9A, 0x39, 0xAA, 0x96, 0x18, 0x64, 0x37, 0x12, 0x2B, 0xC5, 0x64, 0xF3, 0x72, 0x69, 0x33, 0x11]
B = [0x39, 0x5A, 0xC7, 0xF1, 0x2B, 0x4D, 0x75, 0x88, 0x64, 0x38, 0xAA, 0xA5, 0x55, 0x37, 0xD2, 0x03]
UID = bytes.fromhex("04A1B2C3D4E580")

def check(data):
    x, s = 0, 0
    for b in data:
        x ^= b
        s += b
    c1 = (x + A[x & 15] + B[x & 15]) & 0xFF
    y = (c1 + s) & 0xFF
    return bytes([c1, (y + A[y & 15] + B[y & 15]) & 0xFF])

def block(n):
    if n % 4 == 3:  # trailer: keys read back as zeros, factory access bits
        return bytes(6) + bytes.fromhex("FF078069") + bytes(6)
    return bytes((n * 16 + i) & 0xFF for i in range(16))

def run(cmd, p, d):
    if cmd == 0xB0: return 0, b"PyVD emulator 1.0"[:d[1]]
    if cmd == 0x41: return 0, bytes([0x44, 0x00])           # ATQA of a double-size UID
    if cmd == 0x42: return 0, b"\x88" + UID[0:3]            # cascade tag, then UID0..2
    if cmd == 0x43: return (0, b"\x04") if d == b"\x88" + UID[0:3] else (1, b"")
    if cmd == 0x46: return (0, UID[3:7]) if d[0] == 0x95 else (1, b"")
    if cmd == 0x47: return (0, b"\x08") if d == b"\x95" + UID[3:7] else (1, b"")
    if cmd == 0x5F: return 0, b""
    if cmd == 0x61: return 0, block(p[4])
    if cmd in (0xB4, 0xBD, 0x4E, 0x45): return 0, b""
    return 1, b""

def answer(req, state, log):
    if req["op"] == "featureSet":
        out = bytes.fromhex(req["out"])[1:]
        n = (out[2] << 8 | out[3]) + 6
        frame = out[:n]
        if frame[0] != 0xAA or check(frame[:-2]) != frame[-2:]:
            return {"result": len(out) + 1}
        log.write("%02X\n" % frame[1]); log.flush()
        status, data = run(frame[1], frame[4:9], frame[9:-2])
        reply = bytes([0x55, status, len(data) >> 8, len(data) & 0xFF]) + data
        state["reply"] = reply + check(reply)
        return {"result": len(out) + 1}
    if req["op"] == "featureGet":
        reply, state["reply"] = state.get("reply"), None
        return {"result": len(reply) + 1, "in": "06" + reply.hex()} if reply else {"result": -1}
    return {"result": 0}

server = socket.socket(socket.AF_UNIX)
server.bind(sys.argv[1] + ".new")
os.rename(sys.argv[1] + ".new", sys.argv[1])
server.listen()
with open(sys.argv[2], "a") as log:
    while True:
        conn, _ = server.accept()
        state = {}
        for line in conn.makefile():
            conn.sendall((json.dumps(answer(json.loads(line), state, log)) + "\n").encode())
)PY";

class Emulator {
  public:
    Emulator(const std::string& script, const std::string& socket, const std::string& log) {
        pid_ = ::fork();
        if (pid_ == 0) {
            ::execl(kPython, kPython, script.c_str(), socket.c_str(), log.c_str(), nullptr);
            ::_exit(127);
        }
        for (int i = 0; i < 500 && !std::filesystem::exists(socket); ++i)
            std::this_thread::sleep_for(10ms);
    }
    ~Emulator() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }

  private:
    pid_t pid_ = -1;
};

std::string blockHex(int n) {
    static const char* kDigits = "0123456789ABCDEF";
    std::string hex;
    for (int i = 0; i < 16; ++i) {
        const int byte = (n * 16 + i) & 0xFF;
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    return hex;
}

TEST(ExternalReader, PythonEmulatorPlaysATypeOneReader) {
    if (::access(kPython, X_OK) != 0) GTEST_SKIP() << kPython << " is not installed";
    TempDir folder;
    const std::string script = folder.file("emulator.py");
    std::ofstream(script) << kEmulator;
    const std::string socket = folder.file("reader.sock");
    const std::string commands = folder.file("commands.txt");
    Emulator emulator(script, socket, commands);
    ASSERT_TRUE(std::filesystem::exists(socket));

    SimProcess sim(json{{"readers", json::array({{{"type", 1}, {"external", socket}}})}});
    ASSERT_TRUE(sim.ready()) << sim.output();
    SimClient& client = sim.client();
    ASSERT_EQ(client.call(100, {{"rfIdx", 0}, {"devType", 1}})["err"], 0);
    ASSERT_EQ(client.call(105, {{"rfIdx", 0}, {"open", true}}, 30s)["retval"], 1);

    const json selected = client.call(205, {{"rfIdx", 0}});
    EXPECT_EQ(selected["retval"], true) << selected;
    EXPECT_EQ(selected["uid"], "04A1B2C3D4E580");
    EXPECT_EQ(selected["atqa"], 0x44);
    EXPECT_EQ(selected["sak"], 0x08);

    const json read = client.call(207, sectorReadRequest(0, 1));
    EXPECT_EQ(read["retval"], 64) << read;
    EXPECT_EQ(read["data"], blockHex(4) + blockHex(5) + blockHex(6) + "000000000000FF078069000000000000");

    // Version, REQA, both cascade levels, authentication and reads all reached the emulator.
    std::ifstream log(commands);
    std::set<std::string> seen;
    for (std::string code; std::getline(log, code);)
        seen.insert(code);
    for (const char* code : {"B0", "41", "42", "43", "46", "47", "5F", "61"})
        EXPECT_TRUE(seen.contains(code)) << "no command " << code;

    const json state = sim.simState();
    EXPECT_EQ(state["readers"][0]["external"]["socket"], socket) << state;
    EXPECT_EQ(state["readers"][0]["external"]["connected"], true) << state;
}

// The example in the guide, as a reader sees it: its version opens the reader, and its REQA answer
// (status 0, ATQA 04 00) reaches the service, as the trace of the run shows.
TEST(ExternalReader, GuideExampleAnswersVersionAndReqa) {
    if (::access(kPython, X_OK) != 0) GTEST_SKIP() << kPython << " is not installed";
    std::ifstream guide(RFDOCK_TRACES_DOC);
    const std::string text((std::istreambuf_iterator<char>(guide)), std::istreambuf_iterator<char>());
    const std::size_t start = text.find("```python\n");
    ASSERT_NE(start, std::string::npos);
    const std::size_t end = text.find("```", start + 10);
    TempDir folder;
    const std::string script = folder.file("guide.py");
    std::ofstream(script) << text.substr(start + 10, end - start - 10);
    const std::string socket = folder.file("reader.sock");
    Emulator emulator(script, socket, "");
    ASSERT_TRUE(std::filesystem::exists(socket));

    const std::string trace = folder.file("trace.jsonl");
    SimProcess sim(json{{"readers", json::array({{{"type", 1}, {"external", socket}}})}},
                   {"RFDOCK_TRACE=" + trace});
    ASSERT_TRUE(sim.ready()) << sim.output();
    ASSERT_EQ(sim.client().call(100, {{"rfIdx", 0}, {"devType", 1}})["err"], 0);
    EXPECT_EQ(sim.client().call(105, {{"rfIdx", 0}, {"open", true}}, 30s)["retval"], 1);
    EXPECT_EQ(sim.client().call(205, {{"rfIdx", 0}})["retval"], false);  // it knows no anticollision
    sim.stop();
    std::ifstream file(trace);
    const std::string lines((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(lines.find(R"("in":"06550000020400)"), std::string::npos) << lines;
}

TEST(ExternalReader, MissingEmulatorIsAReaderThatIsNotThere) {
    TempDir folder;
    const std::string socket = folder.file("nobody.sock");
    SimProcess sim(json{{"readers", json::array({{{"type", 4}, {"external", socket}}})}});
    ASSERT_TRUE(sim.ready()) << sim.output();
    ASSERT_EQ(sim.client().call(100, {{"rfIdx", 0}, {"devType", 4}})["err"], 0);
    EXPECT_NE(sim.client().call(105, {{"rfIdx", 0}, {"open", true}}, 30s)["retval"], 1);
    const json state = sim.simState();
    EXPECT_EQ(state["readers"][0]["external"]["connected"], false) << state;
    EXPECT_NE(state["readers"][0]["external"]["error"].get<std::string>().find("cannot connect"),
              std::string::npos);
}

}  // namespace
