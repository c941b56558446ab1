// The report-descriptor parser: hand-written descriptors, malformed input,
// robustness, and conformance with the Windows dumps of ../shared/hid-corpus.
#include "HidCaps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------------------
// Building descriptors

// Short item prefixes (size bits 0).
enum : uint8_t {
    kInput = 0x80, kOutput = 0x90, kFeature = 0xB0, kCollection = 0xA0, kEndCollection = 0xC0,
    kUsagePage = 0x04, kLogicalMin = 0x14, kLogicalMax = 0x24, kPhysicalMin = 0x34,
    kPhysicalMax = 0x44, kUnitExponent = 0x54, kUnit = 0x64, kReportSize = 0x74,
    kReportId = 0x84, kReportCount = 0x94, kPush = 0xA4, kPop = 0xB4,
    kUsage = 0x08, kUsageMin = 0x18, kUsageMax = 0x28, kDesignatorIndex = 0x38,
    kStringIndex = 0x78, kStringMin = 0x88, kStringMax = 0x98, kDelimiter = 0xA8,
};

// Appends a short item with the smallest data size that holds `value`
// (or exactly `size` bytes when given).
void Add(Bytes& d, uint8_t prefix, uint32_t value = 0, int size = -1)
{
    if (size < 0)
        size = value == 0 && (prefix == kEndCollection || prefix == kPush || prefix == kPop) ? 0
               : value <= 0xFF                                                            ? 1
               : value <= 0xFFFF                                                          ? 2
                                                                                          : 4;
    d.push_back(static_cast<uint8_t>(prefix | (size == 4 ? 3 : size)));
    for (int i = 0; i < size; ++i)
        d.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::vector<HidPreparsedData> ParseOk(const Bytes& d)
{
    std::vector<HidPreparsedData> tlcs;
    size_t offset = 12345;
    const HidParseResult r = ParseReportDescriptor(d.data(), d.size(), tlcs, &offset);
    EXPECT_EQ(r, HidParseResult::Ok) << HidParseResultText(r) << " at offset " << offset;
    return tlcs;
}

std::vector<HidValueCaps> ValueCaps(const HidPreparsedData& p, HidReportType type)
{
    std::vector<HidValueCaps> caps(200);
    uint16_t n = static_cast<uint16_t>(caps.size());
    EXPECT_EQ(HidGetValueCaps(type, caps.data(), &n, &p), HIDP_STATUS_SUCCESS);
    caps.resize(n);
    return caps;
}

std::vector<HidButtonCaps> ButtonCaps(const HidPreparsedData& p, HidReportType type)
{
    std::vector<HidButtonCaps> caps(200);
    uint16_t n = static_cast<uint16_t>(caps.size());
    EXPECT_EQ(HidGetButtonCaps(type, caps.data(), &n, &p), HIDP_STATUS_SUCCESS);
    caps.resize(n);
    return caps;
}

// HID 1.11 Appendix B.1: boot keyboard.
const Bytes kBootKeyboard = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25,
    0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08, 0x81, 0x01, 0x95, 0x05,
    0x75, 0x01, 0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03, 0x91,
    0x01, 0x95, 0x06, 0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65,
    0x81, 0x00, 0xC0};

// HID 1.11 Appendix B.2: boot mouse with 3 buttons.
const Bytes kBootMouse = {
    0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x01, 0xA1, 0x00, 0x05, 0x09, 0x19, 0x01,
    0x29, 0x03, 0x15, 0x00, 0x25, 0x01, 0x95, 0x03, 0x75, 0x01, 0x81, 0x02, 0x95, 0x01,
    0x75, 0x05, 0x81, 0x01, 0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x15, 0x81, 0x25, 0x7F,
    0x75, 0x08, 0x95, 0x02, 0x81, 0x06, 0xC0, 0xC0};

struct VendorReport
{
    uint8_t Prefix;   // kInput, kOutput or kFeature
    uint8_t Id;
    uint16_t Usage;
    uint16_t Count;
    uint8_t Flags = 0x02;
};

// Notes §1.9 example A shape: vendor TLC, 8-bit fields, one usage per report.
Bytes VendorDescriptor(const std::vector<VendorReport>& reports, uint8_t reportSize = 8)
{
    Bytes d;
    Add(d, kUsagePage, 0xFF00, 2);
    Add(d, kUsage, 1);
    Add(d, kCollection, 1);
    Add(d, kLogicalMin, 0);
    Add(d, kLogicalMax, 0xFF, 2);
    Add(d, kReportSize, reportSize);
    for (const VendorReport& r : reports) {
        Add(d, kReportId, r.Id);
        Add(d, kUsage, r.Usage);
        Add(d, kReportCount, r.Count);
        Add(d, r.Prefix, r.Flags);
    }
    Add(d, kEndCollection);
    return d;
}

// Wraps items into a vendor TLC (Usage Page 0xFF00, Usage 1, Application).
Bytes InVendorTlc(const Bytes& items)
{
    Bytes d;
    Add(d, kUsagePage, 0xFF00, 2);
    Add(d, kUsage, 1);
    Add(d, kCollection, 1);
    d.insert(d.end(), items.begin(), items.end());
    Add(d, kEndCollection);
    return d;
}

// ---------------------------------------------------------------------------
// Hand-written descriptors

TEST(ReportDescriptor, BootKeyboard)
{
    const auto tlcs = ParseOk(kBootKeyboard);
    ASSERT_EQ(tlcs.size(), 1u);
    const HidPreparsedData& p = tlcs[0];
    HidCaps caps;
    ASSERT_EQ(HidGetCaps(&p, &caps), HIDP_STATUS_SUCCESS);
    EXPECT_EQ(caps.UsagePage, 0x01);
    EXPECT_EQ(caps.Usage, 0x06);
    EXPECT_EQ(caps.InputReportByteLength, 9);
    EXPECT_EQ(caps.OutputReportByteLength, 2);
    EXPECT_EQ(caps.FeatureReportByteLength, 0);
    EXPECT_EQ(caps.NumberLinkCollectionNodes, 1);
    EXPECT_EQ(caps.NumberInputButtonCaps, 2);
    EXPECT_EQ(caps.NumberInputValueCaps, 0);
    EXPECT_EQ(caps.NumberInputDataIndices, 8 + 0x66);
    EXPECT_EQ(caps.NumberOutputButtonCaps, 1);
    EXPECT_EQ(caps.NumberOutputDataIndices, 5);
    EXPECT_EQ(caps.NumberFeatureButtonCaps + caps.NumberFeatureValueCaps, 0);

    const auto in = ButtonCaps(p, HidP_Input);
    ASSERT_EQ(in.size(), 2u);
    EXPECT_TRUE(in[0].IsRange);
    EXPECT_EQ(in[0].UsagePage, 0x07);
    EXPECT_EQ(in[0].Range.UsageMin, 0xE0);
    EXPECT_EQ(in[0].Range.UsageMax, 0xE7);
    EXPECT_EQ(in[0].NotRange.Usage, 0xE0);
    EXPECT_EQ(in[0].ReportCount, 8);
    EXPECT_EQ(in[0].Range.DataIndexMin, 0);
    EXPECT_EQ(in[0].Range.DataIndexMax, 7);
    EXPECT_EQ(in[0].LogicalMin, 0);   // Variable buttons keep no logical limits
    EXPECT_EQ(in[0].LogicalMax, 0);
    EXPECT_EQ(in[1].Range.UsageMin, 0x00);
    EXPECT_EQ(in[1].Range.UsageMax, 0x65);
    EXPECT_EQ(in[1].ReportCount, 6);
    EXPECT_EQ(in[1].BitField, 0x00);
    EXPECT_EQ(in[1].Range.DataIndexMin, 8);
    EXPECT_EQ(in[1].Range.DataIndexMax, 8 + 0x65);
    EXPECT_EQ(in[1].LogicalMax, 0x65);
    EXPECT_EQ(p.StoredCaps[HidP_Input][1].BitOffset, 16u);
    EXPECT_EQ(p.StoredCaps[HidP_Input][1].BitSize, 8);
    EXPECT_EQ(p.HiddenCapCount[HidP_Input], 0);   // padding without usage stores nothing

    const auto out = ButtonCaps(p, HidP_Output);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].UsagePage, 0x08);
    EXPECT_EQ(out[0].Range.UsageMin, 1);
    EXPECT_EQ(out[0].Range.UsageMax, 5);
    EXPECT_EQ(out[0].ReportCount, 5);
    EXPECT_TRUE(ValueCaps(p, HidP_Input).empty());

    EXPECT_EQ(HidMaxUsageListLength(HidP_Input, 0, &p), 14u);
    EXPECT_EQ(HidMaxUsageListLength(HidP_Input, 0x07, &p), 14u);
    EXPECT_EQ(HidMaxUsageListLength(HidP_Input, 0x08, &p), 0u);
    EXPECT_EQ(HidMaxUsageListLength(HidP_Output, 0x08, &p), 5u);
    EXPECT_EQ(HidMaxUsageListLength(HidP_Feature, 0, &p), 0u);
}

