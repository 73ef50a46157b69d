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

// The web area of a program in `programDir`: its own web folder (a build, or a program installed
// with its files beside it), else the shared one of an installed program
// (<prefix>/bin/rfdock serving <prefix>/share/rfdock/web); the first when neither exists.
std::string documentRootFor(const std::string& programDir);

// Content type by file extension.
const char* mimeType(std::string_view path);
