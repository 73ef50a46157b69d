#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "service/config/ini_cfg.hpp"
#include "service/version.hpp"

int main() {
    const char* home = std::getenv("HOME");
    const std::string dataDir = std::string(home ? home : ".") + "/.tesmar/rfdock";
    auto config = std::make_shared<IniCfg>(dataDir + "/etc/rfdock.conf");
    normaliseConfiguration(*config);
    std::printf("%s Build:%s \n", kVersionText, kBuildText);
    return 0;
}
