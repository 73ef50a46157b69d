// The log front: client text cut to size, and floods of one kind of line held back.

#include "protocol/log.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "protocol/log_limit.hpp"
#include "support/log_capture.hpp"

using namespace std::chrono_literals;

TEST(LogText, ClientTextIsCutAndItsLengthNoted) {
    const std::string euro = "\xE2\x82\xAC";  // three bytes
    const struct {
        std::string text;
        std::size_t max;
        std::string logged;
    } cases[] = {
        {"", 256, ""},
        {std::string(256, 'a'), 256, std::string(256, 'a')},
        {std::string(257, 'a'), 256, std::string(256, 'a') + "…(cut, 257 bytes)"},
        {std::string(16384, '/'), 256, std::string(256, '/') + "…(cut, 16384 bytes)"},
        // Never half a character: the sequence across the limit goes whole.
        {"ab" + euro + "cd", 3, "ab…(cut, 7 bytes)"},
        {"ab" + euro + "cd", 4, "ab…(cut, 7 bytes)"},
        {"ab" + euro + "cd", 5, "ab" + euro + "…(cut, 7 bytes)"},
        // Bytes that are no UTF-8 at all are cut within three of the limit.
        {std::string(10, '\x80'), 8, std::string(5, '\x80') + "…(cut, 10 bytes)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(cutForLog(c.text, c.max), c.logged) << c.text.substr(0, 20) << " / " << c.max;
    EXPECT_EQ(cutForLog(std::string(300, 'x')).size(), 256 + std::string("…(cut, 300 bytes)").size());
}

TEST(LogRateLimit, TenLinesASecondThenASummaryEveryFiveSeconds) {
    const LogRateLimit::Clock::time_point t0{};
    const struct {
        std::chrono::milliseconds at;
        int lines;  // passed at that moment
        int written;
        std::size_t reported;  // suppressed lines reported along the way
    } steps[] = {
        {0ms, 10, 10, 0},                          // the first ten of a second are written
        {0ms, 90, 0, 0},                           // the rest of that second is held back
        {999ms, 5, 0, 0},    {1000ms, 12, 10, 0},  // a new second: ten more; the summary is not due yet
        {4999ms, 1, 1, 0},   {5000ms, 1, 1, 97},   // five seconds after the first line held back: its summary
        {5001ms, 9, 8, 0},                         // one more held back: its summary is due five seconds on
        {10000ms, 1, 1, 0},  {10001ms, 1, 1, 1},  {60000ms, 11, 10, 0},  // a short burst, then quiet:
        {120000ms, 1, 1, 1},  // what it left out comes with the next line of its kind
        {120000ms, 1, 1, 0},
    };
    LogRateLimit limit;
    for (const auto& step : steps) {
        int written = 0;
        std::size_t reported = 0;
        for (int i = 0; i < step.lines; ++i) {
            const auto verdict = limit.pass(t0 + step.at);
            written += verdict.write;
            reported += verdict.suppressed;
        }
        EXPECT_EQ(written, step.written) << step.at.count() << " ms";
        EXPECT_EQ(reported, step.reported) << step.at.count() << " ms";
    }
}

TEST(LogRateLimit, KindsAreCountedApartAndOnlyWarningsAndErrorsAreLimited) {
    LogCapture log;
    for (int i = 0; i < 25; ++i) {
        logWarn("warning of the first kind %d", i);
        logWarn("warning of the second kind %d", i);
        logError("error of one kind %d", i);
        logInfo("information %d", i);
    }
    const auto lines = log.lines();
    const auto count = [&](const std::string& text) {
        return std::ranges::count_if(lines,
                                     [&](const std::string& l) { return l.find(text) != std::string::npos; });
    };
    EXPECT_EQ(count("warning warning of the first kind"), 10);
    EXPECT_EQ(count("warning warning of the second kind"), 10);
    EXPECT_EQ(count("error error of one kind"), 10);
    EXPECT_EQ(count("info information"), 25);
    EXPECT_TRUE(log.contains("warning warning of the first kind 9"));
    EXPECT_FALSE(log.contains("warning warning of the first kind 10"));
}
