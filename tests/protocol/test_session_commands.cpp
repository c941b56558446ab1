// Register, IIC and GPIO commands and the information sequences.
#include "ProtocolFixture.h"

#include <cstring>

namespace {

using SessionCommandTest = ProtocolTest;

TEST_F(SessionCommandTest, RegisterReadSendsTheAddressThenFetchesTheValue)
{
    Open();
    m_device->SetRegister(0x54, 0xAABBCCDD);
    uint32_t value = 0;
    ASSERT_TRUE(m_session.RegisterAccess(OP_REG_READ, 0x54, &value));
    EXPECT_EQ(value, 0xAABBCCDDu);
    const auto log = Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(std::vector<uint8_t>(log[0].Bytes.begin() + 1, log[0].Bytes.begin() + 7),
              Bytes({6, 1, 0x54, 0, 0, 0}));
    EXPECT_FALSE(log[1].IsOutput);

    // Codes outside the table send nothing and succeed.
    m_device->ClearLog();
    EXPECT_TRUE(m_session.RegisterAccess(7, 0x54, &value));
    EXPECT_TRUE(m_session.IicAccess(5, 0x90, 0, nullptr, 0));
    EXPECT_TRUE(Log().empty());
}

TEST_F(SessionCommandTest, IicWriteAndReadFrameTheirCounts)
{
    Open();
    uint8_t data[8] = {0x12, 0x34};
    ASSERT_TRUE(m_session.IicAccess(OP_IIC_WRITE, 0x90, 2, data, 0));
    EXPECT_EQ(data[0], 0);      // result code
    EXPECT_EQ(data[1], 0x34);   // untouched
    auto log = Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(std::vector<uint8_t>(log[0].Bytes.begin() + 1, log[0].Bytes.begin() + 7),
              Bytes({6, 6, 0x90, 2, 0x12, 0x34}));
    EXPECT_EQ(m_device->IicByte(0x12), 0x34);

    m_device->ClearLog();
    m_device->SetIicByte(0x05, 0x9C);
    uint8_t read[4] = {0x05};
    ASSERT_TRUE(m_session.IicAccess(OP_IIC_READ, 0x90, 1, read, 1));
    EXPECT_EQ(read[0], 0);
    EXPECT_EQ(read[1], 0x9C);
    log = Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(std::vector<uint8_t>(log[0].Bytes.begin() + 1, log[0].Bytes.begin() + 7),
              Bytes({6, 7, 0x90, 1, 0x05, 1}));
    EXPECT_EQ(log[1].LengthArgument, 64u | 0x700u);

    // An unknown peripheral answers a non-zero result code.
    uint8_t other[2] = {0x00, 0x01};
    ASSERT_TRUE(m_session.IicAccess(OP_IIC_WRITE, 0x40, 2, other, 0));
    EXPECT_NE(other[0], 0);
}

TEST_F(SessionCommandTest, IicCountsBeyondTheReportAreRefusedUnsent)
{
    Open();
    uint8_t data[256] = {};
    struct Case { int op; uint8_t count; uint8_t readCount; };
    // Slot-2 reports are 64 bytes: 59 bytes can be written, 58 sent before a read,
    // and 63 read back.
    for (const Case c : {Case{OP_IIC_WRITE, 60, 0}, Case{OP_IIC_READ, 59, 1},
                         Case{OP_IIC_READ, 1, 64}, Case{OP_IIC_WRITE, 255, 0}}) {
        m_device->ClearLog();
        EXPECT_FALSE(m_session.IicAccess(c.op, 0x90, c.count, data, c.readCount)) << int(c.count);
        EXPECT_TRUE(Log().empty());
    }
    EXPECT_TRUE(m_session.IicAccess(OP_IIC_WRITE, 0x90, 59, data, 0));
    EXPECT_TRUE(m_session.IicAccess(OP_IIC_READ, 0x90, 1, data, 63));
}

TEST_F(SessionCommandTest, GpioDirectionLevelAndRead)
{
    Open();
    uint8_t v = 1;
    ASSERT_TRUE(m_session.GpioAccess(OP_GPIO_SET, 2, &v));
    EXPECT_EQ(m_device->Gpio(2).Direction, 1);
    ASSERT_TRUE(m_session.GpioAccess(OP_GPIO_WRITE, 2, &v));
    uint8_t level = 0;
    ASSERT_TRUE(m_session.GpioAccess(99, 2, &level));   // any other code reads
    EXPECT_EQ(level, 1);
    const auto log = Log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(std::vector<uint8_t>(log[0].Bytes.begin() + 1, log[0].Bytes.begin() + 5),
              Bytes({4, 8, 2, 1}));
    EXPECT_EQ(std::vector<uint8_t>(log[2].Bytes.begin() + 1, log[2].Bytes.begin() + 4),
              Bytes({3, 10, 2}));
}

TEST_F(SessionCommandTest, RefusedOutputReportRequestsNoInput)
{
    Open();
    SimFaults faults;
    faults.FailAtRequest = 1;
    m_device->ArmFaults(faults);
    uint32_t value = 0x1234;
    EXPECT_FALSE(m_session.RegisterAccess(OP_REG_READ, 0x54, &value));
    EXPECT_EQ(value, 0x1234u);
    const auto log = Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_TRUE(log[0].Refused);
    EXPECT_TRUE(m_diagnostics.Contains("Unknown error: Couldn't execute REPORT_REG_WRITE_ADDR function\n"));
    EXPECT_FALSE(m_diagnostics.Contains("Unknown error: Couldn't execute REPORT_REG_READ function\n"));
}

TEST_F(SessionCommandTest, ShortAnswersFailTheirStep)
{
    Open();
    m_device->SetRegister(0x54, 0xAABBCCDD);
    SimFaults faults;
    faults.ShortAnswerAt = 1;
    faults.ShortAnswerBytes = 3;
    m_device->ArmFaults(faults);
    uint32_t value = 0x1234;
    EXPECT_FALSE(m_session.RegisterAccess(OP_REG_READ, 0x54, &value));
    EXPECT_EQ(value, 0x1234u);
    EXPECT_TRUE(m_diagnostics.Contains("REPORT_REG_READ refused: the device answered 3 of 4 bytes\n"));
    EXPECT_TRUE(m_diagnostics.Contains("Unknown error: Couldn't execute REPORT_REG_READ function\n"));
    ASSERT_TRUE(m_session.RegisterAccess(OP_REG_READ, 0x54, &value));
    EXPECT_EQ(value, 0xAABBCCDDu);
}

TEST_F(SessionCommandTest, FirmwareVersionTextAndItsFirstFailure)
{
    Open();
    char text[kFirmwareVersionTextSize] = "old";
    ASSERT_TRUE(m_session.GetFirmwareVersion(text));
    EXPECT_STREQ(text, "01.02.ff.34");
    EXPECT_EQ(Log().size(), 8u);

    // The third register read (requests 5 and 6) fails: the text stays as it was.
    std::strcpy(text, "old");
    SimFaults faults;
    faults.FailAtRequest = 6;
    m_device->ArmFaults(faults);
    m_device->ClearLog();
    EXPECT_FALSE(m_session.GetFirmwareVersion(text));
    EXPECT_STREQ(text, "old");
    EXPECT_EQ(Log().size(), 6u);
    EXPECT_TRUE(m_diagnostics.Contains("Unknown error: Couldn't execute REPORT_REG_READ function\n"));
}

TEST_F(SessionCommandTest, HdmiTextAndDrmBytes)
{
    Open();
    char text[kHdmiInfoTextSize];
    bool ok = false;
    ASSERT_TRUE(m_session.GetHdmiInfo(text, &ok));
    EXPECT_TRUE(ok);
    std::string zeros = "00";
    for (int i = 1; i < 24; ++i)
        zeros += " 00";
    EXPECT_EQ(std::string(text), zeros);
    EXPECT_EQ(std::strlen(text), 71u);

    std::array<uint8_t, 24> hdmi{};
    hdmi[0] = 0xAB;
    hdmi[23] = 0x0F;
    m_device->SetHdmiInfo(hdmi);
    ASSERT_TRUE(m_session.GetHdmiInfo(text, &ok));
    EXPECT_EQ(std::string(text).substr(0, 3), "ab ");
    EXPECT_EQ(std::string(text).substr(68), " 0f");

    std::array<uint8_t, 64> drm{};
    drm[63] = 0x5A;
    m_device->SetDrmInfo(drm);
    uint8_t bytes[kDrmInfoLength] = {};
    ASSERT_TRUE(m_session.GetDrmInfo(bytes, &ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(bytes[63], 0x5A);

    // A refused request is reported and the text is still built.
    SimFaults faults;
    faults.FailAtRequest = 1;
    m_device->ArmFaults(faults);
    ASSERT_TRUE(m_session.GetHdmiInfo(text, &ok));
    EXPECT_FALSE(ok);
    EXPECT_EQ(std::strlen(text), 71u);
    EXPECT_TRUE(m_diagnostics.Contains("Unknown error: Couldn't execute REPORT_HDMI_INFO function\n"));
}

TEST_F(SessionCommandTest, ShortReportsRefuseWhatTheyCannotCarry)
{
    SimDeviceOptions options;
    options.OutputReportCounts = {63, 15, 15};
    options.InputReportCounts = {63, 15, 15};
    Open(options);
    ASSERT_EQ(m_openResult, OpenDeviceResult::Opened);
    EXPECT_EQ(m_session.m_nReportLen0, 64u);
    EXPECT_EQ(m_session.m_nReportLen1, 16u);
    EXPECT_EQ(m_session.m_nReportLen2, 16u);

    char text[kHdmiInfoTextSize] = "unchanged";
    bool ok = true;
    uint8_t block[4096] = {};
    EXPECT_FALSE(m_session.GetHdmiInfo(text, &ok));   // 24 bytes do not fit 16
    EXPECT_FALSE(m_session.FlashAccess(AP_FLASH_WRITE, ACCESS_MODE_DIRECT, 0x70000, 4096, block));
    EXPECT_FALSE(m_session.FlashAccess(AP_FLASH_READ, ACCESS_MODE_DIRECT, 0x70000, 4096, block));
    EXPECT_TRUE(Log().empty());
    EXPECT_EQ(m_session.FlashChunkSize(), 60u);
}

TEST_F(SessionCommandTest, FlashIdIsTheAnswersFirstTwoBytes)
{
    Open();
    uint32_t index = 0xFFFF;
    ASSERT_TRUE(m_session.RequestFlashId(&index));
    EXPECT_EQ(index, 42u);
    m_device->SetReportedChipId(0x0100);
    ASSERT_TRUE(m_session.RequestFlashId(&index));
    EXPECT_EQ(index, 256u);
    SimFaults faults;
    faults.FailAtRequest = 1;
    m_device->ArmFaults(faults);
    index = 7;
    EXPECT_FALSE(m_session.RequestFlashId(&index));
    EXPECT_EQ(index, 7u);
    EXPECT_TRUE(m_diagnostics.Contains("Unknown error: Couldn't execute REPORT_FLASH_GET_ID function\n"));
}

} // namespace
