#include "service/config/ini_parser.hpp"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

std::string trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

bool isCommentStart(char c) {
    return c == '#' || c == ';';
}

// An inline comment starts at '#' or ';' preceded by a blank, so values such as "a#b" stay whole.
std::size_t inlineCommentStart(const std::string& value) {
    for (std::size_t i = 1; i < value.size(); ++i)
        if (isCommentStart(value[i]) && (value[i - 1] == ' ' || value[i - 1] == '\t')) return i;
    return std::string::npos;
}

}  // namespace

IniParser::Line IniParser::parseLine(const std::string& text, const std::string& section) {
    Line line{text, section, {}, {}, {}, false, false};
    const std::string t = trim(text);
    if (t.empty() || isCommentStart(t[0])) return line;
    if (t.front() == '[' && t.back() == ']') {
        line.isHeader = true;
        line.section = trim(t.substr(1, t.size() - 2));
        return line;
    }
    const auto eq = t.find('=');
    if (eq == std::string::npos || eq == 0) return line;  // kept as an opaque line
    line.key = trim(t.substr(0, eq));
    std::string rest = t.substr(eq + 1);
    const auto c = inlineCommentStart(rest);
    if (c != std::string::npos) {
        std::size_t blanks = c;
        while (blanks > 0 && (rest[blanks - 1] == ' ' || rest[blanks - 1] == '\t'))
            --blanks;
        line.comment = rest.substr(blanks);
        rest.resize(blanks);
    }
    line.value = trim(rest);
    return line;
}

void IniParser::LoadFromText(const std::string& text) {
    lines_.clear();
    std::istringstream in(text);
    std::string raw, section;
    while (std::getline(in, raw)) {
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        Line line = parseLine(raw, section);
        line.loaded = true;
        section = line.section;
        lines_.push_back(std::move(line));
    }
}

bool IniParser::LoadFromFile(const std::string& path) {
    path_ = path;
    lines_.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream content;
    content << in.rdbuf();
    LoadFromText(content.str());
    return true;
}

std::string IniParser::Dump() const {
    std::string out;
    for (const auto& line : lines_)
        out += line.text + "\n";
    return out;
}

bool IniParser::Save() const {
    return !path_.empty() && SaveAs(path_);
}

bool IniParser::SaveAs(const std::string& path) const {
    const std::string tmp = path + ".tmp";
    {
        // Owner only from the start: the file holds the login password.
        const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0) return false;
        const bool privateMode = ::fchmod(fd, 0600) == 0;
        ::close(fd);
        if (!privateMode) {
            std::remove(tmp.c_str());
            return false;
        }
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << Dump();
        out.flush();
        if (!out) {
            std::remove(tmp.c_str());
            return false;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

std::optional<std::string> IniParser::find(const std::string& key, const std::string& section) const {
    for (const auto& line : lines_)
        if (!line.isHeader && line.section == section && line.key == key) return line.value;
    return std::nullopt;
}

std::string IniParser::GetValue(const std::string& key, const std::string& section) const {
    return find(key, section).value_or("");
}

template <>
int IniParser::Get<int>(const std::string& key, const std::string& section, int defaultValue) const {
    const auto text = find(key, section);
    if (!text || text->empty()) return defaultValue;
    int value = 0;
    const char* end = text->data() + text->size();
    const auto [ptr, ec] = std::from_chars(text->data() + (text->front() == '+'), end, value);
    return (ec == std::errc() && ptr == end) ? value : defaultValue;
}

template <>
bool IniParser::Get<bool>(const std::string& key, const std::string& section, bool defaultValue) const {
    const auto text = find(key, section);
    if (!text) return defaultValue;
    for (const char* yes : {"1", "true", "on", "yes", "enable"})
        if (strcasecmp(text->c_str(), yes) == 0) return true;
    for (const char* no : {"0", "false", "off", "no", "disable"})
        if (strcasecmp(text->c_str(), no) == 0) return false;
    return defaultValue;
}

void IniParser::SetValue(const std::string& key, const std::string& value, const std::string& section) {
    for (auto& line : lines_) {
        if (line.isHeader || line.section != section || line.key != key) continue;
        if (line.value == value) return;  // keep the line exactly as the user wrote it
        line.value = value;
        line.text = key + " = " + value + line.comment;
        return;
    }
    Line added{key + " = " + value, section, key, value, {}, false, false};
    // After the last key of the section, so trailing comments and blank lines stay where they were.
    auto last = lines_.end();
    for (auto it = lines_.begin(); it != lines_.end(); ++it)
        if (it->section == section && (it->isHeader || !it->key.empty())) last = it;
    if (last != lines_.end()) {
        lines_.insert(last + 1, std::move(added));
        return;
    }
    if (!section.empty()) {
        if (!lines_.empty() && !trim(lines_.back().text).empty())
            lines_.push_back(Line{"", lines_.back().section, {}, {}, {}, false, false});
        lines_.push_back(Line{"[" + section + "]", section, {}, {}, {}, true, false});
    } else if (!lines_.empty()) {
        lines_.insert(lines_.begin(), std::move(added));  // keys before the first section header
        return;
    }
    lines_.push_back(std::move(added));
}

bool IniParser::WasLoaded(const std::string& key, const std::string& section) const {
    for (const auto& line : lines_)
        if (line.loaded && !line.isHeader && line.section == section && line.key == key) return true;
    return false;
}

void IniParser::Remove(const std::string& key, const std::string& section) {
    std::erase_if(lines_, [&](const Line& l) { return !l.isHeader && l.section == section && l.key == key; });
}

template <>
void IniParser::Set<int>(const std::string& key, const int& value, const std::string& section) {
    SetValue(key, std::to_string(value), section);
}

template <>
void IniParser::Set<bool>(const std::string& key, const bool& value, const std::string& section) {
    SetValue(key, value ? "true" : "false", section);
}
