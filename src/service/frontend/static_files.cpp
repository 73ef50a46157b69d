#include "service/frontend/static_files.hpp"

#include <sys/stat.h>

#include <strings.h>
#include <climits>
#include <cstdlib>

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> realPath(const std::string& path) {
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved)) return std::nullopt;
    return std::string(resolved);
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::optional<std::string> decodeTargetPath(std::string_view target) {
    target = target.substr(0, target.find_first_of("?#"));
    std::string path;
    for (std::size_t i = 0; i < target.size(); ++i) {
        char c = target[i];
        if (c == '%') {
            if (i + 2 >= target.size()) return std::nullopt;
            const int hi = hexValue(target[i + 1]), lo = hexValue(target[i + 2]);
            if (hi < 0 || lo < 0) return std::nullopt;
            c = static_cast<char>(hi << 4 | lo);
            if (c == '/' || c == '\\' || c == '\0') return std::nullopt;
            i += 2;
        } else if (c == '\\') {
            return std::nullopt;
        }
        path.push_back(c);
    }
    if (path.empty() || path[0] != '/') return std::nullopt;
    std::size_t start = 0;
    while (start < path.size()) {
        auto end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (path.compare(start, end - start, "..") == 0) return std::nullopt;
        start = end + 1;
    }
    return path;
}

std::string documentRootFor(const std::string& programDir) {
    const auto isDirectory = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    };
    const std::string own = programDir + "/web";
    const std::string shared = programDir + "/../share/rfdock/web";
    return !isDirectory(own) && isDirectory(shared) ? shared : own;
}

std::optional<std::string> resolveStaticFile(const std::string& root, std::string_view target) {
    const auto path = decodeTargetPath(target);
    if (!path) return std::nullopt;
    const auto realRoot = realPath(root);
    if (!realRoot) return std::nullopt;
    std::string candidate = *realRoot + *path;
    if (isDirectory(candidate)) candidate += candidate.back() == '/' ? "index.html" : "/index.html";
    const auto real = realPath(candidate);
    if (!real || !isRegularFile(*real)) return std::nullopt;
    if (real->compare(0, realRoot->size(), *realRoot) != 0 || (*real)[realRoot->size()] != '/')
        return std::nullopt;
    return real;
}

const char* mimeType(std::string_view path) {
    static const std::pair<const char*, const char*> kTypes[] = {
        {".html", "text/html; charset=utf-8"},
        {".htm", "text/html; charset=utf-8"},
        {".css", "text/css; charset=utf-8"},
        {".js", "text/javascript; charset=utf-8"},
        {".mjs", "text/javascript; charset=utf-8"},
        {".json", "application/json"},
        {".map", "application/json"},
        {".ts", "text/plain; charset=utf-8"},
        {".txt", "text/plain; charset=utf-8"},
        {".md", "text/plain; charset=utf-8"},
        {".svg", "image/svg+xml"},
        {".png", "image/png"},
        {".jpg", "image/jpeg"},
        {".jpeg", "image/jpeg"},
        {".gif", "image/gif"},
        {".ico", "image/x-icon"},
        {".webp", "image/webp"},
        {".wasm", "application/wasm"},
        {".woff", "font/woff"},
        {".woff2", "font/woff2"},
        {".ttf", "font/ttf"},
    };
    const auto dot = path.rfind('.');
    if (dot != std::string_view::npos && path.find('/', dot) == std::string_view::npos) {
        const std::string ext(path.substr(dot));
        for (const auto& [e, type] : kTypes)
            if (strcasecmp(ext.c_str(), e) == 0) return type;
    }
    return "application/octet-stream";
}
