#include "FlashChips.h"

namespace {

// Geometry of each row, in row order. Row 1 ("AMIC__A25Q032", 32 Mbit) is
// given the geometry of the other chips with capacity code 0x16: 256-byte
// pages, 64 KB sectors, one sector per block, 64 blocks.
struct ChipGeometryRow
{
    uint16_t PageSize;
    uint32_t SectorSize;
    uint16_t SectorsPerBlock;
    uint16_t TotalBlocks;
};

constexpr ChipGeometryRow kChipGeometry[FLASH_CHIP_COUNT] = {
    {256, 65536, 1, 64},  //  0 "AMIC__A25L032"
    {256, 65536, 1, 64},  //  1 "AMIC__A25Q032"
    {256, 65536, 1, 32},  //  2 "ATMEL_AT26DF161"
    {256, 65536, 1, 64},  //  3 "ATMEL__AT26D321"
    {256, 65536, 1, 128}, //  4 "BY_25Q64AS"
    {256, 65536, 1, 256}, //  5 "BY_25Q128AS"
    {256, 65536, 1, 64},  //  6 "EON__EN25P32"
    {256, 65536, 1, 32},  //  7 "EON__EN25B16"
    {256, 65536, 1, 64},  //  8 "EON__EN25B32"
    {256, 65536, 1, 128}, //  9 "EON__EN25B64"
    {256, 65536, 1, 32},  // 10 "EON__EN25F16"
    {256, 65536, 1, 64},  // 11 "EON__EN25F32"
    {256, 65536, 1, 32},  // 12 "EON_EN25Q16"
    {256, 65536, 1, 64},  // 13 "EON_EN25Q32A"
    {256, 65536, 1, 16},  // 14 "EON_EN25F80"
    {256, 65536, 1, 16},  // 15 "EON_EN25Q80A"
    {256, 65536, 1, 128}, // 16 "EON_EN25Q64"
    {256, 65536, 1, 64},  // 17 "EON_EN25QH32"
    {256, 65536, 1, 32},  // 18 "ES__ES25M16A"
    {256, 65536, 1, 32},  // 19 "ESMT_F25L16PA"
    {256, 65536, 1, 64},  // 20 "ESMT_F25L32Q"
    {256, 65536, 1, 32},  // 21 "MX__25L1605A"
    {256, 65536, 1, 64},  // 22 "MX__25L3205D"
    {256, 65536, 1, 64},  // 23 "MX__25L3235D"
    {256, 65536, 1, 32},  // 24 "MX__25L1635D"
    {256, 65536, 1, 128}, // 25 "MX_25L6445E"
    {256, 65536, 1, 256}, // 26 "MX_25L12835F"
    {256, 65536, 1, 512}, // 27 "MX_25L25735F"
    {256, 65536, 1, 1024},// 28 "MX_25L51245G"
    {256, 65536, 1, 128}, // 29 "GD_GD25Q64B"
    {256, 65536, 1, 64},  // 30 "GD_GD25Q32"
    {256, 65536, 1, 32},  // 31 "GD_GD25Q16"
    {256, 4096, 16, 256}, // 32 "GD_GD25Q128C"
    {256, 4096, 16, 1024},// 33 "GD_GD25Q512MC"
    {256, 65536, 1, 4},   // 34 "NUMON_M25P20"
    {256, 65536, 1, 64},  // 35 "NUMON_M25P32"
    {256, 65536, 1, 32},  // 36 "SPAN_S25FL016A"
    {256, 65536, 1, 64},  // 37 "SPAN_S25FL032A"
    {512, 65536, 1, 32},  // 38 "SST_25VF016B"
    {256, 65536, 1, 32},  // 39 "WIN__W25X16A"
    {256, 65536, 1, 64},  // 40 "WIN_W25X32V"
    {256, 65536, 1, 64},  // 41 "WIN_W25Q32BV"
    {256, 65536, 1, 128}, // 42 "WIN__W25Q64BV"
    {256, 65536, 1, 256}, // 43 "ZB_25VQ128"
};

} // namespace

