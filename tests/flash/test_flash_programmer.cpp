// Get ID, burn, dump and verify against the simulated device, checked on the
// device's own request log and flash.
#include "DeviceSession.h"
#include "Diagnostics.h"
#include "FlashProgrammer.h"
#include "FlashTestSupport.h"
#include "HidSimBackend.h"
#include "SimDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace {

using flashtest::CScratchDir;
using flashtest::Message;

const char kEntireDone[] = "The entire flash has updated, please replug-in device!";
const char kAreasDone[] = "\n has updated, please replug-in device!";

// Answers the Burn Area choice, records what a worker shows, and can hold the
// worker at a chosen status or count text until the test lets it go on.
class CTestFrontEnd : public CWorkerFrontEnd, public flashtest::CMessageRecorder
{
public:
    void ShowMessage(const char* text, const char* caption, MessageIcon icon) override
    {
        CMessageRecorder::ShowMessage(text, caption, icon);
    }

    void ChooseEntireFlash()
    {
        m_entire = true;
        m_other = false;
    }
    void ChooseAreas(bool firmware, bool privateData, bool customized)
    {
        m_entire = false;
        m_other = true;
        m_ticks[0] = firmware;
        m_ticks[1] = privateData;
        m_ticks[2] = customized;
    }

    bool IsEntireFlashSelected() override { return m_entire; }
    bool IsOtherAreaSelected() override { return m_other; }
    bool IsAreaTicked(int row) override { return row >= 0 && row < 3 && m_ticks[row]; }

    void SetStatusText(const char* text) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_statuses.push_back(text);
        }
        Gate(text);
    }
    void SetTotalText(const char*) override {}
    void SetCurrentText(const char* text) override { Gate(text); }
    void SetProgressRange(uint32_t) override {}
    void SetProgressPos(uint32_t) override {}

    void OnWorkerFinished(bool burn) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_finished.push_back(burn);
    }

    void Reset()
    {
        ClearMessages();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_statuses.clear();
        m_finished.clear();
        m_gate.clear();
    }

    std::vector<bool> Finished() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_finished;
    }
    std::string LastStatus() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_statuses.empty() ? std::string() : m_statuses.back();
    }

    // The worker stops at the first status or count text equal to `text`.
    void HoldAt(const std::string& text)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_gate = text;
        m_held = m_released = false;
    }
    void WaitUntilHeld()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [&] { return m_held; });
    }
    void Release()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_released = true;
        m_cv.notify_all();
    }

private:
    void Gate(const char* text)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_gate.empty() || m_released || m_gate != text)
            return;
        m_held = true;
        m_cv.notify_all();
        m_cv.wait(lock, [&] { return m_released; });
    }

    std::atomic<bool> m_entire{true};
    std::atomic<bool> m_other{false};
    std::array<std::atomic<bool>, 3> m_ticks{};
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::string> m_statuses;
    std::vector<bool> m_finished;
    std::string m_gate;
    bool m_held = false;
    bool m_released = false;
};

uint32_t Le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// The flash traffic of a request log, compactly: "A<mode>@<address>+<length>"
// for an announcement, "W<n>"/"R<n>" for a run of n data reports, "flag=<b>"
// for a flag-block write (its byte 0), and "in"/"out"/"refused" for anything else.
std::vector<std::string> FlashTraffic(const std::vector<SimLogEntry>& log)
{
    std::vector<std::string> out;
    char kind = 0;
    uint32_t run = 0;
    uint32_t mode = 0;
    uint32_t address = 0;
    auto flush = [&] {
        if (run)
            out.push_back(std::string(1, kind) + std::to_string(run));
        run = 0;
    };
    char text[64];
    for (const SimLogEntry& e : log) {
        const bool control = e.ReportId == 2 && e.IsOutput && e.Bytes.size() >= 8;
        if (e.Refused) {
            flush();
            out.push_back("refused");
        } else if (control && e.Bytes[2] == 3) {
            flush();
            mode = e.Bytes[3];
            address = Le32(&e.Bytes[4]);
        } else if (control && e.Bytes[2] == 5) {
            flush();
            std::snprintf(text, sizeof text, "A%u@0x%X+0x%X", mode, address, Le32(&e.Bytes[3]));
            out.push_back(text);
        } else if (e.ReportId == 1 && e.IsOutput && mode == ACCESS_MODE_DIRECT) {
            flush();
            out.push_back("flag=" + std::to_string(e.Bytes.size() > 4 ? e.Bytes[4] : -1));
        } else if (e.ReportId == 1) {
            const char k = e.IsOutput ? 'W' : 'R';
            if (k != kind)
                flush();
            kind = k;
            ++run;
        } else {
            flush();
            out.push_back(e.IsOutput ? "out" : "in");
        }
    }
    flush();
    return out;
}

std::string Hex(uint32_t v)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", v);
    return text;
}

std::string Announce(uint8_t mode, uint32_t address, uint32_t length)
{
    return "A" + std::to_string(mode) + "@" + Hex(address) + "+" + Hex(length);
}

const std::vector<std::string> kFlagCycle0 = {Announce(2, 0x70000, 0x1000), "R1",
                                              Announce(2, 0x70000, 0x1000), "flag=0"};
