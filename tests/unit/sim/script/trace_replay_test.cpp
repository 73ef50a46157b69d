#include "sim/script/trace_replay.hpp"

#include <gtest/gtest.h>

#include <fstream>

#include "support/hex_bytes.hpp"
#include "support/temp_dir.hpp"

using nlohmann::json;

namespace {

rfsim::DeviceLines linesOf(std::vector<json> values) {
    rfsim::DeviceLines lines;
    lines.device = "test";
    for (std::size_t i = 0; i < values.size(); ++i)
        lines.lines.push_back({i + 10, std::move(values[i])});
    return lines;
}

json hidLine(const char* op, json fields) {
    fields["op"] = op;
    fields["dev"] = "0483:5751";
    fields["type"] = 4;
    fields["time"] = "2024-01-01T00:00:00.000Z";
    return fields;
}

}  // namespace

TEST(TraceReplay, AnswersWhileRequestsMatchThenStopsAtTheFirstDifference) {
    rfsim::TraceReplay replay(
        "t.jsonl", 4,
        linesOf({hidLine("hidWrite", {{"out", "00AA"}, {"result", 65}}),
                 hidLine("hidRead", {{"size", 64}, {"timeoutMs", 200}, {"result", 2}, {"in", "5501"}}),
                 hidLine("hidWrite", {{"out", "00BB"}, {"result", 65}}),
                 hidLine("hidRead", {{"size", 64}, {"result", 1}, {"in", "55"}})}));
    // Time, timeouts, type and device are not part of what is compared.
    EXPECT_EQ(replay.answer({{"op", "hidWrite"}, {"out", "00AA"}, {"type", 1}}), (json{{"result", 65}}));
    EXPECT_EQ(replay.answer({{"op", "hidRead"}, {"size", 64}}), (json{{"result", 2}, {"in", "5501"}}));
    EXPECT_EQ(replay.answer({{"op", "hidWrite"}, {"out", "00BC"}}), std::nullopt);
    EXPECT_EQ(replay.divergence(), (json{{"line", 12},
                                         {"expected", {{"op", "hidWrite"}, {"out", "00BB"}}},
                                         {"got", {{"op", "hidWrite"}, {"out", "00BC"}}}}));
    // From then on nothing is answered, not even what the trace holds next.
    EXPECT_EQ(replay.answer({{"op", "hidRead"}, {"size", 64}}), std::nullopt);
    EXPECT_EQ(replay.status()["replay"]["played"], 2);
}

TEST(TraceReplay, RequestsBeyondTheTraceAreADivergence) {
    rfsim::TraceReplay replay("t.jsonl", 4, linesOf({hidLine("close", json::object())}));
    EXPECT_TRUE(replay.answer({{"op", "close"}}));
    EXPECT_FALSE(replay.answer({{"op", "open"}, {"link", "hid"}}));
    EXPECT_EQ(replay.divergence()["line"], 0);
    EXPECT_EQ(replay.divergence()["expected"], "the end of the trace");
}

TEST(TraceReplay, SerialWriteHeardInPiecesIsAnsweredOnceWhole) {
    rfsim::TraceReplay replay("t.jsonl", 2,
                              linesOf({{{"op", "open"}, {"baud", 57600}},
                                       {{"op", "write"}, {"out", "AA0102"}},
                                       {{"op", "read"}, {"size", 6}, {"in", "55"}},
                                       {{"op", "read"}, {"size", 2}, {"in", "0203"}},
                                       {{"op", "write"}, {"out", "AA09"}}}));
    EXPECT_EQ(replay.heard(hexBytes("AA"), 57600), Bytes{});
    EXPECT_EQ(replay.heard(hexBytes("01"), 57600), Bytes{});
    EXPECT_EQ(replay.heard(hexBytes("02"), 57600), hexBytes("55 02 03"));
    EXPECT_TRUE(replay.divergence().is_null());
    // The next write at another rate: a real reader hears noise.
    EXPECT_EQ(replay.heard(hexBytes("AA 09"), 9600), Bytes{});
    EXPECT_EQ(replay.divergence()["line"], 14);
    EXPECT_EQ(replay.divergence()["expected"]["baud"], 57600);
    EXPECT_EQ(replay.divergence()["got"]["baud"], 9600);
}

