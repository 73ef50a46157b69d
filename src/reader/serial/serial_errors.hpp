#pragma once
// The exceptions of the serial-port layer. They never leave the reader transports: every call into
// the layer is wrapped there.

#include <stdexcept>
#include <string>

namespace serial {

// "SerialException <description> failed."
class SerialException : public std::runtime_error {
  public:
    explicit SerialException(const std::string& description);
};

// "IO Exception: <description>, file <file>, line <line>." or, with an errno,
// "IO Exception (<errno>): <system text>, file <file>, line <line>."
class IOException : public std::runtime_error {
  public:
    // The throw site's file and line come in as default arguments (std::source_location is not
    // available to every compiler the project builds with).
    explicit IOException(const std::string& description, const char* file = __builtin_FILE(),
                         int line = __builtin_LINE());
    explicit IOException(int errorNumber, const char* file = __builtin_FILE(), int line = __builtin_LINE());

    int errorNumber() const { return errorNumber_; }

  private:
    int errorNumber_ = 0;
};

// "PortNotOpenedException <operation> failed."
class PortNotOpenedException : public std::runtime_error {
  public:
    explicit PortNotOpenedException(const std::string& operation);
};

}  // namespace serial
