#include "FlashProgrammer.h"

#include "Diagnostics.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace {

constexpr uint32_t kAreaFirmware = 0;
constexpr int kMessageSize = 256;

const char* const kAreaNames[FLASH_AREA_COUNT] = {"Firmware area", "Private area",
                                                  "Customized area"};

const char kCompletionTail[] = "\n has updated, please replug-in device!";

} // namespace

bool BurnOutcome::Succeeded() const
{
    const bool askedSomething = EntireRequested || RequestedAreas != 0;
    return Started && !Ended && askedSomething && (!EntireRequested || EntireVerified) &&
           (RequestedAreas & ~UpdatedAreas) == 0;
}

CFlashProgrammer::CFlashProgrammer(CDeviceSession& session, CWorkerFrontEnd& frontEnd)
    : m_session(session), m_frontEnd(frontEnd), m_file(&frontEnd)
{
    m_session.SetTransferObserver(&m_frontEnd);
    m_session.SetFileWriter(&m_file);
    m_session.SetStopFlag(&m_bStopRequested);
}

CFlashProgrammer::~CFlashProgrammer()
{
    WaitForWorker();
    m_session.SetStopFlag(nullptr);
    m_session.SetFileWriter(nullptr);
    m_session.SetTransferObserver(nullptr);
}

// ---------------------------------------------------------------------------
// Get ID

GetIdResult CFlashProgrammer::GetId(FlashIdTexts* texts)
{
    std::lock_guard<std::mutex> lock(m_controlMutex);
    if (m_bBusy.load())
        return GetIdResult::Busy;
    if (!m_session.IsDeviceOpened())
        return GetIdResult::NoDevice;

    FlashIdTexts out{};
    uint32_t index = FLASH_CHIP_NOT_IDENTIFIED;
    // A refused request identifies nothing: the receive buffer holds no answer.
    if (!m_session.RequestFlashId(&index)) {
        g_nFlashChipIndex = FLASH_CHIP_NOT_IDENTIFIED;
        m_nSectorSize = 0;
        m_nFlashSize = 0;
        if (texts)
            *texts = out;
        return GetIdResult::RequestFailed;
    }
    g_nFlashChipIndex = index;
    DebugOutputF("Device ID: %d\n", static_cast<int>(index));

    if (index >= FLASH_CHIP_COUNT) {
        m_nSectorSize = 0;
        m_nFlashSize = 0;
        std::snprintf(out.DeviceName, sizeof out.DeviceName, "Unknown chip (index %u)", index);
        if (texts)
            *texts = out;
        return GetIdResult::UnknownChip;
    }

    const FlashChipInfo& chip = g_flashChips[index];
    GetFlashGeometry(&g_flashGeometry, chip);
    const FlashGeometry& geometry = g_flashGeometry;
    std::snprintf(out.DeviceName, sizeof out.DeviceName, "%s", chip.Name ? chip.Name : "");
    std::snprintf(out.PageSize, sizeof out.PageSize, "%d bytes", static_cast<int>(geometry.PageSize));
    std::snprintf(out.SectorSize, sizeof out.SectorSize, "%d bytes",
                  static_cast<int>(geometry.SectorSize));
    std::snprintf(out.TotalBlock, sizeof out.TotalBlock, "%d", static_cast<int>(geometry.TotalBlocks));
    std::snprintf(out.DeviceId, sizeof out.DeviceId, "%d", static_cast<int>(index));

    m_nSectorSize = geometry.SectorSize;
    const uint32_t pagesPerSector = geometry.PageSize ? geometry.SectorSize / geometry.PageSize : 0;
    std::snprintf(out.PagesPerSector, sizeof out.PagesPerSector, "%d",
                  static_cast<int>(pagesPerSector));
    std::snprintf(out.SectorsPerBlock, sizeof out.SectorsPerBlock, "%d",
                  static_cast<int>(geometry.SectorsPerBlock));

    m_nFlashSize = static_cast<uint32_t>(geometry.SectorsPerBlock) * geometry.SectorSize *
                   static_cast<uint32_t>(geometry.TotalBlocks);
    std::snprintf(out.TotalSize, sizeof out.TotalSize, "%d KB", static_cast<int>(m_nFlashSize >> 10));
    if (texts)
        *texts = out;
    return GetIdResult::Identified;
}

