// One HID operation at a time: the dispatcher that sends an Output report or
// fetches an Input report on an opened interface.
#pragma once

#include "HidDevice.h"

#include <cstdint>

enum HidCallCode : int
{
    GetInputReport = 9,
    SetOutputReport = 10,
};

struct HidCallParams
{
    HidHandle DeviceHandle;
    uint32_t ReportType;
    HidPreparsedData* PreparsedData;
    uint16_t UsagePage;
    uint16_t Usage;
    uint16_t LinkCollection;
    uint8_t ReportID;
    uint8_t* ReportBuffer;
    uint32_t ReportLength;
    // Further fields read only by the transport: the real size of ReportBuffer
    // (nothing is sent from or received into the buffer beyond it), and, after
    // an Input report, how many bytes the device answered.
    uint32_t ReportBufferSize;
    uint32_t ReportReceived;
};

struct HidCallStatus
{
    uint32_t Failed;
    uint32_t HidStatus;
};

// Returns 1 when the HID operation was carried out (whatever its outcome,
// which is in status->Failed), 0 for an unknown code.
int DispatchHidCall(int code, HidCallParams* params, HidCallStatus* status);
