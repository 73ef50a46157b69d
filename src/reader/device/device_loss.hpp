#pragma once
// "The device went away" kept apart from "the reply was wrong": a handle notes when its last
// operation failed the way an unplugged device fails (HID errors, libusb's no-device code, serial
// EIO/ENXIO/ENODEV or a hang-up), and forgets it on the next operation that works. A reader whose
// device is lost fails every exchange at once; the card finder backs off instead of spinning, and
// opening the reader again (after it is plugged back) finds the new device.

namespace Orvane {

class DeviceLoss {
  public:
    bool deviceLost() const { return lost_; }

  protected:
    void noteResult(bool deviceFailed) { lost_ = deviceFailed; }
    void forgetLoss() { lost_ = false; }

  private:
    bool lost_ = false;
};

}  // namespace Orvane
