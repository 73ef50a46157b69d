#pragma once
// The command line: -h, -v, -p PORT, -s SIGNAL (short or long form).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct CommandLine {
    bool help = false;
    bool version = false;
    std::optional<std::string> port;
    std::optional<std::string> signal;
};

// nullopt when an option is unknown, lacks its argument or has a port that parsePort refuses (the
// reason is printed).
std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& args);

// A port option: 1 to 65535 in plain decimal digits, or 0 for "the configured port"; nullopt for
// anything else (signs, spaces, other bases, values out of range).
std::optional<int> parsePort(std::string_view text);

// The largest port number.
inline constexpr int kMaxPort = 65535;

// The option table as help text.
std::string helpText(const std::string& programName);
