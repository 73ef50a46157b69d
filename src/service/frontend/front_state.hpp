#pragma once
// What every connection of the front end shares: settings fixed by RfDock::init() and the live
// connection counters that /status reports.

#include <atomic>
#include <boost/asio/thread_pool.hpp>
#include <string>
#include <vector>

#include "service/config/ini_cfg.hpp"
#include "service/frontend/extra_routes.hpp"
#include "service/udp/next_loop.hpp"

struct FrontState {
    IniCfgPtr config;
    std::string srvHost;       // expected Host and TLS server name; empty: no checks
    std::string documentRoot;  // the static web area
    bool cors = true;
    // Pages (Origin values) allowed to use the service; empty: any. Requests without an Origin
    // (local programs) are always served.
    std::vector<std::string> origins;
    bool accessLog = false;
    ExtraRoutes extraRoutes;         // asked before the service's own routes; empty: none
    std::atomic<int> connectNum{0};  // open TCP connections, HTTP and WebSocket
    std::atomic<int> sessionNum{0};  // open WebSocket sessions
    NextLoop nextLoop;               // set by the server for as long as its worker loops exist
    // Where sessions run their commands, each session one at a time, so that a slow reader holds
    // up its own session and never the I/O of the others. Set by the server while it exists;
    // without it commands run on the connection's own thread.
    boost::asio::thread_pool* sessionPool = nullptr;
};
