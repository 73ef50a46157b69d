#pragma once
// The data folder holds the configuration with the login password: only its owner may read it.

#include <string>

// The data folder to 0700 and the configuration file (when it exists) to 0600, where either allows
// more; each change is logged at WARN (the default level hides INFO, and this one matters).
void keepDataPrivate(const std::string& dataDir, const std::string& confFile);
