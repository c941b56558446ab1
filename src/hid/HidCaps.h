// Our capability model: what the Windows HID parser reports for one top-level
// collection (TLC) of a report descriptor, and the report-descriptor parser
// that builds it. The order of the capability lists is part of the device
// protocol: report slot n is entry n of the value caps of a report type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Status words, as the HID parsing operations return them.
constexpr uint32_t HIDP_STATUS_SUCCESS = 0x00110000;
constexpr uint32_t HIDP_STATUS_INVALID_REPORT_TYPE = 0xC0110002;
constexpr uint32_t HIDP_STATUS_INVALID_PREPARSED_DATA = 0xC0110001;
constexpr uint32_t HIDP_STATUS_BUFFER_TOO_SMALL = 0xC0110007;

enum HidReportType : uint32_t
{
    HidP_Input = 0,
    HidP_Output = 1,
    HidP_Feature = 2,
};

// Top-level capabilities of one TLC.
struct HidCaps
{
    uint16_t Usage = 0;
    uint16_t UsagePage = 0;
    uint16_t InputReportByteLength = 0;
    uint16_t OutputReportByteLength = 0;
    uint16_t FeatureReportByteLength = 0;
    uint16_t NumberLinkCollectionNodes = 0;
    uint16_t NumberInputButtonCaps = 0;
    uint16_t NumberInputValueCaps = 0;
    uint16_t NumberInputDataIndices = 0;
    uint16_t NumberOutputButtonCaps = 0;
    uint16_t NumberOutputValueCaps = 0;
    uint16_t NumberOutputDataIndices = 0;
    uint16_t NumberFeatureButtonCaps = 0;
    uint16_t NumberFeatureValueCaps = 0;
    uint16_t NumberFeatureDataIndices = 0;
};

struct HidCapRange
{
    uint16_t UsageMin = 0, UsageMax = 0;
    uint16_t StringMin = 0, StringMax = 0;
    uint16_t DesignatorMin = 0, DesignatorMax = 0;
    uint16_t DataIndexMin = 0, DataIndexMax = 0;
};

struct HidCapNotRange
{
    uint16_t Usage = 0;
    uint16_t StringIndex = 0;
    uint16_t DesignatorIndex = 0;
    uint16_t DataIndex = 0;
};

// Fields common to value and button capabilities. Both Range and NotRange are
// always filled: for a single usage Range.UsageMin == Range.UsageMax == Usage;
// for a range NotRange.Usage is the first usage of the range.
struct HidCapCommon
{
    uint16_t UsagePage = 0;
    uint8_t ReportID = 0;
    bool IsAlias = false;
    uint16_t BitField = 0;
    uint16_t LinkCollection = 0;
    uint16_t LinkUsage = 0;
    uint16_t LinkUsagePage = 0;
    bool IsRange = false;
    bool IsStringRange = false;
    bool IsDesignatorRange = false;
    bool IsAbsolute = false;
    HidCapRange Range;
    HidCapNotRange NotRange;
};

struct HidValueCaps : HidCapCommon
{
    bool HasNull = false;
    uint16_t BitSize = 0;
    uint16_t ReportCount = 0;   // 1 for a range (as Windows reports it)
    uint32_t UnitsExp = 0;
    uint32_t Units = 0;
    int32_t LogicalMin = 0, LogicalMax = 0;
    int32_t PhysicalMin = 0, PhysicalMax = 0;
};

struct HidButtonCaps : HidCapCommon
{
    uint16_t ReportCount = 0;   // the main item's Report Count
    int32_t LogicalMin = 0, LogicalMax = 0;
};

// One stored capability, as the parser keeps it per report type in descriptor
// order (button and value caps share the list).
struct HidStoredCap
{
    bool IsButtonCap = false;
    uint16_t BitSize = 0;
    uint16_t ReportCount = 0;   // internal count: a range spans all its fields
    uint16_t BitPosition = 0;   // bit offset within the report data (after the ID byte);
                                // saturates at 0xFFFF for reports over 8 KiB, see BitOffset
    HidValueCaps Value;         // all common fields and value-only fields
    // Additions (not in the first version of this header):
    uint32_t BitOffset = 0;     // BitPosition without the 16-bit limit. Windows' dump
                                // fields: BytePosition = 1 + BitOffset / 8,
                                // BitPosition = BitOffset % 8
    bool IsPadding = false;     // the main item is Constant (Windows' IsPadding)
};

struct HidLinkCollectionNode
{
    uint16_t LinkUsage = 0;
    uint16_t LinkUsagePage = 0;
    uint16_t Parent = 0;
    uint16_t NumberOfChildren = 0;
    uint16_t NextSibling = 0;
    uint16_t FirstChild = 0;
    uint8_t CollectionType = 0;
    bool IsAlias = false;
};

// What the parser builds for one TLC ("preparsed data").
struct HidPreparsedData
{
    HidCaps Caps;
    std::vector<HidStoredCap> StoredCaps[3];   // indexed by HidReportType
    std::vector<HidLinkCollectionNode> LinkCollections;
    // Addition: caps Windows stores after LastCap and never returns (Report Count 0,
    // Constant items with Usage 0, Constant Array items, usages beyond Report Count).
    // They take no data index; StoredCaps[t].size() + HiddenCapCount[t] is the dump's
    // caps_info[t].NumberOfCaps. Constant items without any usage store nothing.
    uint16_t HiddenCapCount[3] = {};
};

enum class HidParseResult
{
    Ok,
    Empty,                // no bytes, or no top-level collection at all
    Truncated,            // an item's data runs past the end of the descriptor
    UnbalancedCollection, // End Collection without Collection, or a collection left open
    MainItemOutsideCollection,
    BadItem,              // reserved/unknown item tag or size that cannot be parsed
    TooLarge,             // counts or lengths that do not fit the caps model (e.g. > 65535)
};

const char* HidParseResultText(HidParseResult result);

// Splits a whole interface's report descriptor into its top-level collections
// and builds the caps of each, in descriptor order. On failure `collections`
// is left empty and `errorOffset` (if given) receives the byte offset of the
// offending item. Never reads outside [descriptor, descriptor + length).
HidParseResult ParseReportDescriptor(const uint8_t* descriptor, size_t length,
                                     std::vector<HidPreparsedData>& collections,
                                     size_t* errorOffset = nullptr);

// The Windows-like queries over one TLC. They return HIDP_STATUS_SUCCESS or an
// error status; `count` is in/out: capacity of the array on entry, entries
// written on return (HIDP_STATUS_BUFFER_TOO_SMALL when the array is too small,
// with the first `count` entries written). Null `data` gives
// HIDP_STATUS_INVALID_PREPARSED_DATA, a type other than Input/Output/Feature
// HIDP_STATUS_INVALID_REPORT_TYPE; a null `count` counts as capacity 0 with
// nothing written back, a null `caps` as capacity 0.
uint32_t HidGetCaps(const HidPreparsedData* data, HidCaps* caps);
uint32_t HidGetValueCaps(HidReportType type, HidValueCaps* caps, uint16_t* count,
                         const HidPreparsedData* data);
uint32_t HidGetButtonCaps(HidReportType type, HidButtonCaps* caps, uint16_t* count,
                          const HidPreparsedData* data);
// Sum of ReportCount over the button caps of that type on that usage page
// (page 0: all pages). 0 for null `data` or an invalid type.
uint32_t HidMaxUsageListLength(HidReportType type, uint16_t usagePage,
                               const HidPreparsedData* data);
