#include "reader/serial_probe.hpp"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <vector>

#include "reader/serial/serial.hpp"
#include "reader/serial/serial_errors.hpp"

namespace Orvane {
namespace {

std::string errnoText(int errorNumber) {
    char text[256] = {};
    // GNU strerror_r may return a static text instead of filling the buffer.
    return ::strerror_r(errorNumber, text, sizeof text);
}

// The name of the group owning `path` ("dialout" for most serial adapters), empty when unknown.
std::string owningGroup(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    std::vector<char> buffer(4096);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return std::to_string(st.st_gid);
    return found->gr_name;
}

}  // namespace

PortProbe openFailure(const std::string& path, int errorNumber) {
    switch (errorNumber) {
        case EACCES:
        case EPERM: {
            const std::string group = owningGroup(path);
            return {ProbeOutcome::permissionDenied,
                    path + (group.empty() ? " is not open to this user" : " belongs to group " + group) +
                        ": add the user to that group or install the udev rules"};
        }
        case EBUSY:
            return {ProbeOutcome::busy, "held exclusively by another program"};
        default:
            // ENOENT, and a device gone or never fitted behind its node (ENXIO, ENODEV, EIO).
            return {ProbeOutcome::notPresent, errnoText(errorNumber)};
    }
}

PortProbe openForProbe(serial::Serial& port) {
    try {
        port.open();
        return {};
    } catch (const serial::IOException& e) {
        if (e.errorNumber() != 0) return openFailure(port.getPort(), e.errorNumber());
        return {ProbeOutcome::notPresent, e.what()};
    } catch (const std::exception& e) {
        return {ProbeOutcome::notPresent, e.what()};
    } catch (...) {
        return {ProbeOutcome::notPresent, "the port did not open"};
    }
}

PortProbe unanswered(std::size_t bytesBack, const std::string& rates) {
    if (bytesBack == 0) return {ProbeOutcome::noAnswer, "nothing came back at " + rates};
    return {ProbeOutcome::wrongAnswer,
            std::to_string(bytesBack) + " bytes came back at " + rates + ", none a reader's identify reply"};
}

}  // namespace Orvane
