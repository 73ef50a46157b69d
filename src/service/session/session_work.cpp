#include "service/session/session_work.hpp"

#include <climits>
#include <cmath>

#include "card/sw_text.hpp"
#include "commands/key_provider/provider_wait.hpp"
#include "commands/key_set_commands.hpp"
#include "crypto/secure_equals.hpp"
#include "protocol/log.hpp"
#include "protocol/parse_message.hpp"
#include "protocol/request_fields.hpp"
#include "protocol/result_codes.hpp"
#include "protocol/send_json.hpp"
#include "service/identity/machine_identity.hpp"
#include "service/version.hpp"

using nlohmann::json;
namespace hr = handler_result;

namespace {

// A JSON number as a whole number for logging; fractions are cut, huge values saturate.
long long numberForLog(const json& number) {
    if (number.is_number_unsigned()) {
        const auto v = number.get<unsigned long long>();
        return v > LLONG_MAX ? LLONG_MAX : static_cast<long long>(v);
    }
    if (number.is_number_integer()) return number.get<long long>();
    const double d = number.get<double>();
    if (!(d > LLONG_MIN && d < LLONG_MAX)) return d > 0 ? LLONG_MAX : LLONG_MIN;
    return static_cast<long long>(d);
}

// "code 105 ack \"c3\"" for a log line about a message, as far as it is known.
std::string describeForLog(const std::optional<json>& doc) {
    if (!doc || !doc->is_object()) return "(unparsed)";
    std::string text;
    if (const json* code = field(*doc, "code"); code && code->is_number())
        text = fmt::sprintf("code %d", numberForLog(*code));
    else if (const json* imp = field(*doc, "imp"); imp && imp->is_number())
        text = fmt::sprintf("imp %d", numberForLog(*imp));
    else
        text = "(no code)";
    if (const json* ack = field(*doc, "ack"); ack && ack->is_string())
        text += " ack \"" + cutForLog(ack->get_ref<const std::string&>()) + "\"";
    return text;
}

}  // namespace

SessionWork::SessionWork(ChannelRef channel, IniCfgPtr config, NextLoop nextLoop, std::string peer)
    : channel_(channel),
      config_(std::move(config)),
      peer_(std::move(peer)),
      rfWork_(channel),
      udpWork_(channel, std::move(nextLoop)),
      sdtApiWork_(channel) {}

SessionWork::~SessionWork() = default;

bool SessionWork::dispatch(std::string_view message) {
    Taken taken = take(message);
    const bool keep = taken.keep && (!taken.command || run(*taken.command));
    releaseHeldReply();
    return keep;
}

void SessionWork::releaseHeldReply() {
    heldDelay_ = std::chrono::milliseconds{0};
    if (!heldReply_) return;
    const json reply = std::move(*heldReply_);
    heldReply_.reset();
    send(reply);
}

SessionWork::Taken SessionWork::take(std::string_view message) {
    const ChannelPtr channel = channel_.lock();
    if (!channel || !channel->currentFrameIsText()) return {false, std::nullopt};
    std::optional<json> doc;
    try {
        doc = parseMessage(message);
        if (!doc) return {false, std::nullopt};
        if (const json* imp = doc->is_object() ? field(*doc, "imp") : nullptr; imp && imp->is_number()) {
            if (*imp != 0) {
                logWarn("imp %d not support", numberForLog(*imp));
                return {false, std::nullopt};
            }
            return {ResolveProviderResponse(channel, std::move(*doc)) == 1, std::nullopt};
        }
        return {true, std::move(doc)};
    } catch (const std::exception& e) {
        logError("message %s failed: %s; closing the connection", describeForLog(doc), e.what());
    } catch (...) {
        logError("message %s failed; closing the connection", describeForLog(doc));
    }
    return {false, std::nullopt};
}

bool SessionWork::run(json& command) {
    // Commands that waited while the connection closed are not run: nobody is there for the reply.
    const ChannelPtr channel = channel_.lock();
    if (!channel || !channel->isConnected()) return false;
    // Whatever a handler throws ends this connection only; the thread goes on serving the others.
    try {
        clearFieldProblem();
        if (dispatchCommand(command)) return true;
        // A refused send (the connection went meanwhile) is no fault of the request.
        if (channel->isConnected()) logMalformed(command);
        return false;
    } catch (const std::exception& e) {
        logError("message %s failed: %s; closing the connection", describeForLog(command), e.what());
    } catch (...) {
        logError("message %s failed; closing the connection", describeForLog(command));
    }
    return false;
}

