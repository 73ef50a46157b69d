// Device traces end to end: rfdock-sim records one (RFDOCK_TRACE) while a Mifare 1K sector is read
// through each of the six reader types; a second run plays the trace back as its readers and must
// give the client the same replies; a trace with one request changed is reported where it differs.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "sim_process.hpp"
#include "support/temp_dir.hpp"
#include "support/trace_lines.hpp"

using nlohmann::json;
using namespace std::chrono_literals;

namespace {

// The replies a client gets reading sector 1 of the card on the reader of `type`.
json readSector(SimClient& client, int type) {
    const json slot = {{"rfIdx", type - 1}};
    json replies = json::array();
    const auto call = [&](int code, json fields, std::chrono::milliseconds wait = 10s) {
        fields.update(slot);
        json reply = client.call(code, std::move(fields), wait);
        if (reply.is_object()) reply.erase("ack");
        replies.push_back(std::move(reply));
    };
    call(100, {{"devType", type}});
    call(105, {{"open", true}}, 30s);
    call(205, json::object());
    call(207, sectorReadRequest(type - 1, 1));
    return replies;
}

json readAllTypes(SimClient& client) {
    json all = json::object();
    for (int type = 1; type <= 6; ++type)
        all[std::to_string(type)] = readSector(client, type);
    return all;
}

void writeLines(const std::string& path, const std::vector<json>& lines) {
    std::ofstream file(path);
    for (const json& line : lines)
        file << line.dump() << '\n';
}

json replayScenario(const std::string& trace, const std::vector<int>& types) {
    json readers = json::array();
    for (const int type : types)
        readers.push_back({{"type", type}, {"replay", trace}});
    return {{"readers", readers}};
}

// A scenario with a factory-fresh 1K card on a reader of each type.
json recordScenario() {
    json readers = json::array();
    const char* uids[] = {"04A1B2C3D4E580", "2B7E1516", "3C4D5E6F", "01020304", "5A6B7C8D", "6E7F8091"};
    for (int type = 1; type <= 6; ++type) {
        const char* kind = type == 1 ? "mifare1k-7" : "mifare1k";
        readers.push_back(
            {{"type", type}, {"cards", json::array({{{"kind", kind}, {"uid", uids[type - 1]}}})}});
    }
    return {{"readers", readers}};
}

class TraceReplay : public testing::Test {
  protected:
    // Records the trace once for every test of the suite.
    static void SetUpTestSuite() {
        folder_ = std::make_unique<TempDir>();
        SimProcess recording(recordScenario(), {"RFDOCK_TRACE=" + trace()});
        ASSERT_TRUE(recording.ready()) << recording.output();
        recorded_ = readAllTypes(recording.client());
        recording.stop();
    }
    static void TearDownTestSuite() { folder_.reset(); }

    static std::string trace() { return folder_->file("trace.jsonl"); }

    static std::unique_ptr<TempDir> folder_;
    static json recorded_;
};

std::unique_ptr<TempDir> TraceReplay::folder_;
json TraceReplay::recorded_;

TEST_F(TraceReplay, RecordingReadsTheSectorThroughEveryType) {
    for (int type = 1; type <= 6; ++type) {
        const json& replies = recorded_[std::to_string(type)];
        ASSERT_EQ(replies.size(), 4u) << type;
        EXPECT_EQ(replies[1]["retval"], 1) << "open, type " << type << ": " << replies[1];
        EXPECT_EQ(replies[2]["retval"], true) << "select, type " << type << ": " << replies[2];
        EXPECT_EQ(replies[3]["retval"], 64) << "read, type " << type << ": " << replies[3];
    }
}

TEST_F(TraceReplay, TraceHoldsEveryOperationOfEveryType) {
    const std::vector<json> lines = readTraceLines(trace());
    ASSERT_FALSE(lines.empty());
    std::map<int, std::set<std::string>> opsByType;
    for (const json& line : lines) {
        ASSERT_TRUE(line.is_object());
        for (const char* key : {"time", "type", "dev", "op"})
            ASSERT_TRUE(line.contains(key)) << key << " missing: " << line;
        opsByType[line["type"].get<int>()].insert(line["op"].get<std::string>());
    }
    const std::map<int, std::set<std::string>> expected = {
        {1, {"open", "featureSet", "featureGet"}},
        {2, {"open", "baud", "write", "read"}},
        {3, {"open", "featureSet", "hidWrite", "hidRead"}},
        {4, {"open", "hidWrite", "hidRead"}},
        {5, {"open", "baud", "write", "read"}},
        {6, {"open", "claim", "control", "bulkOut", "bulkIn"}}};
    for (const auto& [type, ops] : expected)
        for (const std::string& op : ops)
            EXPECT_TRUE(opsByType[type].contains(op)) << "type " << type << " has no " << op;
    // The card's data is in the trace: the sector trailer's access bits as a factory card has them.
    std::ifstream file(trace());
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("FF078069"), std::string::npos);
}

