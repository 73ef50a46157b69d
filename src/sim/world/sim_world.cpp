#include "sim/world/sim_world.hpp"

#include "sim/bus/usb_readers.hpp"
#include "sim/field/type_a_commands.hpp"
#include "sim/firmware/silent_firmware.hpp"
#include "sim/firmware/va_firmware.hpp"
#include "sim/firmware/vc_firmware.hpp"
#include "sim/firmware/vd_firmware.hpp"
#include "sim/script/scripted_device.hpp"

namespace rfsim {

std::unique_ptr<Firmware> SimWorld::defaultFirmware(int type) {
    switch (type) {
        case reader_type::kVdHid:
            return std::make_unique<VdFirmware>(VdFirmware::Options{kVdVersionText});
        case reader_type::kVbSerial:
        case reader_type::kVbCh340:
            return std::make_unique<VaFirmware>(VaFirmware::Options{kVaProductText, 9600});
        case reader_type::kVcCh9326:
            return std::make_unique<VcFirmware>();
        case reader_type::kVaHid:
            return std::make_unique<VaFirmware>(VaFirmware::Options{kVaProductText, 0});
        case reader_type::kVcSerial:
            return std::make_unique<VcFirmware>(VcFirmware::Options{{0x02, 0x10}, 115200});
        default:
            return nullptr;
    }
}

std::unique_ptr<SimWorld::Reader> SimWorld::newReader(int type, std::unique_ptr<Firmware> firmware,
                                                      std::string name) {
    auto entry = std::make_unique<Reader>();
    entry->id = static_cast<int>(readers_.size());
    entry->type = type;
    entry->name = name.empty() ? readerTypeName(type) : std::move(name);
    entry->reader = std::make_shared<VirtualReader>(std::move(firmware));
    entry->field = std::make_shared<VirtualField>();
    return entry;
}

SimWorld::Reader* SimWorld::add(int type, std::unique_ptr<Firmware> firmware, std::string hardwareId,
                                std::string name) {
    if (type < reader_type::kVdHid || type > reader_type::kVbCh340) return nullptr;
    auto entry = newReader(type, firmware ? std::move(firmware) : defaultFirmware(type), std::move(name));
    attachField(*entry->reader, entry->field);
    if (entry->type == reader_type::kVdHid) {
        entry->device = bus_->attach(std::make_shared<VdHidDevice>(entry->reader));
    } else if (entry->type == reader_type::kVcCh9326) {
        entry->device = bus_->attach(std::make_shared<Ch9326Device>(entry->reader));
    } else if (entry->type == reader_type::kVaHid) {
        entry->device = bus_->attach(std::make_shared<VaHidDevice>(entry->reader));
    } else if (entry->type == reader_type::kVbCh340) {
        entry->device = bus_->attach(std::make_shared<Ch340Device>(entry->reader));
    } else if (!connect(*entry, std::move(hardwareId))) {
        return nullptr;
    }
    readers_.push_back(std::move(entry));
    return readers_.back().get();
}

SimWorld::Reader* SimWorld::addScripted(int type, std::shared_ptr<ReaderScript> script, std::string name) {
    if (type < reader_type::kVdHid || type > reader_type::kVbCh340 || !script) return nullptr;
    auto entry = newReader(type, std::make_unique<SilentFirmware>(), std::move(name));
    entry->script = script;
    if (const std::optional<UsbIds> ids = usbIdsOfType(type)) {
        entry->device = bus_->attach(std::make_shared<ScriptedDevice>(type, *ids, entry->reader, script));
    } else if (!connect(*entry, {}, [script](std::span<const std::uint8_t> bytes, std::uint32_t baud) {
                   return script->heard(bytes, baud);
               })) {
        return nullptr;
    }
    readers_.push_back(std::move(entry));
    return readers_.back().get();
}

bool SimWorld::connect(Reader& entry, std::string hardwareId, LineResponder respond) {
    entry.host = std::make_unique<PtyReaderHost>(entry.reader, std::move(respond));
    if (!entry.host->ok()) return false;
    if (hardwareId.empty())
        hardwareId = entry.type == reader_type::kVbSerial ? kCh340HardwareId : kOtherHardwareId;
    bus_->addSerialPort({entry.host->portPath(), entry.name, hardwareId}, entry.reader);
    return true;
}

void SimWorld::Reader::unplug() {
    if (host) {
        host->unplug();
    } else {
        reader->unplug();
    }
}

bool SimWorld::Reader::plug() {
    if (host) return host->plug();
    reader->plug();
    return true;
}

SimWorld::Reader* SimWorld::find(int id) const {
    if (id < 0 || id >= static_cast<int>(readers_.size())) return nullptr;
    return readers_[static_cast<std::size_t>(id)].get();
}

SimWorld::Reader* SimWorld::firstOfType(int type) const {
    for (const auto& reader : readers_)
        if (reader->type == type) return reader.get();
    return nullptr;
}

std::string placementError(Placement placement) {
    switch (placement) {
        case Placement::placed:
            return {};
        case Placement::noCard:
            return "no card to place";
        case Placement::uidTaken:
            return "a card with this uid is on the reader already";
        case Placement::full:
            return "the reader holds " + std::to_string(VirtualField::kMaxCards) +
                   " cards already; take one off first";
    }
    return "the card could not be placed";
}

const char* readerTypeName(int type) {
    static constexpr const char* kNames[] = {"?",      "VD HID",    "VB serial", "VC CH9326",
                                             "VA HID", "VC serial", "VB CH340"};
    return type >= 1 && type <= 6 ? kNames[type] : kNames[0];
}

}  // namespace rfsim
