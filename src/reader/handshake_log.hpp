#pragma once
// The open log's line for a HID or USB reader's handshake: a device that opens and does not
// answer, or answers something else, is another problem than one that is not there.

class RfReader;

namespace Orvane {

// Logs what the identify command of `reader`'s family came back with (`identified`: 0 a reader
// answered, else the exchange's result), when the reader's HID or USB device is open. The serial
// types' port searches log their own probes.
void logHandshake(const RfReader& reader, int identified);

}  // namespace Orvane
