#pragma once
// What slows down password guessing on a connection: the first few refused logins are answered at
// once, each one after them only after a delay that doubles up to a second. The delay depends on
// the count of refusals alone, never on what was sent. Refusals are also reported in the log,
// process-wide at most once a second, with how many there were.

#include <chrono>
#include <string>

class LoginThrottle {
  public:
    static constexpr unsigned kFreeFailures = 3;
    static constexpr std::chrono::milliseconds kFirstDelay{100};
    static constexpr std::chrono::milliseconds kMaxDelay{1000};

    // One more refused login from `peer`: how long its answer waits.
    std::chrono::milliseconds refused(const std::string& peer);
    // A login that succeeded: the next refusal starts the count again.
    void succeeded() { failures_ = 0; }

  private:
    unsigned failures_ = 0;
};
