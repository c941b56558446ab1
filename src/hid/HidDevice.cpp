#include "HidDevice.h"

#include "Diagnostics.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

uint16_t g_wVendorId = 0;
uint16_t g_wProductId = 0;
BOOL g_bDeviceMatched = FALSE;
uint32_t g_nDeviceIndex = HID_NO_DEVICE_INDEX;

namespace {

// The interfaces of the search under way, so that an open that fails can tell
// whether the interface it could not open was the wanted device.
std::vector<HidInterfaceInfo>* g_pSearchInterfaces = nullptr;
char g_szSearchProblem[512] = "";

const HidInterfaceInfo* FindSearchInterface(const char* path)
{
    if (!g_pSearchInterfaces)
        return nullptr;
    for (const HidInterfaceInfo& info : *g_pSearchInterfaces)
        if (info.Path == path)
            return &info;
    return nullptr;
}

// Interface paths: the node's path, with "&colNN" (from 01) when the node has
// several top-level collections.
void SplitInterfacePath(const std::string& path, std::string& node, size_t& collection)
{
    node = path;
    collection = 0;
    const size_t at = path.rfind("&col");
    if (at == std::string::npos || at + 6 != path.size())
        return;
    const char hi = path[at + 4], lo = path[at + 5];
    if (hi < '0' || hi > '9' || lo < '0' || lo > '9')
        return;
    const size_t n = static_cast<size_t>((hi - '0') * 10 + (lo - '0'));
    if (n == 0)
        return;
    node = path.substr(0, at);
    collection = n - 1;
}

template <typename T>
T* AllocZeroed(size_t count)
{
    if (count == 0)
        return nullptr;
    T* p = new (std::nothrow) T[count]();
    return p;
}

void FreeItems(HidItem*& items, uint32_t count)
{
    if (!items)
        return;
    for (uint32_t i = 0; i < count; ++i)
        delete[] items[i].Usages;
    delete[] items;
    items = nullptr;
}

template <typename T>
void FreeArray(T*& p)
{
    delete[] p;
    p = nullptr;
}

} // namespace

void PrepareHidDevice(HidDevice* device)
{
    std::memset(static_cast<void*>(device), 0, sizeof *device);
    device->Handle = INVALID_HID_HANDLE;
}

bool HidDeviceIsOpen(const HidDevice* device)
{
    return device && device->Handle != INVALID_HID_HANDLE && device->PreparsedData &&
           device->DevicePath;
}

const char* HidSearchProblem()
{
    return g_szSearchProblem;
}

void FormatPermissionProblem(char* text, size_t size, const char* node, uint16_t vendorId,
                             uint16_t productId)
{
    // The shipped rule names the default IDs; other IDs need their own copy of it.
    const bool defaultIds = vendorId == 0x32ED && productId == 0x3200;
    std::snprintf(text, size,
                  "Permission denied opening %s (VID 0x%04X PID 0x%04X): install "
                  "packaging/70-pellaro.rules%s into /etc/udev/rules.d/, then run "
                  "'udevadm control --reload-rules && udevadm trigger' or replug the device",
                  node, vendorId, productId,
                  defaultIds ? "" : " (with idVendor/idProduct changed to these IDs)");
}

bool EnumerateHidInterfaces(std::vector<HidInterfaceInfo>& interfaces)
{
    interfaces.clear();
    std::vector<HidNodeInfo> nodes;
    if (!GetHidBackend()->Enumerate(nodes))
        return false;
    std::vector<HidPreparsedData> collections;
    for (HidNodeInfo& node : nodes) {
        collections.clear();
        const bool parsed =
            !node.Descriptor.empty() &&
            ParseReportDescriptor(node.Descriptor.data(), node.Descriptor.size(), collections) ==
                HidParseResult::Ok;
        if (!parsed || collections.size() <= 1) {
            HidInterfaceInfo info;
            info.Path = node.Path;
            info.HasCollection = parsed && !collections.empty();
            if (info.HasCollection) {
                info.UsagePage = collections[0].Caps.UsagePage;
                info.Usage = collections[0].Caps.Usage;
            }
            info.Node = node;
            interfaces.push_back(std::move(info));
            continue;
        }
        for (size_t c = 0; c < collections.size(); ++c) {
            char suffix[16];
            std::snprintf(suffix, sizeof suffix, "&col%02u", static_cast<unsigned>(c + 1));
            HidInterfaceInfo info;
            info.Path = node.Path + suffix;
            info.HasCollection = true;
            info.UsagePage = collections[c].Caps.UsagePage;
            info.Usage = collections[c].Caps.Usage;
            info.Node = node;
            interfaces.push_back(std::move(info));
        }
    }
    return true;
}

