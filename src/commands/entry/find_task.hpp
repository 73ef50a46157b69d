#pragma once
// The find task: a detached thread that runs the card finder pass after pass and reports cards to
// the session, either as events (evt 117) or, in acknowledgement mode, as the one late reply to the
// command that started it.
//
// The thread owns a share of FinderState, so a session closed while the task runs frees nothing the
// thread still touches. It holds rfLock for its whole run (stop() waits on it) and the reader's
// exchange mutex around each pass only, never while it sleeps, waits for the client or waits out a
// card hold.
//
// Lock order, everywhere: rfLock -> the reader's exchange mutex -> the reader-in-use registry. The
// card hold's and the wake-up mutexes are leaves. Nothing waits for the key provider while holding
// the exchange mutex.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "commands/entry/card_finder.hpp"
#include "commands/entry/card_hold.hpp"
#include "protocol/channel.hpp"

struct FindIdTask {
    // The request's ack in acknowledgement mode (any string, the empty one too); none: event mode.
    std::optional<std::string> ack;
    int intervalMs = 0;
    bool pause = false;    // after each event wait for clearWaitAck()
    bool fixIdle = false;  // report a card once while it stays in the field
};

// What a reader entry shares with its find task.
class FinderState : public std::enable_shared_from_this<FinderState> {
  public:
    // A reader that tells when a card comes or goes (PC/SC): between passes the task blocks in
    // `wait` instead of sleeping its interval, so a card is reported once per arrival and nothing
    // is polled. `wait(ms)`: 1 a card came or went, 0 nothing within ms or cancelled, -1 the reader
    // is gone. `cancel` ends a wait from another thread. Neither is called with the exchange mutex.
    struct EdgeWait {
        std::function<bool()> active;
        std::function<int(std::uint32_t)> wait;
        std::function<void()> cancel;
    };
    // How long one wait lasts before the task looks at its stop flag again (a cancel that comes
    // between two waits is not lost for longer than that).
    static constexpr std::uint32_t kEdgeWaitSliceMs = 1000;

    // `deviceLost` is asked after each pass, with the exchange mutex held.
    explicit FinderState(std::shared_ptr<std::mutex> exchange, std::function<bool()> deviceLost = {},
                         EdgeWait edge = {})
        : exchange_(std::move(exchange)), deviceLost_(std::move(deviceLost)), edge_(std::move(edge)) {}

    // How long the task waits before it tries a reader whose device went away again: from the
    // first of these, doubling up to the last, whatever interval the client asked for.
    static constexpr int kLostDeviceFirstWaitMs = 200;
    static constexpr int kLostDeviceLastWaitMs = 2000;

    // Changed and read with exchangeMutex() held: a running task reads it during every pass.
    CardFinder finder;
    // Keeps the task's passes off a card that a client works with.
    CardHold hold;

    // The reader's exchange mutex, whoever owns it (the entry passes an alias that keeps its reader).
    std::mutex& exchangeMutex() { return *exchange_; }
    // Takes the exchange mutex for a command. A finder between two passes lets a waiting command
    // in first instead of taking the mutex straight back (std::mutex hands over in no order).
    std::unique_lock<std::mutex> lockForCommand();

    // Starts a task thread (the state must be held by a shared_ptr); returns once the thread holds rfLock (or
    // found it busy), so a stop or a new start right after cannot race the thread for it. False when no
    // thread could be started.
    bool start(FindIdTask task, ChannelRef channel);
    // Ends a running task: returns after the thread has left its loop and sent its last message.
    // Called on the task's own thread (which can happen when the task drops the last share of the
    // session it reports to, and the session's entries go with it), it only tells the task to end.
    void stop();
    bool running() const { return running_; }
    bool waitingForAck() const { return waitAck_; }
    // Commands waiting for the exchange mutex right now.
    int commandsWaiting() const { return commandsWaiting_; }
    void clearWaitAck();

    // Held by a task for its whole run.
    std::mutex& rfLock() { return rfLock_; }

  private:
    friend class FindTaskRun;

    // Sleeps up to `ms` (nothing for ms <= 0); false when the task was stopped meanwhile.
    bool sleepUnlessStopped(int ms);
    // Waits while a reported event is not yet acknowledged and the task is not stopped.
    void waitWhilePaused();
    // Yields while a command waits for the exchange mutex.
    void letCommandsIn() const;
    // Whether the reader reports card arrivals itself (asked with the exchange mutex held).
    bool edgeTriggered() const { return edge_.active && edge_.active(); }
    // Blocks until a card comes or goes or the task is stopped; false when the reader is gone.
    bool waitForEdge();

    std::shared_ptr<std::mutex> exchange_;
    std::function<bool()> deviceLost_;
    EdgeWait edge_;
    std::mutex rfLock_;
    std::atomic<bool> running_{false};
    std::atomic<bool> waitAck_{false};
    std::atomic<int> commandsWaiting_{0};
    std::atomic<std::thread::id> taskThread_{};
    std::mutex wakeMutex_;  // flags change under it, so a sleeping task never misses a wake-up
    std::condition_variable wake_;
};
