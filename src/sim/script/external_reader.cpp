#include "sim/script/external_reader.hpp"

#include "crypto/hex.hpp"

namespace rfsim {

void ExternalReader::setPort(std::string port) {
    std::lock_guard lock(portMutex_);
    port_ = std::move(port);
}

Bytes ExternalReader::heard(std::span<const std::uint8_t> bytes, std::uint32_t lineBaud) {
    std::string port;
    {
        std::lock_guard lock(portMutex_);
        port = port_;
    }
    const auto answer = link_.ask({{"op", "write"},
                                   {"out", Orvane::hexEncode(bytes)},
                                   {"baud", lineBaud},
                                   {"type", type_},
                                   {"dev", port}});
    if (!answer || !answer->contains("in") || !(*answer)["in"].is_string()) return {};
    return Orvane::hexDecode((*answer)["in"].get<std::string>(), 1 << 20).value_or(Bytes{});
}

nlohmann::json ExternalReader::status() const {
    return {
        {"external",
         {{"socket", link_.socketPath()}, {"connected", link_.connected()}, {"error", link_.lastError()}}}};
}

}  // namespace rfsim
