#pragma once
// Whether this process may use a device file, and what to tell a user when it may not. Opening a
// reader needs its device file readable and writable; udev rules or a group give that.

#include <string>

namespace Orvane {

inline constexpr const char* kPermissionHint =
    "install the udev rules or add the user to the group owning it";

// This process may read and write `path` (access(2) with R_OK | W_OK).
bool mayReadWrite(const std::string& path);
// The name of the group owning `path`; empty when there is no such file or the group has no name.
std::string owningGroup(const std::string& path);
// "<path> (group <g>) is not readable and writable by this process: <hint>", for the open log.
std::string permissionDetail(const std::string& path);

}  // namespace Orvane
