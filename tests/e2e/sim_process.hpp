#pragma once
// rfdock-sim as its own process, on a scenario file the test writes, with a logged-in session:
// what a user runs to record a device trace or to play one back.

#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "service_process.hpp"
#include "sim_service.hpp"

// Code 207 for all blocks of `sector` with the factory key A, on slot `rfIdx`.
nlohmann::json sectorReadRequest(int rfIdx, int sector);

class SimProcess {
  public:
    // `variables` are added to the environment ("NAME=value").
    explicit SimProcess(const nlohmann::json& scenario, std::vector<std::string> variables = {});

    bool ready() const { return service_ && service_->ready() && client_ && client_->loggedIn(); }
    SimClient& client() { return *client_; }
    const ServiceHome& home() const { return home_; }
    std::string output() const { return service_ ? service_->output() : std::string(); }
    // GET /sim, parsed; null when it did not answer.
    nlohmann::json simState() const;
    // SIGTERM and wait, so everything the process writes is on disk.
    void stop();

  private:
    ServiceHome home_;
    std::unique_ptr<RunningService> service_;
    std::unique_ptr<SimClient> client_;
};