// ---------------------------------------------------------------------------
// File choices

bool CFlashProgrammer::ChooseBurnFile(const char* path, char* versionText, size_t versionTextSize)
{
    std::lock_guard<std::mutex> lock(m_controlMutex);
    if (m_bBusy.load())
        return false;
    if (versionText && versionTextSize)
        versionText[0] = '\0';
    if (!m_file.LoadImageFile(path))
        return false;
    if (versionText && versionTextSize)
        FormatImageVersion(g_pImage, g_nImageLength, versionText, versionTextSize);
    return true;
}

bool CFlashProgrammer::ChooseDumpFile(const char* path)
{
    std::lock_guard<std::mutex> lock(m_controlMutex);
    if (m_bBusy.load())
        return false;
    return m_file.CreateDumpFile(path) != 0;
}

// ---------------------------------------------------------------------------
// What a burn may ask for

bool CFlashProgrammer::CheckRange(const char* what, uint32_t start, uint32_t length, char* text,
                                  size_t size)
{
    const uint64_t end = static_cast<uint64_t>(start) + length;
    if (end > g_nImageLength) {
        std::snprintf(text, size, "The image is %u bytes; the %s needs 0x%llX bytes.", g_nImageLength,
                      what, static_cast<unsigned long long>(end));
        return false;
    }
    if (end > m_nFlashSize) {
        std::snprintf(text, size, "The flash chip holds %u bytes; the %s needs 0x%llX bytes.",
                      m_nFlashSize, what, static_cast<unsigned long long>(end));
        return false;
    }
    return true;
}

bool CFlashProgrammer::FirmwareLength(bool log, uint32_t* length, char* text, size_t size)
{
    uint32_t headerLength = 0;
    uint32_t bootSize = 0;
    if (!ReadFirmwareHeader(g_pImage, g_nImageLength, &headerLength, &bootSize)) {
        std::snprintf(text, size, "The image is %u bytes; the firmware header needs 0x%X bytes.",
                      g_nImageLength, FIRMWARE_BOOT_SIZE_OFFSET + 4);
        return false;
    }
    if (log) {
        DebugOutputF("FlashWrite -- Header_len - 0x%x\n", headerLength);
        DebugOutputF("FlashWrite -- Boot_Size - 0x%x\n", bootSize);
    }
    const uint32_t areaLength = g_flashAreas[kAreaFirmware].Length;
    const uint64_t firmware = static_cast<uint64_t>(headerLength) + bootSize;
    if (firmware == 0 || firmware > areaLength) {
        std::snprintf(text, size,
                      "The firmware header gives a firmware length of 0x%llX bytes; the Firmware "
                      "area holds 1 to 0x%X bytes.",
                      static_cast<unsigned long long>(firmware), areaLength);
        return false;
    }
    if (log)
        DebugOutputF("FlashWrite -- compressed firmware length_0 - 0x%x\n",
                     static_cast<uint32_t>(firmware));
    uint32_t padded = 0;
    if (!PadToSectors(static_cast<uint32_t>(firmware), m_nSectorSize, &padded)) {
        std::snprintf(text, size, "The flash chip's sector size is unknown; execute Get ID again.");
        return false;
    }
    if (log)
        DebugOutputF("FlashWrite -- compressed firmware length_1 - 0x%x\n", padded);
    if (padded > areaLength) {
        std::snprintf(text, size,
                      "The firmware padded to whole sectors is 0x%X bytes; the Firmware area holds "
                      "0x%X bytes.",
                      padded, areaLength);
        return false;
    }
    if (!CheckRange(kAreaNames[kAreaFirmware], FIRMWARE_AREA_START, padded, text, size))
        return false;
    *length = padded;
    return true;
}

bool CFlashProgrammer::EntireImageFits(char* text, size_t size)
{
    if (g_nImageLength == 0) {
        std::snprintf(text, size, "The image is empty.");
        return false;
    }
    // The device would be asked to write beyond the end of the chip.
    if (g_nImageLength > m_nFlashSize) {
        std::snprintf(text, size, "The image is %u bytes; the flash chip holds %u bytes.",
                      g_nImageLength, m_nFlashSize);
        return false;
    }
    return true;
}