void FreeHidDeviceArray(HidDevice* records)
{
    std::free(records);
}

BOOL FindMatchingHidDevice(HidDevice** records, uint32_t* count)
{
    g_bDeviceMatched = FALSE;
    g_nDeviceIndex = HID_NO_DEVICE_INDEX;
    g_szSearchProblem[0] = '\0';
    *records = nullptr;
    if (count)
        *count = 0;

    std::vector<HidInterfaceInfo> interfaces;
    if (!EnumerateHidInterfaces(interfaces))
        return FALSE;
    g_pSearchInterfaces = &interfaces;

    HidDevice* array = nullptr;
    size_t capacity = 10;
    size_t i = 0;
    bool stop = false;
    while (!stop) {
        // Every pass doubles the capacity: 20 records, then 40, 80 and so on.
        const size_t newCapacity = capacity * 2;
        HidDevice* grown =
            static_cast<HidDevice*>(std::realloc(array, newCapacity * sizeof(HidDevice)));
        if (!grown) {
            // Records already examined are closed except a matched one, and a
            // matched one stops the search, so the array holds nothing open.
            std::free(array);
            g_pSearchInterfaces = nullptr;
            return FALSE;
        }
        const size_t oldCapacity = array ? capacity : 0;
        std::memset(static_cast<void*>(grown + oldCapacity), 0,
                    (newCapacity - oldCapacity) * sizeof(HidDevice));
        array = grown;
        capacity = newCapacity;
        for (; i < capacity; ++i) {
            PrepareHidDevice(&array[i]);
            if (i >= interfaces.size()) {
                stop = true;   // no more interfaces
                break;
            }
            OpenHidInterface(interfaces[i].Path.c_str(), FALSE, FALSE, FALSE, FALSE, &array[i]);
            if (g_bDeviceMatched) {
                g_nDeviceIndex = static_cast<uint32_t>(i);
                ++i;
                stop = true;
                break;
            }
        }
    }
    g_pSearchInterfaces = nullptr;
    *records = array;
    if (count)
        *count = static_cast<uint32_t>(i);
    return TRUE;
}

BOOL OpenHidInterface(const char* path, BOOL readAccess, BOOL writeAccess, BOOL overlapped,
                      BOOL exclusive, HidDevice* device)
{
    PrepareHidDevice(device);
    if (!path)
        return FALSE;

    const size_t pathLength = std::strlen(path);
    device->DevicePath = new (std::nothrow) char[pathLength + 1];
    if (!device->DevicePath)
        return FALSE;
    std::memcpy(device->DevicePath, path, pathLength + 1);

    std::string node;
    size_t collection = 0;
    SplitInterfacePath(path, node, collection);

    HidOpenError error = HidOpenError::None;
    std::unique_ptr<CHidConnection> connection = GetHidBackend()->Open(node, error);
    if (!connection) {
        const HidInterfaceInfo* info = FindSearchInterface(path);
        if (error == HidOpenError::PermissionDenied && info && info->Node.HasAttributes &&
            info->Node.Attributes.VendorID == g_wVendorId &&
            info->Node.Attributes.ProductID == g_wProductId) {
            FormatPermissionProblem(g_szSearchProblem, sizeof g_szSearchProblem, node.c_str(),
                                    g_wVendorId, g_wProductId);
            DebugOutputF("%s\n", g_szSearchProblem);
        }
        ReleaseHidDevice(device);
        return FALSE;
    }
    device->Handle = connection.release();
    device->ReadAccess = readAccess;
    device->WriteAccess = writeAccess;
    device->Overlapped = overlapped;
    device->Exclusive = exclusive;

    // Parsed data of the interface's own top-level collection.
    std::vector<uint8_t> descriptor;
    std::vector<HidPreparsedData> collections;
    if (!device->Handle->GetReportDescriptor(descriptor) ||
        ParseReportDescriptor(descriptor.data(), descriptor.size(), collections) !=
            HidParseResult::Ok ||
        collection >= collections.size()) {
        ReleaseHidDevice(device);
        return FALSE;
    }
    device->PreparsedData = new (std::nothrow) HidPreparsedData(std::move(collections[collection]));
    if (!device->PreparsedData || !device->Handle->GetAttributes(device->Attributes) ||
        HidGetCaps(device->PreparsedData, &device->Caps) != HIDP_STATUS_SUCCESS) {
        ReleaseHidDevice(device);
        return FALSE;
    }
    if (device->Attributes.VendorID != g_wVendorId || device->Attributes.ProductID != g_wProductId) {
        ReleaseHidDevice(device);
        return FALSE;
    }
    g_bDeviceMatched = TRUE;
    if (!BuildReportTables(device)) {
        ReleaseHidDevice(device);
        return FALSE;
    }
    return TRUE;
}