TEST(ReportDescriptor, ThreeButtonMouse)
{
    const auto tlcs = ParseOk(kBootMouse);
    ASSERT_EQ(tlcs.size(), 1u);
    const HidPreparsedData& p = tlcs[0];
    EXPECT_EQ(p.Caps.UsagePage, 0x01);
    EXPECT_EQ(p.Caps.Usage, 0x02);
    EXPECT_EQ(p.Caps.InputReportByteLength, 4);
    EXPECT_EQ(p.Caps.OutputReportByteLength, 0);
    EXPECT_EQ(p.Caps.NumberInputButtonCaps, 1);
    EXPECT_EQ(p.Caps.NumberInputValueCaps, 2);
    EXPECT_EQ(p.Caps.NumberInputDataIndices, 5);

    ASSERT_EQ(p.LinkCollections.size(), 2u);
    EXPECT_EQ(p.Caps.NumberLinkCollectionNodes, 2);
    EXPECT_EQ(p.LinkCollections[0].FirstChild, 1);
    EXPECT_EQ(p.LinkCollections[0].NumberOfChildren, 1);
    EXPECT_EQ(p.LinkCollections[0].CollectionType, 1);
    EXPECT_EQ(p.LinkCollections[1].LinkUsage, 0x01);
    EXPECT_EQ(p.LinkCollections[1].LinkUsagePage, 0x01);
    EXPECT_EQ(p.LinkCollections[1].Parent, 0);
    EXPECT_EQ(p.LinkCollections[1].CollectionType, 0);

    const auto buttons = ButtonCaps(p, HidP_Input);
    ASSERT_EQ(buttons.size(), 1u);
    EXPECT_EQ(buttons[0].UsagePage, 0x09);
    EXPECT_EQ(buttons[0].Range.UsageMin, 1);
    EXPECT_EQ(buttons[0].Range.UsageMax, 3);
    EXPECT_EQ(buttons[0].LinkCollection, 1);
    EXPECT_EQ(buttons[0].LinkUsage, 0x01);

    // Usage X, Usage Y, Report Count 2: stored [Y, X].
    const auto values = ValueCaps(p, HidP_Input);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].NotRange.Usage, 0x31);
    EXPECT_EQ(values[1].NotRange.Usage, 0x30);
    EXPECT_EQ(values[0].NotRange.DataIndex, 3);
    EXPECT_EQ(values[1].NotRange.DataIndex, 4);
    EXPECT_EQ(p.StoredCaps[HidP_Input][1].BitOffset, 16u);   // Y: byte 2 of the data
    EXPECT_EQ(p.StoredCaps[HidP_Input][2].BitOffset, 8u);    // X: byte 1
    for (const HidValueCaps& v : values) {
        EXPECT_EQ(v.ReportCount, 1);
        EXPECT_EQ(v.BitSize, 8);
        EXPECT_EQ(v.LogicalMin, -127);
        EXPECT_EQ(v.LogicalMax, 127);
        EXPECT_FALSE(v.IsAbsolute);
        EXPECT_EQ(v.BitField, 0x06);
        EXPECT_EQ(v.LinkCollection, 1);
    }
}

void ExpectSlots(const HidPreparsedData& p, HidReportType type,
                 const std::vector<std::pair<uint8_t, uint16_t>>& idAndLength)
{
    const auto values = ValueCaps(p, type);
    ASSERT_EQ(values.size(), idAndLength.size());
    for (size_t i = 0; i < values.size(); ++i) {
        SCOPED_TRACE("slot " + std::to_string(i));
        EXPECT_EQ(values[i].ReportID, idAndLength[i].first);
        EXPECT_EQ(values[i].ReportCount + 1, idAndLength[i].second);
        EXPECT_EQ(values[i].NotRange.DataIndex, i);
    }
}

TEST(ReportDescriptor, ExampleAVendorDevice)
{
    const Bytes d = VendorDescriptor({{kOutput, 1, 1, 4099},
                                      {kOutput, 2, 2, 15},
                                      {kOutput, 3, 3, 63},
                                      {kInput, 4, 4, 63}});
    const auto tlcs = ParseOk(d);
    ASSERT_EQ(tlcs.size(), 1u);
    const HidPreparsedData& p = tlcs[0];
    EXPECT_EQ(p.Caps.UsagePage, 0xFF00);
    EXPECT_EQ(p.Caps.Usage, 1);
    EXPECT_EQ(p.Caps.OutputReportByteLength, 4100);
    EXPECT_EQ(p.Caps.InputReportByteLength, 64);
    EXPECT_EQ(p.Caps.FeatureReportByteLength, 0);
    EXPECT_EQ(p.Caps.NumberOutputValueCaps, 3);
    EXPECT_EQ(p.Caps.NumberOutputButtonCaps, 0);
    EXPECT_EQ(p.Caps.NumberOutputDataIndices, 3);
    ExpectSlots(p, HidP_Output, {{1, 4100}, {2, 16}, {3, 64}});
    ExpectSlots(p, HidP_Input, {{4, 64}});

    const auto out = ValueCaps(p, HidP_Output);
    EXPECT_EQ(out[0].ReportCount, 4099);
    EXPECT_EQ(out[0].BitSize, 8);
    EXPECT_FALSE(out[0].IsRange);
    EXPECT_EQ(out[0].NotRange.Usage, 1);
    EXPECT_EQ(out[0].UsagePage, 0xFF00);
    EXPECT_EQ(out[0].LinkCollection, 0);
    EXPECT_EQ(out[0].BitField, 0x02);
    EXPECT_EQ(out[1].NotRange.Usage, 2);
    EXPECT_EQ(out[2].NotRange.Usage, 3);
    EXPECT_TRUE(ButtonCaps(p, HidP_Output).empty());
    EXPECT_EQ(HidMaxUsageListLength(HidP_Output, 0, &p), 0u);
}

