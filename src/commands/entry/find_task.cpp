#include "commands/entry/find_task.hpp"

#include <algorithm>
#include <chrono>
#include <exception>
#include <future>
#include <optional>
#include <thread>
#include <vector>

#include "protocol/log.hpp"
#include "protocol/result_codes.hpp"
#include "protocol/send_json.hpp"

namespace {
constexpr int kFinderEvent = 117;
}  // namespace

// One run of the task body on its own thread.
class FindTaskRun {
  public:
    static void threadMain(std::shared_ptr<FinderState> state, FindIdTask task, ChannelRef channel,
                           std::promise<void> started) {
        std::unique_lock rfLock(state->rfLock_, std::try_to_lock);
        if (rfLock.owns_lock()) state->taskThread_ = std::this_thread::get_id();
        started.set_value();
        if (!rfLock.owns_lock()) {
            logError("loop findId rfLock fail");
            return;
        }
        try {
            FindTaskRun(*state, task, std::move(channel)).run();
        } catch (const std::exception& e) {  // memory exhausted: the task ends, the session goes on
            logError("loop findId fail %s", e.what());
        }
        state->taskThread_ = std::thread::id();
    }

    FindTaskRun(FinderState& state, const FindIdTask& task, ChannelRef channel)
        : s_(state), task_(task), channel_(std::move(channel)) {}

    void run() {
        if (acknowledging())
            message_["ack"] = *task_.ack;
        else
            message_["evt"] = kFinderEvent;
        if (!loop()) return;
        // Acknowledgement mode answers once, whether a card was found or the task was stopped.
        if (acknowledging() && connected()) {
            setResult(message_, Result::kDone);
            message_["retval"] = cardListJson(working_);
            sendJson(channel_, message_);
        }
    }

  private:
    // False when the task ends without its closing reply (channel gone, send failed).
    bool loop() {
        while (s_.running_) {
            s_.hold.waitWhileOn([this] { return !s_.running_; });
            working_.clear();
            const std::optional<int> found = pass();
            if (!found) continue;  // a card command got the reader first and holds its card
            if (lostDevice_) {
                // Unplugged: every pass would fail at once. Try again now and then, not in a spin.
                if (task_.fixIdle) reported_.clear();
                s_.sleepUnlessStopped(lostWaitMs_);
                lostWaitMs_ = std::min(2 * lostWaitMs_, FinderState::kLostDeviceLastWaitMs);
                continue;
            }
            lostWaitMs_ = FinderState::kLostDeviceFirstWaitMs;
            if (*found < 1) {
                if (task_.fixIdle) reported_.clear();
                idle();
                continue;
            }
            if (task_.fixIdle) {
                std::erase_if(working_,
                              [&](const CardId& card) { return std::ranges::count(reported_, card) > 0; });
                if (working_.empty()) {
                    idle();
                    continue;
                }
            }
            if (acknowledging()) break;
            if (!connected()) return false;
            s_.waitAck_ = task_.pause;
            message_["retval"] = cardListJson(working_);
            // Never left out for a client that lags behind (as datagrams are): the pass halted these
            // cards, so they would not be found again. At most one event per arrival; the
            // connection's own bounds still close a client that stops reading.
            if (!sendJson(channel_, message_)) return false;
            if (task_.fixIdle) reported_.swap(working_);  // only what was reported counts as such
            working_.clear();
            // Straight on to the next pass: cards found back to back are reported without delay.
            s_.waitWhilePaused();
            // A PC/SC reader leaves its card as it was, so the next pass would find it again: it
            // waits for the card to go (or another to come) instead.
            if (edge_) waitForEdge();
        }
        return true;
    }

    // Between passes: the client's interval, or the reader's next card arrival or removal.
    void idle() {
        if (edge_)
            waitForEdge();
        else
            s_.sleepUnlessStopped(task_.intervalMs);
    }

