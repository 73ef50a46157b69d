#pragma once
// The service's network face: configured once from the configuration by init(), then run until
// the process is told to stop.

#include <functional>
#include <memory>
#include <string>

#include "service/config/ini_cfg.hpp"
#include "service/frontend/extra_routes.hpp"
#include "service/process/process_context.hpp"

class RfDock {
  public:
    RfDock(bool launchedByUrl, IniCfgPtr config, ProcessContext context);
    ~RfDock();  // stops the server first
    RfDock(const RfDock&) = delete;
    RfDock& operator=(const RfDock&) = delete;

    // Configures TLS, the listener, workers, limits, the web area and the routes, then completes and
    // saves the configuration file. False (with the reason printed) when the service cannot serve.
    bool init();
    // Routes asked before the service's own; set before run().
    void setExtraRoutes(ExtraRoutes routes);
    // Serves until stopped; 0, or a negative errno when the port cannot be listened on.
    // whenListening runs once the port is bound, before the first connection is taken.
    int run(const std::function<void()>& whenListening = {});
    // Safe from any thread.
    void stop();

    bool launchedByUrl() const { return launchedByUrl_; }
    int connectNum() const;
    int sessionNum() const;

  private:
    struct Impl;
    bool launchedByUrl_;
    std::unique_ptr<Impl> impl_;
};

// Rounds maxConnect up to a positive multiple of the worker count (at least one per worker).
int roundedMaxConnect(int maxConnect, int workers);
// workerNum clamped to 1..1500.
int clampedWorkers(int workerNum);
