// The chip table and its geometry, the firmware header and version, and the
// rounding of the firmware length to whole sectors.
#include "FlashChips.h"
#include "FlashImage.h"
#include "SimDevice.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

TEST(FlashChips, EveryRowHasItsIndexAndTheChipSizeTheDeviceHas)
{
    // The device's own table (the simulator's) and ours are kept apart: a
    // wrong block count or a shifted row in either shows here.
    for (uint32_t row = 0; row < FLASH_CHIP_COUNT; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(g_flashChips[row].Index, row);
        ASSERT_NE(g_flashChips[row].Name, nullptr);
        FlashGeometry geometry{};
        GetFlashGeometry(&geometry, g_flashChips[row]);
        ASSERT_NE(geometry.PageSize, 0u);
        ASSERT_NE(geometry.SectorSize, 0u);
        EXPECT_EQ(geometry.SectorSize % geometry.PageSize, 0u);
        EXPECT_EQ(static_cast<uint32_t>(geometry.SectorsPerBlock) * geometry.SectorSize, 65536u)
            << "a block is always 64 KB";
        EXPECT_EQ(static_cast<uint32_t>(geometry.SectorsPerBlock) * geometry.SectorSize *
                      geometry.TotalBlocks,
                  SimChipSize(row));
    }
    EXPECT_STREQ(g_flashChips[0].Name, "AMIC__A25L032");
    EXPECT_STREQ(g_flashChips[43].Name, "ZB_25VQ128");
}

TEST(FlashChips, RowOneGetsTheGeometryOfItsCapacityAndOutsideRowsLeaveItAlone)
{
    FlashGeometry geometry{1, 2, 3, 4};
    GetFlashGeometry(&geometry, g_flashChips[1]);
    EXPECT_EQ(geometry.PageSize, 256);
    EXPECT_EQ(geometry.SectorSize, 65536u);
    EXPECT_EQ(geometry.SectorsPerBlock, 1);
    EXPECT_EQ(geometry.TotalBlocks, 64);

    FlashChipInfo outside = g_flashChips[12];
    for (uint32_t index : {44u, 0xFFFFu, 0xFFFFFFFFu}) {
        outside.Index = index;
        FlashGeometry untouched{1, 2, 3, 4};
        GetFlashGeometry(&untouched, outside);
        EXPECT_EQ(untouched.PageSize, 1);
        EXPECT_EQ(untouched.SectorSize, 2u);
        EXPECT_EQ(untouched.SectorsPerBlock, 3);
        EXPECT_EQ(untouched.TotalBlocks, 4);
    }
}

std::vector<uint8_t> ImageWithHeader(uint32_t length)
{
    std::vector<uint8_t> image(length, 0xA5);
    const uint8_t header[] = {0x00, 0x00, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00};
    const uint8_t version[] = {0x05, 0x00, 0x01, 0x9A};
    for (uint32_t i = 0; i < sizeof header; ++i)
        if (FIRMWARE_HEADER_LENGTH_OFFSET + i < length)
            image[FIRMWARE_HEADER_LENGTH_OFFSET + i] = header[i];
    for (uint32_t i = 0; i < sizeof version; ++i)
        if (FIRMWARE_VERSION_OFFSET + i < length)
            image[FIRMWARE_VERSION_OFFSET + i] = version[i];
    return image;
}

TEST(FlashImage, HeaderFieldsAreBigEndianAndNeverReadPastTheImage)
{
    EXPECT_EQ(ByteSwap32(0x00010000u), 0x00000100u);
    EXPECT_EQ(ByteSwap32(0x12345678u), 0x78563412u);

    std::vector<uint8_t> image = ImageWithHeader(0x180014);
    uint32_t headerLength = 0;
    uint32_t bootSize = 0;
    ASSERT_TRUE(ReadFirmwareHeader(image.data(), 0x180014, &headerLength, &bootSize));
    EXPECT_EQ(headerLength, 0x100u);
    EXPECT_EQ(bootSize, 0x20000u);
    // One byte short of the boot size: refused, outputs untouched.
    headerLength = bootSize = 7;
    EXPECT_FALSE(ReadFirmwareHeader(image.data(), 0x180013, &headerLength, &bootSize));
    EXPECT_EQ(headerLength, 7u);
    EXPECT_FALSE(ReadFirmwareHeader(nullptr, 0x800000, &headerLength, &bootSize));
}

TEST(FlashImage, VersionIsShownLastByteFirstAndEmptyForAShortImage)
{
    const std::vector<uint8_t> image = ImageWithHeader(0x180020);
    char text[32] = "";
    ASSERT_TRUE(FormatImageVersion(image.data(), 0x180020, text, sizeof text));
    EXPECT_STREQ(text, "9a.01.00.05");

    // It appends to what the text holds.
    std::strcpy(text, "v");
    ASSERT_TRUE(FormatImageVersion(image.data(), 0x180020, text, sizeof text));
    EXPECT_STREQ(text, "v9a.01.00.05");

    struct Case
    {
        uint32_t Length;
        size_t TextSize;
    };
    for (const Case& c : {Case{0x18001F, 32}, Case{0, 32}, Case{0x180020, 11}}) {
        SCOPED_TRACE(c.Length);
        char small[32] = "";
        EXPECT_FALSE(FormatImageVersion(image.data(), c.Length, small, c.TextSize));
        EXPECT_STREQ(small, "");
    }
}

TEST(FlashImage, FirmwareLengthIsPaddedToWholeSectors)
{
    struct Case
    {
        uint32_t Length;
        uint32_t Sector;
        int Ok;
        uint32_t Padded;
    };
    const Case cases[] = {
        {0x20100, 65536, 1, 0x30000},  {0x20100, 4096, 1, 0x21000},
        {0x30000, 65536, 1, 0x30000},  {0, 65536, 1, 0},
        {0x20100, 0, 0, 0},            // unknown sector size: never divided by
        {0xFFFFFF01u, 65536, 0, 0},    // would not fit 32 bits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Length);
        uint32_t padded = 0;
        EXPECT_EQ(PadToSectors(c.Length, c.Sector, &padded), c.Ok);
        EXPECT_EQ(padded, c.Padded);
    }
}

} // namespace
