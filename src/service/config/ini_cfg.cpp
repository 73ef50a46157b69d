#include "service/config/ini_cfg.hpp"

#include <sys/stat.h>

std::string defaultPassword() {
    // Letters as offsets from 'a', so the word never appears whole in the binary.
    static constexpr unsigned char kOffsets[] = {19, 4, 18, 12, 0, 17};
    std::string pass;
    for (unsigned char o : kOffsets)
        pass.push_back(static_cast<char>('a' + o));
    return pass;
}

namespace cfg {
namespace {
std::string none() {
    return {};
}
std::string localhost() {
    return "127.0.0.1";
}
std::string cipherSuite() {
    return "TLS_CHACHA20_POLY1305_SHA256:TLS_AES_256_GCM_SHA384:TLS_AES_128_GCM_SHA256:"
           "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-ECDSA-AES128-GCM-SHA256:"
           "ECDHE-RSA-CHACHA20-POLY1305:ECDHE-RSA-AES256-GCM-SHA384:ECDHE-RSA-AES128-GCM-SHA256";
}
std::string crt() {
    return "ssl/host.crt";
}
std::string key() {
    return "ssl/host.key";
}
std::string ca() {
    return "ssl/cacert.pem";
}
std::string publicUser() {
    return "public";
}
std::string warn() {
    return "WARN";
}
}  // namespace

const StringKey srvHost{"server", "srvHost", none};
const StringKey host{"server", "host", localhost};
const IntKey port{"server", "port", 3080};
const IntKey workerNum{"server", "workerNum", 4};
const IntKey maxConnect{"server", "maxConnect", 400};
const StringKey sslCipherSuite{"server", "sslCipherSuite", cipherSuite};
const StringKey crtFile{"server", "crtFile", crt};
const StringKey keyFile{"server", "keyFile", key};
const StringKey caFile{"server", "caFile", ca};
const BoolKey tlsEnable{"server", "tlsEnable", false};
const BoolKey cors{"server", "cors", true};
const StringKey origins{"server", "origins", none};
const StringKey user{"login", "user", publicUser};
const StringKey pass{"login", "pass", defaultPassword};
const BoolKey accessLog{"log", "accessLog", false};
const StringKey level{"log", "level", warn};
const BoolKey logFsync{"log", "fsync", false};
const BoolKey logStdout{"log", "stdout", false};
const IntKey remainDays{"log", "remainDays", 3};
}  // namespace cfg

IniCfg::IniCfg(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) ::mkdir(path.substr(0, slash).c_str(), 0777);
    LoadFromFile(path);
}

std::string IniCfg::get(const StringKey& k) const {
    std::string value = GetValue(k.key, k.section);
    return value.empty() ? k.makeDefault() : value;
}

void normaliseConfiguration(IniCfg& config) {
    using namespace cfg;
    // Keys the file did not have are (re)appended in this order, even when start-up set them already.
    const auto keep = [&config](const auto& key) {
        const auto value = config.get(key);
        if (!config.WasLoaded(key.key, key.section)) config.Remove(key.key, key.section);
        config.set(key, value);
    };
    keep(srvHost), keep(host), keep(port), keep(workerNum), keep(maxConnect), keep(sslCipherSuite);
    keep(crtFile), keep(keyFile), keep(caFile), keep(tlsEnable), keep(cors), keep(origins);
    keep(user), keep(pass);
    keep(accessLog), keep(level), keep(logFsync), keep(logStdout), keep(remainDays);
    config.Save();
}
