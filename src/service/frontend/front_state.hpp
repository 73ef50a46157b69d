#pragma once
// What every connection of the front end shares: settings fixed by RfDock::init() and the live
// connection counters that /status reports.

#include <atomic>
#include <string>

#include "service/config/ini_cfg.hpp"
#include "service/frontend/extra_routes.hpp"

struct FrontState {
    IniCfgPtr config;
    std::string srvHost;       // expected Host and TLS server name; empty: no checks
    std::string documentRoot;  // the static web area
    bool cors = true;
    bool accessLog = false;
    ExtraRoutes extraRoutes;         // asked before the service's own routes; empty: none
    std::atomic<int> connectNum{0};  // open TCP connections, HTTP and WebSocket
    std::atomic<int> sessionNum{0};  // open WebSocket sessions
};
