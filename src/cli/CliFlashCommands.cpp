// The flash commands: get-id, burn, verify, dump and image-info. They drive
// the flash programmer of the dialog; this file only decides what the worker
// is asked (from the arguments), how its messages and progress are shown, and
// what the outcome means for the exit status.
#include "CliCommands.h"

#include "CommandTable.h"
#include "FlashProgrammer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

constexpr int kAreaFirmware = 0;
constexpr int kAreaPrivate = 1;
constexpr int kAreaCustomized = 2;
const char* const kAreaNames[FLASH_AREA_COUNT] = {"Firmware area", "Private area", "Customized area"};
const char* const kAreaKeys[FLASH_AREA_COUNT] = {"firmware", "private", "customized"};

std::string Hex(uint64_t value, int digits = 0)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%0*llx", digits, static_cast<unsigned long long>(value));
    return text;
}

// ---------------------------------------------------------------------------
// The worker's front end: the area choice from the arguments, message boxes
// as lines, progress on standard error.

class CCliFrontEnd : public CWorkerFrontEnd
{
public:
    CCliFrontEnd(CliContext& context, ProgressMode mode)
        : m_context(context), m_progress(context.Console, mode)
    {
    }

    void SelectEntire() { m_bEntire = true; }
    void SelectAreas(uint8_t areas)
    {
        m_bEntire = false;
        m_nAreas = areas;
    }

    // CMessageSink
    void ShowMessage(const char* text, const char* caption, MessageIcon icon) override
    {
        std::string message = text ? text : "";
        for (size_t at = message.find("\r\n"); at != std::string::npos; at = message.find("\r\n", at))
            message.replace(at, 2, "\n");
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_messages.push_back(message);
            if (icon != MessageIcon::Information)
                ++m_nErrorBoxes;
        }
        if (icon == MessageIcon::Information) {
            // One line per line of the box, without the blank lines and indents.
            std::string lines;
            size_t begin = 0;
            while (begin <= message.size()) {
                size_t end = message.find('\n', begin);
                if (end == std::string::npos)
                    end = message.size();
                std::string part = message.substr(begin, end - begin);
                part.erase(0, part.find_first_not_of(' '));
                if (!part.empty())
                    lines += part + "\n";
                begin = end + 1;
            }
            if (!m_context.Global.Json)
                m_context.Console.Out(lines);
            return;
        }
        // An error box becomes one line on standard error.
        std::string line;
        for (const char c : message) {
            if (c != '\n')
                line += c;
            else if (!line.empty() && line.back() != ' ')
                line += ' ';
        }
        if (icon == MessageIcon::Warning && caption && *caption)
            line = std::string(caption) + ": " + line;
        m_context.Fail(CLI_EXIT_FAILED, line);
    }

    // CTransferObserver
    void SetStatusText(const char* text) override { m_progress.SetStatusText(text); }
    void SetTotalText(const char* text) override { m_progress.SetTotalText(text); }
    void SetCurrentText(const char* text) override { m_progress.SetCurrentText(text); }
    void SetProgressRange(uint32_t total) override { m_progress.SetProgressRange(total); }
    void SetProgressPos(uint32_t position) override { m_progress.SetProgressPos(position); }

    // CWorkerFrontEnd
    bool IsEntireFlashSelected() override { return m_bEntire; }
    bool IsOtherAreaSelected() override { return !m_bEntire; }
    bool IsAreaTicked(int areaRow) override
    {
        return !m_bEntire && areaRow >= 0 && areaRow < FLASH_AREA_COUNT && (m_nAreas >> areaRow & 1u);
    }
    void OnWorkerFinished(bool) override { m_progress.Finish(); }

    void FinishProgress() { m_progress.Finish(); }
    size_t ErrorBoxes() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_nErrorBoxes;
    }
    std::vector<std::string> Messages() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_messages;
    }

private:
    CliContext& m_context;
    CProgressDisplay m_progress;
    bool m_bEntire = true;
    uint8_t m_nAreas = 0;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_messages;
    size_t m_nErrorBoxes = 0;
};

