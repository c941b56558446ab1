// The simulated device, driven report by report as the host would drive it.
#include "HidCaps.h"
#include "SimDevice.h"
#include "SimOtherInterface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <thread>
#include <unistd.h>

namespace {

// Talks to a device the way the HID layer does: full-length reports, report ID
// in byte 0, command code in bits 8..15 of an Input request's length.
class CHost
{
public:
    explicit CHost(CSimDevice& device) : m_device(device) {}

    // An Output report of a slot: `bytes` from byte 1 on, zero after them.
    bool Send(uint32_t slot, std::initializer_list<uint8_t> bytes)
    {
        std::vector<uint8_t> report(m_device.OutputReportLength(slot), 0);
        report[0] = static_cast<uint8_t>(slot + 1);
        std::copy(bytes.begin(), bytes.end(), report.begin() + 1);
        return m_device.HandleOutputReport(report.data(), static_cast<uint32_t>(report.size()));
    }

    bool Command(uint32_t slot, uint8_t code, std::initializer_list<uint8_t> params, uint8_t lengthByte)
    {
        std::vector<uint8_t> bytes{lengthByte, code};
        bytes.insert(bytes.end(), params);
        std::vector<uint8_t> report(m_device.OutputReportLength(slot), 0);
        report[0] = static_cast<uint8_t>(slot + 1);
        std::copy(bytes.begin(), bytes.end(), report.begin() + 1);
        return m_device.HandleOutputReport(report.data(), static_cast<uint32_t>(report.size()));
    }

    bool Command(uint32_t slot, uint8_t code, std::initializer_list<uint8_t> params)
    {
        return Command(slot, code, params, static_cast<uint8_t>(2 + params.size()));
    }

    // A flash data report: `data` from byte 4.
    bool SendData(const uint8_t* data, uint32_t n)
    {
        std::vector<uint8_t> report(m_device.OutputReportLength(0), 0);
        report[0] = 1;
        std::copy(data, data + n, report.begin() + 4);
        return m_device.HandleOutputReport(report.data(), static_cast<uint32_t>(report.size()));
    }

    // An Input request; the answer lands in m_answer (sized like the host's buffer).
    bool Ask(uint32_t slot, uint8_t code)
    {
        const uint32_t length = m_device.InputReportLength(slot);
        m_answer.assign(length ? length : 64, 0xEE);
        m_answer[0] = static_cast<uint8_t>(slot + 1);
        const uint32_t argument = slot == 0 ? length : (length | static_cast<uint32_t>(code) << 8);
        return m_device.HandleInputRequest(m_answer.data(), argument,
                                           static_cast<uint32_t>(m_answer.size()), m_received);
    }

    bool Announce(uint8_t mode, uint32_t address, uint32_t length)
    {
        return Command(1, 3, {mode, Byte(address, 0), Byte(address, 1), Byte(address, 2), Byte(address, 3)}) &&
               Command(1, 5, {Byte(length, 0), Byte(length, 1), Byte(length, 2), Byte(length, 3)});
    }

    // Writes `data` in consecutive data reports; returns how many were accepted.
    size_t WriteBurst(const std::vector<uint8_t>& data)
    {
        const uint32_t chunk = m_device.OutputReportLength(0) - 4;
        size_t accepted = 0;
        for (size_t done = 0; done < data.size(); done += chunk) {
            const auto n = static_cast<uint32_t>(std::min<size_t>(chunk, data.size() - done));
            if (!SendData(data.data() + done, n))
                break;
            ++accepted;
        }
        return accepted;
    }

    // Reads `length` bytes in consecutive requests, as the host's burst does.
    bool ReadBurst(uint32_t length, std::vector<uint8_t>& out)
    {
        const uint32_t chunk = m_device.OutputReportLength(0) - 4;
        out.clear();
        while (out.size() < length) {
            const auto n = static_cast<uint32_t>(std::min<size_t>(chunk, length - out.size()));
            if (!Ask(0, 0))
                return false;
            out.insert(out.end(), m_answer.begin(), m_answer.begin() + n);
        }
        return true;
    }

    uint32_t Answer32() const
    {
        return m_answer[0] | m_answer[1] << 8 | m_answer[2] << 16 | static_cast<uint32_t>(m_answer[3]) << 24;
    }

    static uint8_t Byte(uint32_t v, int i) { return static_cast<uint8_t>(v >> (8 * i)); }