const std::vector<std::string> kFlagCycle1 = {Announce(2, 0x70000, 0x1000), "R1",
                                              Announce(2, 0x70000, 0x1000), "flag=1"};

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts)
{
    std::vector<std::string> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// An image with a firmware header (header length 0x100, boot size 0x20000)
// and version bytes 05 00 01 02.
std::vector<uint8_t> FirmwareImage(size_t length, uint32_t seed)
{
    std::vector<uint8_t> image = flashtest::RandomBytes(length, seed);
    const uint8_t fields[] = {0, 0, 1, 0, 0, 2, 0, 0};
    for (size_t i = 0; i < sizeof fields && FIRMWARE_HEADER_LENGTH_OFFSET + i < length; ++i)
        image[FIRMWARE_HEADER_LENGTH_OFFSET + i] = fields[i];
    const uint8_t version[] = {5, 0, 1, 2};
    for (size_t i = 0; i < sizeof version && FIRMWARE_VERSION_OFFSET + i < length; ++i)
        image[FIRMWARE_VERSION_OFFSET + i] = version[i];
    return image;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& v, size_t start, size_t length)
{
    return std::vector<uint8_t>(v.begin() + static_cast<std::ptrdiff_t>(start),
                                v.begin() + static_cast<std::ptrdiff_t>(start + length));
}

class FlashProgrammerTest : public testing::Test
{
protected:
    void TearDown() override
    {
        m_programmer.reset();
        m_session.reset();
        SetHidBackend(nullptr);
    }

    // Plugs in a simulated device, opens it and runs Get ID.
    void Plug(uint32_t chipRow, const std::string& flashFile = std::string(),
              uint16_t dataReportCount = 4099)
    {
        m_programmer.reset();
        m_session.reset();
        SimDeviceOptions options;
        options.ChipRow = chipRow;
        options.FlashFile = flashFile;
        options.OutputReportCounts[0] = dataReportCount;
        options.InputReportCounts[0] = dataReportCount;
        std::string error;
        std::shared_ptr<CSimDevice> device(CSimDevice::Create(options, error).release());
        ASSERT_TRUE(device) << error;
        m_device = device.get();
        m_backend = std::make_unique<CHidSimBackend>();
        m_backend->AddNode(device);
        SetHidBackend(m_backend.get());
        m_session = std::make_unique<CDeviceSession>();
        uint32_t index = 0;
        ASSERT_EQ(m_session->OpenDevice(0x32ED, 0x3200, &index), OpenDeviceResult::Opened);
        m_programmer = std::make_unique<CFlashProgrammer>(*m_session, m_frontEnd);
        FlashIdTexts texts{};
        ASSERT_EQ(m_programmer->GetId(&texts), GetIdResult::Identified);
        m_device->ClearLog();
    }

    std::string LoadImage(const std::vector<uint8_t>& image)
    {
        const std::string path = m_dir.File("image.bin");
        flashtest::WriteBytes(path, image);
        char version[16];
        EXPECT_TRUE(m_programmer->ChooseBurnFile(path.c_str(), version, sizeof version));
        return version;
    }

    BurnOutcome Burn()
    {
        EXPECT_EQ(m_programmer->StartBurn(), StartResult::Started);
        m_programmer->WaitForWorker();
        return m_programmer->LastBurn();
    }

    std::vector<std::string> Traffic() const { return FlashTraffic(m_device->Log()); }

    void ExpectWorkerEnded(bool burn)
    {
        EXPECT_EQ(m_frontEnd.Finished(), std::vector<bool>{burn});
        EXPECT_EQ(m_frontEnd.LastStatus(), "Status: Wait");
        EXPECT_FALSE(m_programmer->File().IsOpen());
        EXPECT_EQ(g_pImage, nullptr);
        EXPECT_FALSE(m_programmer->IsBusy());
        const std::vector<std::string> lines = m_capture.Lines();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[lines.size() - 2], "Call ExitThread_0.\n");
        EXPECT_EQ(lines.back(), "Call ExitThread_1.\n");
    }

    CDiagnosticsCapture m_capture;
    CScratchDir m_dir;
    CTestFrontEnd m_frontEnd;
    std::unique_ptr<CHidSimBackend> m_backend;
    CSimDevice* m_device = nullptr;
    std::unique_ptr<CDeviceSession> m_session;
    std::unique_ptr<CFlashProgrammer> m_programmer;
};

// ---------------------------------------------------------------------------
// Get ID

