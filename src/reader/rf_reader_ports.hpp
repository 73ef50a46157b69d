#pragma once
// Finding the port of a serial reader: the port named by the client, else the port a search found
// before, else every listed port that a device backs and the family's filter admits. A named or
// remembered port is the only one tried: a reader known to sit there is not replaced by whatever
// else the machine offers. Every port tried leaves a probe line in the log saying what it found.

#include <cstdint>
#include <string>

namespace Orvane {

class DeviceBus;
class VBReaderSerial;
class VCReaderSerial;

// Each connects the transport's port on success (left open, or parked when !keepOpen) and returns
// whether a reader answered. No serial-layer exception leaves them.
bool connectVbSerialPort(VBReaderSerial& reader, DeviceBus& bus, const std::string& portName, bool keepOpen);
bool connectVcSerialPort(VCReaderSerial& reader, DeviceBus& bus, const std::string& portName, bool keepOpen);

// The port the last successful search of a family (reader type 2 or 5) found; empty when none.
std::string lastGoodSerialPort(std::uint8_t kind);
void forgetLastGoodSerialPorts();

}  // namespace Orvane
