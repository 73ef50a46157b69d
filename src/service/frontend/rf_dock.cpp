#include "service/frontend/rf_dock.hpp"

#include <cstdio>

#include "commands/key_provider/provider_work.hpp"
#include "protocol/log.hpp"
#include "service/frontend/http_handler.hpp"
#include "service/frontend/http_server.hpp"
#include "service/frontend/static_files.hpp"
#include "service/frontend/tls_setup.hpp"
#include "service/process/options.hpp"

namespace {
constexpr std::size_t kMaxListenAddress = 63;
}

struct RfDock::Impl {
    IniCfgPtr config;
    ProcessContext context;
    std::shared_ptr<FrontState> front = std::make_shared<FrontState>();
    ServerSettings settings;
    std::unique_ptr<HttpServer> server;
};

int clampedWorkers(int workerNum) {
    return std::clamp(workerNum, 1, 1500);
}

int roundedMaxConnect(int maxConnect, int workers) {
    long long m = maxConnect;
    if (m <= workers) m = workers;
    if (m % workers != 0) m += workers - m % workers;
    return m > INT32_MAX ? INT32_MAX - INT32_MAX % workers : static_cast<int>(m);
}

RfDock::RfDock(bool launchedByUrl, IniCfgPtr config, ProcessContext context)
    : launchedByUrl_(launchedByUrl), impl_(std::make_unique<Impl>()) {
    impl_->config = std::move(config);
    impl_->context = std::move(context);
    impl_->front->config = impl_->config;
}

RfDock::~RfDock() {
    if (impl_->server) impl_->server->stop();
    // Works waiting for a key provider hold connections and card objects: released and given a
    // moment to end, so that none outlives the service. Before the server goes: a work that has
    // just sent its reply may still hold the last share of its connection, whose socket must be
    // released while the server's I/O context exists.
    key_provider::awaitProviderWorks(std::chrono::seconds(3));
    impl_->server.reset();
}

void RfDock::setExtraRoutes(ExtraRoutes routes) {
    impl_->front->extraRoutes = std::move(routes);
}

bool RfDock::init() {
    IniCfg& config = *impl_->config;
    FrontState& front = *impl_->front;
    ServerSettings& settings = impl_->settings;

    // Checked before anything is set up or saved: the listener would take the number modulo
    // 65536 and the file would keep the wrong one.
    if (const int port = config.get(cfg::port); port < 1 || port > kMaxPort) {
        std::printf("Invalid port %d in the configuration (1 to %d)\n", port, kMaxPort);
        return false;
    }
    // srvHost first: the TLS server-name check refers to it.
    front.srvHost = config.GetValue(cfg::srvHost.key, cfg::srvHost.section);
    if (config.get(cfg::tlsEnable))
        settings.tls =
            createTlsContext(config, {impl_->context.programDir, impl_->context.runDir}, front.srvHost);
    settings.port = config.get(cfg::port);
    settings.host = config.get(cfg::host);
    settings.workers = clampedWorkers(config.get(cfg::workerNum));
    const int maxConnect = roundedMaxConnect(config.get(cfg::maxConnect), settings.workers);
    config.set(cfg::maxConnect, maxConnect);
    settings.connectionsPerWorker = maxConnect / settings.workers;
    front.documentRoot = documentRootFor(impl_->context.programDir);
    front.accessLog = config.get(cfg::accessLog);
    front.cors = config.get(cfg::cors);
    front.origins = splitOrigins(config.GetValue(cfg::origins.key, cfg::origins.section));
    if (config.get(cfg::pass) == defaultPassword())
        logWarn("the login password is the default one: any local page can log in; set pass in [login] of %s",
                impl_->context.confFile);
    normaliseConfiguration(config);

    if (settings.host.size() > kMaxListenAddress) {
        std::printf("Listen address is longer than %zu characters: %s\n", kMaxListenAddress,
                    settings.host.c_str());
        return false;
    }
    impl_->server = std::make_unique<HttpServer>(impl_->front, settings);
    return true;
}

int RfDock::run(const std::function<void()>& whenListening) {
    return impl_->server ? impl_->server->run(whenListening) : -EINVAL;
}

void RfDock::stop() {
    if (impl_->server) impl_->server->stop();
}

int RfDock::connectNum() const {
    return impl_->front->connectNum.load();
}
int RfDock::sessionNum() const {
    return impl_->front->sessionNum.load();
}
