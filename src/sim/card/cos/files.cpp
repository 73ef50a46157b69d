#include "sim/card/cos/files.hpp"

#include <algorithm>

namespace rfsim::cos {

CosFile* DedicatedFile::child(std::uint16_t fid) const {
    for (const auto& file : children_)
        if (file->fid() == fid) return file.get();
    return nullptr;
}

ElementaryFile* DedicatedFile::efBySfi(std::uint8_t sfi) const {
    if (sfi == 0) return nullptr;
    for (const auto& file : children_) {
        if (file->kind() == FileKind::dedicated) continue;
        auto* ef = static_cast<ElementaryFile*>(file.get());
        if (ef->sfi == sfi) return ef;
    }
    return nullptr;
}

DedicatedFile* DedicatedFile::findByName(std::span<const std::uint8_t> wanted) {
    if (!name.empty() && std::ranges::equal(name, wanted)) return this;
    for (const auto& file : children_) {
        if (file->kind() != FileKind::dedicated) continue;
        if (auto* found = static_cast<DedicatedFile*>(file.get())->findByName(wanted)) return found;
    }
    return nullptr;
}

}  // namespace rfsim::cos
