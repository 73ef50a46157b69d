// The command reference (docs/commands.md) against the session dispatch: every code the session
// serves has its own heading there ("### 207 · ..."), and no documented code is answered as unknown
// (err 103). A code counts as served unless a logged-in session answers it with 103 when it comes
// with the common fields of every family (rfIdx, cpuId, udpIdx) on a reader slot and a UDP slot
// that exist, so that a family's slot check cannot hide an unknown code.

#include <gtest/gtest.h>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "reader/bus/system_device_bus.hpp"
#include "service/session/session_work.hpp"
#include "sim/bus/sim_device_bus.hpp"
#include "support/fake_channel.hpp"
#include "support/log_capture.hpp"

using nlohmann::json;

namespace {

constexpr long long kLastProbedCode = 2000;

// Codes under "### <code>" headings, with how often each occurs.
std::map<long long, int> documentedCodes(const std::string& path) {
    std::ifstream file(path);
    std::map<long long, int> codes;
    const std::regex heading(R"(^### (\d+)\b.*)");
    std::smatch match;
    for (std::string line; std::getline(file, line);)
        if (std::regex_match(line, match, heading)) ++codes[std::stoll(match[1].str())];
    return codes;
}

std::string listed(const std::set<long long>& codes) {
    std::ostringstream text;
    for (const long long code : codes)
        text << ' ' << code;
    return text.str();
}

class CommandDocs : public testing::Test {
  protected:
    CommandDocs() {
        config->SetValue("user", "public", "login");
        config->SetValue("pass", "secret", "login");
        // No device is reached: the reader slot is never opened, and an empty bus stands in for the
        // machine's all the same.
        Orvane::installDeviceBus(std::make_shared<rfsim::SimDeviceBus>());
        thread_ = std::thread([this] { loop_.run(); });
    }
    ~CommandDocs() override {
        session_.reset();
        guard_.reset();
        thread_.join();
    }

    void SetUp() override {
        ASSERT_EQ(reply({{"code", 0}, {"user", "public"}, {"pass", "secret"}}).value("err", -1), 0);
        ASSERT_EQ(reply({{"code", 100}, {"rfIdx", 0}, {"devType", 0}}).value("err", -1), 0);
        openUdpSlot();
    }

    // The reply to one request, or an empty object when none came (the request was refused as
    // malformed, which closes a real connection).
    json reply(json request) {
        request["ack"] = "docs";
        const std::size_t before = channel_->sentCount();
        const bool keep = session_->dispatch(request.dump());
        if (!keep || channel_->sentCount() == before) return json::object();
        return json::parse(channel_->lastSent());
    }

    // A closed UDP slot answers 111 before its code is looked at, and 701 closes it.
    void openUdpSlot() {
        const json opened =
            reply({{"code", 700}, {"udpIdx", 0}, {"broadcast", false}, {"addr", "127.0.0.1"}, {"port", 0}});
        ASSERT_EQ(opened.value("retval", false), true) << opened;
    }

    bool served(long long code) {
        if (code / 100 == 7) openUdpSlot();
        const json answer = reply({{"code", code}, {"rfIdx", 0}, {"cpuId", 0}, {"udpIdx", 0}});
        return answer.value("err", -1) != 103;
    }

    LogCapture log_;  // every unknown code logs a warning
    std::shared_ptr<FakeChannel> channel_ = std::make_shared<FakeChannel>();
    IniCfgPtr config = std::make_shared<IniCfg>();
    boost::asio::io_context loop_{1};
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> guard_{loop_.get_executor()};
    std::thread thread_;
    std::unique_ptr<SessionWork> session_ = std::make_unique<SessionWork>(
        channel_, config, [this]() -> boost::asio::io_context& { return loop_; });
};

}  // namespace

TEST_F(CommandDocs, EveryServedCodeIsDocumentedAndEveryDocumentedCodeIsServed) {
    const std::map<long long, int> documented = documentedCodes(RFDOCK_COMMAND_DOCS);
    ASSERT_FALSE(documented.empty()) << "no \"### <code>\" headings in " << RFDOCK_COMMAND_DOCS;

    std::set<long long> undocumented, unserved, twice;
    for (long long code = 0; code <= kLastProbedCode; ++code) {
        if (served(code) && !documented.contains(code)) undocumented.insert(code);
    }
    for (const auto& [code, count] : documented) {
        if (!served(code)) unserved.insert(code);
        if (count > 1) twice.insert(code);
    }
    EXPECT_TRUE(undocumented.empty())
        << "served but not documented in " << RFDOCK_COMMAND_DOCS << ":" << listed(undocumented);
    EXPECT_TRUE(unserved.empty()) << "documented in " << RFDOCK_COMMAND_DOCS
                                  << " but answered as unknown (err 103):" << listed(unserved);
    EXPECT_TRUE(twice.empty()) << "documented more than once:" << listed(twice);
}

// The probe itself: codes in a family's range that no command answers do count as unknown, and
// commands refused for missing fields count as served.
TEST_F(CommandDocs, TheProbeTellsServedFromUnknownCodes) {
    for (const long long code : {0LL, 1LL, 105LL, 207LL, 311LL, 400LL, 406LL, 514LL, 612LL, 701LL, 703LL,
                                 809LL, 904LL, 1010LL, 1114LL})
        EXPECT_TRUE(served(code)) << code;
    for (const long long code : {3LL, 118LL, 121LL, 212LL, 312LL, 401LL, 515LL, 613LL, 704LL, 810LL, 905LL,
                                 1011LL, 1115LL, 1199LL, 2000LL})
        EXPECT_FALSE(served(code)) << code;
}
