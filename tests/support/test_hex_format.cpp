#include "HexFormat.h"

#include <gtest/gtest.h>

namespace {

TEST(HexFormatTest, FieldParsingFollowsTheFieldRules)
{
    struct Case { const char* text; size_t max; uint32_t value; };
    const Case cases[] = {
        {"90", 0, 0x90},         {"  0F00", 0, 0x0F00},   {"0x1F", 0, 0x1F},
        {"0X1f", 0, 0x1F},       {"12G4", 0, 0x12},       {"", 0, 0},
        {"zz", 0, 0},            {"0x", 0, 0},            {"123456789", 0, 0xFFFFFFFF},
        {"FFFFFFFF", 0, 0xFFFFFFFF}, {"123456789", 8, 0x12345678}, {"03FF0000", 9, 0x03FF0000},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseHexField(c.text, c.max), c.value) << c.text;
}

TEST(HexFormatTest, StrictNumbersAndByteText)
{
    uint32_t v = 0;
    EXPECT_TRUE(ParseStrictNumber("0x32ED", 16, v));
    EXPECT_EQ(v, 0x32EDu);
    EXPECT_TRUE(ParseStrictNumber("4294967295", 10, v));
    EXPECT_FALSE(ParseStrictNumber("4294967296", 10, v));
    EXPECT_FALSE(ParseStrictNumber("12G", 16, v));
    EXPECT_FALSE(ParseStrictNumber("", 16, v));
    EXPECT_FALSE(ParseStrictNumber("0x", 16, v));

    std::string text;
    const uint8_t bytes[] = {0x00, 0xAB, 0x0F};
    AppendHexBytes(text, bytes, 3);
    EXPECT_EQ(text, "00 ab 0f");
}

} // namespace
