#pragma once
// The service log: a daily file in the logs folder, optionally copied to the console, with the
// level, retention and fsync of the configuration's [log] section.

#include <string>

#include <spdlog/common.h>

#include "service/config/ini_cfg.hpp"
#include "service/process/process_context.hpp"

// VERBOSE, DEBUG, INFO, WARN, ERROR, FATAL, SILENT (any case); unknown text gives WARN.
spdlog::level::level_enum logLevelFromText(const std::string& text);

// Installs the default logger; the log file is opened at once.
void setupLogging(const IniCfg& config, const ProcessContext& ctx);

// The path of today's log file, for child processes that write into it; empty when there is none.
std::string currentLogFile();
