#pragma once
// Parses one client message. Nesting deeper than kMaxJsonDepth is refused before parsing: the
// document's copies and rendering recurse, so a deep one could exhaust the stack later.

#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>

inline constexpr int kMaxJsonDepth = 64;

// nullopt for text that is not JSON or nests too deep.
std::optional<nlohmann::json> parseMessage(std::string_view text);
