#include "protocol/request_fields.hpp"

namespace {

thread_local FieldProblem problem;

const nlohmann::json* find(const nlohmann::json& request, const char* name) {
    const nlohmann::json* found = nullptr;
    if (request.is_object()) {
        const auto it = request.find(name);
        if (it != request.end()) found = &*it;
    }
    if (found)
        clearFieldProblem();
    else
        noteFieldProblem(name, "missing");
    return found;
}

// The field when it has the wanted type; else null, noted as not being one.
template <typename Check>
const nlohmann::json* typed(const nlohmann::json& request, const char* name, Check check, const char* what) {
    const nlohmann::json* found = find(request, name);
    if (!found) return nullptr;
    if (check(*found)) return found;
    noteFieldProblem(name, what);
    return nullptr;
}

}  // namespace

const FieldProblem& lastFieldProblem() {
    return problem;
}

void noteFieldProblem(const char* name, const char* what) {
    problem.name = name;
    problem.what = what;
}

void clearFieldProblem() {
    problem.name.clear();
    problem.what.clear();
}

const nlohmann::json* field(const nlohmann::json& request, const char* name) {
    return find(request, name);
}

std::optional<std::uint64_t> uintField(const nlohmann::json& request, const char* name) {
    // Parsed text gives non-negative integers the unsigned type; values built in code may be signed.
    const nlohmann::json* field = typed(
        request, name,
        [](const nlohmann::json& f) {
            return f.is_number_unsigned() || (f.is_number_integer() && f.get<std::int64_t>() >= 0);
        },
        "not a whole number of 0 or more");
    if (!field) return std::nullopt;
    if (field->is_number_unsigned()) return field->get<std::uint64_t>();
    return static_cast<std::uint64_t>(field->get<std::int64_t>());
}

std::optional<std::int64_t> intField(const nlohmann::json& request, const char* name) {
    const nlohmann::json* field = typed(
        request, name, [](const nlohmann::json& f) { return f.is_number_integer(); }, "not a whole number");
    if (!field) return std::nullopt;
    if (field->is_number_unsigned()) return static_cast<std::int64_t>(field->get<std::uint64_t>());
    return field->get<std::int64_t>();
}

std::optional<bool> boolField(const nlohmann::json& request, const char* name) {
    const nlohmann::json* field = typed(
        request, name, [](const nlohmann::json& f) { return f.is_boolean(); }, "not true or false");
    if (!field) return std::nullopt;
    return field->get<bool>();
}

const std::string* stringField(const nlohmann::json& request, const char* name) {
    const nlohmann::json* field = typed(
        request, name, [](const nlohmann::json& f) { return f.is_string(); }, "not a string");
    if (!field) return nullptr;
    return &field->get_ref<const std::string&>();
}
