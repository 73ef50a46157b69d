#pragma once
// The lines of a device trace file, parsed (a line that is no JSON comes back discarded).

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

inline std::vector<nlohmann::json> readTraceLines(const std::string& path) {
    std::vector<nlohmann::json> lines;
    std::ifstream file(path);
    for (std::string text; std::getline(file, text);)
        lines.push_back(nlohmann::json::parse(text, nullptr, false));
    return lines;
}

// The same without the time each line carries, to compare with expected lines.
inline std::vector<nlohmann::json> readTraceLinesUntimed(const std::string& path) {
    std::vector<nlohmann::json> lines = readTraceLines(path);
    for (nlohmann::json& line : lines)
        line.erase("time");
    return lines;
}
