// Get ID, and the burn and dump workers: engines that run on their own thread
// and talk to whoever started them only through CWorkerFrontEnd.
#pragma once

#include "DeviceSession.h"
#include "FlashChips.h"
#include "FlashFile.h"
#include "FlashImage.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

// What a worker asks of the front end that started it. Called on the worker's
// thread; the dialog marshals each call to its own thread. The refusals of
// StartBurn/StartDump, and StartBurn's check of the image against the Burn
// Area choice, call it on the caller's thread.
class CWorkerFrontEnd : public CMessageSink, public CTransferObserver
{
public:
    // The Burn Area choice, read each time a step asks.
    virtual bool IsEntireFlashSelected() = 0;
    virtual bool IsOtherAreaSelected() = 0;
    virtual bool IsAreaTicked(int areaRow) = 0;   // 0 Firmware, 1 Private, 2 Customized
    // The worker has ended (its button is disabled, "Status: Wait" shown).
    // The outcome is recorded by then (LastBurn/LastDump); IsBusy() is still
    // true until the worker's thread returns, so do not wait for the worker
    // from inside this call.
    virtual void OnWorkerFinished(bool burn) = 0;
};

// The eight texts of the "Flash Information" group.
struct FlashIdTexts
{
    char DeviceName[64];
    char PageSize[24];
    char SectorSize[24];
    char TotalBlock[16];
    char DeviceId[16];
    char PagesPerSector[16];
    char SectorsPerBlock[16];
    char TotalSize[24];
};

enum class GetIdResult
{
    Identified,
    NoDevice,        // the device is not open
    RequestFailed,   // the identification request was refused
    UnknownChip,     // the device reported a row outside the table
    Busy,            // a worker is running (texts untouched)
};

// What a worker achieved, for callers that need more than the message boxes.
struct BurnOutcome
{
    bool Started = false;
    bool Ended = false;            // ended early (selection, image, flag or announcement, stop)
    bool Stopped = false;          // ended early because RequestStop was called
    bool EntireRequested = false;  // Entire Flash was chosen
    bool EntireVerified = false;   // Entire Flash written and its compare passed
    bool CompareFailed = false;
    bool WriteFailed = false;      // a burst write did not complete
    uint8_t RequestedAreas = 0;    // bit n: area row n asked for
    uint8_t UpdatedAreas = 0;      // bit n: area row n updated (Firmware: verified)
    bool Succeeded() const;        // everything asked for was written (and verified)
};

struct DumpOutcome
{
    bool Started = false;
    bool Succeeded = false;
    bool Stopped = false;        // ended early because RequestStop was called
    uint32_t Total = 0;
    uint32_t BytesWritten = 0;   // bytes in the file
};

enum class StartResult
{
    Started,
    NoFile,          // "Please select the burn file !" / "Please select the dump file !"
    NotIdentified,   // "Please execute Get ID function !"
    Busy,            // a worker is running
    BadImage,        // the image does not hold what is asked, or the chip cannot take it
                     // (message shown; the burn has ended: file closed, OnWorkerFinished called)
    ThreadFailed,    // the worker thread could not be started
};

class CFlashProgrammer
{
public:
    // Installs the front end as the session's transfer observer, File() as its
    // file writer and the stop flag; the destructor removes them again.
    CFlashProgrammer(CDeviceSession& session, CWorkerFrontEnd& frontEnd);
    ~CFlashProgrammer();   // waits for a running worker
    CFlashProgrammer(const CFlashProgrammer&) = delete;
    CFlashProgrammer& operator=(const CFlashProgrammer&) = delete;

    // Get ID: request, store index and geometry, m_nSectorSize and m_nFlashSize,
    // and fill the eight texts. Refused while a worker runs (Busy, texts
    // untouched). A refused request or a row outside the table leaves no chip
    // identified (Burn and Dump refuse): a refused request empties the texts,
    // an unknown row names itself in DeviceName and leaves the others empty.
    GetIdResult GetId(FlashIdTexts* texts);

    // The burn-or-dump file. Change it only through ChooseBurnFile and
    // ChooseDumpFile, which are refused while a worker uses it.
    CFlashFile& File() { return m_file; }
    // The two file choices; refused (false) while a worker runs.
    bool ChooseBurnFile(const char* path, char* versionText, size_t versionTextSize);
    bool ChooseDumpFile(const char* path);

    StartResult StartBurn();
    StartResult StartDump();
    bool IsBusy() const { return m_bBusy.load(); }
    // Joins the worker (returns at once when none runs). Not from the worker's
    // own thread, nor from a front-end call the worker is waiting on.
    void WaitForWorker();
    // Burn: finish the range under way, then end. Dump: stop after the current chunk.
    void RequestStop() { m_bStopRequested.store(true); }

    // Announce and compare only (no write): Entire Flash (from 0, the image's
    // length) or the Firmware area. Runs on the caller's thread; refused (0)
    // while a worker runs, without a loaded image or before Get ID. Returns
    // non-zero when the flash equals the image; otherwise *mismatchStart /
    // *mismatchEnd give the flash range of the chunk that differs (or could not
    // be read), both 0 when nothing was compared.
    int Verify(bool entire, uint32_t* mismatchStart, uint32_t* mismatchEnd);

    BurnOutcome LastBurn() const;
    DumpOutcome LastDump() const;

    uint32_t m_nSectorSize = 0;
    uint32_t m_nFlashSize = 0;
    uint8_t m_nBurnMode = 1;

    // Worker bodies, run on the worker thread (public for tests that run them inline).
    void BurnThreadProc();
    void DumpThreadProc();

private:
    bool CheckBurnPlan(char* text, size_t size);
    bool EntireImageFits(char* text, size_t size);
    bool FirmwareLength(bool log, uint32_t* length, char* text, size_t size);
    bool CheckRange(const char* what, uint32_t start, uint32_t length, char* text, size_t size);
    void RunBurn(BurnOutcome& outcome);
    // AP_FLASH_BURST_LATER for a burst; on failure writes its "--case" line.
    int Announce(uint8_t mode, uint32_t address, uint32_t length);
    int WriteFlag(uint8_t value);
    void RefuseBurn(const char* reason, bool anythingSent, BurnOutcome& outcome);
    void EndWorker(bool burn);
    StartResult StartWorker(bool burn);

    CDeviceSession& m_session;
    CWorkerFrontEnd& m_frontEnd;
    CFlashFile m_file;
    std::mutex m_controlMutex;   // Get ID, file choices, starts: one at a time
    std::thread m_worker;
    std::atomic<bool> m_bBusy{false};
    std::atomic<bool> m_bStopRequested{false};
    mutable std::mutex m_outcomeMutex;
    BurnOutcome m_lastBurn;
    DumpOutcome m_lastDump;
};