bool CFlashProgrammer::CheckBurnPlan(char* text, size_t size)
{
    if (m_session.FlashChunkSize() == 0) {
        std::snprintf(text, size, "The device has no report for flash data.");
        return false;
    }
    if (m_frontEnd.IsEntireFlashSelected())
        return EntireImageFits(text, size);
    if (!m_frontEnd.IsOtherAreaSelected())
        return true;
    uint32_t length = 0;
    if (m_frontEnd.IsAreaTicked(kAreaFirmware) && !FirmwareLength(false, &length, text, size))
        return false;
    // The flag block moves in one report each way.
    const uint32_t inputRoom = SlotLength(m_session.Device(), 0, 0);
    if (m_frontEnd.IsAreaTicked(kAreaFirmware) &&
        (m_session.FlashChunkSize() < FLAG_BLOCK_LENGTH || inputRoom < FLAG_BLOCK_LENGTH)) {
        std::snprintf(text, size,
                      "The device's flash reports carry %u bytes; the flag block at 0x%X needs %u "
                      "bytes in one report.",
                      std::min(m_session.FlashChunkSize(), inputRoom), FLAG_BLOCK_ADDRESS,
                      FLAG_BLOCK_LENGTH);
        return false;
    }
    for (int row = 1; row < FLASH_AREA_COUNT; ++row) {
        if (m_frontEnd.IsAreaTicked(row) &&
            !CheckRange(kAreaNames[row], g_flashAreas[row].Start, g_flashAreas[row].Length, text, size))
            return false;
    }
    return true;
}

void CFlashProgrammer::RefuseBurn(const char* reason, bool anythingSent, BurnOutcome& outcome)
{
    char text[kMessageSize + 32];
    std::snprintf(text, sizeof text, "%s %s", reason,
                  anythingSent ? "The burn has stopped." : "Nothing was written.");
    DebugOutputF("%s\n", text);
    m_frontEnd.ShowMessage(text, "Error", MessageIcon::Error);
    outcome.Ended = true;
}

// ---------------------------------------------------------------------------
// Burn

int CFlashProgrammer::Announce(uint8_t mode, uint32_t address, uint32_t length)
{
    if (m_session.FlashAccess(AP_FLASH_BURST_LATER, mode, address, length, nullptr))
        return 1;
    DebugOutputF("Unknown error: Couldn't execute AP_FLASH_BURST_LATER--case %d\n", mode);
    return 0;
}

int CFlashProgrammer::WriteFlag(uint8_t value)
{
    uint8_t flag[FLAG_BLOCK_LENGTH] = {};
    // Read, change byte 0 and write back with nobody else in between.
    CDeviceHold hold = m_session.HoldDevice();
    if (!m_session.FlashAccess(AP_FLASH_READ, ACCESS_MODE_DIRECT, FLAG_BLOCK_ADDRESS,
                               FLAG_BLOCK_LENGTH, flag)) {
        DebugOutputF("Unknown error: Couldn't execute AP_FLASH_READ--case %d\n", ACCESS_MODE_DIRECT);
        return 0;
    }
    flag[0] = value;
    if (!m_session.FlashAccess(AP_FLASH_WRITE, ACCESS_MODE_DIRECT, FLAG_BLOCK_ADDRESS,
                               FLAG_BLOCK_LENGTH, flag)) {
        DebugOutputF("Unknown error: Couldn't execute AP_FLASH_WRITE--case %d\n", ACCESS_MODE_DIRECT);
        return 0;
    }
    return 1;
}

