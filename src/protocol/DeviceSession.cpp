#include "DeviceSession.h"

#include "Diagnostics.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

void WriteLe32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t ReadLe32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void WriteFailure(const char* name)
{
    DebugOutputF("Unknown error: Couldn't execute %s function\n", name);
}

void WriteRefusal(const char* name, const char* reason)
{
    DebugOutputF("%s refused: %s\n", name, reason);
}

} // namespace

CDeviceSession::CDeviceSession()
{
    PrepareHidDevice(&m_hidDevice);
}

CDeviceSession::~CDeviceSession()
{
    CloseDevice();
}

void CDeviceSession::FreeReportBuffers()
{
    delete[] m_pReportBuf0;
    m_pReportBuf0 = nullptr;
    delete[] m_pReportBuf1;
    m_pReportBuf1 = nullptr;
    delete[] m_pReportBuf2;
    m_pReportBuf2 = nullptr;
}

void CDeviceSession::CloseDevice()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    ReleaseHidDevice(&m_hidDevice);
    FreeReportBuffers();
    m_nReportLen0 = m_nReportLen1 = m_nReportLen2 = 0;
    m_bDeviceOpened = 0;
}

OpenDeviceResult CDeviceSession::TakeSearchResult(HidDevice* records, uint32_t index)
{
    if (index == HID_NO_DEVICE_INDEX) {
        FreeHidDeviceArray(records);
        return OpenDeviceResult::NotFound;
    }
    // A match whose tables could not be built is left closed by the search: it
    // is never taken as an open device.
    if (!HidDeviceIsOpen(&records[index])) {
        ReleaseHidDevice(&records[index]);
        FreeHidDeviceArray(records);
        return OpenDeviceResult::NotUsable;
    }
    m_hidDevice = records[index];
    FreeHidDeviceArray(records);
    m_bDeviceOpened = 1;

    if (m_hidDevice.Caps.NumberOutputValueCaps < 3) {
        DebugOutput("Error initializing flash and RW buffer\n");
        return OpenDeviceResult::OpenedWithoutBuffers;
    }
    uint8_t** buffers[3] = {&m_pReportBuf0, &m_pReportBuf1, &m_pReportBuf2};
    uint32_t* lengths[3] = {&m_nReportLen0, &m_nReportLen1, &m_nReportLen2};
    bool allocated = true;
    for (uint32_t slot = 0; slot < 3; ++slot) {
        *lengths[slot] = SlotLength(m_hidDevice, 1, slot);
        *buffers[slot] = new (std::nothrow) uint8_t[*lengths[slot]]();
        if (!*buffers[slot])
            allocated = false;
    }
    if (!allocated) {
        DebugOutput("Error allocating memory\n");
        return OpenDeviceResult::OpenedWithoutBuffers;
    }
    return OpenDeviceResult::Opened;
}

OpenDeviceResult CDeviceSession::OpenDevice(uint16_t vendorId, uint16_t productId,
                                            uint32_t* deviceIndex)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    // Opening again releases what an earlier open left behind.
    CloseDevice();
    if (deviceIndex)
        *deviceIndex = HID_NO_DEVICE_INDEX;
    g_wVendorId = vendorId;
    g_wProductId = productId;
    DebugOutputF("Open Device Info--VID/PID (0x%04x~0x%04x) \n", g_wVendorId, g_wProductId);
    HidDevice* records = nullptr;
    if (!FindMatchingHidDevice(&records))
        return OpenDeviceResult::SearchFailed;
    if (deviceIndex)
        *deviceIndex = g_nDeviceIndex;
    return TakeSearchResult(records, g_nDeviceIndex);
}

OpenDeviceResult CDeviceSession::OpenDevicePath(const char* path, uint16_t vendorId,
                                                uint16_t productId)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    CloseDevice();
    g_wVendorId = vendorId;
    g_wProductId = productId;
    g_bDeviceMatched = FALSE;
    DebugOutputF("Open Device Info--VID/PID (0x%04x~0x%04x) \n", g_wVendorId, g_wProductId);
    HidDevice* record = static_cast<HidDevice*>(std::calloc(1, sizeof(HidDevice)));
    if (!record)
        return OpenDeviceResult::SearchFailed;
    OpenHidInterface(path, FALSE, FALSE, FALSE, FALSE, record);
    return TakeSearchResult(record, g_bDeviceMatched ? 0 : HID_NO_DEVICE_INDEX);
}

