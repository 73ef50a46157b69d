#include "commands/key_provider/provider_work.hpp"

#include <thread>

#include "commands/key_provider/provider_wait.hpp"
#include "protocol/answer.hpp"
#include "protocol/log.hpp"
#include "protocol/send_json.hpp"

using nlohmann::json;
namespace hr = handler_result;

namespace key_provider {

namespace {

std::atomic<int> worksRunning{0};

// The thread's end: the reply out, or the connection closed for a malformed request.
void finish(int result, json& reply, const ChannelPtr& channel) {
    switch (result) {
        case 0:
            setResult(reply, Result::kDone);
            [[fallthrough]];
        case 1:
            sendJson(channel, reply);
            break;
        default:
            if (channel && channel->isConnected()) channel->close();
            break;
    }
}

struct Job {
    json request;
    json reply;
    Work work;
    ChannelPtr channel;
};

void runJob(Job& job) {
    int result = -1;
    try {
        result = job.work(job.request, job.reply, job.channel);
    } catch (const std::exception& e) {
        logError("provider work failed: %s", e.what());
    }
    finish(result, job.reply, job.channel);
}

}  // namespace

ProviderWorks::ProviderWorks(ChannelRef channel) : channel_(std::move(channel)) {}

ProviderWorks::~ProviderWorks() {
    if (const ChannelPtr channel = channel_.lock()) cancelProviderWaits(channel.get());
}

int ProviderWorks::run(const json& request, json& reply, Work work, bool provider) {
    if (!work) return answer(reply, Result::kInternalError);
    const ChannelPtr channel = channel_.lock();
    if (!provider) {
        const int result = work(request, reply, channel);
        return result == 0 ? answer(reply) : result;
    }
    if (!channel) return answer(reply, Result::kInternalError);
    // Counted before the thread starts, so that a burst of requests cannot overshoot the bound.
    if (counter_->running.fetch_add(1) >= kMaxInFlight) {
        counter_->running.fetch_sub(1);
        logWarn("provider work refused: %d already running for this connection", kMaxInFlight);
        return answer(reply, Result::kInternalError);
    }
    ++worksRunning;
    auto job = std::make_unique<Job>(Job{request, reply, std::move(work), channel});
    try {
        std::thread([job = std::move(job), counter = counter_]() mutable {
            runJob(*job);
            // Everything the work held goes before the counts say it has ended.
            job.reset();
            counter->running.fetch_sub(1);
            --worksRunning;
        }).detach();
    } catch (const std::system_error& e) {
        counter_->running.fetch_sub(1);
        --worksRunning;
        logError("provider work not started: %s", e.what());
        return answer(reply, Result::kInternalError);
    }
    return hr::kLater;
}

int providerWorksRunning() {
    return worksRunning.load();
}

bool awaitProviderWorks(std::chrono::milliseconds limit) {
    cancelAllProviderWaits();
    const auto until = std::chrono::steady_clock::now() + limit;
    while (worksRunning.load() > 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return worksRunning.load() == 0;
}

}  // namespace key_provider
