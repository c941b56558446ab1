#include "SimDevice.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

// Chip size per row of the device's flash chip table, in 64 KB blocks. The
// row order is the device's own (it reports the row as the chip's identity)
// and must never change. Row 1 ("AMIC__A25Q032") has no geometry in the
// table; it is simulated as 4 MB like the other chips of capacity code 0x16.
constexpr uint16_t kChipBlocks[kSimChipRows] = {
    64,   64,  32,  64, 128, 256,  64,  32,  64, 128,   //  0 ..  9
    32,   64,  32,  64,  16,  16, 128,  64,  32,  32,   // 10 .. 19
    64,   32,  64,  64,  32, 128, 256, 512, 1024, 128,  // 20 .. 29
    64,   32, 256, 1024,   4,  64,  32,  64,  32,  32,  // 30 .. 39
    64,   64, 128, 256,                                 // 40 .. 43
};
constexpr uint32_t kChipBlockBytes = 64 * 1024;

constexpr size_t kMaxSlots = 8;
constexpr uint32_t kFlashDataOffset = 4;   // data of an output data report start here
constexpr uint32_t kNoAddress = 0xFFFFFFFF;

// Slots that carry which commands.
constexpr uint32_t kSlotData = 0;
constexpr uint32_t kSlotControl = 1;
constexpr uint32_t kSlotIic = 2;

// Command codes (bits 8..15 of an Input request's length, byte 2 of an Output report).
enum : uint8_t
{
    CODE_REG_WRITE = 0,
    CODE_REG_WRITE_ADDR = 1,
    CODE_REG_READ = 2,
    CODE_FLASH_ACCESS_MODE = 3,
    CODE_FLASH_GET_ID = 4,
    CODE_FLASH_SET_LEN = 5,
    CODE_IIC_WRITE = 6,
    CODE_IIC_READ = 7,
    CODE_GPIO_SET = 8,
    CODE_GPIO_WRITE = 9,
    CODE_GPIO_READ = 10,
    CODE_HDMI_INFO = 11,
    CODE_DRM_INFO = 12,
};

// Fixed-length Output commands: code, slot, length byte (bytes 1 .. last parameter).
struct FixedCommand
{
    uint8_t Code;
    uint32_t Slot;
    uint8_t LengthByte;
};
constexpr FixedCommand kFixedCommands[] = {
    {CODE_REG_WRITE, kSlotControl, 10},
    {CODE_REG_WRITE_ADDR, kSlotControl, 6},
    {CODE_FLASH_ACCESS_MODE, kSlotControl, 7},
    {CODE_FLASH_SET_LEN, kSlotControl, 6},
    {CODE_GPIO_SET, kSlotControl, 4},
    {CODE_GPIO_WRITE, kSlotControl, 4},
    {CODE_GPIO_READ, kSlotControl, 3},
};

// Input commands and the slot each is asked on.
struct InputCommand
{
    uint8_t Code;
    uint32_t Slot;
};
constexpr InputCommand kInputCommands[] = {
    {CODE_REG_READ, kSlotControl},   {CODE_FLASH_GET_ID, kSlotControl},
    {CODE_GPIO_READ, kSlotControl},  {CODE_IIC_WRITE, kSlotIic},
    {CODE_IIC_READ, kSlotIic},       {CODE_HDMI_INFO, kSlotIic},
    {CODE_DRM_INFO, kSlotIic},
};

uint32_t ReadLe32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void WriteLe32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

void AppendReportCount(std::vector<uint8_t>& d, uint16_t count)
{
    if (count <= 0xFF) {
        d.insert(d.end(), {0x95, static_cast<uint8_t>(count)});
    } else {
        d.insert(d.end(), {0x96, static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8)});
    }
}

} // namespace

uint32_t SimChipSize(uint32_t row)
{
    return row < kSimChipRows ? kChipBlocks[row] * kChipBlockBytes : 0;
}