// Manufacturer, capacity code, memory type, legacy code, name, row.
const FlashChipInfo g_flashChips[FLASH_CHIP_COUNT] = {
    {0x37, 0x16, 0x30, 0x15, "AMIC__A25L032", 0},
    {0x37, 0x16, 0x40, 0x15, "AMIC__A25Q032", 1},
    {0x1F, 0x00, 0x46, 0xFF, "ATMEL_AT26DF161", 2},
    {0x1F, 0x00, 0x47, 0xFF, "ATMEL__AT26D321", 3},
    {0x68, 0x17, 0x40, 0x16, "BY_25Q64AS", 4},
    {0x68, 0x18, 0x40, 0x17, "BY_25Q128AS", 5},
    {0x1C, 0x16, 0x20, 0x15, "EON__EN25P32", 6},
    {0x1C, 0x15, 0x20, 0x34, "EON__EN25B16", 7},
    {0x1C, 0x16, 0x20, 0x35, "EON__EN25B32", 8},
    {0x1C, 0x17, 0x20, 0x36, "EON__EN25B64", 9},
    {0x1C, 0x15, 0x31, 0x14, "EON__EN25F16", 10},
    {0x1C, 0x16, 0x31, 0x15, "EON__EN25F32", 11},
    {0x1C, 0x15, 0x30, 0x14, "EON_EN25Q16", 12},
    {0x1C, 0x16, 0x30, 0x15, "EON_EN25Q32A", 13},
    {0x1C, 0x14, 0x31, 0x13, "EON_EN25F80", 14},
    {0x1C, 0x14, 0x30, 0x13, "EON_EN25Q80A", 15},
    {0x1C, 0x17, 0x30, 0x16, "EON_EN25Q64", 16},
    {0x1C, 0x16, 0x70, 0x15, "EON_EN25QH32", 17},
    {0x4A, 0x15, 0x32, 0x14, "ES__ES25M16A", 18},
    {0x8C, 0x15, 0x20, 0x14, "ESMT_F25L16PA", 19},
    {0x8C, 0x16, 0x41, 0x15, "ESMT_F25L32Q", 20},
    {0xC2, 0x15, 0x20, 0x14, "MX__25L1605A", 21},
    {0xC2, 0x16, 0x20, 0x15, "MX__25L3205D", 22},
    {0xC2, 0x16, 0x5E, 0x5E, "MX__25L3235D", 23},
    {0xC2, 0x15, 0x24, 0x24, "MX__25L1635D", 24},
    {0xC2, 0x17, 0x20, 0x16, "MX_25L6445E", 25},
    {0xC2, 0x18, 0x20, 0x17, "MX_25L12835F", 26},
    {0xC2, 0x19, 0x20, 0x18, "MX_25L25735F", 27},
    {0xC2, 0x1A, 0x20, 0x19, "MX_25L51245G", 28},
    {0xC8, 0x17, 0x40, 0x16, "GD_GD25Q64B", 29},
    {0xC8, 0x16, 0x40, 0x15, "GD_GD25Q32", 30},
    {0xC8, 0x15, 0x40, 0x14, "GD_GD25Q16", 31},
    {0xC8, 0x18, 0x40, 0x17, "GD_GD25Q128C", 32},
    {0xC8, 0x20, 0x40, 0x19, "GD_GD25Q512MC", 33},
    {0x20, 0x12, 0x20, 0xFF, "NUMON_M25P20", 34},
    {0x20, 0x16, 0x20, 0xFF, "NUMON_M25P32", 35},
    {0x01, 0x14, 0x02, 0xFF, "SPAN_S25FL016A", 36},
    {0x01, 0x15, 0x02, 0xFF, "SPAN_S25FL032A", 37},
    {0xBF, 0x41, 0x25, 0x41, "SST_25VF016B", 38},
    {0xEF, 0x15, 0x30, 0x14, "WIN__W25X16A", 39},
    {0xEF, 0x16, 0x30, 0x15, "WIN_W25X32V", 40},
    {0xEF, 0x16, 0x40, 0x15, "WIN_W25Q32BV", 41},
    {0xEF, 0x17, 0x40, 0x16, "WIN__W25Q64BV", 42},
    {0x5E, 0x18, 0x40, 0x17, "ZB_25VQ128", 43},
};

FlashGeometry g_flashGeometry = {0, 0, 0, 0};
uint32_t g_nFlashChipIndex = FLASH_CHIP_NOT_IDENTIFIED;

void GetFlashGeometry(FlashGeometry* geometry, const FlashChipInfo& chip)
{
    if (!geometry || chip.Index >= FLASH_CHIP_COUNT)
        return;
    const ChipGeometryRow& row = kChipGeometry[chip.Index];
    geometry->PageSize = row.PageSize;
    geometry->SectorSize = row.SectorSize;
    geometry->SectorsPerBlock = row.SectorsPerBlock;
    geometry->TotalBlocks = row.TotalBlocks;
}

bool FlashChipIdentified()
{
    return g_nFlashChipIndex < FLASH_CHIP_COUNT;
}