// The device, the trace, the front end and the programmer of one flash command.
struct CFlashRun
{
    explicit CFlashRun(CliContext& context, ProgressMode mode)
        : Tracer(context.Console), FrontEnd(context, mode), Programmer(Session, FrontEnd)
    {
        if (context.Global.Trace)
            Session.SetExchangeTracer(&Tracer);
    }

    CCliTracer Tracer;
    CDeviceSession Session;
    CCliFrontEnd FrontEnd;
    CFlashProgrammer Programmer;
};

// ---------------------------------------------------------------------------
// Ctrl+C (and a terminal hang-up or a termination request) while a worker runs.
// A closed output pipe must not end the process in the middle of a burn either:
// SIGPIPE is ignored meanwhile, and the lost output is only lost output.

std::atomic<int> g_nStopSignals{0};

extern "C" void OnStopSignal(int)
{
    g_nStopSignals.fetch_add(1);
}

class CStopSignals
{
public:
    CStopSignals()
    {
        g_nStopSignals.store(0);
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        for (size_t i = 0; i < kCount; ++i)
            sigaction(kSignals[i], &action, &m_previous[i]);
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGPIPE, &ignore, &m_previousPipe);
    }
    ~CStopSignals()
    {
        for (size_t i = 0; i < kCount; ++i)
            sigaction(kSignals[i], &m_previous[i], nullptr);
        sigaction(SIGPIPE, &m_previousPipe, nullptr);
    }
    CStopSignals(const CStopSignals&) = delete;
    CStopSignals& operator=(const CStopSignals&) = delete;

private:
    static constexpr size_t kCount = 3;
    static constexpr int kSignals[kCount] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction m_previous[kCount];
    struct sigaction m_previousPipe;
};

// Waits for the worker; a stop signal asks it to stop (once) and says what
// happens then.
void WaitForWorker(CFlashRun& run, CliContext& c, const std::string& stopText)
{
    static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free counter");
    int seen = 0;
    while (run.Programmer.IsBusy()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const int signals = g_nStopSignals.load();
        if (signals == seen)
            continue;
        if (seen == 0) {
            run.Programmer.RequestStop();
            c.Console.ErrLine("pellaro: " + c.Name() + ": " + stopText);
        } else {
            c.Console.ErrLine("pellaro: " + c.Name() + ": still finishing, please wait");
        }
        seen = signals;
    }
    run.Programmer.WaitForWorker();
    run.FrontEnd.FinishProgress();
}

// ---------------------------------------------------------------------------
// Image files

// Why the image cannot be loaded, or "" when it looks loadable.
std::string ImageFileProblem(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return "cannot read " + path + ": " + std::strerror(errno);
    if (S_ISDIR(info.st_mode))
        return path + " is a directory";
    if (S_ISREG(info.st_mode) && info.st_size == 0)
        return path + " is empty";
    if (S_ISREG(info.st_mode) && static_cast<uint64_t>(info.st_size) > 0xFFFFFFFEu)
        return path + " is too large for a flash image";
    if (::access(path.c_str(), R_OK) != 0)
        return "cannot read " + path + ": " + std::strerror(errno);
    return std::string();
}

// What an image holds, from its bytes alone (no chip known).
struct ImageFacts
{
    uint32_t Size = 0;
    bool HasVersion = false;
    char Version[16] = "";
    bool HasHeader = false;
    uint32_t HeaderLength = 0;
    uint32_t BootSize = 0;
    uint64_t FirmwareLength = 0;   // header length + boot size
    uint32_t Padded4k = 0;
    uint32_t Padded64k = 0;
    bool Covers4k = false;         // the image holds the firmware padded to 4 KB sectors
    bool Covers64k = false;
    bool CoversPrivate = false;
    bool CoversCustomized = false;
};