std::unique_ptr<CSimDevice> CSimDevice::Create(const SimDeviceOptions& options, std::string& error)
{
    if (options.ChipRow >= kSimChipRows) {
        error = "chip row " + std::to_string(options.ChipRow) + " is not in the chip table (0 to " +
                std::to_string(kSimChipRows - 1) + ")";
        return nullptr;
    }
    for (const auto* counts : {&options.OutputReportCounts, &options.InputReportCounts}) {
        if (counts->size() > kMaxSlots ||
            std::find(counts->begin(), counts->end(), uint16_t{0}) != counts->end()) {
            error = "report counts must be 1 to 65535, at most 8 reports each way";
            return nullptr;
        }
    }
    std::unique_ptr<CSimDevice> device(new CSimDevice(options));
    if (!device->m_flash.Open(SimChipSize(options.ChipRow), options.FlashFile, error))
        return nullptr;
    return device;
}

std::unique_ptr<CSimDevice> CSimDevice::Create(const SimDeviceOptions& options)
{
    std::string error;
    return Create(options, error);
}

CSimDevice::CSimDevice(const SimDeviceOptions& options)
    : m_options(options),
      m_nChipRow(options.ChipRow),
      m_nReportedChipId(static_cast<uint16_t>(options.ChipRow)),
      m_faults(options.Faults),
      m_rng(options.Faults.Seed),
      m_nLatencyUs(options.LatencyUs),
      m_bLogging(options.LogRequests)
{
    for (uint32_t i = 0; i < 4; ++i)
        m_registers[0x54 + 4 * i] = options.FirmwareVersion[i];
}

CSimDevice::~CSimDevice()
{
    m_flash.Flush();
}

HidAttributes CSimDevice::Attributes() const
{
    HidAttributes attributes;
    attributes.VendorID = m_options.VendorId;
    attributes.ProductID = m_options.ProductId;
    attributes.VersionNumber = m_options.VersionNumber;
    return attributes;
}

std::vector<uint8_t> CSimDevice::ReportDescriptor() const
{
    std::vector<uint8_t> d = {
        0x06, 0x00, 0xFF,   // Usage Page (vendor 0xFF00)
        0x09, 0x01,         // Usage (1)
        0xA1, 0x01,         // Collection (Application)
        0x15, 0x00,         //   Logical Minimum (0)
        0x26, 0xFF, 0x00,   //   Logical Maximum (255)
        0x75, 0x08,         //   Report Size (8)
    };
    // Outputs first, then inputs; each report its own ID and usage, so every
    // one is a value cap of its own, in slot order.
    for (uint8_t main : {uint8_t{0x91}, uint8_t{0x81}}) {
        const auto& counts = main == 0x91 ? m_options.OutputReportCounts : m_options.InputReportCounts;
        for (size_t i = 0; i < counts.size(); ++i) {
            const auto id = static_cast<uint8_t>(i + 1);
            d.insert(d.end(), {0x85, id, 0x09, id});   // Report ID, Usage
            AppendReportCount(d, counts[i]);
            d.insert(d.end(), {main, 0x02});           // Output/Input (Data,Var,Abs)
        }
    }
    d.push_back(0xC0);   // End Collection
    return d;
}

uint32_t CSimDevice::OutputReportLength(uint32_t slot) const
{
    return slot < m_options.OutputReportCounts.size() ? m_options.OutputReportCounts[slot] + 1u : 0;
}

uint32_t CSimDevice::InputReportLength(uint32_t slot) const
{
    return slot < m_options.InputReportCounts.size() ? m_options.InputReportCounts[slot] + 1u : 0;
}

bool CSimDevice::Present() const
{
    return m_bPresent.load();
}

void CSimDevice::SetPresent(bool present)
{
    m_bPresent.store(present);
}

// ---------------------------------------------------------------------------
// Requests

bool CSimDevice::BeginRequest()
{
    ++m_nRequestCount;
    if (!m_bPresent.load())
        return false;
    if (m_nLatencyUs)
        std::this_thread::sleep_for(std::chrono::microseconds(m_nLatencyUs));
    return m_faults.FailAtRequest == 0 || m_nRequestCount != m_faults.FailAtRequest;
}

