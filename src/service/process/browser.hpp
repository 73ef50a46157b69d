#pragma once
#include "service/config/ini_cfg.hpp"

// The URL of the service's own page, from srvHost (or 127.0.0.1), tlsEnable and port.
std::string servicePageUrl(const IniCfg& config);

// Opens the page with xdg-open in a detached grandchild, so nothing waits for the browser and no
// zombie is left; a missing xdg-open changes nothing for the service. What xdg-open (and the
// browser it starts) prints is appended to outputFile, the log, instead of the terminal; with no
// file it is discarded.
void openServicePage(const IniCfg& config, const std::string& outputFile = {});
