#include "protocol/request_fields.hpp"

namespace {

const nlohmann::json* find(const nlohmann::json& request, const char* name) {
    if (!request.is_object()) return nullptr;
    const auto it = request.find(name);
    return it == request.end() ? nullptr : &*it;
}

}  // namespace

const nlohmann::json* field(const nlohmann::json& request, const char* name) {
    return find(request, name);
}

std::optional<std::uint64_t> uintField(const nlohmann::json& request, const char* name) {
    const nlohmann::json* field = find(request, name);
    if (!field) return std::nullopt;
    // Parsed text gives non-negative integers the unsigned type; values built in code may be signed.
    if (field->is_number_unsigned()) return field->get<std::uint64_t>();
    if (field->is_number_integer() && field->get<std::int64_t>() >= 0)
        return static_cast<std::uint64_t>(field->get<std::int64_t>());
    return std::nullopt;
}

std::optional<std::int64_t> intField(const nlohmann::json& request, const char* name) {
    const nlohmann::json* field = find(request, name);
    if (!field || !field->is_number_integer()) return std::nullopt;
    if (field->is_number_unsigned()) return static_cast<std::int64_t>(field->get<std::uint64_t>());
    return field->get<std::int64_t>();
}

std::optional<bool> boolField(const nlohmann::json& request, const char* name) {
    const nlohmann::json* field = find(request, name);
    if (!field || !field->is_boolean()) return std::nullopt;
    return field->get<bool>();
}

const std::string* stringField(const nlohmann::json& request, const char* name) {
    const nlohmann::json* field = find(request, name);
    if (!field || !field->is_string()) return nullptr;
    return &field->get_ref<const std::string&>();
}
