#pragma once
// The exceptions of the serial-port layer. They never leave the reader transports: every call into
// the layer is wrapped there.

#include <source_location>
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
    explicit IOException(const std::string& description,
                         std::source_location where = std::source_location::current());
    explicit IOException(int errorNumber, std::source_location where = std::source_location::current());

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
