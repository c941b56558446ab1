// The record of one opened HID interface, the search for the device among the
// machine's HID interfaces, opening an interface and building its report
// tables, and releasing it.
#pragma once

#include "HidBackend.h"
#include "HidCaps.h"

#include <cstdint>

// A handle of an open interface; INVALID_HID_HANDLE when closed.
typedef CHidConnection* HidHandle;
#define INVALID_HID_HANDLE (static_cast<HidHandle>(nullptr))

typedef int BOOL;
#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

// One entry of an item table.
struct HidItem
{
    uint8_t IsButton;
    uint16_t UsagePage;
    uint32_t Status;
    uint32_t ReportID;
    uint32_t UsageMin, UsageMax;   // value entries keep their usage in UsageMin too
    uint32_t MaxUsageLength;
    uint16_t* Usages;              // owned, MaxUsageLength zeroed entries (buttons)
    uint16_t Usage;
};

// The record is plain data: copying it moves the ownership of what its pointers
// and handle refer to, and only one of the copies may be released afterwards.
struct HidDevice
{
    char* DevicePath;
    HidHandle Handle;
    BOOL ReadAccess;
    BOOL WriteAccess;
    BOOL Overlapped;
    BOOL Exclusive;
    HidPreparsedData* PreparsedData;
    HidCaps Caps;
    HidAttributes Attributes;

    uint8_t* InputReportBuf;
    HidItem* InputItems;
    uint32_t InputItemCount;
    HidButtonCaps* InputButtonCaps;
    HidValueCaps* InputValueCaps;

    uint8_t* OutputReportBuf;
    HidItem* OutputItems;
    uint32_t OutputItemCount;
    HidButtonCaps* OutputButtonCaps;
    HidValueCaps* OutputValueCaps;

    uint8_t* FeatureReportBuf;
    HidItem* FeatureItems;
    uint32_t FeatureItemCount;
    HidButtonCaps* FeatureButtonCaps;
    HidValueCaps* FeatureValueCaps;

    // Real sizes of the three report buffers. The receive buffer is larger than
    // the longest input report: an input request may claim up to its slot length
    // with a command code in bits 8..15, and the whole claimed length is valid.
    uint32_t InputReportBufLength;
    uint32_t OutputReportBufLength;
    uint32_t FeatureReportBufLength;
};

// Search state, process-wide.
extern uint16_t g_wVendorId;
extern uint16_t g_wProductId;
extern BOOL g_bDeviceMatched;
extern uint32_t g_nDeviceIndex;   // 0xFFFF: none

constexpr uint32_t HID_NO_DEVICE_INDEX = 0xFFFF;

// Puts the record into the closed state (all zero, handle invalid).
void PrepareHidDevice(HidDevice* device);
// True when the record holds an open interface with its tables built.
bool HidDeviceIsOpen(const HidDevice* device);

// Enumerates the HID interfaces and opens each into the next record of a
// growing array (capacity 10, doubled at the start of every pass) until one
// matches g_wVendorId/g_wProductId. On true *records holds the array (free it
// with FreeHidDeviceArray once the matched record was taken) and
// g_nDeviceIndex the matched index or 0xFFFF; *count receives the number of
// records examined. On false *records is null.
BOOL FindMatchingHidDevice(HidDevice** records, uint32_t* count = nullptr);
// Releases the array as plain memory (the records' contents are not released).
void FreeHidDeviceArray(HidDevice* records);

BOOL OpenHidInterface(const char* path, BOOL readAccess, BOOL writeAccess, BOOL overlapped,
                      BOOL exclusive, HidDevice* device);
BOOL BuildReportTables(HidDevice* device);
void ReleaseHidDevice(HidDevice* device);

// What the last search saw that a user must be told about, for example a
// matching interface the user has no permission to open. Empty when nothing.
const char* HidSearchProblem();
// The text that tells a user how to get access to a node (names the udev rule).
void FormatPermissionProblem(char* text, size_t size, const char* node, uint16_t vendorId,
                             uint16_t productId);

// One HID interface as the enumeration presents it (one per top-level
// collection of a node, as Windows does).
struct HidInterfaceInfo
{
    std::string Path;
    HidNodeInfo Node;
    bool HasCollection = false;   // the node's descriptor could be parsed
    uint16_t UsagePage = 0;
    uint16_t Usage = 0;
};
// Lists the interfaces in enumeration order; false when the backend cannot enumerate.
bool EnumerateHidInterfaces(std::vector<HidInterfaceInfo>& interfaces);
