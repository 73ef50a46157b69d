// Feeds arbitrary bytes as one HTTP request to the front end's request handler, parsed with the
// limits the connections use. Any answer is fine; what must not happen is a crash, an exception,
// a file served from outside the web area, or a read out of bounds.

#include <spdlog/spdlog.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "service/frontend/http_handler.hpp"

namespace {

struct Rig {
    Rig() {
        spdlog::set_level(spdlog::level::off);
        std::string pattern = (std::filesystem::temp_directory_path() / "rfdock-http-fuzz-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
        std::filesystem::create_directories(root / "web" / "sub");
        std::ofstream(root / "web" / "index.html") << "<p>home</p>";
        std::ofstream(root / "web" / "sub" / "a.js") << "export {};";
        std::ofstream(root / "secret.txt") << "outside";
        front.config = std::make_shared<IniCfg>();
        front.documentRoot = (root / "web").string();
    }
    ~Rig() { std::filesystem::remove_all(root); }
    std::filesystem::path root;
    FrontState front;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Rig rig;
    http::request_parser<http::string_body> parser;
    parser.header_limit(16 * 1024);
    parser.body_limit(64 * 1024);
    parser.eager(true);
    boost::beast::error_code ec;
    parser.put(boost::asio::buffer(data, size), ec);
    if (ec || !parser.is_done()) return 0;
    // Every other byte picks whether the Host check is on.
    rig.front.srvHost = size % 2 ? "127.0.0.1" : "";
    HttpReply reply = handleHttpRequest(rig.front, parser.get(), PeerInfo{"127.0.0.1", 5555});
    if (auto* file = std::get_if<FileResponse>(&reply.response)) {
        if (file->body().file().is_open() && file->body().size() == 7) {
            // The only 7-byte file is the one outside the web area.
            __builtin_trap();
        }
    }
    return 0;
}
