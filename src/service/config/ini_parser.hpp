#pragma once
// A line-preserving INI file: comments, blank lines, key order and unknown keys survive a load and
// save unchanged; only values that were set are rewritten, and new keys join the end of their section.

#include <optional>
#include <string>
#include <vector>

class IniParser {
  public:
    // A missing or unreadable file gives an empty configuration; false tells which it was.
    bool LoadFromFile(const std::string& path);
    void LoadFromText(const std::string& text);
    // Writes to the file it was loaded from, through a temporary file and a rename, so a crash
    // mid-write never leaves half a configuration.
    bool Save() const;
    bool SaveAs(const std::string& path) const;
    std::string Dump() const;

    // Empty when missing.
    std::string GetValue(const std::string& key, const std::string& section = "") const;
    // Unparsable or missing values give the default.
    template <typename T>
    T Get(const std::string& key, const std::string& section, T defaultValue) const;

    void SetValue(const std::string& key, const std::string& value, const std::string& section = "");
    template <typename T>
    void Set(const std::string& key, const T& value, const std::string& section = "");

    // Whether the key stood in the loaded file (rather than being set since).
    bool WasLoaded(const std::string& key, const std::string& section) const;
    // Drops a key's line.
    void Remove(const std::string& key, const std::string& section);

    const std::string& filePath() const { return path_; }

  private:
    struct Line {
        std::string text;     // as read; regenerated for values that were set
        std::string section;  // the section the line belongs to
        std::string key;      // empty for headers, comments and blank lines
        std::string value;
        std::string comment;  // inline comment kept behind a value, with its leading blanks
        bool isHeader = false;
        bool loaded = false;  // read from the file
    };

    std::optional<std::string> find(const std::string& key, const std::string& section) const;
    static Line parseLine(const std::string& text, const std::string& section);

    std::string path_;
    std::vector<Line> lines_;
};

template <>
int IniParser::Get<int>(const std::string& key, const std::string& section, int defaultValue) const;
template <>
bool IniParser::Get<bool>(const std::string& key, const std::string& section, bool defaultValue) const;
template <>
void IniParser::Set<int>(const std::string& key, const int& value, const std::string& section);
template <>
void IniParser::Set<bool>(const std::string& key, const bool& value, const std::string& section);