TEST(ReportDescriptor, ExampleAWithThreeInputReports)
{
    // The device of the brief: three Output and three Input value reports.
    const Bytes d = VendorDescriptor({{kOutput, 1, 1, 4099}, {kOutput, 2, 2, 15},
                                      {kOutput, 3, 3, 63},   {kInput, 1, 1, 4099},
                                      {kInput, 2, 2, 15},    {kInput, 3, 3, 63}});
    const auto tlcs = ParseOk(d);
    ASSERT_EQ(tlcs.size(), 1u);
    const HidPreparsedData& p = tlcs[0];
    ExpectSlots(p, HidP_Output, {{1, 4100}, {2, 16}, {3, 64}});
    ExpectSlots(p, HidP_Input, {{1, 4100}, {2, 16}, {3, 64}});
    EXPECT_EQ(p.Caps.OutputReportByteLength, 4100);
    EXPECT_EQ(p.Caps.InputReportByteLength, 4100);
    EXPECT_EQ(p.Caps.FeatureReportByteLength, 0);
}

TEST(ReportDescriptor, ExampleAOutOfOrderIdsKeepDeclarationOrder)
{
    const Bytes d = VendorDescriptor({{kOutput, 3, 3, 63},
                                      {kOutput, 1, 1, 4099},
                                      {kOutput, 2, 2, 15},
                                      {kInput, 3, 3, 63},
                                      {kInput, 1, 1, 4099},
                                      {kInput, 2, 2, 15}});
    const auto tlcs = ParseOk(d);
    ASSERT_EQ(tlcs.size(), 1u);
    ExpectSlots(tlcs[0], HidP_Output, {{3, 64}, {1, 4100}, {2, 16}});
    ExpectSlots(tlcs[0], HidP_Input, {{3, 64}, {1, 4100}, {2, 16}});
    EXPECT_EQ(tlcs[0].Caps.OutputReportByteLength, 4100);
}

TEST(ReportDescriptor, ExampleAAsArrayOrOneBitGivesButtonCaps)
{
    for (const bool oneBit : {false, true}) {
        SCOPED_TRACE(oneBit ? "Report Size 1" : "Output(Data,Array)");
        const uint8_t flags = oneBit ? 0x02 : 0x00;
        const Bytes d = VendorDescriptor(
            {{kOutput, 1, 1, 4099, flags}, {kOutput, 2, 2, 15, flags}, {kOutput, 3, 3, 63, flags}},
            oneBit ? 1 : 8);
        const auto tlcs = ParseOk(d);
        ASSERT_EQ(tlcs.size(), 1u);
        EXPECT_TRUE(ValueCaps(tlcs[0], HidP_Output).empty());
        const auto buttons = ButtonCaps(tlcs[0], HidP_Output);
        ASSERT_EQ(buttons.size(), 3u);
        EXPECT_EQ(buttons[0].ReportCount, 4099);
        EXPECT_EQ(HidMaxUsageListLength(HidP_Output, 0xFF00, &tlcs[0]), 4099u + 15 + 63);
        EXPECT_EQ(tlcs[0].Caps.OutputReportByteLength, oneBit ? (4099 + 7) / 8 + 1 : 4100);
    }
}

TEST(ReportDescriptor, ExampleBMoreFieldsThanUsages)
{
    Bytes items;
    Add(items, kReportId, 5);
    Add(items, kUsage, 0x10);
    Add(items, kUsage, 0x11);
    Add(items, kReportSize, 8);
    Add(items, kReportCount, 4);
    Add(items, kInput, 0x02);
    const auto tlcs = ParseOk(InVendorTlc(items));
    ASSERT_EQ(tlcs.size(), 1u);
    const HidPreparsedData& p = tlcs[0];
    const auto& stored = p.StoredCaps[HidP_Input];
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].Value.NotRange.Usage, 0x11);
    EXPECT_EQ(stored[0].ReportCount, 3);
    EXPECT_EQ(stored[0].BitOffset, 8u);   // bytes 2..4 of the report
    EXPECT_EQ(stored[1].Value.NotRange.Usage, 0x10);
    EXPECT_EQ(stored[1].ReportCount, 1);
    EXPECT_EQ(stored[1].BitOffset, 0u);   // byte 1
    const auto values = ValueCaps(p, HidP_Input);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].NotRange.Usage, 0x11);
    EXPECT_EQ(values[0].ReportCount, 3);
    EXPECT_EQ(values[0].ReportID, 5);
    EXPECT_EQ(values[1].ReportCount, 1);
    EXPECT_EQ(p.Caps.InputReportByteLength, 5);
}

TEST(ReportDescriptor, ExampleCRangeShorterThanReportCount)
{
    Bytes items;
    Add(items, kUsagePage, 0x09);
    Add(items, kUsageMin, 1);
    Add(items, kUsageMax, 3);
    Add(items, kLogicalMax, 1);
    Add(items, kReportSize, 1);
    Add(items, kReportCount, 8);
    Add(items, kInput, 0x02);
    const auto tlcs = ParseOk(InVendorTlc(items));
    ASSERT_EQ(tlcs.size(), 1u);
    const HidPreparsedData& p = tlcs[0];
    const auto buttons = ButtonCaps(p, HidP_Input);
    ASSERT_EQ(buttons.size(), 1u);
    EXPECT_TRUE(buttons[0].IsRange);
    EXPECT_EQ(buttons[0].Range.UsageMin, 1);
    EXPECT_EQ(buttons[0].Range.UsageMax, 3);
    EXPECT_EQ(buttons[0].ReportCount, 8);
    EXPECT_EQ(buttons[0].Range.DataIndexMin, 0);
    EXPECT_EQ(buttons[0].Range.DataIndexMax, 2);
    EXPECT_EQ(p.StoredCaps[HidP_Input][0].ReportCount, 8);
    EXPECT_EQ(p.Caps.NumberInputDataIndices, 3);
    EXPECT_EQ(p.Caps.InputReportByteLength, 2);
    EXPECT_EQ(HidMaxUsageListLength(HidP_Input, 0x09, &p), 8u);
}

TEST(ReportDescriptor, ValueRangeReportsCountOneButSpansItsFields)
{
    Bytes items;
    Add(items, kUsageMin, 0x20);
    Add(items, kUsageMax, 0x23);
    Add(items, kReportSize, 8);
    Add(items, kReportCount, 4);
    Add(items, kFeature, 0x02);
    const auto tlcs = ParseOk(InVendorTlc(items));
    ASSERT_EQ(tlcs.size(), 1u);
    const auto values = ValueCaps(tlcs[0], HidP_Feature);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_TRUE(values[0].IsRange);
    EXPECT_EQ(values[0].ReportCount, 1);
    EXPECT_EQ(values[0].NotRange.Usage, 0x20);
    EXPECT_EQ(values[0].Range.DataIndexMax, 3);
    EXPECT_EQ(tlcs[0].StoredCaps[HidP_Feature][0].ReportCount, 4);
    EXPECT_EQ(tlcs[0].Caps.FeatureReportByteLength, 5);
}

