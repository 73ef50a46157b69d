#pragma once
// The card hold of a reader entry: while a client works with a card it selected, the entry's find
// task stays off the reader. A finder pass between a client's select and its read would halt the
// selected card (REQA, anticollision, HLTA) and drop its authentication; keeping frames apart under
// the exchange mutex is not enough, the card session must be kept apart too.
//
// The rule, in one place:
// - A card command that selects or works on a selected card holds the card for as long as it runs
//   and for kIdle after it, as long as the card stays selected; every further card command renews
//   the hold. The hold ends when a command lets the card go (halt, a failed reselection), when the
//   idle time passes, or when the reader is reset (open, close, field reset, a new entry).
// - While the hold is on the find task runs no pass: no frames, no halts, no exchange mutex.
// - When a hold ends with a card still selected, the next pass first puts that card back to rest
//   (the halt a pass gives every card it finds), so the finder sees the field as it left it.
// - With fixIdle, a card the hold proved present counts as reported: it is not new when the finder
//   sees it again. A card taken off and put back answers the finder's request again and is
//   reported again.
//
// Thread-safe; its mutex is a leaf (nothing else is taken while it is held), so it may be used
// under any of the entry's other locks.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "commands/entry/card_finder.hpp"

class CardHold {
  public:
    using Clock = std::chrono::steady_clock;
    // How long a card stays held after the last card command on the entry.
    static constexpr std::chrono::milliseconds kIdle{1500};

    explicit CardHold(std::chrono::milliseconds idle = kIdle) : idle_(idle) {}

    // What a finished hold leaves for the next pass.
    struct Ended {
        std::vector<CardId> proven;  // cards the hold found present
        std::function<void()> rest;  // puts the card still selected back to rest; may be empty
    };

    // A card command begins: the hold is on at least until it ends.
    void beginCommand();
    // The command ends with `card` selected: the hold goes on for the idle time; `rest` is what
    // puts the card back to rest once it is over.
    void endCommandHolding(const CardId& card, std::function<void()> rest);
    // The command ends having let the card go (or having found none): the hold is over.
    void endCommandReleasing();
    // The reader was reset, closed or reopened: the hold is over and nothing is left to put to
    // rest (a card the reset woke is new to the finder).
    void drop();

    // True while a card command runs or the idle time after one has not passed.
    bool isOn();
    // Waits while the hold is on; returns at once when `stopped` says so (after interrupt()).
    template <typename Stopped>
    void waitWhileOn(Stopped stopped);
    // Wakes waitWhileOn to test `stopped` again.
    void interrupt();

    // The cards and the rest step of the holds that ended since the last call; nothing while a
    // hold is on.
    Ended takeEnded();

  private:
    bool onLocked(Clock::time_point now);
    void endLocked();

    const std::chrono::milliseconds idle_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int commands_ = 0;            // card commands running
    bool on_ = false;             // a hold is on (commands_ > 0 or until_ ahead)
    Clock::time_point until_{};   // end of the idle time after the last command
    std::vector<CardId> proven_;  // cards held since the last takeEnded
    std::function<void()> rest_;  // for the card held last
    bool ended_ = false;          // a hold ended since the last takeEnded
};

template <typename Stopped>
void CardHold::waitWhileOn(Stopped stopped) {
    std::unique_lock lock(mutex_);
    while (!stopped() && onLocked(Clock::now())) {
        if (commands_ > 0)
            changed_.wait(lock);
        else
            changed_.wait_until(lock, until_);
    }
}
