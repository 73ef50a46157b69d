#include "card/icode/rf_icode_sli.hpp"

#include "card/iso15693/rf_iso15693.hpp"
#include "reader/rf_reader.hpp"

std::shared_ptr<Orvane::IIso15693Reader> RfIcodeSli::iso15693() {
    return iso15693_;
}

std::uint8_t RfIcodeSli::notSupported() {
    if (iso15693_ && iso15693_->reader()) iso15693_->reader()->setProtocol(Orvane::rf_mode::kIso15693, false);
    return Orvane::iso15693_status::kNotSupported;
}

std::uint8_t RfIcodeSli::setEas() {
    return notSupported();
}
std::uint8_t RfIcodeSli::resetEas() {
    return notSupported();
}
std::uint8_t RfIcodeSli::lockEas() {
    return notSupported();
}
std::uint8_t RfIcodeSli::easAlarm(Orvane::IBuffer&) {
    return notSupported();
}
std::uint8_t RfIcodeSli::passwordProtect(std::uint8_t) {
    return notSupported();
}
std::uint8_t RfIcodeSli::setPassword(const Password&, std::uint8_t) {
    return notSupported();
}
std::uint8_t RfIcodeSli::writePassword(const Password&, std::uint8_t) {
    return notSupported();
}
std::uint8_t RfIcodeSli::lockPassword(std::uint8_t) {
    return notSupported();
}
std::uint8_t RfIcodeSli::passwordCommand(const Password&) {
    return notSupported();
}
std::uint8_t RfIcodeSli::uidCommand(const Orvane::IIso15693Reader::Uid&) {
    return notSupported();
}
std::uint8_t RfIcodeSli::writeBlockData(std::uint8_t, const std::uint8_t*, std::uint8_t) {
    return notSupported();
}
std::uint8_t RfIcodeSli::getAuthStartAddr(std::uint8_t&) {
    return notSupported();
}
std::uint8_t RfIcodeSli::setAuthStartAddr(std::uint8_t) {
    return notSupported();
}
