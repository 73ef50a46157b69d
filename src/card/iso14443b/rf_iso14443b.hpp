#pragma once
// Type B cards on one reader. No type B card commands are sent: each operation asks the reader for
// ISO 14443-B mode and reports that nothing was done.

#include <memory>

#include "card/iso14443b/iiso14443b_reader.hpp"

class RfReader;

class RfIso14443B : public Orvane::IIso14443BReader {
  public:
    explicit RfIso14443B(std::shared_ptr<RfReader> reader) : reader_(std::move(reader)) {}

    // -1 when the reader refused ISO 14443-B mode, -2 otherwise; no card is appended.
    int findCards(std::vector<Orvane::TypeBCardInfo>& cards, int limit, std::uint8_t afi,
                  std::uint8_t slots) override;
    bool reserved1() override;
    bool reserved2() override;
    bool reserved3() override;
    // Whether the reader is in ISO 14443-B mode.
    bool deselect(int cardId) override;

    const std::shared_ptr<RfReader>& reader() const { return reader_; }

  private:
    bool requestMode();

    std::shared_ptr<RfReader> reader_;
};
