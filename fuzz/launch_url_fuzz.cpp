// Feeds arbitrary command lines to the launch-URL rewrite: NUL bytes separate the arguments after
// the program name. Any result is fine; what must not happen is a crash or a read out of bounds.

#include <cstdint>
#include <string>
#include <vector>

#include "service/process/launch_url.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> pieces{"rfdock"};
    std::string piece;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            pieces.push_back(piece);
            piece.clear();
        } else {
            piece += static_cast<char>(data[i]);
        }
    }
    pieces.push_back(piece);
    std::vector<char*> argv;
    for (auto& p : pieces)
        argv.push_back(p.data());
    argv.push_back(nullptr);
    const LaunchArguments result = rewriteLaunchUrl(static_cast<int>(pieces.size()), argv.data());
    if (result.args.empty()) __builtin_trap();  // the program name always stays
    return 0;
}