TEST_F(FlashProgrammerTest, GetIdShowsTheReportedRowAndKeepsItsSizes)
{
    ASSERT_NO_FATAL_FAILURE(Plug(42));
    struct Case
    {
        uint16_t Reported;
        GetIdResult Result;
        FlashIdTexts Texts;
        uint32_t SectorSize;
        uint32_t FlashSize;
    };
    const Case cases[] = {
        {12, GetIdResult::Identified,
         {"EON_EN25Q16", "256 bytes", "65536 bytes", "32", "12", "256", "1", "2048 KB"}, 65536, 2097152},
        {32, GetIdResult::Identified,
         {"GD_GD25Q128C", "256 bytes", "4096 bytes", "256", "32", "16", "16", "16384 KB"}, 4096, 16777216},
        {38, GetIdResult::Identified,
         {"SST_25VF016B", "512 bytes", "65536 bytes", "32", "38", "128", "1", "2048 KB"}, 65536, 2097152},
        {28, GetIdResult::Identified,
         {"MX_25L51245G", "256 bytes", "65536 bytes", "1024", "28", "256", "1", "65536 KB"}, 65536, 67108864},
        {1, GetIdResult::Identified,
         {"AMIC__A25Q032", "256 bytes", "65536 bytes", "64", "1", "256", "1", "4096 KB"}, 65536, 4194304},
        {42, GetIdResult::Identified,
         {"WIN__W25Q64BV", "256 bytes", "65536 bytes", "128", "42", "256", "1", "8192 KB"}, 65536, 8388608},
        // Rows the table does not have identify nothing.
        {256, GetIdResult::UnknownChip, {"Unknown chip (index 256)", "", "", "", "", "", "", ""}, 0, 0},
        {0xFFFF, GetIdResult::UnknownChip, {"Unknown chip (index 65535)", "", "", "", "", "", "", ""}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Reported);
        m_device->SetReportedChipId(c.Reported);
        m_capture.Clear();
        FlashIdTexts texts{};
        std::memset(&texts, 'x', sizeof texts);
        EXPECT_EQ(m_programmer->GetId(&texts), c.Result);
        EXPECT_STREQ(texts.DeviceName, c.Texts.DeviceName);
        EXPECT_STREQ(texts.PageSize, c.Texts.PageSize);
        EXPECT_STREQ(texts.SectorSize, c.Texts.SectorSize);
        EXPECT_STREQ(texts.TotalBlock, c.Texts.TotalBlock);
        EXPECT_STREQ(texts.DeviceId, c.Texts.DeviceId);
        EXPECT_STREQ(texts.PagesPerSector, c.Texts.PagesPerSector);
        EXPECT_STREQ(texts.SectorsPerBlock, c.Texts.SectorsPerBlock);
        EXPECT_STREQ(texts.TotalSize, c.Texts.TotalSize);
        EXPECT_EQ(m_programmer->m_nSectorSize, c.SectorSize);
        EXPECT_EQ(m_programmer->m_nFlashSize, c.FlashSize);
        EXPECT_EQ(FlashChipIdentified(), c.Result == GetIdResult::Identified);
        EXPECT_TRUE(m_capture.Contains("Device ID: " + std::to_string(c.Reported) + "\n"));
    }

    // After a good identification, a refused request leaves no chip identified.
    m_device->SetReportedChipId(12);
    ASSERT_EQ(m_programmer->GetId(nullptr), GetIdResult::Identified);
    SimFaults refuseNext;
    refuseNext.FailAtRequest = 1;
    m_device->ArmFaults(refuseNext);
    EXPECT_EQ(m_programmer->GetId(nullptr), GetIdResult::RequestFailed);
    EXPECT_FALSE(FlashChipIdentified());
    EXPECT_EQ(m_programmer->m_nFlashSize, 0u);
    EXPECT_TRUE(m_capture.Contains("Unknown error: Couldn't execute REPORT_FLASH_GET_ID function\n"));

    m_session->CloseDevice();
    EXPECT_EQ(m_programmer->GetId(nullptr), GetIdResult::NoDevice);
}

// ---------------------------------------------------------------------------
// Burn

TEST_F(FlashProgrammerTest, EntireFlashWritesComparesAndLeavesTheFlagBlockToTheImage)
{
    const std::string flashFile = m_dir.File("flash.bin");
    ASSERT_NO_FATAL_FAILURE(Plug(42, flashFile));
    const std::vector<uint8_t> image = FirmwareImage(4194304, 1);
    EXPECT_EQ(LoadImage(image), "02.01.00.05");
    m_frontEnd.ChooseEntireFlash();

    const BurnOutcome outcome = Burn();
    EXPECT_EQ(Traffic(), (std::vector<std::string>{Announce(1, 0, 4194304), "W1024",
                                                   Announce(1, 0, 4194304), "R1024"}));
    EXPECT_EQ(m_frontEnd.Messages(),
              (std::vector<Message>{{kEntireDone, "Info", MessageIcon::Information}}));
    EXPECT_TRUE(outcome.Succeeded());
    EXPECT_TRUE(outcome.EntireVerified);
    EXPECT_TRUE(m_capture.Contains("Start write data to flash.\n"));
    EXPECT_TRUE(m_capture.Contains("FlashWrite -- Transfer 4194304 bytes to Firmware\n"));
    EXPECT_TRUE(m_capture.Contains("FlashWrite -- Compare data OK.\n"));
    ExpectWorkerEnded(true);

    // What the device holds is in its flash file, the rest of the chip untouched.
    m_device->FlushFlash();
    const std::vector<uint8_t> flash = flashtest::ReadBytes(flashFile);
    ASSERT_EQ(flash.size(), 8388608u);
    EXPECT_EQ(Slice(flash, 0, 4194304), image);
    EXPECT_EQ(Slice(flash, 4194304, 4194304), std::vector<uint8_t>(4194304, 0xFF));

    // Each burn needs the file chosen again.
    EXPECT_EQ(m_programmer->StartBurn(), StartResult::NoFile);
}

struct FirmwareCase
{
    uint32_t ChipRow;
    uint32_t PaddedLength;
};

