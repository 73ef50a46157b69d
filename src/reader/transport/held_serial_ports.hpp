#pragma once
// Serial ports that a connected reader of this process works on. A search for another reader skips
// them: opening one would set its line to another rate and put foreign frames on it, and the reader
// there would no longer hear its own entry until it was opened again.
//
// Ports are compared by their canonical path, so a link and its target are the same port. Owners
// are only compared, never used. Thread-safe.

#include <string>

namespace Orvane::held_serial_ports {

void hold(const std::string& path, const void* owner);
// Everything `owner` holds.
void release(const void* owner);
bool heldByOther(const std::string& path, const void* owner);

}  // namespace Orvane::held_serial_ports