    void waitForEdge() {
        if (s_.waitForEdge()) return;
        // The watch failed (pcscd or the reader gone): the next pass finds out, after a pause.
        s_.sleepUnlessStopped(lostWaitMs_);
        lostWaitMs_ = std::min(2 * lostWaitMs_, FinderState::kLostDeviceLastWaitMs);
    }

    // The cards found, or nothing when a card hold began before the pass could start.
    std::optional<int> pass() {
        s_.letCommandsIn();
        std::lock_guard exchange(s_.exchangeMutex());
        if (s_.hold.isOn()) return std::nullopt;
        afterHold(s_.hold.takeEnded());
        const int found = s_.finder.findAll(working_);
        lostDevice_ = s_.deviceLost_ && s_.deviceLost_();
        edge_ = s_.edgeTriggered();
        return found;
    }

    // Puts the card a finished hold left selected back to rest, and counts the cards it held as
    // reported: they never left the field.
    void afterHold(CardHold::Ended ended) {
        if (ended.rest) ended.rest();
        if (!task_.fixIdle) return;
        for (const CardId& card : ended.proven)
            if (std::ranges::count(reported_, card) == 0) reported_.push_back(card);
    }

    bool acknowledging() const { return task_.ack.has_value(); }
    bool connected() const {
        const ChannelPtr channel = channel_.lock();
        return channel && channel->isConnected();
    }

    FinderState& s_;
    const FindIdTask& task_;
    ChannelRef channel_;
    nlohmann::json message_ = nlohmann::json::object();
    std::vector<CardId> working_;
    std::vector<CardId> reported_;
    bool lostDevice_ = false;
    bool edge_ = false;  // the reader of the last pass reports card arrivals itself
    int lostWaitMs_ = FinderState::kLostDeviceFirstWaitMs;
};

bool FinderState::start(FindIdTask task, ChannelRef channel) {
    try {
        {
            std::lock_guard lock(wakeMutex_);
            running_ = true;
            waitAck_ = false;
        }
        // A new task reports what it finds; only a hold still on keeps its cards from it.
        hold.takeEnded();
        std::promise<void> started;
        auto threadHoldsLock = started.get_future();
        std::thread(FindTaskRun::threadMain, shared_from_this(), std::move(task), std::move(channel),
                    std::move(started))
            .detach();
        threadHoldsLock.wait();
        return true;
    } catch (const std::exception& e) {  // no thread or no memory for one
        logError("loop findId start fail %s", e.what());
        running_ = false;
        return false;
    }
}

void FinderState::stop() {
    {
        std::lock_guard lock(wakeMutex_);
        if (!running_) return;
        running_ = false;
    }
    wake_.notify_all();
    hold.interrupt();
    if (edge_.cancel) edge_.cancel();
    if (std::this_thread::get_id() == taskThread_) return;  // leaves its loop right after this
    // The task holds rfLock until it has left its loop and sent its last message.
    std::lock_guard sync(rfLock_);
}

void FinderState::clearWaitAck() {
    {
        std::lock_guard lock(wakeMutex_);
        waitAck_ = false;
    }
    wake_.notify_all();
}

std::unique_lock<std::mutex> FinderState::lockForCommand() {
    ++commandsWaiting_;
    std::unique_lock lock(*exchange_);
    --commandsWaiting_;
    return lock;
}

bool FinderState::sleepUnlessStopped(int ms) {
    if (ms <= 0) return running_;
    std::unique_lock lock(wakeMutex_);
    return !wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !running_; });
}

void FinderState::waitWhilePaused() {
    std::unique_lock lock(wakeMutex_);
    wake_.wait(lock, [this] { return !waitAck_ || !running_; });
}

bool FinderState::waitForEdge() {
    while (running_) {
        const int changed = edge_.wait(kEdgeWaitSliceMs);
        if (changed != 0) return changed > 0;
    }
    return true;
}

void FinderState::letCommandsIn() const {
    while (commandsWaiting_ > 0 && running_)
        std::this_thread::yield();
}
