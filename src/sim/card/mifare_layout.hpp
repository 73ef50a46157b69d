#pragma once
// Memory layout of Mifare Classic 1K and 4K (MF1S50yyX / MF1S70yyX): sectors 0 to 31 hold 4 blocks
// of 16 bytes, sectors 32 to 39 (4K only) hold 16; the last block of every sector is its trailer.

namespace rfsim::mifare {

inline constexpr int kBlockSize = 16;
inline constexpr int kSmallSectors = 32;  // sectors of 4 blocks
inline constexpr int kSmallSectorBlocks = 4;
inline constexpr int kLargeSectorBlocks = 16;

constexpr int sectorOfBlock(int block) {
    return block < kSmallSectors * kSmallSectorBlocks
               ? block / kSmallSectorBlocks
               : kSmallSectors + (block - kSmallSectors * kSmallSectorBlocks) / kLargeSectorBlocks;
}

constexpr int blocksInSector(int sector) {
    return sector < kSmallSectors ? kSmallSectorBlocks : kLargeSectorBlocks;
}

constexpr int firstBlockOfSector(int sector) {
    return sector < kSmallSectors
               ? sector * kSmallSectorBlocks
               : kSmallSectors * kSmallSectorBlocks + (sector - kSmallSectors) * kLargeSectorBlocks;
}

constexpr int trailerOfSector(int sector) {
    return firstBlockOfSector(sector) + blocksInSector(sector) - 1;
}

constexpr bool isTrailer(int block) {
    return block == trailerOfSector(sectorOfBlock(block));
}

// The access-condition group (0 to 3) a block falls in. Groups 0 to 2 are single data blocks in
// small sectors and runs of five blocks in large ones (MF1S70yyX "blocks 0-4, 5-9, 10-14"); group 3
// is the trailer.
constexpr int accessGroup(int block) {
    const int offset = block - firstBlockOfSector(sectorOfBlock(block));
    if (isTrailer(block)) return 3;
    return sectorOfBlock(block) < kSmallSectors ? offset : offset / 5;
}

}  // namespace rfsim::mifare