ImageFacts ExamineImage(const uint8_t* image, uint32_t length)
{
    ImageFacts f;
    f.Size = length;
    f.HasVersion = FormatImageVersion(image, length, f.Version, sizeof f.Version) != 0;
    f.HasHeader = ReadFirmwareHeader(image, length, &f.HeaderLength, &f.BootSize) != 0;
    if (f.HasHeader) {
        f.FirmwareLength = static_cast<uint64_t>(f.HeaderLength) + f.BootSize;
        const uint32_t area = g_flashAreas[kAreaFirmware].Length;
        if (f.FirmwareLength > 0 && f.FirmwareLength <= area) {
            const uint32_t firmware = static_cast<uint32_t>(f.FirmwareLength);
            PadToSectors(firmware, 4096, &f.Padded4k);
            PadToSectors(firmware, 65536, &f.Padded64k);
            f.Covers4k = f.Padded4k <= area && FIRMWARE_AREA_START + f.Padded4k <= length;
            f.Covers64k = f.Padded64k <= area && FIRMWARE_AREA_START + f.Padded64k <= length;
        }
    }
    const FlashArea& privateArea = g_flashAreas[kAreaPrivate];
    const FlashArea& customized = g_flashAreas[kAreaCustomized];
    f.CoversPrivate = length >= privateArea.Start + privateArea.Length;
    f.CoversCustomized = length >= customized.Start + customized.Length;
    return f;
}

// Why the image cannot serve the areas asked for, from its bytes alone, or "".
// (The padding to the chip's sectors is checked once the chip is known.)
std::string AreaProblem(const std::string& path, const ImageFacts& f, bool entire, uint8_t areas)
{
    if (entire)
        return std::string();
    if (areas & (1u << kAreaFirmware)) {
        if (!f.HasHeader)
            return path + " (" + std::to_string(f.Size) + " bytes) is too short for the firmware header (" +
                   Hex(FIRMWARE_BOOT_SIZE_OFFSET + 4) + " bytes)";
        if (f.FirmwareLength == 0 || f.FirmwareLength > g_flashAreas[kAreaFirmware].Length)
            return "the firmware header of " + path + " gives a firmware length of " +
                   Hex(f.FirmwareLength) + " bytes; the Firmware area holds 1 to " +
                   Hex(g_flashAreas[kAreaFirmware].Length);
        if (FIRMWARE_AREA_START + f.FirmwareLength > f.Size)
            return path + " ends at " + Hex(f.Size) + "; its firmware runs to " +
                   Hex(FIRMWARE_AREA_START + f.FirmwareLength);
    }
    for (int row = kAreaPrivate; row < FLASH_AREA_COUNT; ++row) {
        const FlashArea& area = g_flashAreas[row];
        if ((areas & (1u << row)) && f.Size < area.Start + area.Length)
            return path + " ends at " + Hex(f.Size) + "; the " + kAreaNames[row] + " needs " +
                   Hex(area.Start + area.Length) + " bytes";
    }
    return std::string();
}

// ---------------------------------------------------------------------------
// The device side shared by burn, verify and dump

// Why the device's reports cannot carry the flash transfers asked for, or "".
std::string FlashReportProblem(const CDeviceSession& session, bool flagBlock)
{
    const uint32_t chunk = session.FlashChunkSize();
    const uint32_t inputSlot = SlotLength(session.Device(), 0, 0);
    if (chunk == 0)
        return "the device has no flash data report";
    if (inputSlot < chunk || session.Device().InputReportBufLength < chunk)
        return "the device's flash input report (" + std::to_string(inputSlot) +
               " bytes) is shorter than its output data (" + std::to_string(chunk) + " bytes)";
    if (flagBlock && chunk < FLAG_BLOCK_LENGTH)
        return "the device's flash data reports carry " + std::to_string(chunk) +
               " bytes; the flag block needs " + std::to_string(FLAG_BLOCK_LENGTH);
    return std::string();
}

