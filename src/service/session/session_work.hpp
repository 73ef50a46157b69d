#pragma once
// One WebSocket connection's session: parses each text message, routes key-provider answers,
// enforces the login rule, answers the service's own commands and hands the rest, by code range,
// to the session's work objects.

#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "commands/rf_work.hpp"
#include "protocol/channel.hpp"
#include "service/config/ini_cfg.hpp"
#include "service/session/login_throttle.hpp"
#include "service/session/sdt_api_work.hpp"
#include "service/udp/next_loop.hpp"
#include "service/udp/udp_work.hpp"

class SessionWork {
  public:
    // nextLoop hands out the loops the session's UDP endpoints run on; without it none opens.
    // `peer` names the client in log lines.
    SessionWork(ChannelRef channel, IniCfgPtr config, NextLoop nextLoop = {}, std::string peer = {});
    virtual ~SessionWork();
    SessionWork(const SessionWork&) = delete;
    SessionWork& operator=(const SessionWork&) = delete;

    // Handles one message; false means the connection is to be closed. Never throws: a failure
    // inside a handler is logged with the message's code and ack and closes the connection.
    bool dispatch(std::string_view message);

    // The same in two steps, so that a connection can run commands off its I/O thread while it
    // goes on reading. take() parses the message and routes an answer to a key request at once
    // (the command waiting for it runs elsewhere); a command comes back for run(), called one
    // message at a time in the order taken. Neither throws; `keep` or run() false closes.
    struct Taken {
        bool keep = true;
        std::optional<nlohmann::json> command;
    };
    Taken take(std::string_view message);
    bool run(nlohmann::json& command);

    bool loggedIn() const { return loggedIn_; }

    // After run(): how long the answer of a refused login is held back (0: it went out). The
    // connection runs nothing else of this session until it has let it go with releaseHeldReply().
    // dispatch() lets it go at once.
    std::chrono::milliseconds heldReplyDelay() const { return heldDelay_; }
    void releaseHeldReply();

  private:
    void logMalformed(const nlohmann::json& request);
    bool dispatchCommand(nlohmann::json& request);
    bool login(const nlohmann::json& request, nlohmann::json& reply);
    bool machineIdentity(nlohmann::json& reply);
    bool statusWordText(const nlohmann::json& request, nlohmann::json& reply);
    bool byRange(long long code, const nlohmann::json& request, nlohmann::json& reply);
    bool send(const nlohmann::json& reply);

    ChannelRef channel_;
    IniCfgPtr config_;
    std::string peer_;
    bool loggedIn_ = false;
    LoginThrottle throttle_;
    std::optional<nlohmann::json> heldReply_;
    std::chrono::milliseconds heldDelay_{0};
    RfWork rfWork_;
    UdpWork udpWork_;
    SdtApiWork sdtApiWork_;
};
