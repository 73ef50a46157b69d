#include "service/process/launch_url.hpp"

namespace {
constexpr std::string_view kLaunchPrefix = "rfdock://start/?";
}

LaunchArguments rewriteLaunchUrl(int argc, char** argv) {
    LaunchArguments out;
    for (int i = 0; i < argc; ++i)
        out.args.emplace_back(argv[i] ? argv[i] : "");
    if (argc != 2) return out;

    std::string arg = out.args[1];
    if (!arg.empty() && arg.back() == '"') arg.pop_back();  // launchers may leave a closing quote
    const auto at = arg.find(kLaunchPrefix);
    if (at == std::string::npos) return out;

    out.launchedByUrl = true;
    out.args.resize(1);
    const std::string rest = arg.substr(at + kLaunchPrefix.size());
    std::size_t start = 0;
    while (start <= rest.size()) {
        const auto amp = rest.find('&', start);
        const auto end = amp == std::string::npos ? rest.size() : amp;
        if (end > start) out.args.push_back(rest.substr(start, end - start));
        start = end + 1;
    }
    return out;
}