void PrintTo(const FirmwareCase& c, std::ostream* os)
{
    *os << "chip row " << c.ChipRow << ", firmware padded to " << Hex(c.PaddedLength);
}

class FirmwareBurnTest : public FlashProgrammerTest, public testing::WithParamInterface<FirmwareCase>
{
};

TEST_P(FirmwareBurnTest, ClearsTheFlagWritesComparesAndSetsTheFlag)
{
    const FirmwareCase c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Plug(c.ChipRow));
    // The flag block's other bytes must survive both flag writes.
    const std::vector<uint8_t> flagBlock = flashtest::RandomBytes(4096, 9);
    ASSERT_TRUE(m_device->PokeFlash(0x70000, flagBlock.data(), 4096));
    const std::vector<uint8_t> image = FirmwareImage(0x200000, 2);
    LoadImage(image);
    m_frontEnd.ChooseAreas(true, false, false);

    const BurnOutcome outcome = Burn();
    const std::string range = Announce(0, 0x180000, c.PaddedLength);
    const std::string reports = std::to_string(c.PaddedLength / 4096);
    EXPECT_EQ(Traffic(), Concat({kFlagCycle0, {range, "W" + reports, range, "R" + reports}, kFlagCycle1}));
    for (const std::string line :
         {"FlashWrite -- Header_len - 0x100\n", "FlashWrite -- Boot_Size - 0x20000\n",
          "FlashWrite -- compressed firmware length_0 - 0x20100\n"}) {
        EXPECT_TRUE(m_capture.Contains(line)) << line;
    }
    char padded[80];
    std::snprintf(padded, sizeof padded, "FlashWrite -- compressed firmware length_1 - 0x%x\n",
                  c.PaddedLength);
    EXPECT_TRUE(m_capture.Contains(padded));
    EXPECT_EQ(m_frontEnd.Messages(),
              (std::vector<Message>{{std::string("- Firmware Area\n") + kAreasDone, "Info",
                                     MessageIcon::Information}}));
    EXPECT_TRUE(outcome.Succeeded());
    EXPECT_EQ(outcome.UpdatedAreas, 1u);

    EXPECT_EQ(m_device->FlashBytes(0x180000, c.PaddedLength), Slice(image, 0x180000, c.PaddedLength));
    std::vector<uint8_t> expectedFlag = flagBlock;
    expectedFlag[0] = 1;
    EXPECT_EQ(m_device->FlashBytes(0x70000, 4096), expectedFlag);
    ExpectWorkerEnded(true);
}

INSTANTIATE_TEST_SUITE_P(SectorSizes, FirmwareBurnTest,
                         testing::Values(FirmwareCase{42, 0x30000},    // 64 KB sectors
                                         FirmwareCase{32, 0x21000}));  // 4 KB sectors

TEST_F(FlashProgrammerTest, PrivateAndCustomizedAreWrittenWithoutCompare)
{
    ASSERT_NO_FATAL_FAILURE(Plug(42));
    const std::vector<uint8_t> image = FirmwareImage(0x800000, 3);
    LoadImage(image);
    m_frontEnd.ChooseAreas(false, true, true);

    const BurnOutcome outcome = Burn();
    EXPECT_EQ(Traffic(), (std::vector<std::string>{Announce(3, 0x4F0000, 0x10000), "W16",
                                                   Announce(3, 0x500000, 0x300000), "W768"}));
    EXPECT_EQ(m_frontEnd.Messages(),
              (std::vector<Message>{{std::string("- Private Area\n- Customized Area\n") + kAreasDone,
                                     "Info", MessageIcon::Information}}));
    EXPECT_TRUE(m_capture.Contains("FlashWrite for Customized-- Transfer 65536 bytes to Firmware\n"));
    EXPECT_TRUE(m_capture.Contains("FlashWrite for Customized-- Transfer 3145728 bytes to Firmware\n"));
    EXPECT_TRUE(outcome.Succeeded());
    EXPECT_EQ(m_device->FlashBytes(0x4F0000, 0x310000), Slice(image, 0x4F0000, 0x310000));
    ExpectWorkerEnded(true);
}

TEST_F(FlashProgrammerTest, AllThreeAreasAreNamedInOneMessage)
{
    ASSERT_NO_FATAL_FAILURE(Plug(42));
    LoadImage(FirmwareImage(0x800000, 4));
    m_frontEnd.ChooseAreas(true, true, true);
    EXPECT_TRUE(Burn().Succeeded());
    const std::string text = std::string("- Firmware Area\n- Private Area\n- Customized Area\n") + kAreasDone;
    ASSERT_EQ(text.size(), 88u);
    EXPECT_EQ(m_frontEnd.Messages(), (std::vector<Message>{{text, "Info", MessageIcon::Information}}));
}

