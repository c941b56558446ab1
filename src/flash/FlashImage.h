// The firmware image: a raw picture of the flash (byte n belongs at flash
// address n) with a firmware header at 0x180000, and the three flash areas a
// burn can write on their own.
#pragma once

#include <cstddef>
#include <cstdint>

struct FlashArea
{
    uint32_t Start;
    uint32_t Length;
    char Label[32];   // the area's line in the burn completion message
};

constexpr int FLASH_AREA_COUNT = 3;
extern const FlashArea g_flashAreas[FLASH_AREA_COUNT];   // Firmware, Private, Customized

constexpr uint32_t FIRMWARE_AREA_START = 0x180000;
constexpr uint32_t FIRMWARE_HEADER_LENGTH_OFFSET = 0x18000C;   // u32 big-endian
constexpr uint32_t FIRMWARE_BOOT_SIZE_OFFSET = 0x180010;       // u32 big-endian
constexpr uint32_t FIRMWARE_VERSION_OFFSET = 0x18001C;         // four bytes, shown last to first
constexpr uint32_t FLAG_BLOCK_ADDRESS = 0x70000;
constexpr uint32_t FLAG_BLOCK_LENGTH = 4096;

uint32_t ByteSwap32(uint32_t value);

// The loaded image: file size + 1 bytes, zero-filled, the file's bytes first.
extern uint8_t* g_pImage;
extern uint32_t g_nImageLength;   // bytes read into g_pImage

// Appends "%02x" of image bytes 0x18001F down to 0x18001C, joined by "."
// (11 characters). An image too short for the version appends nothing and
// returns 0.
int FormatImageVersion(const uint8_t* image, uint32_t imageLength, char* text, size_t textSize);

// Header length and boot size of the firmware header (byte-swapped). 0 when the
// image is too short to hold them.
int ReadFirmwareHeader(const uint8_t* image, uint32_t imageLength, uint32_t* headerLength,
                       uint32_t* bootSize);

// Rounds up to a whole number of sectors; 0 (refused) for a sector size of 0
// or when the result would not fit 32 bits.
int PadToSectors(uint32_t length, uint32_t sectorSize, uint32_t* padded);
