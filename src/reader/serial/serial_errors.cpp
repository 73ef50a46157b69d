#include "reader/serial/serial_errors.hpp"

#include <cstring>
#include <string_view>

namespace serial {
namespace {

// The messages name the source file without the build machine's folders.
std::string_view fileName(const char* file) {
    std::string_view path = file ? file : "";
    const auto slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string location(const char* file, int line) {
    return ", file " + std::string(fileName(file)) + ", line " + std::to_string(line) + ".";
}

std::string errnoText(int errorNumber) {
    char text[256] = {};
    // GNU strerror_r may return a static text instead of filling the buffer.
    return ::strerror_r(errorNumber, text, sizeof text);
}

}  // namespace

SerialException::SerialException(const std::string& description)
    : std::runtime_error("SerialException " + description + " failed.") {}

IOException::IOException(const std::string& description, const char* file, int line)
    : std::runtime_error("IO Exception: " + description + location(file, line)) {}

IOException::IOException(int errorNumber, const char* file, int line)
    : std::runtime_error("IO Exception (" + std::to_string(errorNumber) + "): " + errnoText(errorNumber) +
                         location(file, line)),
      errorNumber_(errorNumber) {}

PortNotOpenedException::PortNotOpenedException(const std::string& operation)
    : std::runtime_error("PortNotOpenedException " + operation + " failed.") {}

}  // namespace serial
