// Feeds arbitrary text to the configuration loader, then reads, changes and writes it back. Any
// value is fine; what must not happen is a crash, a hang or an exception.

#include <cstdint>
#include <string>

#include "service/config/ini_parser.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    IniParser ini;
    ini.LoadFromText(std::string(reinterpret_cast<const char*>(data), size));
    ini.Get<int>("port", "server", 3080);
    ini.Get<bool>("tlsEnable", "server", false);
    ini.GetValue("pass", "login");
    ini.Set<int>("port", 3081, "server");
    ini.SetValue("pass", "x", "login");
    ini.Remove("host", "server");
    // What is written is read back the same.
    const std::string once = ini.Dump();
    IniParser again;
    again.LoadFromText(once);
    if (again.Dump() != once) __builtin_trap();
    return 0;
}