void CSimDevice::EndRequest()
{
    if (m_faults.VanishAfterRequests && m_nRequestCount >= m_faults.VanishAfterRequests)
        m_bPresent.store(false);
}

bool CSimDevice::HandleOutputReport(const uint8_t* report, uint32_t length)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    bool ok = BeginRequest() && report && length > 0 && OutputReport(report, length);
    Record(true, report && length ? report[0] : 0, length, report, report ? length : 0, !ok);
    EndRequest();
    return ok;
}

bool CSimDevice::HandleInputRequest(uint8_t* buffer, uint32_t lengthArgument, uint32_t bufferSize,
                                    uint32_t& received)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const uint8_t id = buffer && bufferSize ? buffer[0] : 0;
    uint32_t answered = 0;
    bool ok = BeginRequest() && buffer && bufferSize > 0 &&
              InputRequest(buffer, lengthArgument, bufferSize, answered);
    // A short answer: the device sends less than it should (a flaky link).
    ++m_nInputRequests;
    if (ok && m_faults.ShortAnswerAt && m_nInputRequests == m_faults.ShortAnswerAt &&
        answered > m_faults.ShortAnswerBytes)
        answered = m_faults.ShortAnswerBytes;
    Record(false, id, lengthArgument, buffer, ok ? answered : 0, !ok);
    EndRequest();
    received = ok ? answered : 0;
    return ok;
}

bool CSimDevice::OutputReport(const uint8_t* report, uint32_t length)
{
    const uint32_t slot = report[0] - 1u;   // report ID n + 1 is slot n; ID 0 wraps to no slot
    if (slot >= m_options.OutputReportCounts.size() || length != OutputReportLength(slot))
        return false;
    if (slot == kSlotData)
        return length > kFlashDataOffset && FlashWriteData(report + kFlashDataOffset, length - kFlashDataOffset);
    return OutputCommand(slot, report, length);
}

bool CSimDevice::OutputCommand(uint32_t slot, const uint8_t* report, uint32_t length)
{
    if (length < 3)
        return false;
    const uint8_t lengthByte = report[1];
    const uint8_t code = report[2];

    if (code == CODE_IIC_WRITE || code == CODE_IIC_READ) {
        // Byte 3 device address, byte 4 count n, n bytes; a read adds its read count.
        const bool read = code == CODE_IIC_READ;
        if (slot != kSlotIic || length < 5)
            return false;
        const uint32_t n = report[4];
        const uint32_t expected = (read ? 5u : 4u) + n;
        if (lengthByte != static_cast<uint8_t>(expected) || expected + 1 > length)
            return false;
        return IicTransfer(report, read);
    }

    const FixedCommand* command = nullptr;
    for (const FixedCommand& c : kFixedCommands) {
        if (c.Code == code)
            command = &c;
    }
    if (!command || command->Slot != slot || command->LengthByte != lengthByte ||
        command->LengthByte + 1u > length)
        return false;

    const uint8_t* params = report + 3;
    switch (code) {
    case CODE_REG_WRITE:
        m_registers[ReadLe32(params)] = ReadLe32(params + 4);
        return true;
    case CODE_REG_WRITE_ADDR:
        m_nRegisterAddress = ReadLe32(params);
        return true;
    case CODE_FLASH_ACCESS_MODE: {
        // A new announcement ends whatever access was under way.
        const uint8_t mode = params[0];
        const uint32_t address = ReadLe32(params + 1);
        m_access = SimFlashAccess();
        m_bAddressPending = false;
        if (mode > 3 || address >= m_flash.Size())
            return false;
        m_bAddressPending = true;
        m_nPendingMode = mode;
        m_nPendingAddress = address;
        return true;
    }
    case CODE_FLASH_SET_LEN: {
        const uint32_t len = ReadLe32(params);
        if (!m_bAddressPending || static_cast<uint64_t>(m_nPendingAddress) + len > m_flash.Size()) {
            m_bAddressPending = false;
            return false;
        }
        m_bAddressPending = false;
        m_access = SimFlashAccess();
        m_access.Active = true;
        m_access.Mode = m_nPendingMode;
        m_access.Address = m_nPendingAddress;
        m_access.Length = len;
        m_nErasedEnd = m_nPendingAddress;
        return true;
    }
    case CODE_GPIO_SET:
    case CODE_GPIO_WRITE:
    case CODE_GPIO_READ: {
        const uint8_t pin = params[0];
        if (pin >= kSimGpioPins)
            return false;
        if (code == CODE_GPIO_SET) {
            if (params[1] > 1)
                return false;
            m_gpio[pin].Direction = params[1];
        } else if (code == CODE_GPIO_WRITE) {
            m_gpio[pin].OutputLevel = params[1] ? 1 : 0;
        } else {
            m_nGpioSelected = pin;
        }
        return true;
    }
    default:
        return false;
    }
}

