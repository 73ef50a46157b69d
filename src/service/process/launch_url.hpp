#pragma once
// A browser starts the service through a "rfdock://start/?" URL handed over as the only argument;
// the pieces after the prefix, split at '&', become ordinary command-line arguments.

#include <string>
#include <vector>

struct LaunchArguments {
    bool launchedByUrl = false;
    std::vector<std::string> args;  // program name first
};

// Leaves the arguments as they are unless there is exactly one after the program name and it
// contains the launch prefix. Empty pieces are dropped; pieces are not URL-decoded.
LaunchArguments rewriteLaunchUrl(int argc, char** argv);