void CFlashProgrammer::RunBurn(BurnOutcome& outcome)
{
    char text[kMessageSize];
    bool anythingSent = false;
    const auto stopped = [&]() {
        if (!m_bStopRequested.load())
            return false;
        DebugOutput("FlashWrite -- Stopped on request.\n");
        outcome.Stopped = true;
        outcome.Ended = true;
        return true;
    };

    // Selection check.
    if (m_frontEnd.IsOtherAreaSelected() && !m_frontEnd.IsAreaTicked(0) &&
        !m_frontEnd.IsAreaTicked(1) && !m_frontEnd.IsAreaTicked(2)) {
        m_frontEnd.ShowMessage("No any item is selected in Other Area !", "Error", MessageIcon::Error);
        outcome.Ended = true;
        return;
    }
    // Nothing is sent unless the image holds everything asked for.
    if (!CheckBurnPlan(text, sizeof text)) {
        RefuseBurn(text, false, outcome);
        return;
    }

    const bool firmwareBurn = m_frontEnd.IsOtherAreaSelected() && m_frontEnd.IsAreaTicked(kAreaFirmware);
    if (m_frontEnd.IsEntireFlashSelected() || firmwareBurn) {
        if (stopped())
            return;
        // Preparation.
        m_nBurnMode = ACCESS_MODE_ENTIRE;
        uint32_t length = g_nImageLength;
        uint32_t imageOffset = 0;
        if (firmwareBurn) {
            outcome.RequestedAreas |= 1u << kAreaFirmware;
            m_nBurnMode = ACCESS_MODE_FIRMWARE;
            if (!FirmwareLength(true, &length, text, sizeof text)) {
                RefuseBurn(text, anythingSent, outcome);
                return;
            }
            imageOffset = FIRMWARE_AREA_START;
            anythingSent = true;
            if (!WriteFlag(0)) {
                outcome.Ended = true;
                return;
            }
        } else {
            outcome.EntireRequested = true;
            if (!EntireImageFits(text, sizeof text)) {
                RefuseBurn(text, anythingSent, outcome);
                return;
            }
        }
        const uint32_t address = m_nBurnMode == ACCESS_MODE_ENTIRE ? 0 : FIRMWARE_AREA_START;

        // Write.
        {
            CDeviceHold hold = m_session.HoldDevice();
            anythingSent = true;
            if (!Announce(m_nBurnMode, address, length)) {
                outcome.Ended = true;
                return;
            }
            uint32_t done = 0;
            if (m_session.BurstFlashTransfer(BURST_WRITE, length, g_pImage, imageOffset, &done) == 0) {
                DebugOutputF("FlashWrite -- Transfer %d bytes to Firmware\n", static_cast<int>(done));
                m_frontEnd.SetProgressPos(done);
            } else {
                outcome.WriteFailed = true;   // the compare tells what the flash holds
            }
        }

        // Compare.
        if (stopped())
            return;
        bool compared = false;
        {
            CDeviceHold hold = m_session.HoldDevice();
            if (!Announce(m_nBurnMode, address, length)) {
                outcome.Ended = true;
                return;
            }
            uint32_t done = 0;
            compared =
                m_session.BurstFlashTransfer(BURST_COMPARE, length, g_pImage, imageOffset, &done) == 0;
        }
        if (!compared) {
            outcome.CompareFailed = true;
            m_frontEnd.ShowMessage("FlashWrite -- Compare failed", "Error", MessageIcon::Error);
        } else {
            // The flag belongs to the firmware just verified.
            if (firmwareBurn && !WriteFlag(1)) {
                outcome.Ended = true;
                return;
            }
            DebugOutput("FlashWrite -- Compare data OK.\n");
            if (m_nBurnMode == ACCESS_MODE_ENTIRE)
                outcome.EntireVerified = true;
            else
                outcome.UpdatedAreas |= 1u << kAreaFirmware;
        }
    }

    // Areas written without compare.
    m_nBurnMode = ACCESS_MODE_AREA;
    if (m_frontEnd.IsOtherAreaSelected()) {
        for (int row = 1; row < FLASH_AREA_COUNT; ++row) {
            if (!m_frontEnd.IsAreaTicked(row))
                continue;
            const FlashArea& area = g_flashAreas[row];
            outcome.RequestedAreas |= static_cast<uint8_t>(1u << row);
            if (stopped())
                return;
            if (!CheckRange(kAreaNames[row], area.Start, area.Length, text, sizeof text)) {
                RefuseBurn(text, anythingSent, outcome);
                return;
            }
            CDeviceHold hold = m_session.HoldDevice();
            anythingSent = true;
            if (!Announce(m_nBurnMode, area.Start, area.Length)) {
                outcome.Ended = true;
                return;
            }
            uint32_t done = 0;
            if (m_session.BurstFlashTransfer(BURST_WRITE, area.Length, g_pImage, area.Start, &done) == 0) {
                DebugOutputF("FlashWrite for Customized-- Transfer %d bytes to Firmware\n",
                             static_cast<int>(done));
                m_frontEnd.SetProgressPos(done);
                outcome.UpdatedAreas |= static_cast<uint8_t>(1u << row);
            } else {
                outcome.WriteFailed = true;
            }
        }
    }

    // Completion message.
    if (outcome.UpdatedAreas) {
        char message[128] = "";
        size_t at = 0;
        for (int row = 0; row < FLASH_AREA_COUNT; ++row) {
            if (outcome.UpdatedAreas & (1u << row))
                at += static_cast<size_t>(
                    std::snprintf(message + at, sizeof message - at, "%s", g_flashAreas[row].Label));
        }
        std::snprintf(message + at, sizeof message - at, "%s", kCompletionTail);
        m_frontEnd.ShowMessage(message, "Info", MessageIcon::Information);
    } else if (outcome.EntireVerified) {
        m_frontEnd.ShowMessage("The entire flash has updated, please replug-in device!", "Info",
                               MessageIcon::Information);
    }
}