TEST(ReportDescriptor, ArrayWithSeveralUsagesIsReversedWithIndicesInDeclarationOrder)
{
    Bytes items;
    for (uint32_t u = 13; u <= 16; ++u)
        Add(items, kUsage, u);
    Add(items, kLogicalMin, 1);
    Add(items, kLogicalMax, 4);
    Add(items, kReportSize, 8);
    Add(items, kReportCount, 2);
    Add(items, kInput, 0x00);
    const auto tlcs = ParseOk(InVendorTlc(items));
    ASSERT_EQ(tlcs.size(), 1u);
    const auto buttons = ButtonCaps(tlcs[0], HidP_Input);
    ASSERT_EQ(buttons.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(buttons[i].NotRange.Usage, 16 - i);
        EXPECT_EQ(buttons[i].NotRange.DataIndex, 3 - i);
        EXPECT_EQ(buttons[i].ReportCount, 2);
        EXPECT_EQ(buttons[i].LogicalMin, 1);
        EXPECT_EQ(buttons[i].LogicalMax, 4);
        EXPECT_EQ(tlcs[0].StoredCaps[HidP_Input][i].BitOffset, 0u);
    }
    EXPECT_EQ(HidMaxUsageListLength(HidP_Input, 0, &tlcs[0]), 8u);
    EXPECT_EQ(tlcs[0].Caps.NumberInputDataIndices, 4);
}

TEST(ReportDescriptor, InvisibleItems)
{
    Bytes items;
    Add(items, kReportSize, 8);
    Add(items, kReportCount, 1);
    Add(items, kInput, 0x03);   // Constant, no usage: padding, no cap at all
    Add(items, kUsage, 0);
    Add(items, kInput, 0x03);   // Constant Variable with Usage 0: hidden cap
    Add(items, kUsage, 0x42);
    Add(items, kInput, 0x03);   // Constant Variable with a usage: visible, IsPadding
    Add(items, kUsage, 0x43);
    Add(items, kInput, 0x01);   // Constant Array with a usage: hidden cap
    Add(items, kUsage, 0x44);
    Add(items, kReportCount, 0);
    Add(items, kInput, 0x02);   // Report Count 0: hidden, no bits
    Add(items, kReportCount, 1);
    Add(items, kUsage, 0x45);
    Add(items, kUsage, 0x46);
    Add(items, kUsage, 0x47);
    Add(items, kInput, 0x02);   // more usages than fields: 0x45 used, the rest hidden
    Add(items, kInput, 0x02);   // Data without usage: usage 0, visible
    const auto tlcs = ParseOk(InVendorTlc(items));
    ASSERT_EQ(tlcs.size(), 1u);
    const HidPreparsedData& p = tlcs[0];
    const auto& stored = p.StoredCaps[HidP_Input];
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[0].Value.NotRange.Usage, 0x42);
    EXPECT_TRUE(stored[0].IsPadding);
    EXPECT_EQ(stored[0].BitOffset, 16u);
    EXPECT_EQ(stored[0].Value.NotRange.DataIndex, 0);
    EXPECT_EQ(stored[1].Value.NotRange.Usage, 0x45);
    EXPECT_FALSE(stored[1].IsPadding);
    EXPECT_EQ(stored[1].BitOffset, 32u);
    EXPECT_EQ(stored[1].Value.NotRange.DataIndex, 1);
    EXPECT_EQ(stored[2].Value.NotRange.Usage, 0);
    EXPECT_EQ(stored[2].BitOffset, 40u);
    EXPECT_EQ(p.HiddenCapCount[HidP_Input], 5);
    EXPECT_EQ(p.Caps.InputReportByteLength, 7);
    EXPECT_EQ(p.Caps.NumberInputValueCaps, 3);
    EXPECT_EQ(p.Caps.NumberInputDataIndices, 3);
}

TEST(ReportDescriptor, ConstantOnlyReportStillHasALength)
{
    Bytes items;
    Add(items, kReportSize, 8);
    Add(items, kReportCount, 90);
    Add(items, kFeature, 0x01);
    const auto tlcs = ParseOk(InVendorTlc(items));
    ASSERT_EQ(tlcs.size(), 1u);
    EXPECT_EQ(tlcs[0].Caps.FeatureReportByteLength, 91);
    EXPECT_TRUE(tlcs[0].StoredCaps[HidP_Feature].empty());
    EXPECT_EQ(tlcs[0].Caps.InputReportByteLength, 0);
}

TEST(ReportDescriptor, GlobalsAndExtendedUsages)
{
    Bytes items;
    Add(items, kUsagePage, 0x01);
    Add(items, kLogicalMin, 0x81);             // -127
    Add(items, kLogicalMax, 0x00FF, 2);        // 255
    Add(items, kPhysicalMin, 0xFF, 1);         // -1
    Add(items, kPhysicalMax, 0x103B, 2);
    Add(items, kUnitExponent, 0xFD, 1);        // -3
    Add(items, kUnit, 0x0E);
    Add(items, kReportSize, 8);
    Add(items, kReportCount, 1);
    Add(items, kPush);
    Add(items, kReportSize, 16);
    Add(items, kUsagePage, 0x02);
    Add(items, kReportId, 9);
    Add(items, kPop);                          // back to page 1, size 8, no report ID
    Add(items, kUsage, 0x000C00E9, 4);         // extended: page 0x0C
    Add(items, kInput, 0x42);
    Add(items, kUsageMin, 0x00090001, 4);
    Add(items, kUsageMax, 0x00090002, 4);
    Add(items, kReportCount, 2);
    Add(items, kInput, 0x06);
    Add(items, kUsage, 0x30);                  // page applied at the main item
    Add(items, kUsagePage, 0x0D);
    Add(items, kReportCount, 1);
    Add(items, kStringIndex, 4);
    Add(items, kDesignatorIndex, 2);
    Add(items, kInput, 0x02);
    const auto tlcs = ParseOk(InVendorTlc(items));
    ASSERT_EQ(tlcs.size(), 1u);
    const HidPreparsedData& p = tlcs[0];
    const auto values = ValueCaps(p, HidP_Input);
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[0].UsagePage, 0x0C);
    EXPECT_EQ(values[0].NotRange.Usage, 0xE9);
    EXPECT_EQ(values[0].ReportID, 0);
    EXPECT_EQ(values[0].BitSize, 8);
    EXPECT_TRUE(values[0].HasNull);
    EXPECT_EQ(values[0].LogicalMin, -127);
    EXPECT_EQ(values[0].LogicalMax, 255);
    EXPECT_EQ(values[0].PhysicalMin, -1);
    EXPECT_EQ(values[0].PhysicalMax, 0x103B);
    EXPECT_EQ(values[0].UnitsExp, 0xFFFFFFFDu);
    EXPECT_EQ(values[0].Units, 0x0Eu);
    EXPECT_EQ(values[1].UsagePage, 0x09);
    EXPECT_TRUE(values[1].IsRange);
    EXPECT_EQ(values[1].Range.UsageMin, 1);
    EXPECT_EQ(values[1].Range.UsageMax, 2);
    EXPECT_FALSE(values[1].IsAbsolute);
    EXPECT_EQ(values[2].UsagePage, 0x0D);
    EXPECT_EQ(values[2].NotRange.Usage, 0x30);
    EXPECT_EQ(values[2].NotRange.StringIndex, 4);
    EXPECT_EQ(values[2].NotRange.DesignatorIndex, 2);
    EXPECT_EQ(p.Caps.InputReportByteLength, 1 + 4);
}

