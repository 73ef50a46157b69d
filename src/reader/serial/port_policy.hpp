#pragma once
// Which device paths a client may have the service open as a reader's serial port. A port named
// by a web page is opened, set raw at the reader's rate and written reader frames: that must never
// reach a user's shell, a console or a file.

#include <optional>
#include <string>

namespace serial {

// Why the service will not use `path` as a reader port, or nullopt when it may: the path must be a
// terminal character device that is no session's controlling terminal (a shell's pty is one; a pty
// held by a program without a session, as a reader emulator holds it, is not), and not a virtual
// console, /dev/tty, /dev/console or /dev/ptmx, nor a terminal the kernel writes its console
// messages to (console=ttyS0).
std::optional<std::string> portRefusal(const std::string& path);
// The same; `reachError` is the errno when the refusal is that `path` could not be reached or
// opened (a missing node, a device this user may not open, one held exclusively), else 0.
std::optional<std::string> portRefusal(const std::string& path, int& reachError);

// `path` is a virtual console (tty0 to tty63), which the port list's /dev/tty?* includes.
bool isVirtualConsole(const std::string& path);

}  // namespace serial
