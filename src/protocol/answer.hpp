#pragma once
// The last step of most handlers: the result into the reply, and the reply sent now.

#include <nlohmann/json.hpp>

#include "protocol/handler.hpp"
#include "protocol/result_codes.hpp"

inline int answer(nlohmann::json& reply, Result code = Result::kDone) {
    setResult(reply, code);
    return handler_result::kSendNow;
}
