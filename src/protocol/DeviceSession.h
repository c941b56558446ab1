// The device session: the opened device, its three payload buffers and every
// command the tool sends. The dialog and the command-line tool each own one.
// Exchanges are serialised: an Output report and the Input report answering it
// are never interleaved with another exchange, whichever thread sends them,
// and a flash worker can hold the device for a whole access and its burst.
#pragma once

#include "CommandTable.h"
#include "HidDevice.h"

#include <atomic>
#include <cstdint>
#include <mutex>

// Register, IIC and GPIO operation codes.
enum PeripheralOp
{
    OP_REG_WRITE = 0,
    OP_REG_READ = 1,
    OP_IIC_WRITE = 2,
    OP_IIC_READ = 3,
    OP_GPIO_SET = 4,
    OP_GPIO_WRITE = 5,
    OP_GPIO_READ = 6,
};

// Flash access operations.
constexpr int AP_FLASH_WRITE = 0x10;
constexpr int AP_FLASH_READ = 0x11;
constexpr int AP_FLASH_BURST_LATER = 0x13;

// Burst kinds.
constexpr int BURST_WRITE = 0x10;
constexpr int BURST_COMPARE = 0x11;
constexpr int BURST_READ_TO_FILE = 0x12;

// Access modes announced with REPORT_FLASH_ACCESS_MODE.
constexpr uint8_t ACCESS_MODE_FIRMWARE = 0;
constexpr uint8_t ACCESS_MODE_ENTIRE = 1;
constexpr uint8_t ACCESS_MODE_DIRECT = 2;
constexpr uint8_t ACCESS_MODE_AREA = 3;

constexpr uint32_t kHdmiInfoLength = 24;
constexpr uint32_t kDrmInfoLength = 64;
constexpr size_t kFirmwareVersionTextSize = 12;   // "01.02.ff.34" and its terminator
constexpr size_t kHdmiInfoTextSize = 72;          // 71 characters and the terminator
constexpr size_t kDeviceLineSize = 128;

// What a burst reports, once per chunk. The front end shows it (the dialog
// marshals it to its thread; the command-line tool draws a progress bar).
class CTransferObserver
{
public:
    virtual ~CTransferObserver() = default;
    virtual void SetStatusText(const char* text) = 0;    // "Status: Write", ...
    virtual void SetTotalText(const char* text) = 0;     // "%d" of the total
    virtual void SetCurrentText(const char* text) = 0;   // "%d" of the bytes done
    virtual void SetProgressRange(uint32_t total) = 0;   // range 0..total
    virtual void SetProgressPos(uint32_t position) = 0;
};

// Where BURST_READ_TO_FILE puts its chunks: returns the bytes written.
class CFlashFileWriter
{
public:
    virtual ~CFlashFileWriter() = default;
    virtual uint32_t WriteFlashFile(const uint8_t* data, uint32_t count) = 0;
};

// Sees every HID request as it goes out (for a trace of the traffic).
class CExchangeTracer
{
public:
    virtual ~CExchangeTracer() = default;
    virtual void OnOutputReport(const uint8_t* report, uint32_t length, bool ok) = 0;
    // `received` is the receive buffer; `shown` the slot length (bytes worth showing).
    virtual void OnInputReport(uint32_t lengthArgument, const uint8_t* received, uint32_t shown,
                               bool ok) = 0;
};

enum class OpenDeviceResult
{
    SearchFailed,        // the HID interfaces could not be listed
    NotFound,            // no interface with the IDs (see HidSearchProblem())
    NotUsable,           // the matching interface could not be opened with its tables
    OpenedWithoutBuffers,// fewer than three output value caps: no command can run
    Opened,
};

class CDeviceSession
{
public:
    CDeviceSession();
    ~CDeviceSession();
    CDeviceSession(const CDeviceSession&) = delete;
    CDeviceSession& operator=(const CDeviceSession&) = delete;

    // Looks for the first interface with the IDs and makes it the session's
    // device, sizing the payload buffers from output slots 0, 1 and 2.
    // `deviceIndex` receives the interface's enumeration index (0xFFFF: none).
    OpenDeviceResult OpenDevice(uint16_t vendorId, uint16_t productId, uint32_t* deviceIndex);
    // Opens one interface by path; its IDs must still match.
    OpenDeviceResult OpenDevicePath(const char* path, uint16_t vendorId, uint16_t productId);
    // Releases the device and frees the payload buffers; harmless when closed.
    void CloseDevice();

