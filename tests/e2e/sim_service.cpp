#include "sim_service.hpp"

#include <stdlib.h>

#include <spdlog/spdlog.h>

#include <filesystem>

#include <spdlog/spdlog.h>

#include "reader/bus/system_device_bus.hpp"
#include "service/config/ini_cfg.hpp"
#include "service/frontend/rf_dock.hpp"
#include "service/process/process_context.hpp"
#include "service_process.hpp"

using nlohmann::json;
namespace fs = std::filesystem;

SimService::SimService() {
    std::string pattern = (fs::temp_directory_path() / "rfdock-sim-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return;
    home_ = pattern;
    if (const char* home = ::getenv("HOME")) {
        hadHome_ = true;
        previousHome_ = home;
    }
    ::setenv("HOME", home_.c_str(), 1);
    // The logger registry comes into being on first use; the service's start-up makes that happen
    // before its threads run, and so does this.
    spdlog::default_logger();
    Orvane::installDeviceBus(readers.sharedBus());
    RfReader::forgetLastGoodPorts();

    const std::string runDir = home_ + "/.tesmar/rfdock";
    makeDirectories(runDir);
    const ProcessContext context = makeProcessContext("rfdock", runDir);
    auto config = std::make_shared<IniCfg>(context.confFile);
    port_ = freePort();
    config->set(cfg::port, port_);
    config->set(cfg::host, "127.0.0.1");
    password_ = config->get(cfg::pass);
    // The logger registry is a function-local static inside libspdlog; create it here, before the
    // worker threads log for the first time (ThreadSanitizer cannot see the library's guard).
    spdlog::default_logger();
    dock_ = std::make_unique<RfDock>(false, config, context);
    if (!dock_->init()) return;
    server_ = std::thread([this] { dock_->run(); });
    ready_ = waitForPing(port_);
}

SimService::~SimService() {
    if (dock_) dock_->stop();
    if (server_.joinable()) server_.join();
    // Sessions, their readers and their find tasks end with the front end, before the readers go.
    dock_.reset();
    RfReader::forgetLastGoodPorts();
    if (hadHome_)
        ::setenv("HOME", previousHome_.c_str(), 1);
    else
        ::unsetenv("HOME");
    std::error_code ec;
    if (!home_.empty()) fs::remove_all(home_, ec);
}

SimClient::SimClient(const SimService& service) : SimClient(service.port(), service.password()) {}

SimClient::SimClient(int port, const std::string& password) : ws_(port) {
    if (!ws_.open()) return;
    const json reply = call(0, {{"user", "public"}, {"pass", password}});
    loggedIn_ = reply.is_object() && reply.value("err", -1) == 0;
}

std::string SimClient::send(int code, json fields) {
    const std::string ack = "c" + std::to_string(++acks_);
    fields["ack"] = ack;
    fields["code"] = code;
    ws_.sendText(fields.dump());
    return ack;
}

json SimClient::call(int code, json fields, std::chrono::milliseconds wait) {
    const std::string ack = send(code, std::move(fields));
    const auto until = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return nullptr;
        const auto text = ws_.receive(left);
        if (!text) return nullptr;
        json message = json::parse(*text, nullptr, false);
        if (message.is_object() && message.value("ack", json()) == ack) return message;
        pending_.push_back(std::move(message));
    }
}

std::optional<json> SimClient::next(std::chrono::milliseconds wait) {
    if (!pending_.empty()) {
        json message = std::move(pending_.front());
        pending_.pop_front();
        return message;
    }
    const auto text = ws_.receive(wait);
    if (!text) return std::nullopt;
    return json::parse(*text, nullptr, false);
}
