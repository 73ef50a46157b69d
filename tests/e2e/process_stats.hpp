#pragma once
// What a running process holds, read from /proc: for tests that check that nothing grows.

#include <sys/types.h>

#include <string>

// Resident memory now and at its peak, in KiB; -1 when it cannot be read.
long residentKiB(pid_t pid);
long peakResidentKiB(pid_t pid);
// Open descriptors and threads; -1 when they cannot be read.
int openDescriptors(pid_t pid);
int threadCount(pid_t pid);
// What each open descriptor is, one a line, for a failure's message.
std::string describeDescriptors(pid_t pid);

// Runs a shell command and returns what it wrote on both outputs.
std::string shellOutput(const std::string& command);
