#pragma once
// Typed parameters of a command request, read the one way every handler reads them:
//   uint   a JSON integer that is not negative (a negative or fractional number counts as missing)
//   int    a JSON integer, signed or not
//   bool   JSON true or false
//   string a JSON string
// Each getter gives nullopt (or null) when the field is missing or of another type.

#include <climits>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

// The field itself; null when it is missing or the request is not an object.
const nlohmann::json* field(const nlohmann::json& request, const char* name);
std::optional<std::uint64_t> uintField(const nlohmann::json& request, const char* name);
// Unsigned values above the signed range keep their low 64 bits.
std::optional<std::int64_t> intField(const nlohmann::json& request, const char* name);
std::optional<bool> boolField(const nlohmann::json& request, const char* name);
const std::string* stringField(const nlohmann::json& request, const char* name);

// Why the last getter of this thread came up empty: the field's name and "missing" or "not a ..."
// (empty when the last getter found its field). When a handler refuses a request as malformed, this
// names the field it stumbled on, for the log line that says why the connection was closed. A field
// checked by hand after field() records only "missing"; noteFieldProblem records the rest.
struct FieldProblem {
    std::string name;
    std::string what;
};
const FieldProblem& lastFieldProblem();
void noteFieldProblem(const char* name, const char* what);
void clearFieldProblem();

// A parameter used as a byte: only its low 8 bits count.
inline std::uint8_t lowByte(std::uint64_t value) {
    return static_cast<std::uint8_t>(value & 0xFF);
}
inline std::uint8_t lowByte(std::int64_t value) {
    return lowByte(static_cast<std::uint64_t>(value));
}
// A parameter checked whole against a bound: saturated to 32 bits, so a value past its field stays
// larger than any bound instead of wrapping onto a valid one.
inline std::uint32_t wholeValue(std::uint64_t value) {
    return value > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(value);
}
// A parameter stored as an int (a count or a time): saturated to the int range.
inline int clampToInt(std::int64_t value) {
    return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
}
inline int clampToInt(std::uint64_t value) {
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}
