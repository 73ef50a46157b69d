#pragma once
// Where this program keeps its files: the data directory under the user's home, and the
// configuration, pid and log paths derived from the program's own name.

#include <optional>
#include <string>

struct ProcessContext {
    std::string programName;  // file name of the program, e.g. "rfdock"
    std::string programDir;   // directory of the running executable
    std::string runDir;       // data directory
    std::string confFile;     // <runDir>/etc/<programName>.conf
    std::string pidFile;      // <runDir>/logs/<programName>.pid
    std::string logFile;      // <runDir>/logs/<programName>.log
};

// $HOME when set, else the effective user's home from the password database; nullopt when neither.
std::optional<std::string> homeDirectory();

// Directory of the running executable (from /proc/self/exe), without a trailing slash.
std::string executableDir();

// Fills every path; an empty runDir falls back to the program's directory. Creates runDir/logs.
ProcessContext makeProcessContext(const char* argv0, std::string runDir);

// mkdir -p; true when the directory exists afterwards.
bool makeDirectories(const std::string& path);
