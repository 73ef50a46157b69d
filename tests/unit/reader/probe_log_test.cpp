// The open log cannot be flooded by a client that opens readers in a loop: each kind of line (reader
// type and outcome) is written at most ten times a second, and what was held back is counted.

#include "reader/probe_log.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/log_capture.hpp"

TEST(ProbeLog, RepeatedLinesOfOneKindAreHeldBackAndCounted) {
    LogCapture log;
    // Type 7 is no reader's: no other test writes lines of this kind.
    for (int i = 0; i < 40; ++i)
        Orvane::logProbe(7, "0000:0000", Orvane::ProbeOutcome::busy, "held");
    Orvane::logProbe(7, "0000:0000", Orvane::ProbeOutcome::refused);
    const auto lines = log.lines();
    const auto count = [&](const std::string& part) {
        return std::count_if(lines.begin(), lines.end(),
                             [&](const std::string& l) { return l.find(part) != std::string::npos; });
    };
    // Within one second, unless this machine is slow enough to start a second window.
    EXPECT_GE(count("type 7 on 0000:0000: busy (held)"), 10);
    EXPECT_LT(count("type 7 on 0000:0000: busy (held)"), 40);
    EXPECT_EQ(count("type 7 on 0000:0000: refused"), 1);  // another kind is not held back
}
