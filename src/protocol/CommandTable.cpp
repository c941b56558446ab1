#include "CommandTable.h"

#include <cstring>

const CommandEntry g_commandTable[COMMAND_ROW_COUNT] = {
    {1, 1, 0, 10},   // REPORT_REG_WRITE
    {1, 1, 1, 6},    // REPORT_REG_WRITE_ADDR
    {0, 1, 2, 2},    // REPORT_REG_READ
    {1, 1, 3, 7},    // REPORT_FLASH_ACCESS_MODE
    {0, 1, 4, 2},    // REPORT_FLASH_GET_ID
    {1, 1, 5, 6},    // REPORT_FLASH_SET_LEN
    {1, 0, 16, 255}, // REPORT_FLASH_WRITE
    {0, 0, 17, 255}, // REPORT_FLASH_READ
    {1, 2, 6, 4},    // REPORT_IIC_WRITE(OUTPUT)
    {0, 2, 6, 2},    // REPORT_IIC_WRITE(INPUT)
    {1, 2, 7, 4},    // REPORT_IIC_READ(OUTPUT)
    {0, 2, 7, 2},    // REPORT_IIC_READ(INPUT)
    {1, 1, 8, 4},    // REPORT_GPIO_SET
    {1, 1, 9, 4},    // REPORT_GPIO_WRITE
    {1, 1, 10, 3},   // REPORT_GPIO_READ(OUTPUT)
    {0, 1, 10, 2},   // REPORT_GPIO_READ(INPUT)
    {0, 2, 11, 2},   // REPORT_HDMI_INFO
    {0, 2, 12, 2},   // REPORT_DRM_INFO
};

const char* const g_commandNames[COMMAND_ROW_COUNT] = {
    "REPORT_REG_WRITE",
    "REPORT_REG_WRITE_ADDR",
    "REPORT_REG_READ",
    "REPORT_FLASH_ACCESS_MODE",
    "REPORT_FLASH_GET_ID",
    "REPORT_FLASH_SET_LEN",
    "REPORT_FLASH_WRITE",
    "REPORT_FLASH_READ",
    "REPORT_IIC_WRITE(OUTPUT)",
    "REPORT_IIC_WRITE(INPUT)",
    "REPORT_IIC_READ(OUTPUT)",
    "REPORT_IIC_READ(INPUT)",
    "REPORT_GPIO_SET",
    "REPORT_GPIO_WRITE",
    "REPORT_GPIO_READ(OUTPUT)",
    "REPORT_GPIO_READ(INPUT)",
    "REPORT_HDMI_INFO",
    "REPORT_DRM_INFO",
};

namespace {

const HidValueCaps* SlotCaps(const HidDevice& device, uint32_t reportType, uint32_t slot)
{
    if (reportType == 1)
        return (device.OutputValueCaps && slot < device.Caps.NumberOutputValueCaps)
                   ? &device.OutputValueCaps[slot]
                   : nullptr;
    return (device.InputValueCaps && slot < device.Caps.NumberInputValueCaps)
               ? &device.InputValueCaps[slot]
               : nullptr;
}

} // namespace

uint32_t SlotLength(const HidDevice& device, uint32_t reportType, uint32_t slot)
{
    const HidValueCaps* caps = SlotCaps(device, reportType, slot);
    return caps ? static_cast<uint16_t>(caps->ReportCount + 1) : 0;
}

int BuildCommandCall(const HidDevice& device, HidCallParams* out, const CommandEntry& entry,
                     uint8_t* payload, uint32_t payloadSize, const char** reason)
{
    const char* dummy = nullptr;
    const char*& why = reason ? *reason : dummy;
    why = nullptr;
    const bool output = entry.ReportType == 1;
    const HidValueCaps* caps = SlotCaps(device, output ? 1 : 0, entry.ReportSlot);
    if (!caps) {
        why = "the device has no report for this command";
        return 0;
    }
    const uint32_t length = static_cast<uint16_t>(caps->ReportCount + 1);

    if (output) {
        if (!payload || payloadSize < length || length < 3) {
            why = "the command's report does not fit its payload buffer";
            return 0;
        }
        if (!device.OutputReportBuf || device.OutputReportBufLength < length) {
            why = "the command's report does not fit the output report buffer";
            return 0;
        }
    } else {
        const uint32_t claimed =
            entry.CommandCode < kHeaderedCodeLimit ? (length | (entry.CommandCode << 8)) : length;
        if (!device.InputReportBuf || device.InputReportBufLength < claimed) {
            why = "the requested length does not fit the receive buffer";
            return 0;
        }
    }

    if (output) {
        payload[0] = caps->ReportID;
        if (entry.CommandCode < kHeaderedCodeLimit) {
            payload[1] = static_cast<uint8_t>(entry.CommandLength);
            payload[2] = static_cast<uint8_t>(entry.CommandCode);
        }
    }

    std::memset(out, 0, sizeof *out);
    out->DeviceHandle = device.Handle;
    out->ReportType = entry.ReportType;
    out->PreparsedData = device.PreparsedData;
    out->UsagePage = caps->UsagePage;
    out->Usage = caps->IsRange ? caps->Range.UsageMin : caps->NotRange.Usage;
    out->LinkCollection = caps->LinkCollection;
    out->ReportID = caps->ReportID;

    if (output) {
        std::memcpy(device.OutputReportBuf, payload, length);
        out->ReportBuffer = device.OutputReportBuf;
        out->ReportLength = length;
        out->ReportBufferSize = device.OutputReportBufLength;
    } else {
        out->ReportBuffer = device.InputReportBuf;
        out->ReportLength =
            entry.CommandCode < kHeaderedCodeLimit ? (length | (entry.CommandCode << 8)) : length;
        out->ReportBufferSize = device.InputReportBufLength;
    }
    return 1;
}
