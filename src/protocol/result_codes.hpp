#pragma once
// Result codes of the session protocol and their message texts. Clients show these texts to users,
// so they are sent exactly as written here.

#include <nlohmann/json.hpp>

// Text of a result code; codes without a text of their own get "未定义错误".
const char* resultText(unsigned code);

// Writes `err` and `msg` of a reply together.
void setResult(nlohmann::json& reply, unsigned code);
