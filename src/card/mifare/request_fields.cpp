#include "card/mifare/request_fields.hpp"

#include <cmath>

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
    if (value->is_number_float()) {
        // 3.0 is a whole number; 2.5, -1.0 and anything beyond 64 bits are not.
        const double d = value->get<double>();
        if (!(d >= 0 && d < 18446744073709551616.0) || std::floor(d) != d) return std::nullopt;
        return static_cast<std::uint64_t>(d);
    }
    return std::nullopt;
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
