#include "card/mifare/request_fields.hpp"

namespace request_fields {

namespace {
const nlohmann::json* find(const nlohmann::json& request, const char* name) {
    if (!request.is_object()) return nullptr;
    const auto it = request.find(name);
    return it == request.end() ? nullptr : &*it;
}
}  // namespace

std::optional<std::uint64_t> uintField(const nlohmann::json& request, const char* name) {
    const nlohmann::json* value = find(request, name);
    if (value == nullptr) return std::nullopt;
    if (value->is_number_unsigned()) return value->get<std::uint64_t>();
    if (value->is_number_integer()) {
        const auto v = value->get<std::int64_t>();
        if (v < 0) return std::nullopt;
        return static_cast<std::uint64_t>(v);
    }
    return std::nullopt;  // numbers written with a fraction or exponent are not integers
}

std::optional<bool> boolField(const nlohmann::json& request, const char* name) {
    const nlohmann::json* value = find(request, name);
    if (value == nullptr || !value->is_boolean()) return std::nullopt;
    return value->get<bool>();
}

const std::string* stringField(const nlohmann::json& request, const char* name) {
    const nlohmann::json* value = find(request, name);
    if (value == nullptr || !value->is_string()) return nullptr;
    return value->get_ptr<const std::string*>();
}

}  // namespace request_fields