bool CDeviceSession::CanRunCommands() const
{
    return m_bDeviceOpened && HidDeviceIsOpen(&m_hidDevice) && m_pReportBuf0 && m_pReportBuf1 &&
           m_pReportBuf2 && m_hidDevice.Caps.NumberInputValueCaps >= 3;
}

void CDeviceSession::FormatDeviceLine(uint32_t deviceIndex, char* text, size_t size) const
{
    std::snprintf(text, size, "Device #%d: VID: 0x%04X  PID: 0x%04X  UsagePage: 0x%X  Usage: 0x%X",
                  static_cast<int>(deviceIndex), m_hidDevice.Attributes.VendorID,
                  m_hidDevice.Attributes.ProductID, m_hidDevice.Caps.UsagePage,
                  m_hidDevice.Caps.Usage);
}

uint8_t* CDeviceSession::PayloadOfSlot(uint32_t slot, uint32_t* length) const
{
    switch (slot) {
    case 0: *length = m_nReportLen0; return m_pReportBuf0;
    case 1: *length = m_nReportLen1; return m_pReportBuf1;
    case 2: *length = m_nReportLen2; return m_pReportBuf2;
    default: *length = 0; return nullptr;
    }
}

bool CDeviceSession::SendEntry(const CommandEntry& entry, const char* name, uint8_t* payload)
{
    uint32_t payloadSize = 0;
    uint8_t* slotPayload = PayloadOfSlot(entry.ReportSlot, &payloadSize);
    if (payload != slotPayload)
        payloadSize = 0;   // only the slot's own buffer is known to be long enough
    HidCallParams params;
    HidCallStatus status{0, 0};
    const char* reason = nullptr;
    if (!m_bDeviceOpened || !BuildCommandCall(m_hidDevice, &params, entry, payload, payloadSize, &reason)) {
        WriteRefusal(name, reason ? reason : "no device is open");
        WriteFailure(name);
        return false;
    }
    const bool ok = DispatchHidCall(SetOutputReport, &params, &status) && !status.Failed;
    if (m_pTracer)
        m_pTracer->OnOutputReport(params.ReportBuffer, params.ReportLength, ok);
    if (!ok)
        WriteFailure(name);
    return ok;
}

bool CDeviceSession::Send(int row, uint8_t* payload, const char* name)
{
    return SendEntry(g_commandTable[row], name ? name : g_commandNames[row], payload);
}

bool CDeviceSession::Fetch(int row, uint32_t needed, const char* name)
{
    if (!name)
        name = g_commandNames[row];
    HidCallParams params;
    HidCallStatus status{0, 0};
    const char* reason = nullptr;
    if (!m_bDeviceOpened ||
        !BuildCommandCall(m_hidDevice, &params, g_commandTable[row], nullptr, 0, &reason)) {
        WriteRefusal(name, reason ? reason : "no device is open");
        WriteFailure(name);
        return false;
    }
    bool ok = DispatchHidCall(GetInputReport, &params, &status) && !status.Failed;
    if (m_pTracer)
        m_pTracer->OnInputReport(params.ReportLength, params.ReportBuffer,
                                 SlotLength(m_hidDevice, 0, g_commandTable[row].ReportSlot), ok);
    // An answer shorter than what the command reads would leave earlier bytes
    // in the receive buffer to be taken as the device's.
    if (ok && params.ReportReceived < needed) {
        DebugOutputF("%s refused: the device answered %u of %u bytes\n", name,
                     params.ReportReceived, needed);
        ok = false;
    }
    if (!ok)
        WriteFailure(name);
    return ok;
}

bool CDeviceSession::Stage(int row, uint32_t parameterBytes, StagedPayload& out)
{
    uint32_t length = 0;
    uint8_t* buffer = PayloadOfSlot(g_commandTable[row].ReportSlot, &length);
    const char* reason = !m_bDeviceOpened ? "no device is open"
                         : !buffer        ? "the device has no buffer for its report"
                         : length < 3u + parameterBytes ? "its parameters do not fit the report"
                                                        : nullptr;
    if (reason) {
        WriteRefusal(g_commandNames[row], reason);
        WriteFailure(g_commandNames[row]);
        return false;
    }
    std::memset(buffer, 0, length);
    out = StagedPayload{buffer, length};
    return true;
}

