#include "card/iso14443b/rf_iso14443b.hpp"

#include "reader/rf_reader.hpp"

bool RfIso14443B::requestMode() {
    return reader_ && reader_->setProtocol(Orvane::rf_mode::kIso14443B, false);
}

int RfIso14443B::findCards(std::vector<Orvane::TypeBCardInfo>&, int, std::uint8_t, std::uint8_t) {
    return requestMode() ? -2 : -1;
}

bool RfIso14443B::reserved1() {
    requestMode();
    return false;
}

bool RfIso14443B::reserved2() {
    requestMode();
    return false;
}

bool RfIso14443B::reserved3() {
    requestMode();
    return false;
}

bool RfIso14443B::deselect(int) {
    return requestMode();
}