bool CSimDevice::IicTransfer(const uint8_t* report, bool read)
{
    const uint8_t address = report[3];
    const uint32_t n = report[4];
    const uint8_t* bytes = report + 5;
    uint32_t readCount = 0;
    if (read) {
        readCount = report[5 + n];
        // The answer (result code, then the bytes) has to fit the input report.
        if (1 + readCount > InputReportLength(kSlotIic))
            return false;
    }

    m_iicPending = read ? IicPending::Read : IicPending::Write;
    m_nIicReadCount = readCount;
    m_iicReadData.fill(0);
    if (address != m_options.IicPeripheralAddress) {
        m_nIicResult = 1;   // nobody acknowledged the address
        return true;
    }
    // The peripheral: the first byte written sets its register pointer, further
    // bytes are stored from there on; reads continue from the pointer. Both wrap.
    if (n > 0) {
        m_nIicPointer = bytes[0];
        for (uint32_t i = 1; i < n; ++i)
            m_iicMemory[m_nIicPointer++] = bytes[i];
    }
    for (uint32_t i = 0; i < readCount; ++i)
        m_iicReadData[i] = m_iicMemory[m_nIicPointer++];
    m_nIicResult = 0;
    return true;
}

bool CSimDevice::InputRequest(uint8_t* buffer, uint32_t lengthArgument, uint32_t bufferSize,
                              uint32_t& answered)
{
    const uint32_t slot = buffer[0] - 1u;
    if (slot >= m_options.InputReportCounts.size())
        return false;
    // The device answers at most one input report; the host buffer may be smaller.
    const uint32_t room = std::min(InputReportLength(slot), bufferSize);

    if (slot == kSlotData)
        return FlashReadData(buffer, std::min(room, lengthArgument), answered);

    const auto code = static_cast<uint8_t>(lengthArgument >> 8);
    const InputCommand* command = nullptr;
    for (const InputCommand& c : kInputCommands) {
        if (c.Code == code)
            command = &c;
    }
    if (!command || command->Slot != slot)
        return false;

    uint8_t answer[257] = {};
    uint32_t size = 0;
    switch (code) {
    case CODE_REG_READ: {
        auto it = m_registers.find(m_nRegisterAddress);
        WriteLe32(answer, it == m_registers.end() ? 0 : it->second);
        size = 4;
        break;
    }
    case CODE_FLASH_GET_ID:
        answer[0] = static_cast<uint8_t>(m_nReportedChipId);
        answer[1] = static_cast<uint8_t>(m_nReportedChipId >> 8);
        size = 2;
        break;
    case CODE_GPIO_READ: {
        const SimGpioPin& pin = m_gpio[m_nGpioSelected];
        answer[0] = pin.Direction ? pin.OutputLevel : pin.ExternalLevel;
        size = 1;
        break;
    }
    case CODE_IIC_WRITE:
    case CODE_IIC_READ:
        // The answer half has to follow the matching request.
        if (m_iicPending != (code == CODE_IIC_READ ? IicPending::Read : IicPending::Write))
            return false;
        answer[0] = m_nIicResult;
        std::memcpy(answer + 1, m_iicReadData.data(), m_nIicReadCount);
        size = 1 + m_nIicReadCount;
        break;
    case CODE_HDMI_INFO:
        std::memcpy(answer, m_hdmiInfo.data(), kSimHdmiInfoBytes);
        size = kSimHdmiInfoBytes;
        break;
    case CODE_DRM_INFO:
        std::memcpy(answer, m_drmInfo.data(), kSimDrmInfoBytes);
        size = kSimDrmInfoBytes;
        break;
    default:
        return false;
    }
    // A whole report: the answer from byte 0, zero after it, cut to what fits.
    std::memset(buffer, 0, room);
    std::memcpy(buffer, answer, std::min(size, room));
    answered = room;
    return true;
}