int CDeviceSession::RegisterAccess(int op, uint32_t address, uint32_t* value)
{
    if (op != OP_REG_WRITE && op != OP_REG_READ)
        return 1;
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    StagedPayload s{};
    if (op == OP_REG_WRITE) {
        if (!Stage(REPORT_REG_WRITE, 8u, s))
            return 0;
        WriteLe32(s.Buffer + 3, address);
        WriteLe32(s.Buffer + 7, *value);
        return Send(REPORT_REG_WRITE, s.Buffer) ? 1 : 0;
    }
    if (!Stage(REPORT_REG_WRITE_ADDR, 4u, s))
            return 0;
    WriteLe32(s.Buffer + 3, address);
    if (!Send(REPORT_REG_WRITE_ADDR, s.Buffer) || !Fetch(REPORT_REG_READ, 4))
        return 0;
    std::memset(s.Buffer, 0, s.Length);
    std::memcpy(s.Buffer, m_hidDevice.InputReportBuf, 4);
    *value = ReadLe32(s.Buffer);
    return 1;
}

int CDeviceSession::IicAccess(int op, uint8_t deviceAddress, uint8_t count, uint8_t* data,
                              uint8_t readCount)
{
    if (op != OP_IIC_WRITE && op != OP_IIC_READ)
        return 1;
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    const int outRow = op == OP_IIC_WRITE ? REPORT_IIC_WRITE_OUTPUT : REPORT_IIC_READ_OUTPUT;
    const int inRow = op == OP_IIC_WRITE ? REPORT_IIC_WRITE_INPUT : REPORT_IIC_READ_INPUT;
    // Header, device address, count, the bytes, and for a read the read count.
    const uint32_t parameterBytes = 2u + count + (op == OP_IIC_READ ? 1u : 0u);
    StagedPayload s{};
    if (!Stage(outRow, parameterBytes, s))
            return 0;
    // The answer (result code and the bytes read) must fit the input report.
    const uint32_t answerBytes = op == OP_IIC_READ ? readCount + 1u : 1u;
    if (SlotLength(m_hidDevice, 0, g_commandTable[inRow].ReportSlot) < answerBytes) {
        WriteRefusal(g_commandNames[outRow], "the answer does not fit the device's report");
        WriteFailure(g_commandNames[outRow]);
        return 0;
    }
    s.Buffer[3] = deviceAddress;
    s.Buffer[4] = count;
    std::memcpy(s.Buffer + 5, data, count);
    CommandEntry entry = g_commandTable[outRow];
    if (op == OP_IIC_READ) {
        s.Buffer[5 + count] = readCount;
        entry.CommandLength = (entry.CommandLength & ~0xFFu) |
                              static_cast<uint8_t>(entry.CommandLength + count + 1u);
    } else {
        entry.CommandLength =
            (entry.CommandLength & ~0xFFu) | static_cast<uint8_t>(entry.CommandLength + count);
    }
    if (!SendEntry(entry, g_commandNames[outRow], s.Buffer) || !Fetch(inRow, answerBytes))
        return 0;
    std::memcpy(data, m_hidDevice.InputReportBuf, answerBytes);
    return 1;
}

int CDeviceSession::GpioAccess(int op, uint8_t gpioNumber, uint8_t* value)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    StagedPayload s{};
    if (op == OP_GPIO_SET || op == OP_GPIO_WRITE) {
        const int row = op == OP_GPIO_SET ? REPORT_GPIO_SET : REPORT_GPIO_WRITE;
        if (!Stage(row, 2u, s))
            return 0;
        s.Buffer[3] = gpioNumber;
        s.Buffer[4] = *value;
        return Send(row, s.Buffer) ? 1 : 0;
    }
    if (!Stage(REPORT_GPIO_READ_OUTPUT, 1u, s))
            return 0;
    s.Buffer[3] = gpioNumber;
    if (!Send(REPORT_GPIO_READ_OUTPUT, s.Buffer) || !Fetch(REPORT_GPIO_READ_INPUT, 1))
        return 0;
    *value = m_hidDevice.InputReportBuf[0];
    return 1;
}

uint32_t CDeviceSession::FlashChunkSize() const
{
    return (m_pReportBuf0 && m_nReportLen0 > 4) ? m_nReportLen0 - 4 : 0;
}

