// rfdock-sim: the service on simulated readers, for working without hardware. The readers come
// from a scenario file (RFDOCK_SIM_SCENARIO names it; a built-in one otherwise) and are served
// through the simulated device bus; /sim shows them and moves cards on and off.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include "reader/bus/system_device_bus.hpp"
#include "service/service_main.hpp"
#include "sim/world/scenario.hpp"
#include "sim/world/sim_routes.hpp"

namespace {

std::string scenarioText() {
    const char* path = std::getenv("RFDOCK_SIM_SCENARIO");
    if (!path || !*path) return std::string(rfsim::defaultScenario());
    std::ifstream file(path);
    if (!file) {
        std::printf("Cannot read the scenario file %s\n", path);
        return {};
    }
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

int main(int argc, char** argv) {
    auto world = std::make_shared<rfsim::SimWorld>();
    ServiceHooks hooks;
    hooks.beforeServe = [world] {
        const std::string text = scenarioText();
        if (text.empty()) return false;
        if (const std::string error = rfsim::loadScenario(text, *world); !error.empty()) {
            std::printf("Scenario: %s\n", error.c_str());
            return false;
        }
        Orvane::installDeviceBus(world->bus());
        std::printf("Simulated readers: %zu (GET /sim lists them)\n", world->readers().size());
        return true;
    };
    hooks.extraRoutes = [world](std::string_view method, std::string_view path,
                                std::string_view body) -> std::optional<ExtraRouteReply> {
        auto routed = rfsim::handleSimRoute(*world, method, path, body);
        if (!routed) return std::nullopt;
        return ExtraRouteReply{routed->status, "application/json", std::move(routed->body)};
    };
    return runService(argc, argv, hooks);
}