void CFlashProgrammer::EndWorker(bool burn)
{
    m_file.CloseFlashFile();
    m_frontEnd.SetStatusText("Status: Wait");
    m_frontEnd.OnWorkerFinished(burn);
    DebugOutput("Call ExitThread_0.\n");
    DebugOutput("Call ExitThread_1.\n");
    m_bBusy.store(false);
}

void CFlashProgrammer::BurnThreadProc()
{
    BurnOutcome outcome;
    outcome.Started = true;
    RunBurn(outcome);
    {
        std::lock_guard<std::mutex> lock(m_outcomeMutex);
        m_lastBurn = outcome;
    }
    EndWorker(true);
}

// ---------------------------------------------------------------------------
// Dump

void CFlashProgrammer::DumpThreadProc()
{
    DumpOutcome outcome;
    outcome.Started = true;
    outcome.Total = m_nFlashSize;
    {
        CDeviceHold hold = m_session.HoldDevice();
        if (Announce(ACCESS_MODE_ENTIRE, 0, outcome.Total)) {
            uint32_t done = 0;
            if (m_session.BurstFlashTransfer(BURST_READ_TO_FILE, outcome.Total, nullptr, 0, &done) == 0) {
                DebugOutput("FlashRead -- Read data OK.\n");
                outcome.Succeeded = true;
            } else {
                outcome.Stopped = m_bStopRequested.load();
            }
        }
    }
    const uint64_t written = m_file.BytesWritten();
    outcome.BytesWritten = written > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(written);
    {
        std::lock_guard<std::mutex> lock(m_outcomeMutex);
        m_lastDump = outcome;
    }
    if (outcome.Succeeded)
        m_frontEnd.ShowMessage("Dump firmware has finished!", "Info", MessageIcon::Information);
    EndWorker(false);
}

// ---------------------------------------------------------------------------
// Starting and waiting

StartResult CFlashProgrammer::StartWorker(bool burn)
{
    if (m_worker.joinable())
        m_worker.join();   // a finished worker, at its last step
    m_bStopRequested.store(false);
    {
        std::lock_guard<std::mutex> lock(m_outcomeMutex);
        if (burn) {
            m_lastBurn = BurnOutcome();
            m_lastBurn.Started = true;
        } else {
            m_lastDump = DumpOutcome();
            m_lastDump.Started = true;
        }
    }
    m_bBusy.store(true);
    try {
        m_worker = std::thread(burn ? &CFlashProgrammer::BurnThreadProc : &CFlashProgrammer::DumpThreadProc,
                               this);
    } catch (const std::system_error&) {
        m_bBusy.store(false);
        std::lock_guard<std::mutex> lock(m_outcomeMutex);
        if (burn)
            m_lastBurn.Started = false;
        else
            m_lastDump.Started = false;
        DebugOutput("Couldn't start the worker thread\n");
        return StartResult::ThreadFailed;
    }
    return StartResult::Started;
}

// The refusals below are decided under the control lock and shown after it
// is released: a front end may run other work while a message box is open.

