#pragma once
// Typed parameters of a command request. A parameter that is absent or of another JSON type is
// missing (the request is then malformed); a uint is a JSON integer that is not negative.

#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace request_fields {

std::optional<std::uint64_t> uintField(const nlohmann::json& request, const char* name);
std::optional<bool> boolField(const nlohmann::json& request, const char* name);
const std::string* stringField(const nlohmann::json& request, const char* name);

}  // namespace request_fields