// ---------------------------------------------------------------------------
// Flash

uint32_t CSimDevice::FlashChunk() const
{
    // Each data report carries as much as the output data report holds after
    // its 4-byte header; reads move the same amount, which is what the host
    // takes from each answer.
    const uint32_t out = OutputReportLength(kSlotData);
    const uint32_t perReport = out > kFlashDataOffset ? out - kFlashDataOffset : 0;
    return std::min(m_access.Length - m_access.Done, perReport);
}

bool CSimDevice::FlashWriteData(const uint8_t* data, uint32_t length)
{
    if (!m_access.Active || m_access.Direction == SimFlashDirection::Read ||
        m_access.Done >= m_access.Length)
        return false;
    const uint32_t chunk = std::min(FlashChunk(), length);
    if (chunk == 0)
        return false;
    m_access.Direction = SimFlashDirection::Write;

    uint8_t* flash = m_flash.Data();
    const uint32_t begin = m_access.Address + m_access.Done;
    const uint32_t end = begin + chunk;
    const uint32_t accessEnd = m_access.Address + m_access.Length;
    // Erase each block the first time the access reaches it, but only the part
    // of the block inside the announced range.
    if (m_options.EraseBeforeProgram) {
        while (m_nErasedEnd < end) {
            const uint32_t blockEnd = (m_nErasedEnd / kSimFlashBlockSize + 1) * kSimFlashBlockSize;
            const uint32_t eraseEnd = std::min(blockEnd, accessEnd);
            std::memset(flash + m_nErasedEnd, 0xFF, eraseEnd - m_nErasedEnd);
            m_nErasedEnd = eraseEnd;
        }
    }
    ++m_nDataWrites;
    if (m_faults.DropWriteAt == 0 || m_nDataWrites != m_faults.DropWriteAt) {
        // NOR programming only ever clears bits.
        for (uint32_t i = 0; i < chunk; ++i)
            flash[begin + i] &= data[i];
    }
    m_access.Done += chunk;
    return true;
}

bool CSimDevice::FlashReadData(uint8_t* buffer, uint32_t room, uint32_t& answered)
{
    if (!m_access.Active || m_access.Direction == SimFlashDirection::Write ||
        m_access.Done >= m_access.Length)
        return false;
    const uint32_t chunk = FlashChunk();
    // A chunk the answer cannot hold is refused rather than cut: the host
    // would lose the rest while the device moved on.
    if (chunk == 0 || chunk > room)
        return false;
    m_access.Direction = SimFlashDirection::Read;

    const uint32_t address = m_access.Address + m_access.Done;
    std::memset(buffer, 0, room);
    std::memcpy(buffer, m_flash.Data() + address, chunk);
    ++m_nDataReads;
    if (m_faults.CorruptReadAt && m_nDataReads == m_faults.CorruptReadAt) {
        const uint32_t at = static_cast<uint32_t>(m_rng() % chunk);
        buffer[at] ^= 0xFF;
        m_nCorruptedAddress = address + at;
    }
    m_access.Done += chunk;
    answered = room;
    return true;
}

// ---------------------------------------------------------------------------
// Log

