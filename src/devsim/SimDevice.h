// The simulated video-capture bridge: the vendor HID interface of the device,
// answering Output reports and Input requests byte for byte as the hardware
// does. It keeps 32-bit registers, an IIC bus with one peripheral, four GPIO
// pins, the HDMI and DRM information bytes and one SPI NOR flash chip, and it
// can misbehave on purpose (refuse, vanish, corrupt, drop) for tests.
//
// Reports: report ID n + 1 is report slot n in both directions. Slot 0
// carries flash data; slot 1 the register, flash-control and GPIO commands;
// slot 2 the IIC commands and the HDMI/DRM information. A command report holds
// its length byte in byte 1, its code in byte 2 and its parameters from byte 3
// (little-endian). An Input request names its slot by the report ID in byte 0
// and, on slots 1 and 2, the command code in bits 8..15 of the length.
//
// Anything the device cannot make sense of is refused (the request returns
// false and nothing is written): an unknown report ID, a report whose length
// differs from its slot's, a wrong length byte, a command on the wrong slot,
// parameters that do not fit, GPIO pins from 4 up, an access beyond the chip,
// data beyond the announced length.
//
// Flash: FLASH_ACCESS_MODE (mode 0..3, address) and FLASH_SET_LEN (length)
// announce an access; the mode is only noted, address and length are honoured.
// Each data report moves the next min(remaining, output slot-0 length - 4)
// bytes, written from byte 4 of an Output report or answered from byte 0 of an
// Input report; an access moves data one way only. A write access erases each
// 4 KB block when its first data reach it, and only the part of the block
// inside the announced range; programming can only clear bits. Reads never
// change the flash. A read whose chunk does not fit the answer is refused.
//
// IIC: the peripheral at IicPeripheralAddress answers result code 0; any
// other address answers 1 and no data. Its first written byte sets the
// register pointer, further bytes are stored from there, reads continue there.
// GPIO: a pin set as output reads back its level, an input pin reads the
// external level; levels are 0 or 1 (any non-zero level written is 1).
#pragma once

#include "HidSimBackend.h"
#include "SimFlash.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

// Number of rows in the device's flash chip table.
constexpr uint32_t kSimChipRows = 44;
// The chip the device carries unless told otherwise ("WIN__W25Q64BV", 8 MB).
constexpr uint32_t kSimDefaultChipRow = 42;
// Size in bytes of the chip of a row, 0 for a row outside the table.
uint32_t SimChipSize(uint32_t row);

constexpr uint32_t kSimGpioPins = 4;
constexpr uint32_t kSimHdmiInfoBytes = 24;
constexpr uint32_t kSimDrmInfoBytes = 64;
constexpr uint32_t kSimFlashBlockSize = 4096;   // the unit the device erases

// Deliberate misbehaviour. Counters start at 1 and count from the moment the
// faults are armed (device creation, ArmFaults or ResetRequestCount); 0 turns
// a fault off.
struct SimFaults
{
    uint32_t FailAtRequest = 0;        // refuse the k-th request (Output report or Input request)
    uint32_t VanishAfterRequests = 0;  // unplug once k requests have been handled
    uint32_t CorruptReadAt = 0;        // flip one byte of the n-th flash data answer
    uint32_t DropWriteAt = 0;          // accept the k-th flash data report without programming it
    uint32_t ShortAnswerAt = 0;        // the k-th Input request answers only ShortAnswerBytes
    uint32_t ShortAnswerBytes = 1;
    uint32_t Seed = 1;                 // picks the corrupted byte, so a failing case replays
};

struct SimDeviceOptions
{
    uint16_t VendorId = 0x32ED;
    uint16_t ProductId = 0x3200;
    uint16_t VersionNumber = 0x0100;

    uint32_t ChipRow = kSimDefaultChipRow;
    std::string FlashFile;   // empty: the flash lives in memory

