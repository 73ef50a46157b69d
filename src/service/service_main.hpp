#pragma once
// The service's whole life from the command line: options, process control, logging, the front
// end. rfdock calls it as it is; rfdock-sim adds its simulated readers and its own routes.

#include <functional>

#include "service/frontend/extra_routes.hpp"

struct ServiceHooks {
    // Runs once this process is the serving instance, before the front end starts (never for
    // -s stop/status, -h or -v). False ends start-up with -1.
    std::function<bool()> beforeServe;
    ExtraRoutes extraRoutes;
};

int runService(int argc, char** argv, const ServiceHooks& hooks = {});
