#pragma once
// Holds back floods of one kind of log line. Anyone who can make the service log (a client
// repeating a refused request, say) could otherwise fill the disk: a kind writes at most
// kLinesPerSecond lines a second, and what it holds back is counted and reported in one line at
// most every kSummaryEvery, with a later line of its kind.

#include <chrono>
#include <cstddef>

class LogRateLimit {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kLinesPerSecond = 10;
    static constexpr Clock::duration kSummaryEvery = std::chrono::seconds(5);

    struct Verdict {
        bool write = false;          // write the line
        std::size_t suppressed = 0;  // lines held back to report first; 0: nothing to report
    };

    Verdict pass(Clock::time_point now);

  private:
    Clock::time_point windowStart_{};
    int inWindow_ = 0;
    std::size_t suppressed_ = 0;
    Clock::time_point summaryDue_{};
};

// The verdict for one line of a kind (its format text) now, from a limiter per kind shared by all
// threads.
LogRateLimit::Verdict passLogLine(const char* kind);

// Every kind starts afresh (a test that reads the lines it caused, after others filled the window).
void forgetLogLimits();
