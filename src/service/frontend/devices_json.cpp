#include "service/frontend/devices_json.hpp"

#include "reader/bus/system_device_bus.hpp"
#include "reader/device/node_access.hpp"

using nlohmann::json;

namespace {

void addAccess(json& entry, bool openable, const std::string& group) {
    entry["canOpen"] = openable;
    entry["group"] = group;
    if (!openable) entry["hint"] = Orvane::kPermissionHint;
}

json usbDeviceJson(const Orvane::SurveyedUsbDevice& surveyed) {
    json entry = {
        {"type", surveyed.readerType},
        {"link", surveyed.link == Orvane::UsbLink::hid ? "HID" : "USB"},
        {"ids", Orvane::usbIdText(surveyed.device.vendorId, surveyed.device.productId)},
        {"node", surveyed.device.node},
    };
    addAccess(entry, surveyed.device.openable, surveyed.group);
    return entry;
}

json portJson(const Orvane::SurveyedPort& surveyed) {
    json entry = {
        {"type", surveyed.readerType},
        {"port", surveyed.info.port},
        {"description", surveyed.info.description},
        {"hardwareId", surveyed.info.hardwareId},
    };
    addAccess(entry, surveyed.openable, surveyed.group);
    return entry;
}

json pcscJson(const Orvane::PcscSurvey& survey) {
    json readers = json::array();
    for (const auto& reader : survey.readers)
        readers.push_back({{"type", 7}, {"name", reader.name}, {"card", reader.card}});
    return {{"service", "pcscd"},
            {"running", survey.running},
            {"state", survey.state},
            {"readers", std::move(readers)}};
}

}  // namespace

json surveyJson(const Orvane::DeviceSurvey& survey) {
    json devices = json::array(), ports = json::array(), grabbers = json::array();
    for (const auto& device : survey.usbDevices)
        devices.push_back(usbDeviceJson(device));
    for (const auto& port : survey.ports)
        ports.push_back(portJson(port));
    for (const auto& grabber : survey.grabbers)
        grabbers.push_back({{"program", grabber.program}, {"pid", grabber.pid}, {"effect", grabber.effect}});
    return {{"devices", std::move(devices)},
            {"ports", std::move(ports)},
            {"portGrabbers", std::move(grabbers)},
            {"pcsc", pcscJson(survey.pcsc)}};
}

std::string devicesBody() {
    Orvane::DeviceBus& bus = Orvane::installedDeviceBus();
    const auto* system = dynamic_cast<const Orvane::SystemDeviceBus*>(&bus);
    const Orvane::DeviceSurvey survey = Orvane::surveyDevices(bus, system ? system->root() : std::string());
    // Names come from sysfs and /dev: a byte that is no UTF-8 is shown replaced, never thrown on.
    return surveyJson(survey).dump(2, ' ', false, json::error_handler_t::replace);
}