namespace {

struct ReportTypeTables
{
    HidReportType Type;
    uint16_t ReportLength;
    uint16_t ButtonCount;
    uint16_t ValueCount;
    uint8_t** ReportBuf;
    uint32_t* ReportBufLength;
    HidButtonCaps** ButtonCaps;
    HidValueCaps** ValueCaps;
    HidItem** Items;
    uint32_t* ItemCount;
};

bool BuildTablesOfType(HidDevice* device, const ReportTypeTables& t)
{
    // The report buffer. The receive buffer also holds the longest length an
    // input request can claim: a slot length with a command code (below 16) in
    // bits 8..15.
    uint32_t bufferLength = t.ReportLength;
    *t.ReportBuf = nullptr;
    *t.ReportBufLength = 0;

    if (t.ButtonCount > 0) {
        *t.ButtonCaps = AllocZeroed<HidButtonCaps>(t.ButtonCount);
        if (!*t.ButtonCaps)
            return false;
    }
    if (t.ValueCount > 0) {
        *t.ValueCaps = AllocZeroed<HidValueCaps>(t.ValueCount);
        if (!*t.ValueCaps)
            return false;
    }
    if (t.ButtonCount > 0) {
        uint16_t n = t.ButtonCount;
        if (HidGetButtonCaps(t.Type, *t.ButtonCaps, &n, device->PreparsedData) != HIDP_STATUS_SUCCESS)
            return false;
    }
    if (t.ValueCount > 0) {
        uint16_t n = t.ValueCount;
        if (HidGetValueCaps(t.Type, *t.ValueCaps, &n, device->PreparsedData) != HIDP_STATUS_SUCCESS)
            return false;
    }

    if (t.Type == HidP_Input) {
        for (uint16_t i = 0; i < t.ValueCount; ++i) {
            const uint32_t slotLength = static_cast<uint16_t>((*t.ValueCaps)[i].ReportCount + 1);
            const uint32_t claimed = slotLength | 0x0F00u;
            if (claimed > bufferLength)
                bufferLength = claimed;
        }
    }
    if (bufferLength > 0) {
        *t.ReportBuf = AllocZeroed<uint8_t>(bufferLength);
        if (!*t.ReportBuf)
            return false;
        *t.ReportBufLength = bufferLength;
    }

    // Count the value usages; a range counts each of its usages.
    uint32_t usageCount = 0;
    for (uint16_t i = 0; i < t.ValueCount; ++i) {
        const HidValueCaps& v = (*t.ValueCaps)[i];
        if (v.IsRange) {
            if (v.Range.UsageMin > v.Range.UsageMax)
                return false;
            usageCount += static_cast<uint32_t>(v.Range.UsageMax - v.Range.UsageMin) + 1;
        } else {
            usageCount += 1;
        }
    }
    const uint32_t itemCount = t.ButtonCount + usageCount;
    *t.ItemCount = itemCount;
    if (itemCount > 0) {
        *t.Items = AllocZeroed<HidItem>(itemCount);
        if (!*t.Items)
            return false;
    }

    uint32_t k = 0;
    for (uint16_t i = 0; i < t.ButtonCount && k < itemCount; ++i, ++k) {
        const HidButtonCaps& b = (*t.ButtonCaps)[i];
        HidItem& item = (*t.Items)[k];
        item.IsButton = 1;
        item.UsagePage = b.UsagePage;
        item.Status = HIDP_STATUS_SUCCESS;
        item.ReportID = b.ReportID;
        item.UsageMin = b.IsRange ? b.Range.UsageMin : b.NotRange.Usage;
        item.UsageMax = b.IsRange ? b.Range.UsageMax : b.NotRange.Usage;
        item.MaxUsageLength = HidMaxUsageListLength(t.Type, b.UsagePage, device->PreparsedData);
        if (item.MaxUsageLength > 0) {
            item.Usages = AllocZeroed<uint16_t>(item.MaxUsageLength);
            if (!item.Usages)
                return false;
        }
    }
    for (uint16_t i = 0; i < t.ValueCount; ++i) {
        const HidValueCaps& v = (*t.ValueCaps)[i];
        const uint32_t first = v.IsRange ? v.Range.UsageMin : v.NotRange.Usage;
        const uint32_t last = v.IsRange ? v.Range.UsageMax : v.NotRange.Usage;
        for (uint32_t u = first; u <= last && k < itemCount; ++u, ++k) {
            HidItem& item = (*t.Items)[k];
            item.IsButton = 0;
            item.UsagePage = v.UsagePage;
            item.Status = HIDP_STATUS_SUCCESS;
            item.ReportID = v.ReportID;
            item.UsageMin = u;
            item.Usage = static_cast<uint16_t>(u);
        }
    }
    return true;
}

} // namespace