    // ReportCount of each value report, slot order (report ID = slot + 1).
    // Fewer entries give fewer value caps; smaller counts give shorter reports.
    std::vector<uint16_t> OutputReportCounts{4099, 15, 63};
    std::vector<uint16_t> InputReportCounts{4099, 15, 63};

    // Registers 0x54, 0x58, 0x5C, 0x60: the four parts of the firmware version.
    std::array<uint32_t, 4> FirmwareVersion{0x101, 0x02, 0xFF, 0x1234};
    uint8_t IicPeripheralAddress = 0x90;
    // False: a write access programs without erasing first, so only bits
    // that are still 1 can take a 0 (what a device with a broken erase does).
    bool EraseBeforeProgram = true;

    uint32_t LatencyUs = 0;   // time each request takes
    SimFaults Faults;

    bool LogRequests = true;
    uint32_t LogBytesPerEntry = 64;    // report bytes kept per log entry
    size_t LogMaxEntries = 200000;     // later requests are counted, not logged
};

// One request as the device saw it.
struct SimLogEntry
{
    bool IsOutput = false;       // Output report, or Input request
    uint8_t ReportId = 0;        // byte 0 of the report, or the ID asked for
    uint32_t LengthArgument = 0; // report length (out) or the length argument (in)
    uint32_t Length = 0;         // bytes sent (out) or answered (in); 0 when refused
    std::vector<uint8_t> Bytes;  // the first LogBytesPerEntry of them
    bool Refused = false;
};

enum class SimFlashDirection
{
    None,    // announced, no data moved yet
    Write,
    Read,
};

struct SimFlashAccess
{
    bool Active = false;   // an access has been announced with a length
    uint8_t Mode = 0;
    uint32_t Address = 0;
    uint32_t Length = 0;
    uint32_t Done = 0;     // bytes moved so far
    SimFlashDirection Direction = SimFlashDirection::None;
};

struct SimGpioPin
{
    uint8_t Direction = 0;      // 0 input, 1 output
    uint8_t OutputLevel = 0;    // what GPIO_WRITE set (0 or 1)
    uint8_t ExternalLevel = 0;  // what the outside world drives onto an input
};

class CSimDevice : public CHidSimNode
{
public:
    // Builds the device; null with a reason when the options cannot work
    // (chip row outside the table, unusable report counts, flash file refused).
    static std::unique_ptr<CSimDevice> Create(const SimDeviceOptions& options, std::string& error);
    static std::unique_ptr<CSimDevice> Create(const SimDeviceOptions& options = SimDeviceOptions());
    ~CSimDevice() override;

    // CHidSimNode
    HidAttributes Attributes() const override;
    std::vector<uint8_t> ReportDescriptor() const override;
    bool HandleOutputReport(const uint8_t* report, uint32_t length) override;
    bool HandleInputRequest(uint8_t* buffer, uint32_t lengthArgument, uint32_t bufferSize,
                            uint32_t& received) override;
    bool Present() const override;

    // Report lengths (ReportCount + 1) of a slot; 0 for a slot that does not exist.
    uint32_t OutputReportLength(uint32_t slot) const;
    uint32_t InputReportLength(uint32_t slot) const;

    // Plugging.
    void SetPresent(bool present);

    // Faults and counters.
    void ArmFaults(const SimFaults& faults);   // also resets the counters
    void ResetRequestCount();
    uint32_t RequestCount() const;
    // Flash address of the byte the corruption fault flipped, 0xFFFFFFFF if none.
    uint32_t CorruptedAddress() const;
    void SetLatencyUs(uint32_t latencyUs);

    // Request log.
    std::vector<SimLogEntry> Log() const;
    void ClearLog();
    void SetLogging(bool enabled);
    size_t UnloggedRequests() const;   // requests past LogMaxEntries (or while logging was off)

    // Registers.
    uint32_t Register(uint32_t address) const;   // 0 for a register never written
    void SetRegister(uint32_t address, uint32_t value);

