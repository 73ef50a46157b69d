#pragma once
// The command line: -h, -v, -p PORT, -s SIGNAL (short or long form).

#include <optional>
#include <string>
#include <vector>

struct CommandLine {
    bool help = false;
    bool version = false;
    std::optional<std::string> port;
    std::optional<std::string> signal;
};

// nullopt when an option is unknown or lacks its argument (the reason is printed).
std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& args);

// The option table as help text.
std::string helpText(const std::string& programName);
