#pragma once
// Maps request targets to files of the web area, never to anything outside it.

#include <optional>
#include <string>
#include <string_view>

// Percent-decodes the path of a target (query and fragment dropped); nullopt for a bad escape, an
// encoded slash or backslash, a NUL, or a ".." segment.
std::optional<std::string> decodeTargetPath(std::string_view target);

// The regular file that serves `target` below `root` (index.html for a directory); nullopt when
// there is none or its real path leaves the root (for example through a symlink).
std::optional<std::string> resolveStaticFile(const std::string& root, std::string_view target);

// Content type by file extension.
const char* mimeType(std::string_view path);