int CDeviceSession::FlashAccess(int op, uint8_t accessMode, uint32_t address, uint32_t length,
                                uint8_t* buffer)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    // A single data report carries the whole access: refuse one that does not
    // fit, before anything is announced.
    if (op == AP_FLASH_WRITE && (length > FlashChunkSize() || !buffer)) {
        WriteRefusal(g_commandNames[REPORT_FLASH_WRITE], "the data does not fit one report");
        WriteFailure(g_commandNames[REPORT_FLASH_WRITE]);
        return 0;
    }
    if (op == AP_FLASH_READ &&
        (length > SlotLength(m_hidDevice, 0, 0) || length > m_hidDevice.InputReportBufLength || !buffer)) {
        WriteRefusal(g_commandNames[REPORT_FLASH_READ], "the data does not fit one report");
        WriteFailure(g_commandNames[REPORT_FLASH_READ]);
        return 0;
    }
    StagedPayload s{};
    if (!Stage(REPORT_FLASH_ACCESS_MODE, 5u, s))
            return 0;
    s.Buffer[3] = accessMode;
    WriteLe32(s.Buffer + 4, address);
    if (!Send(REPORT_FLASH_ACCESS_MODE, s.Buffer))
        return 0;
    if (!Stage(REPORT_FLASH_SET_LEN, 4u, s))
            return 0;
    WriteLe32(s.Buffer + 3, length);
    if (!Send(REPORT_FLASH_SET_LEN, s.Buffer))
        return 0;
    if (op == AP_FLASH_READ) {
        if (!Fetch(REPORT_FLASH_READ, length))
            return 0;
        std::memset(buffer, 0, length);
        std::memcpy(buffer, m_hidDevice.InputReportBuf, length);
    } else if (op == AP_FLASH_WRITE) {
        std::memset(m_pReportBuf0, 0, m_nReportLen0);
        std::memcpy(m_pReportBuf0 + 4, buffer, length);
        if (!Send(REPORT_FLASH_WRITE, m_pReportBuf0))
            return 0;
    }
    return 1;
}

void CDeviceSession::Notify(void (CTransferObserver::*set)(const char*), const char* text)
{
    if (m_pObserver)
        (m_pObserver->*set)(text);
}

uint32_t CDeviceSession::BurstFlashTransfer(int kind, uint32_t total, const uint8_t* base,
                                            uint32_t offset, uint32_t* done)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    char text[16];
    std::snprintf(text, sizeof text, "%u", total);
    Notify(&CTransferObserver::SetTotalText, text);
    Notify(&CTransferObserver::SetCurrentText, "0");
    if (m_pObserver) {
        m_pObserver->SetProgressRange(total);
        m_pObserver->SetProgressPos(0);
    }

    uint32_t remaining = total;
    uint32_t doneBytes = 0;
    const uint32_t largest = FlashChunkSize();
    const bool reads = kind != BURST_WRITE;
    Notify(&CTransferObserver::SetStatusText, kind == BURST_WRITE     ? "Status: Write"
                                              : kind == BURST_COMPARE ? "Status: Compare"
                                                                      : "Status: Read");
    // Refuse what could only move garbage: no data buffer, an input report too
    // short for a chunk, or no memory image or file to move it from or to.
    const char* refusal = nullptr;
    if (remaining > 0) {
        if (largest == 0)
            refusal = "the device has no flash data report";
        else if (reads && (SlotLength(m_hidDevice, 0, 0) < std::min(largest, remaining) ||
                           m_hidDevice.InputReportBufLength < largest))
            refusal = "the device's input report is shorter than a chunk";
        else if (kind != BURST_READ_TO_FILE && !base)
            refusal = "there is no image in memory";
        else if (kind == BURST_READ_TO_FILE && !m_pFileWriter)
            refusal = "there is no file to write to";
    }
    if (refusal) {
        WriteRefusal(kind == BURST_WRITE ? "BURST_FLASH_WRITE" : "BURST_FLASH_READ", refusal);
        DebugOutputF("Unknown error: Couldn't execute %s function\n",
                     kind == BURST_WRITE ? "BURST_FLASH_WRITE" : "BURST_FLASH_READ");
        *done = 0;
        return remaining;
    }

    while (remaining > 0) {
        if (kind == BURST_READ_TO_FILE && m_pStopFlag && m_pStopFlag->load()) {
            DebugOutputF("FlashRead -- Read stopped, data(0x%08x~0x%08x) \n", doneBytes, total);
            break;
        }
        const uint32_t chunk = remaining < largest ? remaining : largest;
        std::memset(m_pReportBuf0, 0, m_nReportLen0);
        if (kind == BURST_WRITE) {
            std::memcpy(m_pReportBuf0 + 4, base + offset + doneBytes, chunk);
            if (!Send(REPORT_FLASH_WRITE, m_pReportBuf0, "BURST_FLASH_WRITE"))
                break;
        } else {
            if (!Fetch(REPORT_FLASH_READ, chunk, "BURST_FLASH_READ"))
                break;
            std::memcpy(m_pReportBuf0, m_hidDevice.InputReportBuf, chunk);
            if (kind == BURST_COMPARE) {
                if (std::memcmp(m_pReportBuf0, base + offset + doneBytes, chunk) != 0) {
                    DebugOutputF("FlashWrite -- Compare data fail, data(0x%08x~0x%08x) \n",
                                 offset + doneBytes, offset + doneBytes + chunk);
                    break;
                }
            } else if (m_pFileWriter->WriteFlashFile(m_pReportBuf0, chunk) < chunk) {
                DebugOutputF("FlashRead -- Read data fail, data(0x%08x~0x%08x) \n", doneBytes,
                             doneBytes + chunk);
                break;
            }
        }
        remaining -= chunk;
        doneBytes += chunk;
        std::snprintf(text, sizeof text, "%u", doneBytes);
        Notify(&CTransferObserver::SetCurrentText, text);
        if (m_pObserver)
            m_pObserver->SetProgressPos(doneBytes);
    }
    if (remaining == 0)
        Notify(&CTransferObserver::SetStatusText, "Status: Wait");
    *done = doneBytes;
    return remaining;
}