// Opens the device, checks its reports and identifies the chip, as Get ID
// does. Returns CLI_EXIT_OK or the exit status after the error line.
int PrepareFlash(CliContext& c, CFlashRun& run, bool flagBlock)
{
    int status = OpenSelectedDevice(c, run.Session, true);
    if (status != CLI_EXIT_OK)
        return status;
    const std::string problem = FlashReportProblem(run.Session, flagBlock);
    if (!problem.empty())
        return c.Fail(CLI_EXIT_FAILED, problem + "; nothing was done");
    c.Diagnostics.Reset();
    FlashIdTexts texts{};
    switch (run.Programmer.GetId(&texts)) {
    case GetIdResult::Identified:
        break;
    case GetIdResult::UnknownChip:
        return c.Fail(CLI_EXIT_FAILED, "the device reports flash chip row " +
                                           std::to_string(g_nFlashChipIndex) +
                                           ", which is not in the chip table; nothing was done");
    case GetIdResult::RequestFailed:
        return c.Fail(CLI_EXIT_FAILED,
                      "flash identification: " + c.StepFailure("the request failed") + "; nothing was done");
    case GetIdResult::NoDevice:
    case GetIdResult::Busy:
        return c.Fail(CLI_EXIT_FAILED, "flash identification could not run");
    }
    if (run.Programmer.m_nFlashSize == 0)
        return c.Fail(CLI_EXIT_FAILED, std::string("the flash chip ") + texts.DeviceName + " (row " +
                                           std::to_string(g_nFlashChipIndex) +
                                           ") has no known geometry; nothing was done");
    return CLI_EXIT_OK;
}

std::string ChipName()
{
    return FlashChipIdentified() && g_flashChips[g_nFlashChipIndex].Name
               ? g_flashChips[g_nFlashChipIndex].Name
               : "unknown chip";
}

// Loads the image as the burn file; exit status 2 with the reason otherwise.
int LoadImage(CliContext& c, CFlashRun& run, const std::string& path, ImageFacts& facts)
{
    const std::string problem = ImageFileProblem(path);
    if (!problem.empty())
        return c.Fail(CLI_EXIT_USAGE, problem);
    char version[16] = "";
    if (!run.Programmer.ChooseBurnFile(path.c_str(), version, sizeof version))
        return c.Fail(CLI_EXIT_USAGE, "cannot read " + path);
    facts = ExamineImage(g_pImage, g_nImageLength);
    return CLI_EXIT_OK;
}

} // namespace

// ---------------------------------------------------------------------------
// get-id and the chip line of info

int RunGetId(CliContext& c)
{
    CFlashRun run(c, ProgressMode::Off);
    int status = OpenSelectedDevice(c, run.Session, true);
    if (status != CLI_EXIT_OK)
        return status;
    FlashIdTexts t{};
    const GetIdResult result = run.Programmer.GetId(&t);
    if (result == GetIdResult::UnknownChip)
        return c.Fail(CLI_EXIT_FAILED, "the device reports flash chip row " +
                                           std::to_string(g_nFlashChipIndex) +
                                           ", which is not in the chip table");
    if (result != GetIdResult::Identified)
        return c.Fail(CLI_EXIT_FAILED, c.StepFailure("the identification request failed"));

    if (c.Global.Json) {
        const FlashGeometry& g = g_flashGeometry;
        c.Console.Out(CJsonWriter()
                          .BeginObject()
                          .Field("device_id", g_nFlashChipIndex)
                          .Field("device_name", t.DeviceName)
                          .Field("page_size", static_cast<uint32_t>(g.PageSize))
                          .Field("sector_size", g.SectorSize)
                          .Field("total_blocks", static_cast<uint32_t>(g.TotalBlocks))
                          .Field("pages_per_sector", g.PageSize ? g.SectorSize / g.PageSize : 0u)
                          .Field("sectors_per_block", static_cast<uint32_t>(g.SectorsPerBlock))
                          .Field("total_size", run.Programmer.m_nFlashSize)
                          .EndObject()
                          .Line());
        return CLI_EXIT_OK;
    }
    const std::pair<const char*, const char*> fields[] = {
        {"Device Name", t.DeviceName},       {"Page Size", t.PageSize},
        {"Sector Size", t.SectorSize},       {"Total Block", t.TotalBlock},
        {"Device ID", t.DeviceId},           {"Pages per Sector", t.PagesPerSector},
        {"Sectors per block", t.SectorsPerBlock}, {"Total Size", t.TotalSize},
    };
    std::string text;
    for (const auto& field : fields) {
        char line[128];
        std::snprintf(line, sizeof line, "%-18s %s\n", (std::string(field.first) + ":").c_str(),
                      field.second);
        text += line;
    }
    c.Console.Out(text);
    return CLI_EXIT_OK;
}