TEST(ReportDescriptor, DelimiterSetGivesAliases)
{
    Bytes items;
    Add(items, kDelimiter, 1);
    Add(items, kUsage, 0x20);
    Add(items, kUsage, 0x21);
    Add(items, kDelimiter, 0);
    Add(items, kUsage, 0x30);
    Add(items, kReportSize, 1);
    Add(items, kReportCount, 2);
    Add(items, kInput, 0x02);
    const auto tlcs = ParseOk(InVendorTlc(items));
    ASSERT_EQ(tlcs.size(), 1u);
    const auto buttons = ButtonCaps(tlcs[0], HidP_Input);
    ASSERT_EQ(buttons.size(), 3u);
    EXPECT_EQ(buttons[0].NotRange.Usage, 0x30);
    EXPECT_FALSE(buttons[0].IsAlias);
    EXPECT_EQ(buttons[1].NotRange.Usage, 0x21);
    EXPECT_TRUE(buttons[1].IsAlias);
    EXPECT_EQ(buttons[2].NotRange.Usage, 0x20);
    EXPECT_FALSE(buttons[2].IsAlias);
    EXPECT_EQ(buttons[1].NotRange.DataIndex, buttons[2].NotRange.DataIndex);
    EXPECT_EQ(tlcs[0].StoredCaps[HidP_Input][1].BitOffset, 0u);
    EXPECT_EQ(tlcs[0].StoredCaps[HidP_Input][2].BitOffset, 0u);
    EXPECT_EQ(tlcs[0].StoredCaps[HidP_Input][0].BitOffset, 1u);
    EXPECT_EQ(tlcs[0].Caps.NumberInputDataIndices, 2);
}

TEST(ReportDescriptor, LongItemsAreSkipped)
{
    Bytes withLong = kBootMouse;
    const Bytes longItem = {0xFE, 0x03, 0x10, 0xAA, 0xBB, 0xCC};
    withLong.insert(withLong.begin() + 6, longItem.begin(), longItem.end());
    const auto a = ParseOk(kBootMouse);
    const auto b = ParseOk(withLong);
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(a[0].StoredCaps[HidP_Input].size(), b[0].StoredCaps[HidP_Input].size());
    EXPECT_EQ(b[0].Caps.InputReportByteLength, 4);
}

TEST(ReportDescriptor, SeveralTopLevelCollectionsAndLinkTree)
{
    Bytes second;
    Add(second, kUsagePage, 0x0C);
    Add(second, kUsage, 0x01);
    Add(second, kCollection, 1);
    Add(second, kReportId, 2);
    Add(second, kLogicalMax, 1);
    Add(second, kReportSize, 1);
    Add(second, kReportCount, 1);
    for (uint32_t child = 0; child < 3; ++child) {
        Add(second, kUsage, 0x80 + child);
        Add(second, kCollection, 2);
        Add(second, kUsage, 0xE9 + child);
        Add(second, kInput, 0x02);
        if (child == 1) {
            Add(second, kCollection, 0);   // no usage: usage 0
            Add(second, kUsage, 0xE2);
            Add(second, kInput, 0x02);
            Add(second, kEndCollection);
        }
        Add(second, kEndCollection);
    }
    Add(second, kUsage, 0xCD);
    Add(second, kInput, 0x02);
    Add(second, kEndCollection);
    const auto tlcs = ParseOk(Concat({kBootKeyboard, second}));
    ASSERT_EQ(tlcs.size(), 2u);
    EXPECT_EQ(tlcs[0].Caps.Usage, 0x06);
    EXPECT_EQ(tlcs[0].Caps.InputReportByteLength, 9);
    const HidPreparsedData& p = tlcs[1];
    EXPECT_EQ(p.Caps.UsagePage, 0x0C);
    EXPECT_EQ(p.Caps.Usage, 0x01);
    EXPECT_EQ(p.Caps.InputReportByteLength, 2);
    EXPECT_EQ(p.Caps.OutputReportByteLength, 0);
    ASSERT_EQ(p.LinkCollections.size(), 5u);
    EXPECT_EQ(p.Caps.NumberLinkCollectionNodes, 5);
    // Nodes: 0 TLC, 1 child 0x80, 2 child 0x81, 3 grandchild (in 2), 4 child 0x82.
    EXPECT_EQ(p.LinkCollections[0].NumberOfChildren, 3);
    EXPECT_EQ(p.LinkCollections[0].FirstChild, 4);
    EXPECT_EQ(p.LinkCollections[4].NextSibling, 2);
    EXPECT_EQ(p.LinkCollections[2].NextSibling, 1);
    EXPECT_EQ(p.LinkCollections[1].NextSibling, 0);
    EXPECT_EQ(p.LinkCollections[2].FirstChild, 3);
    EXPECT_EQ(p.LinkCollections[3].Parent, 2);
    EXPECT_EQ(p.LinkCollections[3].LinkUsage, 0);
    EXPECT_EQ(p.LinkCollections[3].LinkUsagePage, 0x0C);
    EXPECT_EQ(p.LinkCollections[3].CollectionType, 0);
    EXPECT_EQ(p.LinkCollections[4].LinkUsage, 0x82);
    EXPECT_EQ(p.LinkCollections[4].CollectionType, 2);
    const auto& stored = p.StoredCaps[HidP_Input];
    ASSERT_EQ(stored.size(), 5u);
    const uint16_t expectLink[] = {1, 2, 3, 4, 0};
    const uint16_t expectUsage[] = {0xE9, 0xEA, 0xE2, 0xEB, 0xCD};
    for (size_t i = 0; i < stored.size(); ++i) {
        EXPECT_EQ(stored[i].Value.LinkCollection, expectLink[i]);
        EXPECT_EQ(stored[i].Value.NotRange.Usage, expectUsage[i]);
        EXPECT_EQ(stored[i].Value.ReportID, 2);
        EXPECT_EQ(stored[i].BitOffset, i);
    }
    EXPECT_EQ(stored[1].Value.LinkUsage, 0x81);
    EXPECT_EQ(stored[1].Value.LinkUsagePage, 0x0C);
}

