// Framing of command rows into reports and requests, checked on the device's side.
#include "ProtocolFixture.h"

#include <functional>

namespace {

using FramingTest = ProtocolTest;

TEST_F(FramingTest, RegisterWriteIsTheSixteenByteReport)
{
    Open();
    ASSERT_EQ(m_openResult, OpenDeviceResult::Opened);
    uint32_t value = 0xF6000000;
    ASSERT_TRUE(m_session.RegisterAccess(OP_REG_WRITE, 0x03FF0000, &value));
    const auto log = Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_TRUE(log[0].IsOutput);
    EXPECT_EQ(log[0].Bytes, Bytes({0x02, 0x0A, 0x00, 0x00, 0x00, 0xFF, 0x03, 0x00, 0x00, 0x00,
                                   0xF6, 0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(m_device->Register(0x03FF0000), 0xF6000000u);
}

TEST_F(FramingTest, InputRequestsCarryTheCodeInTheLength)
{
    Open();
    struct Case
    {
        const char* what;
        std::function<void()> run;
        uint32_t length;
    };
    uint32_t value = 0;
    uint8_t level = 0;
    char hdmi[kHdmiInfoTextSize];
    uint8_t drm[kDrmInfoLength];
    bool ok = false;
    uint8_t buffer[4096];
    uint32_t index = 0;
    const Case cases[] = {
        {"register read", [&] { m_session.RegisterAccess(OP_REG_READ, 0x54, &value); }, 16 | 0x200},
        {"flash id", [&] { m_session.RequestFlashId(&index); }, 16 | 0x400},
        {"gpio read", [&] { m_session.GpioAccess(OP_GPIO_READ, 1, &level); }, 16 | 0xA00},
        {"hdmi", [&] { m_session.GetHdmiInfo(hdmi, &ok); }, 64 | 0xB00},
        {"drm", [&] { m_session.GetDrmInfo(drm, &ok); }, 64 | 0xC00},
        {"flash read", [&] { m_session.FlashAccess(AP_FLASH_READ, ACCESS_MODE_DIRECT, 0x70000, 4096, buffer); }, 4100},
    };
    for (const Case& c : cases) {
        m_device->ClearLog();
        c.run();
        const auto log = Log();
        ASSERT_FALSE(log.empty()) << c.what;
        EXPECT_FALSE(log.back().IsOutput) << c.what;
        EXPECT_FALSE(log.back().Refused) << c.what;
        EXPECT_EQ(log.back().LengthArgument, c.length) << c.what;
    }
}

TEST_F(FramingTest, OutputRowsOverwriteOnlyTheirHeaderBytes)
{
    Open();
    const HidDevice& device = m_session.Device();
    std::vector<uint8_t> payload(16, 0xEE);
    HidCallParams params;
    ASSERT_TRUE(BuildCommandCall(device, &params, g_commandTable[REPORT_GPIO_SET], payload.data(), 16));
    EXPECT_EQ(payload[0], 2);
    EXPECT_EQ(payload[1], 4);
    EXPECT_EQ(payload[2], 8);
    EXPECT_EQ(payload[3], 0xEE);
    EXPECT_EQ(params.ReportLength, 16u);
    EXPECT_EQ(params.ReportBuffer, device.OutputReportBuf);

    // A data row (code 16) writes the report ID only.
    std::vector<uint8_t> data(4100, 0xEE);
    ASSERT_TRUE(BuildCommandCall(device, &params, g_commandTable[REPORT_FLASH_WRITE], data.data(), 4100));
    EXPECT_EQ(data[0], 1);
    EXPECT_EQ(data[1], 0xEE);
    EXPECT_EQ(data[2], 0xEE);

    // An input row leaves the payload alone.
    std::vector<uint8_t> untouched(16, 0x11);
    ASSERT_TRUE(BuildCommandCall(device, &params, g_commandTable[REPORT_IIC_READ_INPUT], untouched.data(), 16));
    EXPECT_EQ(untouched, std::vector<uint8_t>(16, 0x11));
    EXPECT_EQ(params.ReportLength, 64u | 0x700u);
    EXPECT_EQ(params.ReportID, 3);
}

TEST_F(FramingTest, SlotsAndBuffersTheDeviceLacksAreRefused)
{
    SimDeviceOptions options;
    options.OutputReportCounts = {4099, 15};
    options.InputReportCounts = {4099, 15};
    Open(options);
    EXPECT_EQ(m_openResult, OpenDeviceResult::OpenedWithoutBuffers);
    EXPECT_TRUE(m_diagnostics.Contains("Error initializing flash and RW buffer\n"));
    EXPECT_TRUE(m_session.IsDeviceOpened());
    EXPECT_FALSE(m_session.CanRunCommands());

    const HidDevice& device = m_session.Device();
    HidCallParams params;
    uint8_t payload[64] = {};
    EXPECT_FALSE(BuildCommandCall(device, &params, g_commandTable[REPORT_IIC_WRITE_OUTPUT], payload, 64));
    EXPECT_FALSE(BuildCommandCall(device, &params, g_commandTable[REPORT_HDMI_INFO], payload, 64));

    // No command runs on a missing payload buffer, and nothing reaches the device.
    uint32_t value = 1;
    uint8_t data[4] = {0x12, 0x34};
    char hdmi[kHdmiInfoTextSize] = "unchanged";
    bool ok = true;
    EXPECT_FALSE(m_session.RegisterAccess(OP_REG_WRITE, 0x10, &value));
    EXPECT_FALSE(m_session.IicAccess(OP_IIC_WRITE, 0x90, 2, data, 0));
    EXPECT_FALSE(m_session.GetHdmiInfo(hdmi, &ok));
    EXPECT_STREQ(hdmi, "unchanged");
    EXPECT_TRUE(Log().empty());
    EXPECT_TRUE(m_diagnostics.Contains("Unknown error: Couldn't execute REPORT_REG_WRITE function\n"));
}

} // namespace