bool DescribeFlashChip(CDeviceSession& session, CliContext& c, std::string& line, CJsonWriter* json)
{
    CCliFrontEnd frontEnd(c, ProgressMode::Off);
    CFlashProgrammer programmer(session, frontEnd);
    c.Diagnostics.Reset();
    FlashIdTexts t{};
    const GetIdResult result = programmer.GetId(&t);
    if (result != GetIdResult::Identified) {
        line = result == GetIdResult::UnknownChip
                   ? "the device reports row " + std::to_string(g_nFlashChipIndex) +
                         ", which is not in the chip table"
                   : c.StepFailure("the identification request failed");
        if (json)
            json->Null();
        return false;
    }
    line = std::string(t.DeviceName) + " (row " + t.DeviceId + ", " + t.TotalSize + ")";
    if (json)
        json->BeginObject()
            .Field("row", g_nFlashChipIndex)
            .Field("name", t.DeviceName)
            .Field("total_size", programmer.m_nFlashSize)
            .EndObject();
    return true;
}

// ---------------------------------------------------------------------------
// burn

int RunBurn(CliContext& c)
{
    const std::string path = c.Args.Args[0];
    uint8_t areas = 0;
    if (c.Args.Has("--firmware"))
        areas |= 1u << kAreaFirmware;
    if (c.Args.Has("--private"))
        areas |= 1u << kAreaPrivate;
    if (c.Args.Has("--customized"))
        areas |= 1u << kAreaCustomized;
    const bool entire = areas == 0;
    if (c.Args.Has("--entire") && !entire)
        return c.Usage("--entire cannot be combined with --firmware, --private or --customized");

    CFlashRun run(c, c.Progress());
    if (entire)
        run.FrontEnd.SelectEntire();
    else
        run.FrontEnd.SelectAreas(areas);

    ImageFacts facts;
    int status = LoadImage(c, run, path, facts);
    if (status != CLI_EXIT_OK)
        return status;
    const std::string problem = AreaProblem(path, facts, entire, areas);
    if (!problem.empty())
        return c.Fail(CLI_EXIT_USAGE, problem + "; nothing was written");

    if ((status = PrepareFlash(c, run, (areas & (1u << kAreaFirmware)) != 0)) != CLI_EXIT_OK)
        return status;

    c.Diagnostics.Reset();
    BurnOutcome outcome;
    {
        CStopSignals signals;
        switch (run.Programmer.StartBurn()) {
        case StartResult::Started:
            break;
        case StartResult::BadImage:
            return CLI_EXIT_USAGE;   // the worker's message named the problem
        case StartResult::NoFile:
        case StartResult::NotIdentified:
        case StartResult::Busy:
        case StartResult::ThreadFailed:
            return c.Fail(CLI_EXIT_FAILED, "the burn could not start; nothing was written");
        }
        WaitForWorker(run, c,
                      "stop requested: the range under way is finished first (a range cut short "
                      "would leave the flash half written), then the burn stops");
        outcome = run.Programmer.LastBurn();
    }

    // What was asked and what was achieved (names for the error line, keys for JSON).
    std::vector<std::string> missing, missingKeys, updatedKeys;
    if (entire && !outcome.EntireVerified) {
        missing.push_back("entire flash");
        missingKeys.push_back("entire");
    }
    if (outcome.EntireVerified)
        updatedKeys.push_back("entire");
    for (int row = 0; row < FLASH_AREA_COUNT; ++row) {
        if (outcome.UpdatedAreas & (1u << row)) {
            updatedKeys.push_back(kAreaKeys[row]);
        } else if (areas & (1u << row)) {
            missing.push_back(kAreaNames[row]);
            missingKeys.push_back(kAreaKeys[row]);
        }
    }

    // A data report the device refused is a failure even when the compare then
    // found the flash equal to the image: the link or the device is not sound.
    const bool succeeded = outcome.Succeeded() && missing.empty() && !outcome.WriteFailed;
    if (c.Global.Json) {
        CJsonWriter json;
        json.BeginObject().Field("image", path).Field("chip", ChipName()).Field("succeeded", succeeded);
        json.Field("stopped", outcome.Stopped).Field("compare_failed", outcome.CompareFailed);
        json.Field("write_failed", outcome.WriteFailed).Key("updated").BeginArray();
        for (const std::string& key : updatedKeys)
            json.String(key);
        json.EndArray().Key("not_updated").BeginArray();
        for (const std::string& key : missingKeys)
            json.String(key);
        json.EndArray().Key("messages").BeginArray();
        for (const std::string& message : run.FrontEnd.Messages())
            json.String(message);
        c.Console.Out(json.EndArray().EndObject().Line());
    }
    if (succeeded)
        return CLI_EXIT_OK;
    if (missing.empty() && outcome.WriteFailed && outcome.Succeeded()) {
        const std::string failure = c.Diagnostics.Failure();
        return c.Fail(CLI_EXIT_FAILED,
                      "the device refused a data report while writing" +
                          (failure.empty() ? std::string() : " (" + failure + ")") +
                          "; the compare then found the flash equal to the image, but the link "
                          "or the device is not sound");
    }

    std::string why;
    if (outcome.Stopped)
        why = "stopped on request";
    else if (!c.Diagnostics.Failure().empty())
        why = c.Diagnostics.Failure();
    else if (outcome.CompareFailed)
        why = "the compare found a difference" +
              (c.Diagnostics.Compare().empty() ? std::string() : " in " + c.Diagnostics.Compare());
    else if (run.FrontEnd.ErrorBoxes() > 0)
        return CLI_EXIT_FAILED;   // the worker's message said why
    else
        why = "the burn ended early";
    std::string text;
    for (size_t i = 0; i < missing.size(); ++i)
        text += (i ? (i + 1 == missing.size() ? " and the " : ", the ") : "the ") + missing[i];
    return c.Fail(CLI_EXIT_FAILED, why + ": " + (text.empty() ? "nothing" : text) +
                                       (missing.size() == 1 ? " was" : " were") +
                                       " not written and verified");
}