int CDeviceSession::GetFirmwareVersion(char text[kFirmwareVersionTextSize])
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    char version[kFirmwareVersionTextSize] = "";
    size_t at = 0;
    for (uint32_t i = 0; i < 4; ++i) {
        uint32_t value = 0;
        if (!RegisterAccess(OP_REG_READ, 0x54 + 4 * i, &value))
            return 0;
        at += static_cast<size_t>(std::snprintf(version + at, sizeof version - at,
                                                i < 3 ? "%02x." : "%02x", value & 0xFF));
    }
    std::memcpy(text, version, sizeof version);
    return 1;
}

int CDeviceSession::GetHdmiInfo(char text[kHdmiInfoTextSize], bool* requestOk)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    const char* name = g_commandNames[REPORT_HDMI_INFO];
    if (!m_pReportBuf2 || m_nReportLen2 < kHdmiInfoLength ||
        SlotLength(m_hidDevice, 0, 2) < kHdmiInfoLength) {
        WriteRefusal(name, "the device's reports are shorter than the HDMI information");
        WriteFailure(name);
        *requestOk = false;
        return 0;
    }
    *requestOk = Fetch(REPORT_HDMI_INFO, kHdmiInfoLength);   // writes its line and carries on
    std::memset(m_pReportBuf2, 0, m_nReportLen2);
    std::memcpy(m_pReportBuf2, m_hidDevice.InputReportBuf, kHdmiInfoLength);
    static const char digits[] = "0123456789abcdef";
    size_t at = 0;
    for (uint32_t i = 0; i < kHdmiInfoLength; ++i) {
        if (i)
            text[at++] = ' ';
        text[at++] = digits[m_pReportBuf2[i] >> 4];
        text[at++] = digits[m_pReportBuf2[i] & 0x0F];
    }
    text[at] = '\0';
    return 1;
}

int CDeviceSession::GetDrmInfo(uint8_t bytes[kDrmInfoLength], bool* requestOk)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    const char* name = g_commandNames[REPORT_DRM_INFO];
    if (SlotLength(m_hidDevice, 0, 2) < kDrmInfoLength) {
        WriteRefusal(name, "the device's report is shorter than the DRM information");
        WriteFailure(name);
        *requestOk = false;
        return 0;
    }
    *requestOk = Fetch(REPORT_DRM_INFO, kDrmInfoLength);
    std::memcpy(bytes, m_hidDevice.InputReportBuf, kDrmInfoLength);
    return 1;
}

int CDeviceSession::RequestFlashId(uint32_t* index)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!m_pReportBuf1 || m_nReportLen1 < 2) {
        WriteRefusal(g_commandNames[REPORT_FLASH_GET_ID], "the device has no buffer for its report");
        WriteFailure(g_commandNames[REPORT_FLASH_GET_ID]);
        return 0;
    }
    if (!Fetch(REPORT_FLASH_GET_ID, 2))
        return 0;
    std::memset(m_pReportBuf1, 0, m_nReportLen1);
    m_pReportBuf1[0] = m_hidDevice.InputReportBuf[0];
    m_pReportBuf1[1] = m_hidDevice.InputReportBuf[1];
    *index = static_cast<uint32_t>(m_pReportBuf1[0]) | static_cast<uint32_t>(m_pReportBuf1[1]) << 8;
    return 1;
}