TEST_F(FlashProgrammerTest, AFailedFirmwareCompareKeepsTheFlagClearAndStillWritesPrivate)
{
    ASSERT_NO_FATAL_FAILURE(Plug(42));
    LoadImage(FirmwareImage(0x500000, 5));
    m_frontEnd.ChooseAreas(true, true, false);
    SimFaults corrupt;
    corrupt.CorruptReadAt = 2;   // read 1 is the flag block, read 2 the first compared chunk
    m_device->ArmFaults(corrupt);

    const BurnOutcome outcome = Burn();
    const std::string range = Announce(0, 0x180000, 0x30000);
    EXPECT_EQ(Traffic(), Concat({kFlagCycle0, {range, "W48", range, "R1", Announce(3, 0x4F0000, 0x10000), "W16"}}));
    EXPECT_EQ(m_frontEnd.Messages(),
              (std::vector<Message>{{"FlashWrite -- Compare failed", "Error", MessageIcon::Error},
                                    {std::string("- Private Area\n") + kAreasDone, "Info",
                                     MessageIcon::Information}}));
    EXPECT_TRUE(m_capture.Contains("FlashWrite -- Compare data fail, data(0x00180000~0x00181000) \n"));
    EXPECT_EQ(m_device->FlashBytes(0x70000, 1)[0], 0);
    EXPECT_TRUE(outcome.CompareFailed);
    EXPECT_EQ(outcome.UpdatedAreas, 2u);
    EXPECT_FALSE(outcome.Succeeded());
    ExpectWorkerEnded(true);
}

TEST_F(FlashProgrammerTest, OtherAreaWithNothingTickedSendsNothingAndEnds)
{
    ASSERT_NO_FATAL_FAILURE(Plug(42));
    LoadImage(FirmwareImage(0x200000, 6));
    m_frontEnd.ChooseAreas(false, false, false);
    const BurnOutcome outcome = Burn();
    EXPECT_TRUE(m_device->Log().empty());
    EXPECT_EQ(m_frontEnd.Messages(), (std::vector<Message>{{"No any item is selected in Other Area !",
                                                            "Error", MessageIcon::Error}}));
    EXPECT_TRUE(outcome.Ended);
    EXPECT_FALSE(outcome.Succeeded());
    ExpectWorkerEnded(true);
}

TEST_F(FlashProgrammerTest, AnImageThatDoesNotHoldWhatIsAskedIsRefusedBeforeAnyRequest)
{
    struct Case
    {
        const char* What;
        uint32_t ChipRow;
        size_t ImageLength;
        bool Entire;
        std::array<bool, 3> Ticks;
        bool HugeHeader;   // header length 0x370000 instead of 0x100
        const char* Text;
        uint16_t DataReportCount = 4099;
    };
    const Case cases[] = {
        {"no firmware header", 42, 1048576, false, {true, false, false}, false,
         "The image is 1048576 bytes; the firmware header needs 0x180014 bytes. Nothing was written."},
        {"firmware cut short", 42, 0x1A0000, false, {true, false, false}, false,
         "The image is 1703936 bytes; the Firmware area needs 0x1B0000 bytes. Nothing was written."},
        {"firmware larger than its area", 42, 0x200000, false, {true, false, false}, true,
         "The firmware header gives a firmware length of 0x390000 bytes; the Firmware area holds 1 to "
         "0x370000 bytes. Nothing was written."},
        {"firmware fits, customized does not", 42, 0x600000, false, {true, false, true}, false,
         "The image is 6291456 bytes; the Customized area needs 0x800000 bytes. Nothing was written."},
        {"area beyond the chip", 0, 0x500000, false, {false, true, false}, false,
         "The flash chip holds 4194304 bytes; the Private area needs 0x500000 bytes. Nothing was written."},
        {"image longer than the chip", 12, 0x200001, true, {false, false, false}, false,
         "The image is 2097153 bytes; the flash chip holds 2097152 bytes. Nothing was written."},
        {"empty image", 42, 0, true, {false, false, false}, false, "The image is empty. Nothing was written."},
        {"flag block beyond 64-byte reports", 42, 0x800000, false, {true, false, false}, false,
         "The device's flash reports carry 60 bytes; the flag block at 0x70000 needs 4096 bytes in one "
         "report. Nothing was written.",
         63},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        ASSERT_NO_FATAL_FAILURE(Plug(c.ChipRow, std::string(), c.DataReportCount));
        std::vector<uint8_t> image = FirmwareImage(c.ImageLength, 7);
        if (c.HugeHeader) {   // 00 37 00 00: 0x370000, plus the boot size 0x20000
            image[FIRMWARE_HEADER_LENGTH_OFFSET + 1] = 0x37;
            image[FIRMWARE_HEADER_LENGTH_OFFSET + 2] = 0x00;
        }
        if (c.Entire)
            m_frontEnd.ChooseEntireFlash();
        else
            m_frontEnd.ChooseAreas(c.Ticks[0], c.Ticks[1], c.Ticks[2]);

        // Refused at the start, and by the worker itself.
        const std::string version = LoadImage(image);
        if (c.ImageLength < 0x180020) {
            EXPECT_EQ(version, "");
        }
        EXPECT_EQ(m_programmer->StartBurn(), StartResult::BadImage);
        EXPECT_EQ(m_frontEnd.Finished(), std::vector<bool>{true});
        EXPECT_FALSE(m_programmer->File().IsOpen());
        LoadImage(image);
        m_programmer->BurnThreadProc();
        EXPECT_EQ(m_frontEnd.Messages(), (std::vector<Message>(2, {c.Text, "Error", MessageIcon::Error})));
        EXPECT_TRUE(m_programmer->LastBurn().Ended);
        EXPECT_FALSE(m_programmer->LastBurn().Succeeded());
        EXPECT_FALSE(m_programmer->File().IsOpen());
        EXPECT_TRUE(m_device->Log().empty());

        m_frontEnd.Reset();
    }
}

