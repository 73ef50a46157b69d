#pragma once
// The service's one configuration: an INI file read once at start-up, adjusted in memory by
// start-up, completed with every default and saved once; read-only afterwards.

#include <memory>
#include <string>

#include "service/config/ini_parser.hpp"

// Keys with their section and default. String keys treat an empty value as missing.
struct StringKey {
    const char* section;
    const char* key;
    std::string (*makeDefault)();
};
struct IntKey {
    const char* section;
    const char* key;
    int defaultValue;
};
struct BoolKey {
    const char* section;
    const char* key;
    bool defaultValue;
};

// The login password used when the file has none: six letters, assembled at run time so that
// it does not stand in the binary as a string.
std::string defaultPassword();

namespace cfg {
extern const StringKey srvHost, host, sslCipherSuite, crtFile, keyFile, caFile, origins, user, pass, level;
extern const IntKey port, workerNum, maxConnect, remainDays;
extern const BoolKey tlsEnable, cors, accessLog, logFsync, logStdout;
}  // namespace cfg

class IniCfg : public IniParser {
  public:
    // Loads `path` (missing: empty configuration) after creating its directory.
    explicit IniCfg(const std::string& path);
    // An in-memory configuration, for tests and tools.
    IniCfg() = default;

    std::string get(const StringKey& k) const;
    int get(const IntKey& k) const { return Get<int>(k.key, k.section, k.defaultValue); }
    bool get(const BoolKey& k) const { return Get<bool>(k.key, k.section, k.defaultValue); }

    void set(const StringKey& k, const std::string& v) { SetValue(k.key, v, k.section); }
    void set(const IntKey& k, int v) { Set<int>(k.key, v, k.section); }
    void set(const BoolKey& k, bool v) { Set<bool>(k.key, v, k.section); }
};

using IniCfgPtr = std::shared_ptr<IniCfg>;

// Writes every known key back with its value or default, in a fixed order, and saves the file.
void normaliseConfiguration(IniCfg& config);
