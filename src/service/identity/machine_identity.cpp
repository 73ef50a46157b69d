#include "service/identity/machine_identity.hpp"

#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "crypto/digest.hpp"
#include "crypto/hex.hpp"

namespace {

constexpr std::uint8_t kDigestSha256 = 8;
constexpr std::uint8_t kDigestMd5 = 2;

std::string pathUnder(const std::string& root, const std::string& path) {
    return (std::filesystem::path(root.empty() ? "/" : root) / path).string();
}

// First line of a file without its line break; nullopt when the file does not open or is empty.
std::optional<std::string> firstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line)) return std::nullopt;
    return line;
}

void appendCpuInfo(std::string& text, const std::string& path) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        const bool wanted =
            line.find("Serial") != std::string::npos || line.find("processor") != std::string::npos ||
            line.find("serial") != std::string::npos || line.find("Processor") != std::string::npos;
        if (!wanted) continue;
        const auto colon = line.find(": ");
        if (colon == std::string::npos || colon + 2 >= line.size()) continue;
        text += line.substr(colon + 2);
        text += '|';
    }
}

std::string macText(const HardwareAddress& mac) {
    char buffer[18];
    std::snprintf(buffer, sizeof buffer, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3],
                  mac[4], mac[5]);
    return buffer;
}

std::string lowerHex(std::span<const std::uint8_t> bytes) {
    std::string text = Orvane::hexEncode(bytes);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

const std::array<const char*, 3>& identityInterfaces() {
    static const std::array<const char*, 3> names = {"eth0", "ens3", "enp0s3"};
    return names;
}

std::optional<HardwareAddress> kernelHardwareAddress(const std::string& interfaceName) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return std::nullopt;
    ifreq request{};
    // At most 15 characters, so the name always ends in the zero that the kernel expects.
    std::strncpy(request.ifr_name, interfaceName.c_str(), IFNAMSIZ - 1);
    const int status = ::ioctl(fd, SIOCGIFHWADDR, &request);
    ::close(fd);
    if (status != 0) return std::nullopt;
    HardwareAddress mac;
    std::memcpy(mac.data(), request.ifr_hwaddr.sa_data, mac.size());
    return mac;
}

std::string machineIdentityText(const IdentitySources& sources) {
    std::string text = firstLine(pathUnder(sources.root, "etc/machine-id")).value_or("");
    for (const char* name : identityInterfaces()) {
        if (auto line =
                firstLine(pathUnder(sources.root, std::string("sys/class/net/") + name + "/address"))) {
            text += *line;
            text += '|';
        }
    }
    appendCpuInfo(text, pathUnder(sources.root, "proc/cpuinfo"));
    const std::function query = sources.hardwareAddress ? sources.hardwareAddress : kernelHardwareAddress;
    for (const char* name : identityInterfaces()) {
        if (auto mac = query(name)) {
            text += macText(*mac);
            text += '|';
        }
    }
    text += std::to_string(std::uint64_t{0});
    return text;
}

void machineDigest(std::span<std::uint8_t, 32> out, const IdentitySources& sources) {
    const std::string text = machineIdentityText(sources);
    if (!Orvane::digest(kDigestSha256, text.data(), text.size(), out)) std::fill(out.begin(), out.end(), 0);
}

void fillMachineIdentity(nlohmann::json& reply, const IdentitySources& sources) {
    std::array<std::uint8_t, 32> sha256{};
    machineDigest(sha256, sources);
    std::array<std::uint8_t, 16> md5{};
    if (!Orvane::digest(kDigestMd5, sha256.data(), sha256.size(), md5)) md5.fill(0);
    reply["sha256"] = lowerHex(sha256);
    reply["md5"] = lowerHex(md5);
}
