#include "FlashImage.h"

#include <cstring>

const FlashArea g_flashAreas[FLASH_AREA_COUNT] = {
    {0x180000, 0x370000, "- Firmware Area\n"},
    {0x4F0000, 0x10000, "- Private Area\n"},
    {0x500000, 0x300000, "- Customized Area\n"},
};

uint8_t* g_pImage = nullptr;
uint32_t g_nImageLength = 0;

uint32_t ByteSwap32(uint32_t value)
{
    return (value & 0x000000FFu) << 24 | (value & 0x0000FF00u) << 8 | (value & 0x00FF0000u) >> 8 |
           (value & 0xFF000000u) >> 24;
}

namespace {

// The u32 at `offset` as it lies in memory (little-endian), when it fits.
bool ReadImageU32(const uint8_t* image, uint32_t imageLength, uint32_t offset, uint32_t* value)
{
    if (!image || imageLength < 4 || offset > imageLength - 4)
        return false;
    *value = static_cast<uint32_t>(image[offset]) | static_cast<uint32_t>(image[offset + 1]) << 8 |
             static_cast<uint32_t>(image[offset + 2]) << 16 |
             static_cast<uint32_t>(image[offset + 3]) << 24;
    return true;
}

} // namespace

int FormatImageVersion(const uint8_t* image, uint32_t imageLength, char* text, size_t textSize)
{
    static const char digits[] = "0123456789abcdef";
    constexpr size_t kVersionLength = 11;   // "02.01.00.05"
    if (!text || textSize == 0 || !image || imageLength < 4 ||
        FIRMWARE_VERSION_OFFSET > imageLength - 4)
        return 0;
    const size_t at = strnlen(text, textSize);
    if (at == textSize || textSize - at < kVersionLength + 1)
        return 0;
    char* out = text + at;
    for (uint32_t i = 0; i < 4; ++i) {
        const uint8_t byte = image[FIRMWARE_VERSION_OFFSET + 3 - i];
        *out++ = digits[byte >> 4];
        *out++ = digits[byte & 0x0F];
        if (i < 3)
            *out++ = '.';
    }
    *out = '\0';
    return 1;
}

int ReadFirmwareHeader(const uint8_t* image, uint32_t imageLength, uint32_t* headerLength,
                       uint32_t* bootSize)
{
    uint32_t rawHeader = 0;
    uint32_t rawBoot = 0;
    if (!ReadImageU32(image, imageLength, FIRMWARE_HEADER_LENGTH_OFFSET, &rawHeader) ||
        !ReadImageU32(image, imageLength, FIRMWARE_BOOT_SIZE_OFFSET, &rawBoot))
        return 0;
    if (headerLength)
        *headerLength = ByteSwap32(rawHeader);
    if (bootSize)
        *bootSize = ByteSwap32(rawBoot);
    return 1;
}

int PadToSectors(uint32_t length, uint32_t sectorSize, uint32_t* padded)
{
    if (sectorSize == 0)
        return 0;
    const uint64_t sectors = (static_cast<uint64_t>(length) + sectorSize - 1) / sectorSize;
    const uint64_t result = sectors * sectorSize;
    if (result > 0xFFFFFFFFu)
        return 0;
    if (padded)
        *padded = static_cast<uint32_t>(result);
    return 1;
}
