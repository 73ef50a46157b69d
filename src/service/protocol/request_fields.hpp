#pragma once
// Typed access to the fields of a request. A field that is missing or of another JSON type gives
// nullptr / nullopt, which handlers answer by rejecting the request (handler_result::kMalformed).

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

inline const nlohmann::json* field(const nlohmann::json& object, const char* name) {
    const auto it = object.find(name);
    return it == object.end() ? nullptr : &*it;
}

// A whole number of zero or more (JSON keeps non-negative integers as unsigned).
inline std::optional<std::uint64_t> unsignedField(const nlohmann::json& object, const char* name) {
    const nlohmann::json* value = field(object, name);
    if (!value || !value->is_number_unsigned()) return std::nullopt;
    return value->get<std::uint64_t>();
}

inline std::optional<bool> boolField(const nlohmann::json& object, const char* name) {
    const nlohmann::json* value = field(object, name);
    if (!value || !value->is_boolean()) return std::nullopt;
    return value->get<bool>();
}

inline const std::string* stringField(const nlohmann::json& object, const char* name) {
    const nlohmann::json* value = field(object, name);
    return value && value->is_string() ? &value->get_ref<const std::string&>() : nullptr;
}