TEST_F(FlashProgrammerTest, ARefusedStepEndsTheBurnOrFailsItsCompare)
{
    struct Case
    {
        const char* What;
        uint32_t FailAt;   // requests: flag read 1-3, flag write 4-6, firmware 7-8, its data 9-56
        const char* Line;
        std::vector<std::string> Traffic;
        std::vector<Message> Messages;
        bool CompareFailed;
    };
    const std::string range = Announce(0, 0x180000, 0x30000);
    const std::string privateArea = Announce(3, 0x4F0000, 0x10000);
    const Message privateDone{std::string("- Private Area\n") + kAreasDone, "Info", MessageIcon::Information};
    const Message compareFailed{"FlashWrite -- Compare failed", "Error", MessageIcon::Error};
    const Case cases[] = {
        {"flag read", 1, "Unknown error: Couldn't execute AP_FLASH_READ--case 2\n", {"refused"}, {}, false},
        {"flag write", 6, "Unknown error: Couldn't execute AP_FLASH_WRITE--case 2\n",
         {Announce(2, 0x70000, 0x1000), "R1", Announce(2, 0x70000, 0x1000), "refused"}, {}, false},
        {"announcement", 7, "Unknown error: Couldn't execute AP_FLASH_BURST_LATER--case 0\n",
         Concat({kFlagCycle0, {"refused"}}), {}, false},
        // A lost data report: the compare runs all the same and finds the gap.
        {"data report", 20, "Unknown error: Couldn't execute BURST_FLASH_WRITE function\n",
         Concat({kFlagCycle0, {range, "W11", "refused", range, "R12", privateArea, "W16"}}),
         {compareFailed, privateDone}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        ASSERT_NO_FATAL_FAILURE(Plug(42));
        const uint8_t flagSet = 1;
        ASSERT_TRUE(m_device->PokeFlash(0x70000, &flagSet, 1));
        LoadImage(FirmwareImage(0x500000, 15));
        m_frontEnd.ChooseAreas(true, true, false);
        SimFaults refuse;
        refuse.FailAtRequest = c.FailAt;
        m_device->ArmFaults(refuse);

        const BurnOutcome outcome = Burn();
        EXPECT_TRUE(m_capture.Contains(c.Line));
        EXPECT_EQ(Traffic(), c.Traffic);
        EXPECT_EQ(m_frontEnd.Messages(), c.Messages);
        EXPECT_EQ(outcome.CompareFailed, c.CompareFailed);
        EXPECT_EQ(outcome.Ended, !c.CompareFailed);
        EXPECT_FALSE(outcome.Succeeded());
        // The flag is never left set over firmware that was not verified; it
        // keeps its value while no firmware was written.
        EXPECT_EQ(m_device->FlashBytes(0x70000, 1)[0], c.FailAt <= 6 ? 1 : 0);
        ExpectWorkerEnded(true);
        m_frontEnd.Reset();
        m_capture.Clear();
    }
}

// ---------------------------------------------------------------------------
// Dump

TEST_F(FlashProgrammerTest, DumpWritesTheWholeChipToTheFile)
{
    ASSERT_NO_FATAL_FAILURE(Plug(12));
    const std::vector<uint8_t> content = flashtest::RandomBytes(2097152, 8);
    ASSERT_TRUE(m_device->PokeFlash(0, content.data(), 2097152));
    const std::string path = m_dir.File("dump.bin");
    ASSERT_TRUE(m_programmer->ChooseDumpFile(path.c_str()));

    ASSERT_EQ(m_programmer->StartDump(), StartResult::Started);
    m_programmer->WaitForWorker();
    EXPECT_EQ(Traffic(), (std::vector<std::string>{Announce(1, 0, 2097152), "R512"}));
    EXPECT_EQ(flashtest::ReadBytes(path), content);
    EXPECT_EQ(m_frontEnd.Messages(),
              (std::vector<Message>{{"Dump firmware has finished!", "Info", MessageIcon::Information}}));
    for (const char* line : {"FileSize WRITE = [0] [0]\n", "Start read data from flash.\n",
                             "FlashRead -- Read data OK.\n"}) {
        EXPECT_TRUE(m_capture.Contains(line)) << line;
    }
    const DumpOutcome outcome = m_programmer->LastDump();
    EXPECT_TRUE(outcome.Succeeded);
    EXPECT_EQ(outcome.BytesWritten, 2097152u);
    ExpectWorkerEnded(false);
    EXPECT_EQ(m_programmer->StartDump(), StartResult::NoFile);
}

TEST_F(FlashProgrammerTest, ADumpWhoseAnnouncementIsRefusedLeavesTheFileEmpty)
{
    ASSERT_NO_FATAL_FAILURE(Plug(12));
    const std::string path = m_dir.File("dump.bin");
    ASSERT_TRUE(m_programmer->ChooseDumpFile(path.c_str()));
    SimFaults refuse;
    refuse.FailAtRequest = 2;   // the length of the announcement
    m_device->ArmFaults(refuse);

    ASSERT_EQ(m_programmer->StartDump(), StartResult::Started);
    m_programmer->WaitForWorker();
    EXPECT_TRUE(m_capture.Contains("Unknown error: Couldn't execute AP_FLASH_BURST_LATER--case 1\n"));
    EXPECT_TRUE(flashtest::ReadBytes(path).empty());
    EXPECT_TRUE(m_frontEnd.Messages().empty());
    EXPECT_FALSE(m_programmer->LastDump().Succeeded);
    ExpectWorkerEnded(false);
}

// Takes the first `limit` bytes into the dump file, then finds the disk full.
class CFillingDisk : public CFlashFileWriter
{
public:
    CFillingDisk(CFlashFile& file, uint32_t limit) : m_file(file), m_limit(limit) {}
    uint32_t WriteFlashFile(const uint8_t* data, uint32_t count) override
    {
        const uint32_t room = m_limit - m_taken;
        const uint32_t n = std::min(room, count);
        const uint32_t written = n ? m_file.WriteFlashFile(data, n) : 0;
        m_taken += written;
        if (written < count) {
            errno = ENOSPC;
            m_file.ReportFileError();
        }
        return written;
    }

private:
    CFlashFile& m_file;
    uint32_t m_limit;
    uint32_t m_taken = 0;
};

TEST_F(FlashProgrammerTest, ADumpOntoAFullDiskKeepsWhatWasWritten)
{
    ASSERT_NO_FATAL_FAILURE(Plug(12));
    const std::vector<uint8_t> content = flashtest::RandomBytes(2097152, 10);
    ASSERT_TRUE(m_device->PokeFlash(0, content.data(), 2097152));
    const std::string path = m_dir.File("dump.bin");
    ASSERT_TRUE(m_programmer->ChooseDumpFile(path.c_str()));
    CFillingDisk disk(m_programmer->File(), 10000);
    m_session->SetFileWriter(&disk);

    ASSERT_EQ(m_programmer->StartDump(), StartResult::Started);
    m_programmer->WaitForWorker();
    EXPECT_EQ(flashtest::ReadBytes(path), Slice(content, 0, 10000));
    EXPECT_EQ(m_frontEnd.Messages(),
              (std::vector<Message>{{"The disk containing dump file has run out of space, so the dump "
                                     "filter has been stopped.\r\n\r\nYou must set a new dump file name "
                                     "or restart the graph to clear this filter error.",
                                     "Dump Filter failure", MessageIcon::Warning}}));
    EXPECT_TRUE(m_capture.Contains("FlashRead -- Read data fail, data(0x00002000~0x00003000) \n"));
    EXPECT_FALSE(m_capture.Contains("FlashRead -- Read data OK.\n"));
    const DumpOutcome outcome = m_programmer->LastDump();
    EXPECT_FALSE(outcome.Succeeded);
    EXPECT_EQ(outcome.BytesWritten, 10000u);
    ExpectWorkerEnded(false);
}

// ---------------------------------------------------------------------------
// Refusals, stopping and verifying

TEST_F(FlashProgrammerTest, StartsAreRefusedWithoutTheRightFileOrAnIdentifiedChip)
{
    ASSERT_NO_FATAL_FAILURE(Plug(42));
    const Message noBurnFile{"Please select the burn file !", "Error", MessageIcon::Error};
    const Message noDumpFile{"Please select the dump file !", "Error", MessageIcon::Error};
    const Message noId{"Please execute Get ID function !", "Error", MessageIcon::Error};

    EXPECT_EQ(m_programmer->StartBurn(), StartResult::NoFile);
    EXPECT_EQ(m_programmer->StartDump(), StartResult::NoFile);
    // A burn file is not a dump file, nor the other way round.
    LoadImage(FirmwareImage(0x200000, 11));
    EXPECT_EQ(m_programmer->StartDump(), StartResult::NoFile);
    ASSERT_TRUE(m_programmer->ChooseDumpFile(m_dir.File("dump.bin").c_str()));
    EXPECT_EQ(m_programmer->StartBurn(), StartResult::NoFile);
    EXPECT_EQ(m_frontEnd.Messages(), (std::vector<Message>{noBurnFile, noDumpFile, noDumpFile, noBurnFile}));

    m_frontEnd.ClearMessages();
    m_device->SetReportedChipId(300);
    EXPECT_EQ(m_programmer->GetId(nullptr), GetIdResult::UnknownChip);
    EXPECT_EQ(m_programmer->StartDump(), StartResult::NotIdentified);
    LoadImage(FirmwareImage(0x200000, 11));
    EXPECT_EQ(m_programmer->StartBurn(), StartResult::NotIdentified);
    EXPECT_EQ(m_frontEnd.Messages(), (std::vector<Message>{noId, noId}));
    EXPECT_EQ(FlashTraffic(m_device->Log()), std::vector<std::string>{"in"});   // the Get ID request
    EXPECT_TRUE(m_frontEnd.Finished().empty());
}

TEST_F(FlashProgrammerTest, NothingElseRunsWhileAWorkerRuns)
{
    ASSERT_NO_FATAL_FAILURE(Plug(42));
    const std::vector<uint8_t> image = FirmwareImage(0x200000, 12);
    LoadImage(image);
    m_frontEnd.ChooseEntireFlash();
    m_frontEnd.HoldAt("Status: Write");
    ASSERT_EQ(m_programmer->StartBurn(), StartResult::Started);
    m_frontEnd.WaitUntilHeld();

    EXPECT_TRUE(m_programmer->IsBusy());
    EXPECT_EQ(m_programmer->StartBurn(), StartResult::Busy);
    EXPECT_EQ(m_programmer->StartDump(), StartResult::Busy);
    FlashIdTexts texts{};
    EXPECT_EQ(m_programmer->GetId(&texts), GetIdResult::Busy);
    EXPECT_STREQ(texts.DeviceName, "");
    char version[16] = "";
    EXPECT_FALSE(m_programmer->ChooseBurnFile(m_dir.File("image.bin").c_str(), version, sizeof version));
    EXPECT_FALSE(m_programmer->ChooseDumpFile(m_dir.File("dump.bin").c_str()));
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("dump.bin")));
    EXPECT_EQ(m_programmer->Verify(true, nullptr, nullptr), 0);

    m_frontEnd.Release();
    m_programmer->WaitForWorker();
    EXPECT_TRUE(m_programmer->LastBurn().Succeeded());
    EXPECT_EQ(Traffic(), (std::vector<std::string>{Announce(1, 0, 0x200000), "W512",
                                                   Announce(1, 0, 0x200000), "R512"}));
    EXPECT_EQ(m_device->FlashBytes(0, 0x200000), image);
    EXPECT_TRUE(m_frontEnd.Messages().size() == 1 && m_frontEnd.Messages()[0].Caption == "Info");
}