BOOL BuildReportTables(HidDevice* device)
{
    if (!device || !device->PreparsedData)
        return FALSE;
    const HidCaps& caps = device->Caps;
    const ReportTypeTables types[3] = {
        {HidP_Input, caps.InputReportByteLength, caps.NumberInputButtonCaps,
         caps.NumberInputValueCaps, &device->InputReportBuf, &device->InputReportBufLength,
         &device->InputButtonCaps, &device->InputValueCaps, &device->InputItems,
         &device->InputItemCount},
        {HidP_Output, caps.OutputReportByteLength, caps.NumberOutputButtonCaps,
         caps.NumberOutputValueCaps, &device->OutputReportBuf, &device->OutputReportBufLength,
         &device->OutputButtonCaps, &device->OutputValueCaps, &device->OutputItems,
         &device->OutputItemCount},
        {HidP_Feature, caps.FeatureReportByteLength, caps.NumberFeatureButtonCaps,
         caps.NumberFeatureValueCaps, &device->FeatureReportBuf, &device->FeatureReportBufLength,
         &device->FeatureButtonCaps, &device->FeatureValueCaps, &device->FeatureItems,
         &device->FeatureItemCount},
    };
    for (const ReportTypeTables& t : types)
        if (!BuildTablesOfType(device, t))
            return FALSE;
    return TRUE;
}

void ReleaseHidDevice(HidDevice* device)
{
    if (!device)
        return;
    FreeArray(device->DevicePath);
    if (device->Handle != INVALID_HID_HANDLE) {
        delete device->Handle;
        device->Handle = INVALID_HID_HANDLE;
    }
    if (device->PreparsedData) {
        delete device->PreparsedData;
        device->PreparsedData = nullptr;
    }
    FreeArray(device->InputReportBuf);
    FreeItems(device->InputItems, device->InputItemCount);
    FreeArray(device->InputButtonCaps);
    FreeArray(device->InputValueCaps);
    FreeArray(device->OutputReportBuf);
    FreeItems(device->OutputItems, device->OutputItemCount);
    FreeArray(device->OutputButtonCaps);
    FreeArray(device->OutputValueCaps);
    FreeArray(device->FeatureReportBuf);
    FreeItems(device->FeatureItems, device->FeatureItemCount);
    FreeArray(device->FeatureButtonCaps);
    FreeArray(device->FeatureValueCaps);
    device->InputReportBufLength = 0;
    device->OutputReportBufLength = 0;
    device->FeatureReportBufLength = 0;
}