TEST_F(TraceReplay, ReplayedReadersGiveTheRecordedReplies) {
    SimProcess replay(replayScenario(trace(), {1, 2, 3, 4, 5, 6}));
    ASSERT_TRUE(replay.ready()) << replay.output();
    EXPECT_EQ(readAllTypes(replay.client()), recorded_);
    const json state = replay.simState();
    ASSERT_TRUE(state.is_object());
    ASSERT_EQ(state["readers"].size(), 6u);
    for (const json& reader : state["readers"]) {
        EXPECT_TRUE(reader["replay"]["divergence"].is_null()) << reader;
        EXPECT_GT(reader["replay"]["played"].get<int>(), 0) << reader;
    }
}

TEST_F(TraceReplay, AlteredRequestIsReportedAsTheDivergence) {
    std::vector<json> lines = readTraceLines(trace());
    // The second output report to the type 4 reader, one data byte changed.
    std::size_t altered = 0;
    int seen = 0;
    for (std::size_t i = 0; i < lines.size() && altered == 0; ++i)
        if (lines[i]["type"] == 4 && lines[i]["op"] == "hidWrite" && ++seen == 2) altered = i;
    ASSERT_GT(altered, 0u);
    const std::string original = lines[altered]["out"].get<std::string>();
    std::string changed = original;
    changed[4] = changed[4] == '0' ? '1' : '0';
    lines[altered]["out"] = changed;
    const std::string edited = folder_->file("edited.jsonl");
    writeLines(edited, lines);

    SimProcess replay(replayScenario(edited, {4}));
    ASSERT_TRUE(replay.ready()) << replay.output();
    EXPECT_NE(readSector(replay.client(), 4), recorded_["4"]);

    const json divergence = replay.simState()["readers"][0]["replay"]["divergence"];
    ASSERT_TRUE(divergence.is_object()) << replay.simState();
    EXPECT_EQ(divergence["line"], altered + 1);
    EXPECT_EQ(divergence["expected"]["out"], changed);
    EXPECT_EQ(divergence["got"]["out"], original);
    EXPECT_EQ(divergence["got"]["op"], "hidWrite");
    replay.stop();
    EXPECT_NE(replay.home().logText().find("diverges at line " + std::to_string(altered + 1)),
              std::string::npos)
        << replay.home().logText();
}

TEST_F(TraceReplay, SerialReplayReportsABytesDivergence) {
    std::vector<json> lines = readTraceLines(trace());
    // The last request written to the type 5 reader's port: its last byte changed.
    std::size_t altered = 0;
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i]["type"] == 5 && lines[i]["op"] == "write") altered = i;
    ASSERT_GT(altered, 0u);
    std::string out = lines[altered]["out"].get<std::string>();
    out.back() = out.back() == '0' ? '1' : '0';
    lines[altered]["out"] = out;
    const std::string edited = folder_->file("edited-serial.jsonl");
    writeLines(edited, lines);

    SimProcess replay(replayScenario(edited, {5}));
    ASSERT_TRUE(replay.ready()) << replay.output();
    readSector(replay.client(), 5);
    const json divergence = replay.simState()["readers"][0]["replay"]["divergence"];
    ASSERT_TRUE(divergence.is_object()) << replay.simState();
    EXPECT_EQ(divergence["line"], altered + 1);
    EXPECT_EQ(divergence["expected"]["out"], out);
}

}  // namespace