// ---------------------------------------------------------------------------
// verify

int RunVerify(CliContext& c)
{
    const std::string path = c.Args.Args[0];
    const bool firmware = c.Args.Has("--firmware");
    if (firmware && c.Args.Has("--entire"))
        return c.Usage("--entire and --firmware exclude each other");

    CFlashRun run(c, c.Progress());
    ImageFacts facts;
    int status = LoadImage(c, run, path, facts);
    if (status != CLI_EXIT_OK)
        return status;
    const std::string problem = AreaProblem(path, facts, !firmware, firmware ? 1u << kAreaFirmware : 0u);
    if (!problem.empty())
        return c.Fail(CLI_EXIT_USAGE, problem);
    if ((status = PrepareFlash(c, run, false)) != CLI_EXIT_OK)
        return status;

    c.Diagnostics.Reset();
    uint32_t start = 0, end = 0;
    const int equal = run.Programmer.Verify(!firmware, &start, &end);
    run.FrontEnd.FinishProgress();
    const std::string what = firmware ? "the Firmware area" : "the entire image";
    const std::string failure = c.Diagnostics.Failure();
    const bool differs = !equal && end > start && failure.empty();

    if (c.Global.Json) {
        CJsonWriter json;
        json.BeginObject()
            .Field("image", path)
            .Field("chip", ChipName())
            .Field("area", firmware ? "firmware" : "entire")
            .Field("equal", equal != 0);
        if (differs)
            json.Field("mismatch_start", start).Field("mismatch_end", end);
        c.Console.Out(json.EndObject().Line());
    } else if (equal) {
        c.Console.Out("The flash matches " + path + " (" + what + ").\n");
    }
    if (equal)
        return CLI_EXIT_OK;
    if (differs)
        return c.Fail(CLI_EXIT_FAILED, "the flash differs from " + path + " in " + Hex(start, 8) +
                                           "~" + Hex(end, 8) + " (" + what + ")");
    if (!failure.empty())
        return c.Fail(CLI_EXIT_FAILED,
                      failure + (end > start ? " at " + Hex(start, 8) + "~" + Hex(end, 8) : std::string()) +
                          "; " + what + " was not verified");
    if (run.FrontEnd.ErrorBoxes() > 0)
        return CLI_EXIT_USAGE;   // the image does not fit the chip (the message said so)
    return c.Fail(CLI_EXIT_FAILED, what + " could not be verified");
}

