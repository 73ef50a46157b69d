#include "commands/entry/card_hold.hpp"

#include <algorithm>

void CardHold::beginCommand() {
    std::lock_guard lock(mutex_);
    ++commands_;
    on_ = true;
}

void CardHold::endCommandHolding(const CardId& card, std::function<void()> rest) {
    {
        std::lock_guard lock(mutex_);
        if (commands_ > 0) --commands_;
        if (std::ranges::count(proven_, card) == 0) proven_.push_back(card);
        rest_ = std::move(rest);
        until_ = Clock::now() + idle_;
        on_ = true;
    }
    changed_.notify_all();
}

void CardHold::endCommandReleasing() {
    {
        std::lock_guard lock(mutex_);
        if (commands_ > 0) --commands_;
        if (commands_ == 0 && on_) endLocked();
    }
    changed_.notify_all();
}

void CardHold::drop() {
    {
        std::lock_guard lock(mutex_);
        on_ = commands_ > 0;
        proven_.clear();
        rest_ = nullptr;
        ended_ = false;
    }
    changed_.notify_all();
}

bool CardHold::isOn() {
    std::lock_guard lock(mutex_);
    return onLocked(Clock::now());
}

void CardHold::interrupt() {
    // Taking the mutex orders this wake-up after a waiter's test of its stop condition.
    { std::lock_guard lock(mutex_); }
    changed_.notify_all();
}

CardHold::Ended CardHold::takeEnded() {
    std::lock_guard lock(mutex_);
    if (onLocked(Clock::now()) || !ended_) return {};
    ended_ = false;
    Ended ended{std::move(proven_), std::move(rest_)};
    proven_.clear();
    rest_ = nullptr;
    return ended;
}

bool CardHold::onLocked(Clock::time_point now) {
    if (on_ && commands_ == 0 && now >= until_) endLocked();
    return on_;
}

void CardHold::endLocked() {
    on_ = false;
    ended_ = !proven_.empty();
}
