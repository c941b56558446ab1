// The device's command table and the framing of one command into a HID call.
#pragma once

#include "HidDispatch.h"

#include <cstdint>

struct CommandEntry
{
    uint32_t ReportType;    // 1 output report, 0 input report
    uint32_t ReportSlot;    // index into the value caps of that report type
    uint32_t CommandCode;   // codes below 16 are framed with a header
    uint32_t CommandLength; // low byte is the length byte of output rows below 16
};

enum CommandRow
{
    REPORT_REG_WRITE = 0,
    REPORT_REG_WRITE_ADDR = 1,
    REPORT_REG_READ = 2,
    REPORT_FLASH_ACCESS_MODE = 3,
    REPORT_FLASH_GET_ID = 4,
    REPORT_FLASH_SET_LEN = 5,
    REPORT_FLASH_WRITE = 6,
    REPORT_FLASH_READ = 7,
    REPORT_IIC_WRITE_OUTPUT = 8,
    REPORT_IIC_WRITE_INPUT = 9,
    REPORT_IIC_READ_OUTPUT = 10,
    REPORT_IIC_READ_INPUT = 11,
    REPORT_GPIO_SET = 12,
    REPORT_GPIO_WRITE = 13,
    REPORT_GPIO_READ_OUTPUT = 14,
    REPORT_GPIO_READ_INPUT = 15,
    REPORT_HDMI_INFO = 16,
    REPORT_DRM_INFO = 17,
    COMMAND_ROW_COUNT = 18,
};

extern const CommandEntry g_commandTable[COMMAND_ROW_COUNT];
// The row names as the failure messages write them.
extern const char* const g_commandNames[COMMAND_ROW_COUNT];

constexpr uint32_t kHeaderedCodeLimit = 16;

// Frames `entry` for the device in `device` into `out`. Output rows: writes the
// report ID (and, below code 16, the length byte and the code) into payload
// bytes 0..2 and copies the slot's L bytes into the device's output buffer.
// Input rows: leave the payload alone and aim at the receive buffer with
// L | code << 8 (below code 16) or L as the length.
// Returns 0 (and frames nothing) when the device lacks the slot, or when the
// report would not fit the payload (`payloadSize` bytes), the output buffer or
// the receive buffer; `reason` then says why.
int BuildCommandCall(const HidDevice& device, HidCallParams* out, const CommandEntry& entry,
                     uint8_t* payload, uint32_t payloadSize, const char** reason = nullptr);

// Report length L of a slot: ReportCount + 1, in 16 bits. 0 when the slot is missing.
uint32_t SlotLength(const HidDevice& device, uint32_t reportType, uint32_t slot);