TEST_F(FlashProgrammerTest, AStoppedBurnFinishesItsRangeAndAStoppedDumpKeepsItsChunks)
{
    ASSERT_NO_FATAL_FAILURE(Plug(42));
    const std::vector<uint8_t> image = FirmwareImage(0x800000, 13);
    LoadImage(image);
    m_frontEnd.ChooseAreas(false, true, true);
    m_frontEnd.HoldAt("4096");   // the first chunk of the Private area
    ASSERT_EQ(m_programmer->StartBurn(), StartResult::Started);
    m_frontEnd.WaitUntilHeld();
    m_programmer->RequestStop();
    m_frontEnd.Release();
    m_programmer->WaitForWorker();

    EXPECT_EQ(Traffic(), (std::vector<std::string>{Announce(3, 0x4F0000, 0x10000), "W16"}));
    EXPECT_EQ(m_device->FlashBytes(0x4F0000, 0x10000), Slice(image, 0x4F0000, 0x10000));
    const BurnOutcome burn = m_programmer->LastBurn();
    EXPECT_TRUE(burn.Stopped);
    EXPECT_EQ(burn.UpdatedAreas, 2u);
    EXPECT_FALSE(burn.Succeeded());
    EXPECT_TRUE(m_frontEnd.Messages().empty());

    m_device->ClearLog();
    const std::string path = m_dir.File("dump.bin");
    ASSERT_TRUE(m_programmer->ChooseDumpFile(path.c_str()));
    m_frontEnd.HoldAt("8192");
    ASSERT_EQ(m_programmer->StartDump(), StartResult::Started);
    m_frontEnd.WaitUntilHeld();
    m_programmer->RequestStop();
    m_frontEnd.Release();
    m_programmer->WaitForWorker();
    EXPECT_EQ(Traffic(), (std::vector<std::string>{Announce(1, 0, 0x800000), "R2"}));
    EXPECT_EQ(flashtest::ReadBytes(path), m_device->FlashBytes(0, 8192));
    const DumpOutcome dump = m_programmer->LastDump();
    EXPECT_TRUE(dump.Stopped);
    EXPECT_FALSE(dump.Succeeded);
    EXPECT_EQ(dump.BytesWritten, 8192u);
    EXPECT_TRUE(m_frontEnd.Messages().empty());
}