// ---------------------------------------------------------------------------
// dump

int RunDump(CliContext& c)
{
    const std::string path = c.Args.Args[0];
    const bool force = c.Args.Has("--force");

    // The file is checked (or created) before the device is touched; an
    // existing file is only emptied once the dump starts.
    struct stat info {};
    bool created = false;
    if (::stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return c.Fail(CLI_EXIT_FAILED, path + " is a directory");
        if (!force)
            return c.Usage(path + " exists; give --force to replace it");
        if (::access(path.c_str(), W_OK) != 0)
            return c.Fail(CLI_EXIT_FAILED, "cannot write " + path + ": " + std::strerror(errno));
    } else {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0)
            return c.Fail(CLI_EXIT_FAILED, "cannot create " + path + ": " + std::strerror(errno));
        ::close(fd);
        created = true;
    }
    // Removes the empty file this command created when the dump never starts.
    struct CRemoveUnused
    {
        const std::string& Path;
        bool Armed;
        ~CRemoveUnused()
        {
            if (Armed)
                ::unlink(Path.c_str());
        }
    } removeUnused{path, created};

    // Emptying the file the simulated flash lives in would destroy what is dumped.
    struct stat flash {};
    if (c.Global.Sim.Enabled && !c.Global.Sim.FlashFile.empty() &&
        ::stat(c.Global.Sim.FlashFile.c_str(), &flash) == 0 && ::stat(path.c_str(), &info) == 0 &&
        flash.st_dev == info.st_dev && flash.st_ino == info.st_ino)
        return c.Usage(path + " is the simulated flash itself; dump into another file");

    CFlashRun run(c, c.Progress());
    int status = PrepareFlash(c, run, false);
    if (status != CLI_EXIT_OK)
        return status;
    if (!run.Programmer.ChooseDumpFile(path.c_str()))
        return c.Fail(CLI_EXIT_FAILED, "cannot create " + path + ": " + std::strerror(errno));

    c.Diagnostics.Reset();
    DumpOutcome outcome;
    {
        CStopSignals signals;
        if (run.Programmer.StartDump() != StartResult::Started) {
            run.Programmer.File().CloseFlashFile();
            return c.Fail(CLI_EXIT_FAILED, "the dump could not start; " + path + " is empty");
        }
        removeUnused.Armed = false;
        WaitForWorker(run, c,
                      "stop requested: the dump stops after the chunk under way and keeps what it "
                      "has read in " + path);
        outcome = run.Programmer.LastDump();
    }

    if (c.Global.Json)
        c.Console.Out(CJsonWriter()
                          .BeginObject()
                          .Field("file", path)
                          .Field("chip", ChipName())
                          .Field("succeeded", outcome.Succeeded)
                          .Field("stopped", outcome.Stopped)
                          .Field("total", outcome.Total)
                          .Field("bytes_written", outcome.BytesWritten)
                          .EndObject()
                          .Line());
    if (outcome.Succeeded && outcome.BytesWritten == outcome.Total) {
        if (!c.Global.Json)
            c.Console.Out("Dumped " + std::to_string(outcome.Total) + " bytes of " + ChipName() +
                          " into " + path + ".\n");
        return CLI_EXIT_OK;
    }
    const std::string holds = path + " holds the first " + std::to_string(outcome.BytesWritten) +
                              " of " + std::to_string(outcome.Total) + " bytes";
    if (outcome.Stopped)
        return c.Fail(CLI_EXIT_FAILED, "stopped on request; " + holds);
    return c.Fail(CLI_EXIT_FAILED, c.StepFailure("the dump failed") + "; " + holds);
}

// ---------------------------------------------------------------------------
// image-info