TEST(TraceReplay, SerialBytesThatDifferAreReportedWithWhatCameSoFar) {
    rfsim::TraceReplay replay("t.jsonl", 5, linesOf({{{"op", "write"}, {"out", "AA0102"}}}));
    EXPECT_EQ(replay.heard(hexBytes("AA"), 115200), Bytes{});
    EXPECT_EQ(replay.heard(hexBytes("01 03 FF"), 115200), Bytes{});
    EXPECT_EQ(replay.divergence()["line"], 10);
    EXPECT_EQ(replay.divergence()["expected"]["out"], "AA0102");
    EXPECT_EQ(replay.divergence()["got"]["out"], "AA0103FF");
}

TEST(TraceLines, PicksTheDeviceOfTheReaderType) {
    TempDir dir;
    const std::string path = dir.file("trace.jsonl");
    std::ofstream(path) << R"({"dev":"/dev/ttyA","op":"write","out":"AA","type":5})"
                           "\n"
                        << R"({"dev":"/dev/ttyA","op":"read","in":"","type":5})"
                           "\n"
                        << "\n"
                        << R"({"dev":"/dev/ttyB","op":"write","out":"AA","type":5})"
                           "\n"
                        << R"({"dev":"/dev/ttyB","op":"read","in":"55","type":5})"
                           "\n"
                        << R"({"dev":"/dev/ttyB","op":"write","out":"AB","type":2})"
                           "\n"
                        << R"({"dev":"10c4:0210","op":"open","type":1})"
                           "\n";
    // A serial reader is where its type first got an answer; every line of that port is kept.
    const rfsim::DeviceLines serial = rfsim::loadDeviceLines(path, 5, "", "");
    EXPECT_EQ(serial.device, "/dev/ttyB");
    ASSERT_EQ(serial.lines.size(), 3u);
    EXPECT_EQ(serial.lines[0].number, 4u);
    EXPECT_EQ(serial.lines[2].value["type"], 2);
    EXPECT_EQ(rfsim::loadDeviceLines(path, 1, "10c4:0210", "").lines.size(), 1u);
    EXPECT_EQ(rfsim::loadDeviceLines(path, 5, "", "/dev/ttyA").lines.size(), 2u);
    EXPECT_FALSE(rfsim::loadDeviceLines(path, 2, "", "").error.empty());  // type 2 never got an answer
    EXPECT_FALSE(rfsim::loadDeviceLines(path, 4, "0483:5751", "").error.empty());
}

TEST(TraceLines, ALineThatIsNoTraceLineIsNamed) {
    TempDir dir;
    const std::string path = dir.file("trace.jsonl");
    for (const char* bad : {"{not json", R"(["op"])", R"({"op":1,"dev":"x"})", R"({"op":"open"})"}) {
        std::ofstream(path) << R"({"dev":"x","op":"open","type":1})"
                               "\n"
                            << bad << "\n";
        const rfsim::DeviceLines lines = rfsim::loadDeviceLines(path, 2, "", "");
        EXPECT_NE(lines.error.find("line 2"), std::string::npos) << bad << ": " << lines.error;
    }
    EXPECT_FALSE(rfsim::loadDeviceLines(dir.file("missing.jsonl"), 1, "10c4:0210", "").error.empty());
    // Fields of the wrong kind are not what a reader answered, and throw nothing.
    std::ofstream(path) << R"({"op":"read","dev":"x","type":"two","in":7})"
                           "\n";
    EXPECT_FALSE(rfsim::loadDeviceLines(path, 2, "", "").error.empty());
}
