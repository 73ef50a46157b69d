#include "protocol/parse_message.hpp"

namespace {

// Bracket depth outside strings; the parser checks everything else.
bool depthWithin(std::string_view text, int limit) {
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"')
            inString = true;
        else if (c == '[' || c == '{') {
            if (++depth > limit) return false;
        } else if (c == ']' || c == '}')
            --depth;
    }
    return true;
}

}  // namespace

std::optional<nlohmann::json> parseMessage(std::string_view text) {
    if (!depthWithin(text, kMaxJsonDepth)) return std::nullopt;
    auto doc = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (doc.is_discarded()) return std::nullopt;
    return doc;
}
