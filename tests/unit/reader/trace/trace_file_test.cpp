#include "reader/trace/trace_file.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "support/temp_dir.hpp"
#include "support/trace_lines.hpp"

using nlohmann::json;
using Orvane::TraceFile;

namespace {

json numbered(int n) {
    return {{"n", n}, {"pad", std::string(80, 'x')}};
}

}  // namespace

TEST(TraceFile, RotatesOnceWhenTheNextLineWouldPassTheCap) {
    TempDir dir;
    const std::string path = dir.file("trace.jsonl");
    const std::size_t lineSize = numbered(0).dump().size() + 1;
    TraceFile trace(path, lineSize * 3);
    for (int n = 0; n < 10; ++n)
        trace.append(numbered(n));

    // Lines 0-2, 3-5, 6-8 filled a file each; 9 started the fourth. Only the last two are kept.
    const std::vector<json> current = readTraceLines(path), previous = readTraceLines(path + ".1");
    ASSERT_EQ(current.size(), 1u);
    EXPECT_EQ(current[0]["n"], 9);
    ASSERT_EQ(previous.size(), 3u);
    EXPECT_EQ(previous[0]["n"], 6);
    EXPECT_EQ(previous[2]["n"], 8);
    EXPECT_LE(std::filesystem::file_size(path + ".1"), lineSize * 3);
    EXPECT_FALSE(std::filesystem::exists(path + ".2"));
}

TEST(TraceFile, AnEarlierRunsFileIsMovedAsideAndTheNewOneIsPrivate) {
    TempDir dir;
    const std::string path = dir.file("trace.jsonl");
    std::ofstream(path) << R"({"earlier":true})" << '\n';
    {
        TraceFile trace(path, 1 << 20);
        trace.append({{"later", true}});
    }
    EXPECT_EQ(readTraceLines(path + ".1").at(0)["earlier"], true);
    ASSERT_EQ(readTraceLines(path).size(), 1u);
    EXPECT_EQ(readTraceLines(path)[0]["later"], true);
    const auto perms = std::filesystem::status(path).permissions();
    EXPECT_EQ(perms & (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
              std::filesystem::perms::none);
}

TEST(TraceFile, LinesFromManyThreadsStayWhole) {
    TempDir dir;
    const std::string path = dir.file("trace.jsonl");
    TraceFile trace(path, 64 << 20);
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([&trace, t] {
            for (int n = 0; n < 500; ++n)
                trace.append({{"thread", t}, {"n", n}, {"bytes", std::string(200, 'A' + t)}});
        });
    for (auto& writer : writers)
        writer.join();
    const std::vector<json> lines = readTraceLines(path);
    ASSERT_EQ(lines.size(), 2000u);
    for (const json& line : lines)
        ASSERT_TRUE(line.is_object());
}

TEST(TraceFile, AFileThatCannotBeWrittenIsNoError) {
    TempDir dir;
    TraceFile trace(dir.file("no/such/folder/trace.jsonl"), 1 << 20);
    EXPECT_FALSE(trace.open());
    trace.append({{"op", "open"}});  // nothing to see, nothing thrown
}

TEST(TraceFile, TextThatIsNoUtf8IsWrittenReplaced) {
    TempDir dir;
    const std::string path = dir.file("trace.jsonl");
    TraceFile trace(path, 1 << 20);
    trace.append({{"dev", std::string("/dev/tty\xff")}});
    ASSERT_EQ(readTraceLines(path).size(), 1u);
    EXPECT_TRUE(readTraceLines(path)[0]["dev"].is_string());
}