    bool IsDeviceOpened() const { return m_bDeviceOpened != 0; }
    // True when every command has the report slots and buffers it needs.
    bool CanRunCommands() const;
    const HidDevice& Device() const { return m_hidDevice; }
    // "Device #%d: VID: 0x%04X  PID: 0x%04X  UsagePage: 0x%X  Usage: 0x%X"
    void FormatDeviceLine(uint32_t deviceIndex, char* text, size_t size) const;

    int RegisterAccess(int op, uint32_t address, uint32_t* value);
    int IicAccess(int op, uint8_t deviceAddress, uint8_t count, uint8_t* data, uint8_t readCount);
    int GpioAccess(int op, uint8_t gpioNumber, uint8_t* value);

    int FlashAccess(int op, uint8_t accessMode, uint32_t address, uint32_t length, uint8_t* buffer);
    // Returns the bytes not transferred (0 when all were); *done gets the bytes done.
    uint32_t BurstFlashTransfer(int kind, uint32_t total, const uint8_t* base, uint32_t offset,
                                uint32_t* done);
    // The largest chunk of one data report (slot-0 length minus the 4-byte header), 0 without.
    uint32_t FlashChunkSize() const;

    // Firmware version from registers 0x54..0x60 ("01.02.ff.34"); 0 at the first
    // failed read, text untouched.
    int GetFirmwareVersion(char text[kFirmwareVersionTextSize]);
    // HDMI information text (24 bytes as "%02x" with single spaces). A refused
    // request is written to the diagnostics and the text is built all the same
    // from the receive buffer (*requestOk tells). Returns 0 only when the device
    // cannot carry the command at all (text untouched).
    int GetHdmiInfo(char text[kHdmiInfoTextSize], bool* requestOk);
    int GetDrmInfo(uint8_t bytes[kDrmInfoLength], bool* requestOk);
    // The flash identification request: bytes 0 and 1 of the answer as a
    // little-endian row index. Returns non-zero when the request succeeded; on
    // a refused request the failure line is written and *index untouched.
    int RequestFlashId(uint32_t* index);

    void SetTransferObserver(CTransferObserver* observer) { m_pObserver = observer; }
    void SetFileWriter(CFlashFileWriter* writer) { m_pFileWriter = writer; }
    void SetExchangeTracer(CExchangeTracer* tracer) { m_pTracer = tracer; }
    // A BURST_READ_TO_FILE stops after the chunk under way once *flag is set
    // (a dump interrupted by the user keeps what it has read). Writes and
    // compares are never stopped in the middle of their range.
    void SetStopFlag(const std::atomic<bool>* flag) { m_pStopFlag = flag; }

    // Holds the device for the calling thread: no other thread's exchange runs
    // until the hold is released (a flash worker holds it over an announced
    // access and its burst).
    std::unique_lock<std::recursive_mutex> HoldDevice() { return std::unique_lock(m_mutex); }

    // Payload buffers and lengths, as the commands use them.
    uint8_t* m_pReportBuf0 = nullptr;
    uint8_t* m_pReportBuf1 = nullptr;
    uint8_t* m_pReportBuf2 = nullptr;
    uint32_t m_nReportLen0 = 0;
    uint32_t m_nReportLen1 = 0;
    uint32_t m_nReportLen2 = 0;
    int m_bDeviceOpened = 0;
    HidDevice m_hidDevice;

private:
    OpenDeviceResult TakeSearchResult(HidDevice* records, uint32_t index);
    void FreeReportBuffers();
    // The payload buffer of a row's slot, cleared, when it holds the 3-byte
    // header and `parameterBytes` parameters; false (with the row's lines
    // written) otherwise.
    struct StagedPayload
    {
        uint8_t* Buffer;
        uint32_t Length;
    };
    bool Stage(int row, uint32_t parameterBytes, StagedPayload& out);
    uint8_t* PayloadOfSlot(uint32_t slot, uint32_t* length) const;
    // One step: frame the row and dispatch it. Writes the failure line of `name`
    // (the row's own name unless given) when the step fails, and why when the
    // command could not even be framed. An input step also fails when the device
    // answers fewer than `needed` bytes.
    bool Send(int row, uint8_t* payload, const char* name = nullptr);
    bool SendEntry(const CommandEntry& entry, const char* name, uint8_t* payload);
    bool Fetch(int row, uint32_t needed, const char* name = nullptr);
    void Notify(void (CTransferObserver::*set)(const char*), const char* text);

    std::recursive_mutex m_mutex;
    CTransferObserver* m_pObserver = nullptr;
    CFlashFileWriter* m_pFileWriter = nullptr;
    CExchangeTracer* m_pTracer = nullptr;
    const std::atomic<bool>* m_pStopFlag = nullptr;
};

// Hold of the device for a whole sequence (see CDeviceSession::HoldDevice).
using CDeviceHold = std::unique_lock<std::recursive_mutex>;