    // IIC peripheral memory.
    uint8_t IicByte(uint8_t reg) const;
    void SetIicByte(uint8_t reg, uint8_t value);

    // GPIO.
    SimGpioPin Gpio(uint32_t pin) const;   // pin below kSimGpioPins
    void SetGpioExternalLevel(uint32_t pin, uint8_t level);

    // HDMI and DRM information.
    void SetHdmiInfo(const std::array<uint8_t, kSimHdmiInfoBytes>& bytes);
    void SetDrmInfo(const std::array<uint8_t, kSimDrmInfoBytes>& bytes);

    // Flash.
    uint32_t ChipRow() const { return m_nChipRow; }
    uint32_t FlashSize() const;
    // The chip identification the device reports (its chip row unless overridden).
    void SetReportedChipId(uint16_t id);
    std::vector<uint8_t> FlashBytes(uint32_t address, uint32_t length) const;   // clipped to the chip
    std::vector<uint8_t> FlashBytes() const;                                    // the whole chip
    bool PokeFlash(uint32_t address, const uint8_t* data, uint32_t length);    // false beyond the chip
    void EraseFlash();                                                          // all 0xFF
    SimFlashAccess CurrentAccess() const;
    void FlushFlash();

private:
    explicit CSimDevice(const SimDeviceOptions& options);

    bool BeginRequest();
    void EndRequest();
    bool OutputReport(const uint8_t* report, uint32_t length);
    bool OutputCommand(uint32_t slot, const uint8_t* report, uint32_t length);
    bool IicTransfer(const uint8_t* report, bool read);
    bool FlashWriteData(const uint8_t* data, uint32_t length);
    bool InputRequest(uint8_t* buffer, uint32_t lengthArgument, uint32_t bufferSize, uint32_t& answered);
    bool FlashReadData(uint8_t* buffer, uint32_t room, uint32_t& answered);
    uint32_t FlashChunk() const;
    void Record(bool isOutput, uint8_t reportId, uint32_t lengthArgument, const uint8_t* bytes,
                uint32_t length, bool refused);

    // Set once at creation.
    SimDeviceOptions m_options;
    uint32_t m_nChipRow = kSimDefaultChipRow;

    mutable std::mutex m_mutex;
    std::atomic<bool> m_bPresent{true};

    CSimFlash m_flash;
    SimFlashAccess m_access;
    bool m_bAddressPending = false;   // FLASH_ACCESS_MODE seen, FLASH_SET_LEN not yet
    uint8_t m_nPendingMode = 0;
    uint32_t m_nPendingAddress = 0;
    uint32_t m_nErasedEnd = 0;        // how far the write access under way has erased
    uint16_t m_nReportedChipId = 0;

    std::map<uint32_t, uint32_t> m_registers;
    uint32_t m_nRegisterAddress = 0;

    std::array<uint8_t, 256> m_iicMemory{};
    uint8_t m_nIicPointer = 0;
    enum class IicPending { None, Write, Read } m_iicPending = IicPending::None;
    uint8_t m_nIicResult = 0;
    uint32_t m_nIicReadCount = 0;
    std::array<uint8_t, 256> m_iicReadData{};

    std::array<SimGpioPin, kSimGpioPins> m_gpio{};
    uint8_t m_nGpioSelected = 0;

    std::array<uint8_t, kSimHdmiInfoBytes> m_hdmiInfo{};
    std::array<uint8_t, kSimDrmInfoBytes> m_drmInfo{};

    SimFaults m_faults;
    std::mt19937 m_rng;
    uint32_t m_nRequestCount = 0;
    uint32_t m_nDataReads = 0;
    uint32_t m_nDataWrites = 0;
    uint32_t m_nInputRequests = 0;
    uint32_t m_nCorruptedAddress = 0xFFFFFFFF;
    uint32_t m_nLatencyUs = 0;

    bool m_bLogging = true;
    std::vector<SimLogEntry> m_log;
    size_t m_nUnlogged = 0;
};
