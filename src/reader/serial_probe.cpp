#include "reader/serial_probe.hpp"

#include <cerrno>
#include <cstring>
#include <exception>

#include "reader/device/node_access.hpp"
#include "reader/serial/serial.hpp"
#include "reader/serial/serial_errors.hpp"

namespace Orvane {
namespace {

std::string errnoText(int errorNumber) {
    char text[256] = {};
    // GNU strerror_r may return a static text instead of filling the buffer.
    return ::strerror_r(errorNumber, text, sizeof text);
}

}  // namespace

ProbeReport openFailure(const std::string& path, int errorNumber) {
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

ProbeReport openForProbe(serial::Serial& port) {
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

ProbeReport unanswered(std::size_t bytesBack, const std::string& rates) {
    if (bytesBack == 0) return {ProbeOutcome::noAnswer, "nothing came back at " + rates};
    return {ProbeOutcome::wrongAnswer,
            std::to_string(bytesBack) + " bytes came back at " + rates + ", none a reader's identify reply"};
}

}  // namespace Orvane
