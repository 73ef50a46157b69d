#include "card/iso15693/rf_iso15693.hpp"

#include "reader/rf_reader.hpp"

using Orvane::iso15693_status::kNotSupported;

bool RfIso15693::requestMode() {
    return reader_ && reader_->setProtocol(Orvane::rf_mode::kIso15693, false);
}

std::uint8_t RfIso15693::notSupported() {
    requestMode();
    return kNotSupported;
}

bool RfIso15693::setMode(std::uint8_t, const Uid&, bool, bool) {
    requestMode();
    return false;
}

int RfIso15693::inventory(std::vector<Orvane::Iso15693Card>&, int, std::uint8_t, bool) {
    return requestMode() ? -2 : -1;
}

std::uint8_t RfIso15693::reserved() {
    return notSupported();
}
std::uint8_t RfIso15693::stayQuiet(const Uid&) {
    return notSupported();
}
std::uint8_t RfIso15693::readSingleBlock(bool, std::uint8_t, Orvane::IBuffer&) {
    return notSupported();
}
std::uint8_t RfIso15693::writeSingleBlock(std::uint8_t, const std::uint8_t*, std::uint8_t) {
    return notSupported();
}
std::uint8_t RfIso15693::lockBlock(std::uint8_t) {
    return notSupported();
}
std::uint8_t RfIso15693::readMultipleBlocks(bool, std::uint8_t, std::uint8_t, Orvane::IBuffer&) {
    return notSupported();
}
std::uint8_t RfIso15693::writeMultipleBlocks(std::uint8_t, std::uint8_t, const std::uint8_t*, std::uint32_t) {
    return notSupported();
}
std::uint8_t RfIso15693::select(const Uid&) {
    return notSupported();
}
std::uint8_t RfIso15693::resetToReady() {
    return notSupported();
}
std::uint8_t RfIso15693::writeAfi(std::uint8_t) {
    return notSupported();
}
std::uint8_t RfIso15693::lockAfi() {
    return notSupported();
}
std::uint8_t RfIso15693::writeDsfid(std::uint8_t) {
    return notSupported();
}
std::uint8_t RfIso15693::lockDsfid() {
    return notSupported();
}
std::uint8_t RfIso15693::getSystemInfo(Orvane::Iso15693SystemInfo&) {
    return notSupported();
}
std::uint8_t RfIso15693::getMultipleBlockSecurity(std::uint8_t, std::uint8_t, Orvane::IBuffer&) {
    return notSupported();
}
