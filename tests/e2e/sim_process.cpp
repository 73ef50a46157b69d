#include "sim_process.hpp"

#include <fstream>

#include "http_client.hpp"

nlohmann::json sectorReadRequest(int rfIdx, int sector) {
    return {{"rfIdx", rfIdx}, {"reSelect", true}, {"sector", sector}, {"pwd", "FFFFFFFFFFFF"},
            {"pos", 0},       {"num", 0},         {"keyB", false},    {"fill", false}};
}

SimProcess::SimProcess(const nlohmann::json& scenario, std::vector<std::string> variables) {
    const std::string scenarioPath = home_.path() + "/scenario.json";
    std::ofstream(scenarioPath) << scenario.dump(2);
    home_.setProgram("rfdock-sim");
    home_.addVariable("RFDOCK_SIM_SCENARIO=" + scenarioPath);
    for (std::string& variable : variables)
        home_.addVariable(std::move(variable));
    service_ = std::make_unique<RunningService>(home_, freePort());
    if (service_->ready()) client_ = std::make_unique<SimClient>(service_->port(), servicePassword(home_));
}

nlohmann::json SimProcess::simState() const {
    if (!service_) return nullptr;
    const auto res = httpRequest(service_->port(), "GET", "/sim");
    if (!res || res->status != 200) return nullptr;
    return nlohmann::json::parse(res->body, nullptr, false);
}

void SimProcess::stop() {
    client_.reset();
    if (service_) service_->stop();
}