    std::vector<uint8_t> m_answer;
    uint32_t m_received = 0;

private:
    CSimDevice& m_device;
};

std::vector<uint8_t> Pattern(size_t n, uint32_t seed)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>((i * 131 + seed * 7 + (i >> 8)) & 0xFF);
    return v;
}

class SimDeviceTest : public ::testing::Test
{
protected:
    void Make(const SimDeviceOptions& options = SimDeviceOptions())
    {
        std::string error;
        m_device = CSimDevice::Create(options, error);
        ASSERT_TRUE(m_device) << error;
        m_host = std::make_unique<CHost>(*m_device);
    }
    void SetUp() override { Make(); }

    std::unique_ptr<CSimDevice> m_device;
    std::unique_ptr<CHost> m_host;
};

// A temporary file path, removed afterwards.
struct TempPath
{
    std::string Path;
    TempPath()
    {
        Path = (std::filesystem::temp_directory_path() /
                ("pellaro-devsim-" + std::to_string(::getpid()) + "-" + std::to_string(s_counter++)))
                   .string();
        std::remove(Path.c_str());
    }
    ~TempPath() { std::remove(Path.c_str()); }
    static inline int s_counter = 0;
};

// ---------------------------------------------------------------------------

TEST(SimDescriptor, ValueCapsGiveTheSlotsInOrder)
{
    struct Case
    {
        const char* Name;
        std::vector<uint16_t> Out, In;
    };
    const Case cases[] = {
        {"default", {4099, 15, 63}, {4099, 15, 63}},
        {"two output caps", {4099, 15}, {4099, 15, 63}},
        {"small reports", {63, 15, 63}, {63, 15, 63}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        SimDeviceOptions options;
        options.OutputReportCounts = c.Out;
        options.InputReportCounts = c.In;
        auto device = CSimDevice::Create(options);
        ASSERT_TRUE(device);
        const std::vector<uint8_t> d = device->ReportDescriptor();
        std::vector<HidPreparsedData> tlcs;
        ASSERT_EQ(ParseReportDescriptor(d.data(), d.size(), tlcs), HidParseResult::Ok);
        ASSERT_EQ(tlcs.size(), 1u);
        HidCaps caps;
        ASSERT_EQ(HidGetCaps(&tlcs[0], &caps), HIDP_STATUS_SUCCESS);
        EXPECT_EQ(caps.UsagePage, 0xFF00);
        EXPECT_EQ(caps.Usage, 1);
        for (auto [type, counts] : {std::pair{HidP_Output, c.Out}, std::pair{HidP_Input, c.In}}) {
            HidValueCaps values[8];
            uint16_t n = 8;
            ASSERT_EQ(HidGetValueCaps(type, values, &n, &tlcs[0]), HIDP_STATUS_SUCCESS);
            ASSERT_EQ(n, counts.size());
            for (uint16_t i = 0; i < n; ++i) {
                EXPECT_EQ(values[i].ReportID, i + 1);
                EXPECT_EQ(values[i].ReportCount, counts[i]);
                EXPECT_EQ(values[i].BitSize, 8);
                EXPECT_EQ(values[i].LogicalMax, 255);
                EXPECT_EQ(type == HidP_Output ? device->OutputReportLength(i) : device->InputReportLength(i),
                          counts[i] + 1u);
            }
            const uint32_t longest = *std::max_element(counts.begin(), counts.end()) + 1u;
            EXPECT_EQ(type == HidP_Output ? caps.OutputReportByteLength : caps.InputReportByteLength, longest);
        }
    }
    auto device = CSimDevice::Create();
    const HidAttributes a = device->Attributes();
    EXPECT_EQ(a.VendorID, 0x32ED);
    EXPECT_EQ(a.ProductID, 0x3200);
}

TEST(SimDescriptor, OtherInterfacesParseAndRefuseEverything)
{
    struct Case
    {
        SimOtherKind Kind;
        uint16_t UsagePage, Usage;
    };
    for (const Case& c : {Case{SimOtherKind::Keyboard, 0x01, 0x06}, Case{SimOtherKind::Mouse, 0x01, 0x02},
                          Case{SimOtherKind::ConsumerControl, 0x0C, 0x01}}) {
        CSimOtherInterface node(c.Kind);
        const std::vector<uint8_t> d = node.ReportDescriptor();
        std::vector<HidPreparsedData> tlcs;
        ASSERT_EQ(ParseReportDescriptor(d.data(), d.size(), tlcs), HidParseResult::Ok);
        ASSERT_EQ(tlcs.size(), 1u);
        EXPECT_EQ(tlcs[0].Caps.UsagePage, c.UsagePage);
        EXPECT_EQ(tlcs[0].Caps.Usage, c.Usage);
        EXPECT_NE(node.Attributes().VendorID, 0x32ED);

        uint8_t buffer[64] = {1};
        EXPECT_FALSE(node.HandleOutputReport(buffer, sizeof buffer));
        uint32_t received = 0;
        EXPECT_FALSE(node.HandleInputRequest(buffer, 0x209, sizeof buffer, received));
        EXPECT_EQ(buffer[1], 0);
    }
}

// ---------------------------------------------------------------------------

TEST_F(SimDeviceTest, RegistersRoundTripAndFirmwareVersionIsPreset)
{
    // Register write 0xF6000000 to 0x03FF0000, byte for byte.
    const uint8_t report[16] = {0x02, 0x0A, 0x00, 0x00, 0x00, 0xFF, 0x03, 0x00, 0x00, 0x00, 0xF6};
    ASSERT_TRUE(m_device->HandleOutputReport(report, 16));
    EXPECT_EQ(m_device->Register(0x03FF0000), 0xF6000000u);

    ASSERT_TRUE(m_host->Command(1, 1, {0x00, 0x00, 0xFF, 0x03}));
    ASSERT_TRUE(m_host->Ask(1, 2));
    EXPECT_EQ(m_host->Answer32(), 0xF6000000u);
    // The answer fills the 16-byte input report, zero after the value.
    EXPECT_EQ(std::count(m_host->m_answer.begin() + 4, m_host->m_answer.end(), 0), 12);

    const uint32_t expected[4] = {0x101, 0x02, 0xFF, 0x1234};
    for (uint8_t i = 0; i < 4; ++i) {
        ASSERT_TRUE(m_host->Command(1, 1, {static_cast<uint8_t>(0x54 + 4 * i), 0, 0, 0}));
        ASSERT_TRUE(m_host->Ask(1, 2));
        EXPECT_EQ(m_host->Answer32(), expected[i]);
    }
    ASSERT_TRUE(m_host->Command(1, 1, {0x10, 0, 0, 0}));
    ASSERT_TRUE(m_host->Ask(1, 2));
    EXPECT_EQ(m_host->Answer32(), 0u);
}

TEST_F(SimDeviceTest, MalformedRequestsAreRefusedAndChangeNothing)
{
    struct Case
    {
        const char* Name;
        std::vector<uint8_t> Report;   // sent as is
    };
    auto full = [](uint32_t length, std::initializer_list<uint8_t> head) {
        std::vector<uint8_t> r(length, 0);
        std::copy(head.begin(), head.end(), r.begin());
        return r;
    };
    const Case cases[] = {
        {"length byte too small", full(16, {2, 9, 0, 0x10, 0, 0, 0, 1})},
        {"length byte too large", full(16, {2, 11, 0, 0x10, 0, 0, 0, 1})},
        {"register write on slot 2", full(64, {3, 10, 0, 0x10, 0, 0, 0, 1})},
        {"report shorter than its slot", full(15, {2, 10, 0, 0x10, 0, 0, 0, 1})},
        {"report longer than its slot", full(17, {2, 10, 0, 0x10, 0, 0, 0, 1})},
        {"report ID 0", full(16, {0, 10, 0, 0x10, 0, 0, 0, 1})},
        {"report ID 4", full(16, {4, 10, 0, 0x10, 0, 0, 0, 1})},
        {"input-only code 2", full(16, {2, 2, 2})},
        {"unused code 13", full(16, {2, 2, 13})},
        {"IIC length byte not 4 + n", full(64, {3, 5, 6, 0x90, 2, 0x10, 1})},
        {"IIC count beyond the report", full(64, {3, 4 + 60, 6, 0x90, 60})},
        {"IIC read count beyond the answer", full(64, {3, 6, 7, 0x90, 1, 0x10, 64})},
        {"GPIO pin 4", full(16, {2, 4, 8, 4, 1})},
        {"GPIO direction 2", full(16, {2, 4, 8, 0, 2})},
        {"access mode 4", full(16, {2, 7, 3, 4, 0, 0, 0, 0})},
        {"address beyond the chip", full(16, {2, 7, 3, 1, 0, 0, 0x80, 0})},
        {"length without an address", full(16, {2, 6, 5, 0, 0x10, 0, 0})},
        {"data without an access", full(4100, {1, 0, 0, 0, 0x55})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_FALSE(m_device->HandleOutputReport(c.Report.data(), static_cast<uint32_t>(c.Report.size())));
    }
    EXPECT_EQ(m_device->Register(0x10), 0u);
    EXPECT_EQ(m_device->Gpio(0).Direction, 0);
    EXPECT_EQ(m_device->FlashBytes(0, 1)[0], 0xFF);
    EXPECT_FALSE(m_device->HandleOutputReport(nullptr, 16));

    // Input requests: unknown ID, unknown code, a code on the wrong slot, the
    // IIC answer half without its request. The buffer stays as it was.
    struct InCase
    {
        const char* Name;
        uint8_t Id;
        uint32_t Argument;
    };
    for (const InCase& c : {InCase{"ID 0", 0, 0x210}, InCase{"ID 4", 4, 0x210}, InCase{"code 3", 2, 0x310},
                            InCase{"code 13", 3, 0xD40}, InCase{"HDMI on slot 1", 2, 0xB10},
                            InCase{"register read on slot 2", 3, 0x240}, InCase{"IIC answer unasked", 3, 0x640},
                            InCase{"flash read without access", 1, 4100}}) {
        SCOPED_TRACE(c.Name);
        std::vector<uint8_t> buffer(4100, 0xEE);
        buffer[0] = c.Id;
        uint32_t received = 0;
        EXPECT_FALSE(m_device->HandleInputRequest(buffer.data(), c.Argument, 4100, received));
        EXPECT_EQ(buffer[0], c.Id);
        EXPECT_EQ(std::count(buffer.begin() + 1, buffer.end(), 0xEE), 4099);
    }
    for (const SimLogEntry& e : m_device->Log())
        EXPECT_TRUE(e.Refused);
}

TEST_F(SimDeviceTest, IicPeripheralAnswersAndOtherAddressesDoNot)
{
    // Write registers 0x10, 0x11 = 0x12, 0x34.
    ASSERT_TRUE(m_host->Command(2, 6, {0x90, 3, 0x10, 0x12, 0x34}));
    ASSERT_TRUE(m_host->Ask(2, 6));
    EXPECT_EQ(m_host->m_answer[0], 0);
    EXPECT_EQ(m_device->IicByte(0x10), 0x12);
    EXPECT_EQ(m_device->IicByte(0x11), 0x34);

    // Read two bytes from 0x10: result code, then the bytes.
    ASSERT_TRUE(m_host->Command(2, 7, {0x90, 1, 0x10, 2}));
    ASSERT_TRUE(m_host->Ask(2, 7));
    EXPECT_EQ(m_host->m_answer[0], 0);
    EXPECT_EQ(m_host->m_answer[1], 0x12);
    EXPECT_EQ(m_host->m_answer[2], 0x34);
    EXPECT_EQ(m_host->m_answer[3], 0);
    // The answer half of a write does not answer a read.
    EXPECT_FALSE(m_host->Ask(2, 6));

    // Nobody at 0xA0: non-zero result code, no data, memory untouched.
    ASSERT_TRUE(m_host->Command(2, 7, {0xA0, 1, 0x10, 2}));
    ASSERT_TRUE(m_host->Ask(2, 7));
    EXPECT_NE(m_host->m_answer[0], 0);
    EXPECT_EQ(m_host->m_answer[1], 0);
    EXPECT_EQ(m_host->m_answer[2], 0);
    ASSERT_TRUE(m_host->Command(2, 6, {0xA0, 2, 0x10, 0x99}));
    ASSERT_TRUE(m_host->Ask(2, 6));
    EXPECT_NE(m_host->m_answer[0], 0);
    EXPECT_EQ(m_device->IicByte(0x10), 0x12);
}

TEST_F(SimDeviceTest, GpioPinsKeepDirectionAndLevel)
{
    // Pin 2 as output driven high reads back high.
    ASSERT_TRUE(m_host->Command(1, 8, {2, 1}));
    ASSERT_TRUE(m_host->Command(1, 9, {2, 1}));
    ASSERT_TRUE(m_host->Command(1, 10, {2}));
    ASSERT_TRUE(m_host->Ask(1, 10));
    EXPECT_EQ(m_host->m_answer[0], 1);
    EXPECT_EQ(m_device->Gpio(2).Direction, 1);

    // Pin 3 is an input: it reads what the outside drives, not the latch.
    ASSERT_TRUE(m_host->Command(1, 9, {3, 1}));
    m_device->SetGpioExternalLevel(3, 0);
    ASSERT_TRUE(m_host->Command(1, 10, {3}));
    ASSERT_TRUE(m_host->Ask(1, 10));
    EXPECT_EQ(m_host->m_answer[0], 0);
    m_device->SetGpioExternalLevel(3, 1);
    ASSERT_TRUE(m_host->Ask(1, 10));
    EXPECT_EQ(m_host->m_answer[0], 1);
}

TEST_F(SimDeviceTest, InformationAnswersFitTheirReportsAndTheHostBuffer)
{
    std::array<uint8_t, kSimHdmiInfoBytes> hdmi{};
    std::array<uint8_t, kSimDrmInfoBytes> drm{};
    for (size_t i = 0; i < hdmi.size(); ++i)
        hdmi[i] = static_cast<uint8_t>(0xA0 + i);
    for (size_t i = 0; i < drm.size(); ++i)
        drm[i] = static_cast<uint8_t>(0x40 + i);
    m_device->SetHdmiInfo(hdmi);
    m_device->SetDrmInfo(drm);

    ASSERT_TRUE(m_host->Ask(2, 11));
    EXPECT_TRUE(std::equal(hdmi.begin(), hdmi.end(), m_host->m_answer.begin()));
    EXPECT_EQ(std::count(m_host->m_answer.begin() + 24, m_host->m_answer.end(), 0), 40);
    ASSERT_TRUE(m_host->Ask(2, 12));
    EXPECT_TRUE(std::equal(drm.begin(), drm.end(), m_host->m_answer.begin()));
    ASSERT_TRUE(m_host->Ask(1, 4));
    EXPECT_EQ(m_host->m_answer[0], 42);
    EXPECT_EQ(m_host->m_answer[1], 0);

    // A host buffer shorter than the report: nothing is written past it.
    uint8_t small[20 + 8];
    std::fill(std::begin(small), std::end(small), 0xEE);
    small[0] = 3;
    uint32_t received = 0;
    ASSERT_TRUE(m_device->HandleInputRequest(small, 0xC40, 20, received));
    EXPECT_EQ(received, 20u);
    EXPECT_TRUE(std::equal(drm.begin(), drm.begin() + 20, small));
    EXPECT_EQ(std::count(small + 20, small + 28, 0xEE), 8);
}

// ---------------------------------------------------------------------------
// Flash

TEST_F(SimDeviceTest, FlashWriteThenReadBackCountsAgainstTheAnnouncedLength)
{
    const std::vector<uint8_t> data = Pattern(10000, 1);
    ASSERT_TRUE(m_host->Announce(0, 0x180000, 10000));
    EXPECT_EQ(m_host->WriteBurst(data), 3u);   // 4096 + 4096 + 1808
    const SimFlashAccess access = m_device->CurrentAccess();
    EXPECT_EQ(access.Done, 10000u);
    EXPECT_EQ(access.Direction, SimFlashDirection::Write);
    EXPECT_FALSE(m_host->SendData(data.data(), 16)) << "data beyond the announced length";
    EXPECT_EQ(m_device->FlashBytes(0x180000, 10000), data);
    EXPECT_EQ(m_device->FlashBytes(0x180000 + 10000, 1)[0], 0xFF);

    ASSERT_TRUE(m_host->Announce(0, 0x180000, 10000));
    std::vector<uint8_t> back;
    ASSERT_TRUE(m_host->ReadBurst(10000, back));
    EXPECT_EQ(back, data);
    // The last answer carries 1808 data bytes, zero after them.
    EXPECT_EQ(std::count(m_host->m_answer.begin() + 1808, m_host->m_answer.end(), 0), 4100 - 1808);
    EXPECT_FALSE(m_host->Ask(0, 0)) << "read beyond the announced length";

    // Directions do not mix within one access.
    ASSERT_TRUE(m_host->Announce(1, 0, 8192));
    ASSERT_TRUE(m_host->Ask(0, 0));
    EXPECT_FALSE(m_host->SendData(data.data(), 4096));
}

TEST_F(SimDeviceTest, FlashAccessStaysWithinTheChip)
{
    const uint32_t size = m_device->FlashSize();
    EXPECT_EQ(size, 8u * 1024 * 1024);
    EXPECT_TRUE(m_host->Announce(1, size - 4096, 4096));
    EXPECT_FALSE(m_host->Announce(1, size - 4096, 4097));
    EXPECT_FALSE(m_host->Announce(1, size, 0));
    EXPECT_FALSE(m_host->Announce(1, size - 4096, 0xFFFFFFFF));   // wraps in 32 bits

    // The flag block: one 4096-byte report each way in direct mode.
    std::vector<uint8_t> flag = Pattern(4096, 9);
    flag[0] = 0;
    ASSERT_TRUE(m_host->Announce(2, 0x70000, 4096));
    EXPECT_EQ(m_host->WriteBurst(flag), 1u);
    ASSERT_TRUE(m_host->Announce(2, 0x70000, 4096));
    std::vector<uint8_t> back;
    ASSERT_TRUE(m_host->ReadBurst(4096, back));
    EXPECT_EQ(back, flag);
}

TEST_F(SimDeviceTest, NorWriteErasesOnlyTheAnnouncedPartOfEachBlock)
{
    // Old content everywhere around a range that starts and ends mid-block.
    const std::vector<uint8_t> old = Pattern(0x4000, 3);
    ASSERT_TRUE(m_device->PokeFlash(0x10000, old.data(), 0x4000));

    const uint32_t start = 0x10000 + 0x0800, length = 0x2000;   // 0x10800 .. 0x127FF
    const std::vector<uint8_t> data = Pattern(length, 4);
    ASSERT_TRUE(m_host->Announce(3, start, length));
    ASSERT_EQ(m_host->WriteBurst(data), 2u);

    const std::vector<uint8_t> now = m_device->FlashBytes(0x10000, 0x4000);
    EXPECT_TRUE(std::equal(now.begin(), now.begin() + 0x800, old.begin())) << "before the range";
    EXPECT_TRUE(std::equal(now.begin() + 0x800, now.begin() + 0x2800, data.begin())) << "the range";
    EXPECT_TRUE(std::equal(now.begin() + 0x2800, now.end(), old.begin() + 0x2800)) << "after the range";

    // An access that stops early: blocks it never reached keep their bytes.
    ASSERT_TRUE(m_device->PokeFlash(0x10000, old.data(), 0x4000));
    ASSERT_TRUE(m_host->Announce(3, 0x10000, 0x4000));
    ASSERT_TRUE(m_host->SendData(data.data(), 4096));
    const std::vector<uint8_t> partial = m_device->FlashBytes(0x10000, 0x4000);
    EXPECT_TRUE(std::equal(partial.begin(), partial.begin() + 4096, data.begin()));
    EXPECT_TRUE(std::equal(partial.begin() + 4096, partial.end(), old.begin() + 4096));

    // Announcing and reading never changes the flash.
    const std::vector<uint8_t> before = m_device->FlashBytes(0, 0x20000);
    ASSERT_TRUE(m_host->Announce(1, 0, 0x20000));
    std::vector<uint8_t> back;
    ASSERT_TRUE(m_host->ReadBurst(0x20000, back));
    EXPECT_EQ(back, before);
    EXPECT_EQ(m_device->FlashBytes(0, 0x20000), before);
}

TEST(SimFlash, WithoutEraseProgrammingOnlyClearsBits)
{
    SimDeviceOptions options;
    options.EraseBeforeProgram = false;
    auto device = CSimDevice::Create(options);
    CHost host(*device);
    const uint8_t old[4] = {0x0F, 0xFF, 0x00, 0xAA};
    const uint8_t data[4] = {0xF0, 0x5A, 0xFF, 0xFF};
    ASSERT_TRUE(device->PokeFlash(0x1000, old, 4));
    ASSERT_TRUE(host.Announce(3, 0x1000, 4));
    ASSERT_TRUE(host.SendData(data, 4));
    EXPECT_EQ(device->FlashBytes(0x1000, 4), (std::vector<uint8_t>{0x00, 0x5A, 0x00, 0xAA}));
}

TEST(SimFlash, SmallReportsMoveSmallChunks)
{
    SimDeviceOptions options;
    options.OutputReportCounts = {63, 15, 63};
    options.InputReportCounts = {63, 15, 63};
    auto device = CSimDevice::Create(options);
    CHost host(*device);
    const std::vector<uint8_t> data = Pattern(1000, 5);
    ASSERT_TRUE(host.Announce(1, 0x2000, 1000));
    EXPECT_EQ(host.WriteBurst(data), 17u);   // 16 x 60 + 40
    ASSERT_TRUE(host.Announce(1, 0x2000, 1000));
    std::vector<uint8_t> back;
    ASSERT_TRUE(host.ReadBurst(1000, back));
    EXPECT_EQ(back, data);

    // An answer that cannot hold a whole chunk is refused, not cut.
    options.InputReportCounts = {31, 15, 63};
    auto narrow = CSimDevice::Create(options);
    CHost narrowHost(*narrow);
    ASSERT_TRUE(narrowHost.Announce(1, 0, 60));
    EXPECT_FALSE(narrowHost.Ask(0, 0));
    EXPECT_EQ(narrow->CurrentAccess().Done, 0u);
}

TEST(SimFlash, FileBackedFlashPersistsAndMustMatchTheChip)
{
    TempPath file;
    SimDeviceOptions options;
    options.ChipRow = 34;   // 256 KB
    options.FlashFile = file.Path;
    const std::vector<uint8_t> data = Pattern(5000, 7);
    {
        std::string error;
        auto device = CSimDevice::Create(options, error);
        ASSERT_TRUE(device) << error;
        EXPECT_EQ(std::filesystem::file_size(file.Path), 256u * 1024);
        EXPECT_EQ(device->FlashBytes(0, 1)[0], 0xFF);
        CHost host(*device);
        ASSERT_TRUE(host.Announce(3, 0x30000, 5000));
        ASSERT_EQ(host.WriteBurst(data), 2u);
    }
    {
        auto device = CSimDevice::Create(options);
        ASSERT_TRUE(device);
        EXPECT_EQ(device->FlashBytes(0x30000, 5000), data);
        EXPECT_EQ(device->FlashBytes(0x30000 + 5000, 1)[0], 0xFF);
    }
    // The same file for an 8 MB chip is refused, and left alone.
    options.ChipRow = 42;
    std::string error;
    EXPECT_FALSE(CSimDevice::Create(options, error));
    EXPECT_NE(error.find("262144"), std::string::npos) << error;
    EXPECT_EQ(std::filesystem::file_size(file.Path), 256u * 1024);

    options.FlashFile = "/nonexistent-dir/flash.bin";
    EXPECT_FALSE(CSimDevice::Create(options, error));
    EXPECT_NE(error.find("/nonexistent-dir/flash.bin"), std::string::npos) << error;
}

TEST(SimFlash, ChipSizesFollowTheTable)
{
    struct Case
    {
        uint32_t Row, Bytes;
    };
    for (const Case& c : {Case{0, 4u << 20}, Case{1, 4u << 20}, Case{14, 1u << 20}, Case{28, 64u << 20},
                          Case{32, 16u << 20}, Case{34, 256u << 10}, Case{42, 8u << 20}, Case{43, 16u << 20},
                          Case{44, 0}}) {
        EXPECT_EQ(SimChipSize(c.Row), c.Bytes) << "row " << c.Row;
    }
    SimDeviceOptions options;
    options.ChipRow = 44;
    std::string error;
    EXPECT_FALSE(CSimDevice::Create(options, error));
    EXPECT_FALSE(error.empty());
}

// ---------------------------------------------------------------------------
// Faults and the log

TEST_F(SimDeviceTest, RefuseAndVanishCountEveryRequest)
{
    m_device->ArmFaults(SimFaults{.FailAtRequest = 3});
    EXPECT_TRUE(m_host->Command(1, 1, {0x54, 0, 0, 0}));   // 1
    EXPECT_TRUE(m_host->Ask(1, 2));                         // 2
    EXPECT_FALSE(m_host->Command(1, 1, {0x54, 0, 0, 0}));  // 3
    EXPECT_TRUE(m_host->Ask(1, 2));                         // 4
    EXPECT_EQ(m_device->RequestCount(), 4u);

    m_device->ArmFaults(SimFaults{.VanishAfterRequests = 2});
    EXPECT_TRUE(m_device->Present());
    EXPECT_TRUE(m_host->Command(1, 1, {0x54, 0, 0, 0}));
    EXPECT_TRUE(m_device->Present());
    EXPECT_TRUE(m_host->Ask(1, 2));
    EXPECT_FALSE(m_device->Present());
    EXPECT_FALSE(m_host->Command(1, 1, {0x54, 0, 0, 0}));
    EXPECT_FALSE(m_host->Ask(1, 2));
    m_device->ArmFaults(SimFaults{});
    m_device->SetPresent(true);
    EXPECT_TRUE(m_host->Ask(1, 2));
}

TEST_F(SimDeviceTest, CorruptAndDropAffectOnlyTheirReport)
{
    const std::vector<uint8_t> data = Pattern(3 * 4096, 8);
    m_device->ArmFaults(SimFaults{.DropWriteAt = 2});
    ASSERT_TRUE(m_host->Announce(1, 0, 3 * 4096));
    EXPECT_EQ(m_host->WriteBurst(data), 3u);   // all accepted
    const std::vector<uint8_t> flash = m_device->FlashBytes(0, 3 * 4096);
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 4096, flash.begin()));
    EXPECT_EQ(std::count(flash.begin() + 4096, flash.begin() + 8192, 0xFF), 4096);
    EXPECT_TRUE(std::equal(data.begin() + 8192, data.end(), flash.begin() + 8192));

    // The same seed flips the same byte of the same answer.
    uint32_t flipped[2] = {};
    for (uint32_t& address : flipped) {
        m_device->ArmFaults(SimFaults{.CorruptReadAt = 2, .Seed = 77});
        ASSERT_TRUE(m_host->Announce(1, 0, 3 * 4096));
        std::vector<uint8_t> back;
        ASSERT_TRUE(m_host->ReadBurst(3 * 4096, back));
        address = m_device->CorruptedAddress();
        ASSERT_GE(address, 4096u);
        ASSERT_LT(address, 8192u);
        for (uint32_t i = 0; i < back.size(); ++i)
            EXPECT_EQ(back[i] != flash[i], i == address) << i;
    }
    EXPECT_EQ(flipped[0], flipped[1]);
    EXPECT_EQ(m_device->FlashBytes(0, 3 * 4096), flash) << "the flash itself is intact";
}