TEST_F(FlashProgrammerTest, VerifyComparesWithoutWriting)
{
    ASSERT_NO_FATAL_FAILURE(Plug(42));
    const std::vector<uint8_t> image = FirmwareImage(0x200000, 14);
    ASSERT_TRUE(m_device->PokeFlash(0, image.data(), 0x200000));
    LoadImage(image);

    uint32_t start = 1;
    uint32_t end = 1;
    EXPECT_EQ(m_programmer->Verify(true, &start, &end), 1);
    EXPECT_EQ(m_programmer->Verify(false, &start, &end), 1);
    EXPECT_EQ(start, 0u);
    const uint8_t wrong = static_cast<uint8_t>(~image[0x181234]);
    ASSERT_TRUE(m_device->PokeFlash(0x181234, &wrong, 1));
    EXPECT_EQ(m_programmer->Verify(false, &start, &end), 0);
    EXPECT_EQ(start, 0x181000u);
    EXPECT_EQ(end, 0x182000u);

    EXPECT_EQ(Traffic(), (std::vector<std::string>{Announce(1, 0, 0x200000), "R512",
                                                   Announce(0, 0x180000, 0x30000), "R48",
                                                   Announce(0, 0x180000, 0x30000), "R2"}));
    EXPECT_TRUE(m_frontEnd.Messages().empty());
    EXPECT_TRUE(m_programmer->File().IsOpenFor(true));   // the image stays for a burn
}

} // namespace