void CSimDevice::Record(bool isOutput, uint8_t reportId, uint32_t lengthArgument, const uint8_t* bytes,
                        uint32_t length, bool refused)
{
    if (!m_bLogging || m_log.size() >= m_options.LogMaxEntries) {
        ++m_nUnlogged;
        return;
    }
    SimLogEntry entry;
    entry.IsOutput = isOutput;
    entry.ReportId = reportId;
    entry.LengthArgument = lengthArgument;
    entry.Length = length;
    entry.Refused = refused;
    if (bytes && length)
        entry.Bytes.assign(bytes, bytes + std::min(length, m_options.LogBytesPerEntry));
    m_log.push_back(std::move(entry));
}

std::vector<SimLogEntry> CSimDevice::Log() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_log;
}

void CSimDevice::ClearLog()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_log.clear();
    m_nUnlogged = 0;
}

void CSimDevice::SetLogging(bool enabled)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bLogging = enabled;
}

size_t CSimDevice::UnloggedRequests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nUnlogged;
}

// ---------------------------------------------------------------------------
// Faults

void CSimDevice::ArmFaults(const SimFaults& faults)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults = faults;
    m_rng.seed(faults.Seed);
    m_nRequestCount = 0;
    m_nDataReads = 0;
    m_nDataWrites = 0;
    m_nInputRequests = 0;
    m_nCorruptedAddress = kNoAddress;
}

void CSimDevice::ResetRequestCount()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nRequestCount = 0;
    m_nDataReads = 0;
    m_nDataWrites = 0;
    m_nInputRequests = 0;
}

uint32_t CSimDevice::RequestCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nRequestCount;
}

uint32_t CSimDevice::CorruptedAddress() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nCorruptedAddress;
}

void CSimDevice::SetLatencyUs(uint32_t latencyUs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nLatencyUs = latencyUs;
}

// ---------------------------------------------------------------------------
// State for tests

uint32_t CSimDevice::Register(uint32_t address) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_registers.find(address);
    return it == m_registers.end() ? 0 : it->second;
}

void CSimDevice::SetRegister(uint32_t address, uint32_t value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_registers[address] = value;
}

uint8_t CSimDevice::IicByte(uint8_t reg) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_iicMemory[reg];
}

void CSimDevice::SetIicByte(uint8_t reg, uint8_t value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_iicMemory[reg] = value;
}

SimGpioPin CSimDevice::Gpio(uint32_t pin) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return pin < kSimGpioPins ? m_gpio[pin] : SimGpioPin();
}

void CSimDevice::SetGpioExternalLevel(uint32_t pin, uint8_t level)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (pin < kSimGpioPins)
        m_gpio[pin].ExternalLevel = level ? 1 : 0;
}

void CSimDevice::SetHdmiInfo(const std::array<uint8_t, kSimHdmiInfoBytes>& bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_hdmiInfo = bytes;
}

void CSimDevice::SetDrmInfo(const std::array<uint8_t, kSimDrmInfoBytes>& bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_drmInfo = bytes;
}

uint32_t CSimDevice::FlashSize() const
{
    return m_flash.Size();   // fixed once created
}

void CSimDevice::SetReportedChipId(uint16_t id)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nReportedChipId = id;
}

std::vector<uint8_t> CSimDevice::FlashBytes(uint32_t address, uint32_t length) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const uint32_t size = m_flash.Size();
    if (address >= size)
        return {};
    const uint32_t n = std::min(length, size - address);
    return std::vector<uint8_t>(m_flash.Data() + address, m_flash.Data() + address + n);
}

std::vector<uint8_t> CSimDevice::FlashBytes() const
{
    return FlashBytes(0, m_flash.Size());
}

bool CSimDevice::PokeFlash(uint32_t address, const uint8_t* data, uint32_t length)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (static_cast<uint64_t>(address) + length > m_flash.Size() || (length && !data))
        return false;
    if (length)
        std::memcpy(m_flash.Data() + address, data, length);
    return true;
}

void CSimDevice::EraseFlash()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::memset(m_flash.Data(), 0xFF, m_flash.Size());
}

SimFlashAccess CSimDevice::CurrentAccess() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_access;
}

void CSimDevice::FlushFlash()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_flash.Flush();
}