StartResult CFlashProgrammer::StartBurn()
{
    std::unique_lock<std::mutex> lock(m_controlMutex);
    if (m_bBusy.load())
        return StartResult::Busy;
    if (!m_file.IsOpenFor(true) || !g_pImage) {
        lock.unlock();
        m_frontEnd.ShowMessage("Please select the burn file !", "Error", MessageIcon::Error);
        return StartResult::NoFile;
    }
    if (!FlashChipIdentified()) {
        lock.unlock();
        m_frontEnd.ShowMessage("Please execute Get ID function !", "Error", MessageIcon::Error);
        return StartResult::NotIdentified;
    }
    char text[kMessageSize];
    if (!CheckBurnPlan(text, sizeof text)) {
        // The burn ends here as a worker's would: file closed, front end told.
        BurnOutcome outcome;
        outcome.Ended = true;
        {
            std::lock_guard<std::mutex> outcomeLock(m_outcomeMutex);
            m_lastBurn = outcome;
        }
        m_file.CloseFlashFile();
        lock.unlock();
        RefuseBurn(text, false, outcome);
        m_frontEnd.SetStatusText("Status: Wait");
        m_frontEnd.OnWorkerFinished(true);
        return StartResult::BadImage;
    }
    DebugOutput("Start write data to flash.\n");
    return StartWorker(true);
}

StartResult CFlashProgrammer::StartDump()
{
    std::unique_lock<std::mutex> lock(m_controlMutex);
    if (m_bBusy.load())
        return StartResult::Busy;
    if (!m_file.IsOpenFor(false)) {
        lock.unlock();
        m_frontEnd.ShowMessage("Please select the dump file !", "Error", MessageIcon::Error);
        return StartResult::NoFile;
    }
    if (!FlashChipIdentified() || m_nFlashSize == 0) {
        lock.unlock();
        m_frontEnd.ShowMessage("Please execute Get ID function !", "Error", MessageIcon::Error);
        return StartResult::NotIdentified;
    }
    DebugOutput("Start read data from flash.\n");
    return StartWorker(false);
}

void CFlashProgrammer::WaitForWorker()
{
    std::thread worker;
    {
        std::lock_guard<std::mutex> lock(m_controlMutex);
        if (!m_worker.joinable() || m_worker.get_id() == std::this_thread::get_id())
            return;
        worker = std::move(m_worker);
    }
    worker.join();
}

// ---------------------------------------------------------------------------
// Verify

int CFlashProgrammer::Verify(bool entire, uint32_t* mismatchStart, uint32_t* mismatchEnd)
{
    if (mismatchStart)
        *mismatchStart = 0;
    if (mismatchEnd)
        *mismatchEnd = 0;
    std::unique_lock<std::mutex> lock(m_controlMutex);
    if (m_bBusy.load())
        return 0;
    char text[kMessageSize];
    uint32_t length = g_nImageLength;
    const uint8_t mode = entire ? ACCESS_MODE_ENTIRE : ACCESS_MODE_FIRMWARE;
    const uint32_t address = entire ? 0 : FIRMWARE_AREA_START;
    bool fits = false;
    if (!m_file.IsOpenFor(true) || !g_pImage)
        std::snprintf(text, sizeof text, "Please select the burn file !");
    else if (!FlashChipIdentified())
        std::snprintf(text, sizeof text, "Please execute Get ID function !");
    else
        fits = entire ? EntireImageFits(text, sizeof text)
                      : FirmwareLength(false, &length, text, sizeof text);
    if (!fits) {
        lock.unlock();
        m_frontEnd.ShowMessage(text, "Error", MessageIcon::Error);
        return 0;
    }

    CDeviceHold hold = m_session.HoldDevice();
    if (!Announce(mode, address, length))
        return 0;
    uint32_t done = 0;
    const uint32_t remaining = m_session.BurstFlashTransfer(BURST_COMPARE, length, g_pImage, address, &done);
    if (remaining == 0)
        return 1;
    const uint32_t chunk = m_session.FlashChunkSize();
    const uint32_t failed = chunk && chunk < remaining ? chunk : remaining;
    if (mismatchStart)
        *mismatchStart = address + done;
    if (mismatchEnd)
        *mismatchEnd = address + done + failed;
    return 0;
}

// ---------------------------------------------------------------------------
// Outcomes

BurnOutcome CFlashProgrammer::LastBurn() const
{
    std::lock_guard<std::mutex> lock(m_outcomeMutex);
    return m_lastBurn;
}

DumpOutcome CFlashProgrammer::LastDump() const
{
    std::lock_guard<std::mutex> lock(m_outcomeMutex);
    return m_lastDump;
}
