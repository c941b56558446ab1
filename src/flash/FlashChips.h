// The flash chips the device can report, by row: the device does the JEDEC
// matching itself and answers the row index, so the row order is part of the
// device protocol and must never change.
#pragma once

#include <cstdint>

struct FlashChipInfo
{
    uint16_t ManufacturerId;   // JEDEC manufacturer code in the low byte
    uint8_t Capacity;          // third JEDEC byte
    uint8_t MemoryType;        // second JEDEC byte
    uint32_t LegacyId;         // electronic-signature code, 0xFF when none
    const char* Name;
    uint32_t Index;            // the row's own position, 0..43
};

constexpr uint32_t FLASH_CHIP_COUNT = 44;
extern const FlashChipInfo g_flashChips[FLASH_CHIP_COUNT];

struct FlashGeometry
{
    uint16_t PageSize;
    uint32_t SectorSize;
    uint16_t SectorsPerBlock;
    uint16_t TotalBlocks;
};

// Process-wide results of the last identification.
extern FlashGeometry g_flashGeometry;     // all zero until identified
extern uint32_t g_nFlashChipIndex;        // 0xFFFF until identified
constexpr uint32_t FLASH_CHIP_NOT_IDENTIFIED = 0xFFFF;

// Writes the geometry of the chip's row; leaves it untouched for a row index
// outside the table.
void GetFlashGeometry(FlashGeometry* geometry, const FlashChipInfo& chip);

// True when g_nFlashChipIndex names a row of the table (Burn and Dump refuse otherwise).
bool FlashChipIdentified();