int RunImageInfo(CliContext& c)
{
    const std::string path = c.Args.Args[0];
    const std::string problem = ImageFileProblem(path);
    if (!problem.empty())
        return c.Fail(CLI_EXIT_USAGE, problem);
    CFlashFile file;
    if (!file.LoadImageFile(path.c_str()))
        return c.Fail(CLI_EXIT_USAGE, "cannot read " + path);
    const ImageFacts f = ExamineImage(g_pImage, g_nImageLength);
    file.CloseFlashFile();

    if (c.Global.Json) {
        CJsonWriter json;
        json.BeginObject().Field("image", path).Field("size", f.Size);
        json.Key("version");
        f.HasVersion ? json.String(f.Version) : json.Null();
        json.Key("header_length");
        f.HasHeader ? json.Number(f.HeaderLength) : json.Null();
        json.Key("boot_size");
        f.HasHeader ? json.Number(f.BootSize) : json.Null();
        json.Key("firmware_length");
        f.HasHeader ? json.Number(f.FirmwareLength) : json.Null();
        json.Key("firmware_length_4k");
        f.Padded4k ? json.Number(f.Padded4k) : json.Null();
        json.Key("firmware_length_64k");
        f.Padded64k ? json.Number(f.Padded64k) : json.Null();
        json.Key("covers")
            .BeginObject()
            .Field("entire", true)
            .Field("firmware_4k", f.Covers4k)
            .Field("firmware_64k", f.Covers64k)
            .Field("private", f.CoversPrivate)
            .Field("customized", f.CoversCustomized)
            .EndObject();
        c.Console.Out(json.EndObject().Line());
        return CLI_EXIT_OK;
    }

    auto row = [](const char* label, const std::string& value) {
        char head[32];
        std::snprintf(head, sizeof head, "%-17s ", label);
        return head + value + "\n";
    };
    std::string text = row("Image:", path);
    text += row("Size:", std::to_string(f.Size) + " bytes (" + Hex(f.Size) + ")");
    text += row("Version:", f.HasVersion ? f.Version : "none (too short)");
    if (f.HasHeader) {
        text += row("Header length:", Hex(f.HeaderLength));
        text += row("Boot size:", Hex(f.BootSize));
        text += row("Firmware length:", Hex(f.FirmwareLength));
        if (f.Padded4k)
            text += row("Padded:", Hex(f.Padded4k) + " (4 KB sectors), " + Hex(f.Padded64k) +
                                       " (64 KB sectors)");
    } else {
        text += row("Firmware header:", "none (the image ends before " +
                                            Hex(FIRMWARE_BOOT_SIZE_OFFSET + 4) + ")");
    }
    text += row("Entire flash:", "from 0 to " + Hex(f.Size) + " (a chip of at least " +
                                     std::to_string((static_cast<uint64_t>(f.Size) + 1023) / 1024) +
                                     " KB)");
    std::string firmware;
    if (!f.HasHeader)
        firmware = "not covered (no firmware header)";
    else if (!f.Padded4k)
        firmware = "not covered (the firmware length " + Hex(f.FirmwareLength) +
                   " does not fit the area)";
    else if (f.Covers64k)
        firmware = "covered";
    else if (f.Covers4k)
        firmware = "covered for chips with 4 KB sectors only (with 64 KB sectors the firmware needs " +
                   Hex(FIRMWARE_AREA_START + f.Padded64k) + ")";
    else
        firmware = "not covered (the image ends at " + Hex(f.Size) + ", the firmware needs " +
                   Hex(FIRMWARE_AREA_START + f.Padded4k) + ")";
    text += row("Firmware area:", firmware);
    for (int area = kAreaPrivate; area < FLASH_AREA_COUNT; ++area) {
        const uint32_t end = g_flashAreas[area].Start + g_flashAreas[area].Length;
        const bool covered = area == kAreaPrivate ? f.CoversPrivate : f.CoversCustomized;
        text += row(area == kAreaPrivate ? "Private area:" : "Customized area:",
                    covered ? "covered"
                            : "not covered (the image ends at " + Hex(f.Size) + ", the area at " +
                                  Hex(end) + ")");
    }
    c.Console.Out(text);
    return CLI_EXIT_OK;
}