TEST(ReportDescriptor, QueryFunctionsStatuses)
{
    const auto tlcs = ParseOk(kBootMouse);
    ASSERT_EQ(tlcs.size(), 1u);
    const HidPreparsedData* p = &tlcs[0];
    HidValueCaps values[2];
    uint16_t n = 1;
    EXPECT_EQ(HidGetValueCaps(HidP_Input, values, &n, p), HIDP_STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(values[0].NotRange.Usage, 0x31);
    n = 2;
    EXPECT_EQ(HidGetValueCaps(HidP_Input, values, &n, nullptr), HIDP_STATUS_INVALID_PREPARSED_DATA);
    EXPECT_EQ(HidGetValueCaps(static_cast<HidReportType>(3), values, &n, p),
              HIDP_STATUS_INVALID_REPORT_TYPE);
    n = 2;
    EXPECT_EQ(HidGetValueCaps(HidP_Output, values, &n, p), HIDP_STATUS_SUCCESS);
    EXPECT_EQ(n, 0);
    n = 0;
    EXPECT_EQ(HidGetValueCaps(HidP_Input, nullptr, &n, p), HIDP_STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(n, 0);
    HidButtonCaps buttons[1];
    n = 1;
    EXPECT_EQ(HidGetButtonCaps(HidP_Input, buttons, &n, p), HIDP_STATUS_SUCCESS);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(HidGetButtonCaps(HidP_Feature, buttons, nullptr, p), HIDP_STATUS_SUCCESS);
    HidCaps caps;
    EXPECT_EQ(HidGetCaps(nullptr, &caps), HIDP_STATUS_INVALID_PREPARSED_DATA);
    EXPECT_EQ(HidMaxUsageListLength(HidP_Input, 0, nullptr), 0u);
    EXPECT_EQ(HidMaxUsageListLength(static_cast<HidReportType>(7), 0, p), 0u);
}

// ---------------------------------------------------------------------------
// Malformed descriptors

struct MalformedCase
{
    const char* Name;
    Bytes Descriptor;
    HidParseResult Expected;
    size_t Offset;
};

TEST(ReportDescriptor, MalformedDescriptorsAreRejected)
{
    Bytes deepPush = {0xA1, 0x01};
    for (int i = 0; i < 300; ++i)
        deepPush.push_back(0xA4);
    Bytes tooLong = {0xA1, 0x01, 0x75, 0x08, 0x96, 0xFF, 0xFF, 0x81, 0x02};   // 65535 bytes + ID
    const MalformedCase cases[] = {
        {"empty", {}, HidParseResult::Empty, 0},
        {"globals only", {0x05, 0x01, 0x75, 0x08}, HidParseResult::Empty, 4},
        {"prefix without data", {0x05}, HidParseResult::Truncated, 0},
        {"item data cut", {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x26, 0xFF}, HidParseResult::Truncated, 6},
        {"4-byte item cut", {0xA1, 0x01, 0x27, 0x01, 0x02, 0x03}, HidParseResult::Truncated, 2},
        {"long item header cut", {0xA1, 0x01, 0xFE, 0x05}, HidParseResult::Truncated, 2},
        {"long item data cut", {0xA1, 0x01, 0xFE, 0x05, 0x10, 1, 2, 3, 4}, HidParseResult::Truncated, 2},
        {"End Collection first", {0xC0}, HidParseResult::UnbalancedCollection, 0},
        {"extra End Collection", {0xA1, 0x01, 0xC0, 0xC0}, HidParseResult::UnbalancedCollection, 3},
        {"collection left open", {0x09, 0x02, 0xA1, 0x01, 0xA1, 0x00, 0xC0}, HidParseResult::UnbalancedCollection, 2},
        {"Input outside collection", {0x75, 0x08, 0x95, 0x01, 0x81, 0x02}, HidParseResult::MainItemOutsideCollection, 4},
        {"Feature after the TLC", {0xA1, 0x01, 0xC0, 0xB1, 0x02}, HidParseResult::MainItemOutsideCollection, 3},
        {"reserved main tag", {0xA1, 0x01, 0xF0, 0xC0}, HidParseResult::BadItem, 2},
        {"trailing zero byte (main tag 0)", {0xA1, 0x01, 0xC0, 0x00}, HidParseResult::BadItem, 3},
        {"reserved item type", {0xA1, 0x01, 0x0D, 0x00, 0xC0}, HidParseResult::BadItem, 2},
        {"reserved global tag", {0xA1, 0x01, 0xC5, 0x00, 0xC0}, HidParseResult::BadItem, 2},
        {"reserved local tag", {0xA1, 0x01, 0x69, 0x00, 0xC0}, HidParseResult::BadItem, 2},
        {"Report ID 0", {0xA1, 0x01, 0x85, 0x00, 0xC0}, HidParseResult::BadItem, 2},
        {"Report ID 256", {0xA1, 0x01, 0x86, 0x00, 0x01, 0xC0}, HidParseResult::BadItem, 2},
        {"Pop without Push", {0xA1, 0x01, 0xB4, 0xC0}, HidParseResult::BadItem, 2},
        {"Usage Minimum alone", {0xA1, 0x01, 0x19, 0x01, 0x75, 0x01, 0x95, 0x01, 0x81, 0x02, 0xC0}, HidParseResult::BadItem, 8},
        {"Usage Minimum > Maximum", {0xA1, 0x01, 0x19, 0x05, 0x29, 0x01, 0x81, 0x02, 0xC0}, HidParseResult::BadItem, 6},
        {"range across pages", {0xA1, 0x01, 0x1B, 1, 0, 9, 0, 0x2B, 2, 0, 7, 0, 0x81, 0x02, 0xC0}, HidParseResult::BadItem, 12},
        {"Delimiter close without open", {0xA1, 0x01, 0xA9, 0x00, 0xC0}, HidParseResult::BadItem, 2},
        {"Delimiter left open", {0xA1, 0x01, 0xA9, 0x01, 0x09, 0x01, 0x81, 0x02, 0xC0}, HidParseResult::BadItem, 6},
        {"Report Count over 65535", {0xA1, 0x01, 0x75, 0x01, 0x97, 0x00, 0x00, 0x01, 0x00, 0x81, 0x02, 0xC0}, HidParseResult::TooLarge, 9},
        {"Report Size 0xFFFFFFFF", {0xA1, 0x01, 0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x95, 0x01, 0x81, 0x02, 0xC0}, HidParseResult::TooLarge, 9},
        {"Size x Count over 64 KiB", {0xA1, 0x01, 0x76, 0xFF, 0xFF, 0x96, 0xFF, 0xFF, 0x91, 0x02, 0xC0}, HidParseResult::TooLarge, 8},
        {"report of 65535 data bytes", tooLong, HidParseResult::TooLarge, 7},
        {"65536 data indices", {0xA1, 0x01, 0x19, 0x00, 0x2A, 0xFF, 0xFF, 0x75, 0x08, 0x95, 0x01, 0x81, 0x00, 0xC0}, HidParseResult::TooLarge, 11},
        {"Push 300 deep", deepPush, HidParseResult::TooLarge, 2 + 256},
    };
    for (const MalformedCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<HidPreparsedData> tlcs(1);   // must come back empty
        size_t offset = 9999;
        const HidParseResult r = ParseReportDescriptor(c.Descriptor.data(), c.Descriptor.size(), tlcs, &offset);
        EXPECT_EQ(r, c.Expected) << HidParseResultText(r);
        EXPECT_EQ(offset, c.Offset);
        EXPECT_TRUE(tlcs.empty());
        EXPECT_STRNE(HidParseResultText(r), "");
    }
    // The largest report that fits: 65534 data bytes + the ID byte.
    const Bytes largest = {0xA1, 0x01, 0x75, 0x08, 0x96, 0xFE, 0xFF, 0x81, 0x02, 0xC0};
    const auto tlcs = ParseOk(largest);
    ASSERT_EQ(tlcs.size(), 1u);
    EXPECT_EQ(tlcs[0].Caps.InputReportByteLength, 65535);
    std::vector<HidPreparsedData> out;
    EXPECT_EQ(ParseReportDescriptor(nullptr, 10, out), HidParseResult::Empty);
}

// ---------------------------------------------------------------------------
// Robustness: never crash, never read outside the buffer (run under ASan)

// Invariants of a successful parse: every cap lies inside its report.
void CheckInvariants(const std::vector<HidPreparsedData>& tlcs)
{
    for (const HidPreparsedData& p : tlcs) {
        const uint16_t lengths[3] = {p.Caps.InputReportByteLength, p.Caps.OutputReportByteLength,
                                     p.Caps.FeatureReportByteLength};
        const uint16_t indices[3] = {p.Caps.NumberInputDataIndices, p.Caps.NumberOutputDataIndices,
                                     p.Caps.NumberFeatureDataIndices};
        ASSERT_EQ(p.LinkCollections.size(), p.Caps.NumberLinkCollectionNodes);
        for (int t = 0; t < 3; ++t) {
            for (const HidStoredCap& cap : p.StoredCaps[t]) {
                const uint64_t end = uint64_t{cap.BitOffset} + uint64_t{cap.BitSize} * cap.ReportCount;
                ASSERT_LE((end + 7) / 8 + 1, lengths[t]);
                ASSERT_LT(cap.Value.Range.DataIndexMax, indices[t]);
                ASSERT_LT(cap.Value.LinkCollection, p.LinkCollections.size());
            }
            uint16_t n = 0;
            HidGetValueCaps(static_cast<HidReportType>(t), nullptr, &n, &p);
            HidMaxUsageListLength(static_cast<HidReportType>(t), 0, &p);
        }
    }
}

void ParseAnything(const Bytes& d)
{
    std::vector<HidPreparsedData> tlcs;
    size_t offset = 0;
    // Copy into an exactly sized heap block so ASan catches any overread.
    std::unique_ptr<uint8_t[]> exact(new uint8_t[d.size() + 1]);
    std::copy(d.begin(), d.end(), exact.get());
    const HidParseResult r = ParseReportDescriptor(d.empty() ? nullptr : exact.get(), d.size(), tlcs, &offset);
    if (r == HidParseResult::Ok) {
        ASSERT_FALSE(tlcs.empty());
        CheckInvariants(tlcs);
    } else {
        ASSERT_TRUE(tlcs.empty());
        ASSERT_LE(offset, d.size());
    }
}

std::vector<Bytes> ValidSamples()
{
    return {kBootKeyboard, kBootMouse,
            VendorDescriptor({{kOutput, 1, 1, 4099}, {kOutput, 2, 2, 15}, {kInput, 4, 4, 63}}),
            Concat({kBootKeyboard, kBootMouse})};
}

TEST(ReportDescriptor, EveryPrefixAndRandomBytesNeverCrash)
{
    for (const Bytes& valid : ValidSamples())
        for (size_t n = 0; n <= valid.size(); ++n)
            ParseAnything(Bytes(valid.begin(), valid.begin() + static_cast<ptrdiff_t>(n)));

    std::mt19937 rng(20240607u);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < 3000; ++i) {
        Bytes d(static_cast<size_t>(rng() % 160));
        for (uint8_t& b : d)
            b = static_cast<uint8_t>(byte(rng));
        if (i % 2 == 0 && d.size() > 2) {   // give half of them a collection to live in
            d[0] = 0xA1;
            d[1] = 0x01;
        }
        ParseAnything(d);
    }
    // Mutations of valid descriptors reach deeper into the builder.
    for (const Bytes& valid : ValidSamples()) {
        for (int i = 0; i < 2000; ++i) {
            Bytes d = valid;
            const int flips = 1 + static_cast<int>(rng() % 4);
            for (int f = 0; f < flips; ++f)
                d[rng() % d.size()] = static_cast<uint8_t>(byte(rng));
            ParseAnything(d);
        }
    }
}

TEST(ReportDescriptor, ManySmallCollectionsStayCheap)
{
    Bytes d;
    for (int i = 0; i < 20000; ++i) {
        Add(d, kUsage, static_cast<uint32_t>(i & 0xFF));
        Add(d, kCollection, 1);
        Add(d, kEndCollection);
    }
    const auto tlcs = ParseOk(d);
    ASSERT_EQ(tlcs.size(), 20000u);
    EXPECT_EQ(tlcs[257].Caps.Usage, 1);
    EXPECT_EQ(tlcs[257].Caps.InputReportByteLength, 0);
}

// ---------------------------------------------------------------------------
// Conformance with the Windows dumps (../shared/hid-corpus)

// The descriptor bytes of a `_real.rpt_desc` text: the `0x..` tokens before
// `//` comments when the file has them, else on each line the trailing run of
// two-digit hex tokens (after "Item (text) 05 01" or a bare hex dump line).
Bytes DescriptorBytesFromText(const std::string& text)
{
    Bytes out;
    std::istringstream lines(text);
    std::string line;
    const bool cStyle = std::regex_search(text, std::regex("0x[0-9A-Fa-f]{2}\\s*,"));
    const std::regex cToken("0x([0-9A-Fa-f]{2})\\b");
    while (std::getline(lines, line)) {
        if (cStyle) {
            line = line.substr(0, line.find("//"));
            for (std::sregex_iterator it(line.begin(), line.end(), cToken), end; it != end; ++it)
                out.push_back(static_cast<uint8_t>(std::stoul((*it)[1].str(), nullptr, 16)));
            continue;
        }
        std::vector<std::string> tokens;
        std::istringstream words(line);
        for (std::string w; words >> w;)
            tokens.push_back(w);
        size_t first = tokens.size();
        while (first > 0 && tokens[first - 1].size() == 2 &&
               std::isxdigit(static_cast<unsigned char>(tokens[first - 1][0])) &&
               std::isxdigit(static_cast<unsigned char>(tokens[first - 1][1])))
            --first;
        for (size_t i = first; i < tokens.size(); ++i)
            out.push_back(static_cast<uint8_t>(std::stoul(tokens[i], nullptr, 16)));
    }
    return out;
}

// `pp_data->a->b = value` lines as "a->b" -> value ("pp_cap->" dropped).
std::map<std::string, long long> ReadPpData(const std::string& text)
{
    std::map<std::string, long long> fields;
    std::istringstream lines(text);
    std::string line;
    const std::string prefix = "pp_data->";
    while (std::getline(lines, line)) {
        if (line.compare(0, prefix.size(), prefix) != 0)
            continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = line.substr(prefix.size(), eq - prefix.size());
        key.erase(key.find_last_not_of(' ') + 1);
        const size_t pp = key.find("pp_cap->");
        if (pp != std::string::npos)
            key.erase(pp, 8);
        std::string value = line.substr(eq + 1);
        value.erase(0, value.find_first_not_of(' '));
        if (value.empty() || value[0] == '"')
            continue;
        fields[key] = std::strtoll(value.c_str(), nullptr, 0);
    }
    return fields;
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Dump fields we cannot reproduce from the descriptor text, with the reason.
struct KnownDifference
{
    const char* Device;
    int Cap;
    const char* Field;
    const char* Why;
};
const KnownDifference kKnownDifferences[] = {
    {"047F_C056_0003_FFA0", 0, "NotButton.LogicalMax",
     "Windows shows 1, but the descriptor declares no Logical Maximum before report 3 (0 is in force)"},
    {"047F_C056_0003_FFA0", 8, "NotButton.LogicalMax",
     "Windows shows 1, but the descriptor declares no Logical Maximum before report 3 (0 is in force)"},
};

bool IsKnownDifference(const std::string& device, int cap, const std::string& field)
{
    for (const KnownDifference& k : kKnownDifferences)
        if (device == k.Device && cap == k.Cap && field == k.Field)
            return true;
    return false;
}

void CompareWithDump(const std::string& device, const HidPreparsedData& p,
                     const std::map<std::string, long long>& dump)
{
    const auto get = [&dump](const std::string& key) -> long long {
        const auto it = dump.find(key);
        EXPECT_NE(it, dump.end()) << "missing in dump: " << key;
        return it == dump.end() ? -1 : it->second;
    };
    EXPECT_EQ(p.Caps.Usage, get("Usage"));
    EXPECT_EQ(p.Caps.UsagePage, get("UsagePage"));
    EXPECT_EQ(p.Caps.NumberLinkCollectionNodes, get("NumberLinkCollectionNodes"));

    const uint16_t lengths[3] = {p.Caps.InputReportByteLength, p.Caps.OutputReportByteLength,
                                 p.Caps.FeatureReportByteLength};
    for (int t = 0; t < 3; ++t) {
        const std::string info = "caps_info[" + std::to_string(t) + "]->";
        SCOPED_TRACE(info);
        EXPECT_EQ(lengths[t], get(info + "ReportByteLength"));
        const long long first = get(info + "FirstCap");
        const long long last = get(info + "LastCap");
        const auto& stored = p.StoredCaps[t];
        ASSERT_EQ(static_cast<long long>(stored.size()), last - first);
        EXPECT_EQ(static_cast<long long>(stored.size() + p.HiddenCapCount[t]), get(info + "NumberOfCaps"));
        for (long long i = first; i < last; ++i) {
            const HidStoredCap& s = stored[static_cast<size_t>(i - first)];
            const HidValueCaps& v = s.Value;
            const std::string c = "cap[" + std::to_string(i) + "]->";
            SCOPED_TRACE(c);
            const auto expect = [&](const char* field, long long ours) {
                if (IsKnownDifference(device, static_cast<int>(i), field))
                    EXPECT_NE(ours, get(c + field)) << field << ": known difference now matches";
                else
                    EXPECT_EQ(ours, get(c + field)) << field;
            };
            expect("IsButtonCap", s.IsButtonCap);
            expect("ReportID", v.ReportID);
            expect("UsagePage", v.UsagePage);
            expect("BitSize", s.BitSize);
            expect("ReportCount", s.ReportCount);
            expect("BytePosition", 1 + s.BitOffset / 8);
            expect("BitPosition", s.BitOffset % 8);
            expect("BitCount", s.BitSize * s.ReportCount);
            expect("NextBytePosition", 1 + (s.BitOffset + s.BitSize * s.ReportCount + 7) / 8);
            expect("BitField", v.BitField);
            expect("LinkCollection", v.LinkCollection);
            expect("LinkUsage", v.LinkUsage);
            expect("LinkUsagePage", v.LinkUsagePage);
            expect("IsPadding", s.IsPadding);
            expect("IsAbsolute", v.IsAbsolute);
            expect("IsRange", v.IsRange);
            expect("IsAlias", v.IsAlias);
            expect("IsStringRange", v.IsStringRange);
            expect("IsDesignatorRange", v.IsDesignatorRange);
            if (v.IsRange) {
                expect("Range.UsageMin", v.Range.UsageMin);
                expect("Range.UsageMax", v.Range.UsageMax);
                expect("Range.DataIndexMin", v.Range.DataIndexMin);
                expect("Range.DataIndexMax", v.Range.DataIndexMax);
            } else {
                expect("NotRange.Usage", v.NotRange.Usage);
                expect("NotRange.DataIndex", v.NotRange.DataIndex);
                expect("NotRange.StringIndex", v.NotRange.StringIndex);
                expect("NotRange.DesignatorIndex", v.NotRange.DesignatorIndex);
            }
            if (s.IsButtonCap) {
                expect("Button.LogicalMin", v.LogicalMin);
                expect("Button.LogicalMax", v.LogicalMax);
            } else {
                expect("NotButton.HasNull", v.HasNull);
                expect("NotButton.LogicalMin", v.LogicalMin);
                expect("NotButton.LogicalMax", v.LogicalMax);
                expect("NotButton.PhysicalMin", v.PhysicalMin);
                expect("NotButton.PhysicalMax", v.PhysicalMax);
            }
            expect("Units", v.Units);
            expect("UnitsExp", static_cast<int32_t>(v.UnitsExp));
        }
        // The query functions return the same caps, split by kind, order kept.
        std::vector<const HidStoredCap*> values;
        for (const HidStoredCap& s : stored)
            if (!s.IsButtonCap)
                values.push_back(&s);
        const auto got = ValueCaps(p, static_cast<HidReportType>(t));
        ASSERT_EQ(got.size(), values.size());
        for (size_t k = 0; k < got.size(); ++k) {
            EXPECT_EQ(got[k].NotRange.Usage, values[k]->Value.NotRange.Usage);
            EXPECT_EQ(got[k].ReportID, values[k]->Value.ReportID);
        }
    }
    ASSERT_EQ(p.LinkCollections.size(), static_cast<size_t>(get("NumberLinkCollectionNodes")));
    for (size_t n = 0; n < p.LinkCollections.size(); ++n) {
        const HidLinkCollectionNode& node = p.LinkCollections[n];
        const std::string l = "LinkCollectionArray[" + std::to_string(n) + "]->";
        SCOPED_TRACE(l);
        EXPECT_EQ(node.LinkUsage, get(l + "LinkUsage"));
        EXPECT_EQ(node.LinkUsagePage, get(l + "LinkUsagePage"));
        EXPECT_EQ(node.Parent, get(l + "Parent"));
        EXPECT_EQ(node.NumberOfChildren, get(l + "NumberOfChildren"));
        EXPECT_EQ(node.NextSibling, get(l + "NextSibling"));
        EXPECT_EQ(node.FirstChild, get(l + "FirstChild"));
        EXPECT_EQ(node.CollectionType, get(l + "CollectionType"));
        EXPECT_EQ(node.IsAlias, get(l + "IsAlias"));
    }
}

TEST(ReportDescriptorCorpus, MatchesWindowsDumps)
{
    const std::filesystem::path corpus = PELLARO_HID_CORPUS;
    std::error_code ec;
    if (!std::filesystem::is_directory(corpus, ec))
        GTEST_SKIP() << "no corpus at " << corpus;
    const std::string suffix = "_real.rpt_desc";
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(corpus, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > suffix.size() && name.ends_with(suffix))
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    EXPECT_GE(files.size(), 8u);
    for (const auto& file : files) {
        const std::string name = file.filename().string();
        const std::string device = name.substr(0, name.size() - suffix.size());
        SCOPED_TRACE(device);
        // VID_PID_USAGE_USAGEPAGE
        ASSERT_EQ(device.size(), 19u);
        const auto usage = static_cast<uint16_t>(std::stoul(device.substr(10, 4), nullptr, 16));
        const auto usagePage = static_cast<uint16_t>(std::stoul(device.substr(15, 4), nullptr, 16));

        const Bytes bytes = DescriptorBytesFromText(ReadFile(file));
        ASSERT_FALSE(bytes.empty());
        ParseAnything(bytes);
        for (size_t n = 0; n < bytes.size(); ++n)   // prefixes of real descriptors too
            ParseAnything(Bytes(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(n)));
        const auto tlcs = ParseOk(bytes);
        const auto tlc = std::find_if(tlcs.begin(), tlcs.end(), [&](const HidPreparsedData& p) {
            return p.Caps.Usage == usage && p.Caps.UsagePage == usagePage;
        });
        ASSERT_NE(tlc, tlcs.end()) << "no TLC with the file's usage page and usage";

        const auto dumpPath = corpus / (device + ".pp_data");
        ASSERT_TRUE(std::filesystem::exists(dumpPath));
        CompareWithDump(device, *tlc, ReadPpData(ReadFile(dumpPath)));
    }
}

}  // namespace
