#pragma once
// The service's version, as the command line, /status and command 1 report it.

inline constexpr int kVersionNumber = 208;
inline constexpr const char* kVersionText = "rfdock Ver:2.0.8";
inline constexpr const char* kBuildText = "Release-armv7-a-Linux-Clang";