TEST_F(SimDeviceTest, LogKeepsRequestsAndCanBeBounded)
{
    ASSERT_TRUE(m_host->Command(1, 1, {0x58, 0, 0, 0}));
    ASSERT_TRUE(m_host->Ask(1, 2));
    EXPECT_FALSE(m_host->Ask(1, 13));
    std::vector<SimLogEntry> log = m_device->Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_TRUE(log[0].IsOutput);
    EXPECT_EQ(log[0].Length, 16u);
    EXPECT_EQ(log[0].Bytes, (std::vector<uint8_t>{2, 6, 1, 0x58, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(log[1].IsOutput);
    EXPECT_EQ(log[1].ReportId, 2);
    EXPECT_EQ(log[1].LengthArgument, 0x210u);
    EXPECT_EQ(log[1].Bytes[0], 0x02);
    EXPECT_FALSE(log[1].Refused);
    EXPECT_TRUE(log[2].Refused);
    EXPECT_TRUE(log[2].Bytes.empty());

    // Big reports keep only their first bytes; a full log counts the rest.
    SimDeviceOptions options;
    options.LogBytesPerEntry = 8;
    options.LogMaxEntries = 3;
    auto device = CSimDevice::Create(options);
    CHost host(*device);
    ASSERT_TRUE(host.Announce(1, 0, 8192));
    ASSERT_EQ(host.WriteBurst(Pattern(8192, 2)), 2u);
    log = device->Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[2].Length, 4100u);
    EXPECT_EQ(log[2].Bytes.size(), 8u);
    EXPECT_EQ(device->UnloggedRequests(), 1u);
    device->SetLogging(false);
    device->ClearLog();
    ASSERT_TRUE(host.Ask(1, 4));
    EXPECT_TRUE(device->Log().empty());
}

TEST_F(SimDeviceTest, RequestsFromSeveralThreadsAreServedWhole)
{
    constexpr int kPerThread = 500;
    auto worker = [this](uint8_t base) {
        CHost host(*m_device);
        for (int i = 0; i < kPerThread; ++i) {
            const auto reg = static_cast<uint8_t>(base + i % 4);
            ASSERT_TRUE(host.Command(1, 0, {reg, 0x01, 0, 0, static_cast<uint8_t>(i), 0, 0, base}));
            ASSERT_TRUE(host.Ask(1, 4));
        }
    };
    std::thread a(worker, uint8_t{0x10}), b(worker, uint8_t{0x20});
    a.join();
    b.join();
    EXPECT_EQ(m_device->RequestCount(), 4u * kPerThread);
    EXPECT_EQ(m_device->Register(0x0113) >> 24, 0x10u);
    EXPECT_EQ(m_device->Log().size(), 4u * kPerThread);
}

} // namespace
