// Time for the session to take one message from text to rendered reply.

#include <benchmark/benchmark.h>
#include <spdlog/spdlog.h>

#include "service/session/session_work.hpp"

namespace {

class NullChannel : public Channel {
  public:
    bool sendText(std::string text) override {
        benchmark::DoNotOptimize(text.data());
        return true;
    }
    void close() override {}
    bool isConnected() const override { return true; }
    bool currentFrameIsText() const override { return true; }
    bool hasRoomForEvent(std::size_t) const override { return true; }
};

struct LoggedInSession {
    LoggedInSession() : config(std::make_shared<IniCfg>()), session(channel, config) {
        config->SetValue("pass", "secret", "login");
        session.dispatch(R"({"ack":"login","code":0,"user":"public","pass":"secret"})");
    }
    std::shared_ptr<NullChannel> channel = std::make_shared<NullChannel>();
    IniCfgPtr config;
    SessionWork session;
};

void dispatchMessage(benchmark::State& state, const char* message) {
    spdlog::set_level(spdlog::level::off);
    LoggedInSession s;
    for (auto _ : state)
        benchmark::DoNotOptimize(s.session.dispatch(message));
}

}  // namespace

BENCHMARK_CAPTURE(dispatchMessage, version_code1, R"({"ack":"1234","code":1})");
BENCHMARK_CAPTURE(dispatchMessage, status_word_code400, R"({"ack":"1234","code":400,"sw":34410})");
BENCHMARK_CAPTURE(dispatchMessage, login_code0, R"({"ack":"1234","code":0,"user":"public","pass":"secret"})");
