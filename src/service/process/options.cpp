#include "service/process/options.hpp"

#include <getopt.h>

#include <charconv>
#include <cstdio>

namespace {

struct OptionEntry {
    char shortName;
    const char* longName;
    bool needsArgument;
    const char* argumentName;
    const char* help;
};

constexpr OptionEntry kOptions[] = {
    {'h', "help", false, nullptr, "Print this information"},
    {'v', "version", false, nullptr, "Print Version"},
    {'p', "port", true, "port", "Set listen port"},
    {'s', "signal", true, "signal", "send signal to process, signal=[start,stop,restart,status]"},
};

}  // namespace

std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& args) {
    std::vector<std::string> storage(args);
    std::vector<char*> argv;
    for (auto& a : storage)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    std::string shortOptions = ":";  // leading ':' lets us tell a missing argument from an unknown option
    std::vector<option> longOptions;
    for (const auto& o : kOptions) {
        shortOptions += o.shortName;
        if (o.needsArgument) shortOptions += ':';
        longOptions.push_back(
            {o.longName, o.needsArgument ? required_argument : no_argument, nullptr, o.shortName});
    }
    longOptions.push_back({nullptr, 0, nullptr, 0});

    CommandLine line;
    optind = 0;  // restart getopt's scan (glibc)
    opterr = 0;
    const int argc = static_cast<int>(storage.size());
    for (int c;
         (c = ::getopt_long(argc, argv.data(), shortOptions.c_str(), longOptions.data(), nullptr)) != -1;) {
        switch (c) {
            case 'h':
                line.help = true;
                break;
            case 'v':
                line.version = true;
                break;
            case 'p':
                if (!parsePort(optarg)) {
                    std::printf("Invalid port: '%s' (1 to %d)\n", optarg, kMaxPort);
                    return std::nullopt;
                }
                line.port = optarg;
                break;
            case 's':
                line.signal = optarg;
                break;
            case ':':
                std::printf("Option '%s' requires an argument\n", argv[optind - 1]);
                return std::nullopt;
            default:
                std::printf("Invalid option: '%s'\n", argv[optind - 1]);
                return std::nullopt;
        }
    }
    return line;
}

std::optional<int> parsePort(std::string_view text) {
    // from_chars takes no sign for an unsigned type, but "+80" or " 80" would not get that far
    // either: the whole text has to be digits.
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
    unsigned long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value > kMaxPort) return std::nullopt;
    return static_cast<int>(value);
}

std::string helpText(const std::string& programName) {
    std::string text = "Usage: " + programName + " [options]\nOptions:\n";
    for (const auto& o : kOptions) {
        std::string names = std::string("  -") + o.shortName + ", --" + o.longName;
        if (o.needsArgument) names += std::string(" <") + o.argumentName + ">";
        names.resize(std::max<std::size_t>(names.size() + 2, 28), ' ');
        text += names + o.help + "\n";
    }
    return text;
}