void SessionWork::logMalformed(const json& request) {
    // Names and kinds only: a field's value may be a password or a key.
    const FieldProblem problem = lastFieldProblem();  // a copy: describeForLog reads fields too
    if (!request.is_object())
        logWarn("closing the connection: the message is not a JSON object");
    else if (problem.name.empty())
        logWarn("closing the connection: message %s has a field outside its accepted form",
                describeForLog(request));
    else
        logWarn("closing the connection: message %s: field \"%s\" %s", describeForLog(request), problem.name,
                problem.what);
}

bool SessionWork::dispatchCommand(json& request) {
    if (!request.is_object()) return false;
    if (!stringField(request, "ack")) return false;
    json reply = json::object();
    reply["ack"] = request["ack"];
    const json* codeField = field(request, "code");
    if (codeField && !codeField->is_number_integer()) noteFieldProblem("code", "not a whole number");
    if (!codeField || !codeField->is_number_integer()) return false;
    const long long code = numberForLog(*codeField);

    if (code != 0 && !loggedIn_) {
        setResult(reply, Result::kNotLoggedIn);
        return send(reply);
    }
    switch (code) {
        case 0:
            return login(request, reply);
        case 1:
            reply["ver"] = kVersionNumber;
            reply["version"] = kVersionText;
            reply["build"] = kBuildText;
            setResult(reply, Result::kDone);
            return send(reply);
        case 2:
            return machineIdentity(reply);
        case 400:
            return statusWordText(request, reply);
        case 405:
        case 406:
            if (key_set_commands::work(static_cast<GCODE>(code), request, reply) != hr::kSendNow)
                return false;
            return send(reply);
        case 401:
        case 402:
        case 403:
        case 404:
            if (sdtApiWork_.work(static_cast<GCODE>(code), request, reply) != hr::kSendNow) return false;
            return send(reply);
        default:
            return byRange(code, request, reply);
    }
}

bool SessionWork::login(const json& request, json& reply) {
    const std::string* user = stringField(request, "user");
    const std::string* pass = user ? stringField(request, "pass") : nullptr;
    if (!user || !pass) return false;
    // Both comparisons always run, so the time taken does not tell which one failed.
    const bool userOk = Orvane::secureEquals(*user, config_->get(cfg::user));
    const bool passOk = Orvane::secureEquals(*pass, config_->get(cfg::pass));
    if (userOk && passOk) {
        loggedIn_ = true;
        throttle_.succeeded();
        setResult(reply, Result::kDone);
        return send(reply);
    }
    setResult(reply, Result::kLoginRefused);
    heldDelay_ = throttle_.refused(peer_);
    if (heldDelay_.count() == 0) return send(reply);
    heldReply_ = std::move(reply);
    return true;
}

bool SessionWork::machineIdentity(json& reply) {
    fillMachineIdentity(reply);
    setResult(reply, Result::kDone);
    return send(reply);
}

bool SessionWork::statusWordText(const json& request, json& reply) {
    const auto sw = uintField(request, "sw");
    if (!sw) return false;
    reply["retval"] = swText(static_cast<std::uint16_t>(*sw & 0xFFFF));
    setResult(reply, Result::kDone);
    return send(reply);
}

bool SessionWork::byRange(long long code, const json& request, json& reply) {
    // Each family owns [base, base + 98]; codes ending in 99 belong to none.
    const long long base = code - code % 100;
    const bool inFamily = code >= 100 && code <= 1198 && code - base <= 98;
    const auto gcode = static_cast<GCODE>(code);
    int result;
    switch (inFamily ? base : -1) {
        case 100:
            result = rfWork_.workRfReader(gcode, request, reply);
            break;
        case 200:
            result = rfWork_.workMifareClassic(gcode, request, reply);
            break;
        case 300:
            result = rfWork_.workCpuCosTypeA(gcode, request, reply);
            break;
        case 500:
            result = rfWork_.workIso15693(gcode, request, reply);
            break;
        case 600:
            result = rfWork_.workIcodeSli(gcode, request, reply);
            break;
        case 700:
            result = udpWork_.work(gcode, request, reply);
            break;
        case 800:
            result = rfWork_.workCos7816(gcode, request, reply);
            break;
        case 900:
            result = rfWork_.workCosFm2(gcode, request, reply);
            break;
        case 1000:
            result = rfWork_.workCosPboc2(gcode, request, reply);
            break;
        case 1100:
            result = rfWork_.workPageTagTypeA(gcode, request, reply);
            break;
        default:
            logWarn("gcode %d fail", code);
            setResult(reply, Result::kUnknownCode);
            return send(reply);
    }
    if (result == hr::kSendNow) return send(reply);
    return result == hr::kNothingNow || result == hr::kLater;
}

bool SessionWork::send(const json& reply) {
    return sendJson(channel_, reply);
}
