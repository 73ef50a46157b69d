#include "card/iso14443a/typea_links.hpp"

#include "reader/rf_reader.hpp"

namespace typea {

std::optional<Link> linkOf(RfReader& reader) {
    switch (familyOf(reader.type())) {
        case ReaderFamily::vd:
            if (auto* vd = reader.vdReader()) return Link(std::in_place_type<VdTypeA>, *vd);
            break;
        case ReaderFamily::va:
            if (auto* va = reader.vaReader()) return Link(std::in_place_type<VaTypeA>, *va);
            break;
        case ReaderFamily::vc:
            if (auto* vc = reader.vcReader()) return Link(std::in_place_type<VcTypeA>, *vc);
            break;
        case ReaderFamily::pcsc:  // no frames: a PC/SC reader's cards have a type A object of their own
        case ReaderFamily::none:
            break;
    }
    return std::nullopt;
}

}  // namespace typea
