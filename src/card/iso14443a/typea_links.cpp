#include "card/iso14443a/typea_links.hpp"

#include "reader/rf_reader.hpp"

namespace typea {

std::optional<Link> linkOf(RfReader& reader) {
    switch (reader.type()) {
        case kReaderVdHid:
            if (auto* vd = reader.vdReader()) return Link(std::in_place_type<VdTypeA>, *vd);
            break;
        case kReaderVbSerial:
        case kReaderVaHid:
        case kReaderVbCh340:
            if (auto* va = reader.vaReader()) return Link(std::in_place_type<VaTypeA>, *va);
            break;
        case kReaderVcCh9326:
        case kReaderVcSerial:
            if (auto* vc = reader.vcReader()) return Link(std::in_place_type<VcTypeA>, *vc);
            break;
        default:
            break;
    }
    return std::nullopt;
}

}  // namespace typea
