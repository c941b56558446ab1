// Flash announcements, single data reports and bursts.
#include "ProtocolFixture.h"

#include <numeric>

namespace {

class BurstTest : public ProtocolTest
{
protected:
    void SetUp() override
    {
        Open();
        m_session.SetTransferObserver(&m_observer);
    }
    std::vector<uint8_t> Pattern(size_t n, uint8_t seed)
    {
        std::vector<uint8_t> v(n);
        for (size_t i = 0; i < n; ++i)
            v[i] = static_cast<uint8_t>(i * 7 + seed);
        return v;
    }
    CRecordingObserver m_observer;
};

TEST_F(BurstTest, AnnouncementCarriesModeAddressAndLength)
{
    ASSERT_TRUE(m_session.FlashAccess(AP_FLASH_BURST_LATER, ACCESS_MODE_FIRMWARE, 0x180000, 0x1000, nullptr));
    const auto log = Log();
    ASSERT_EQ(log.size(), 2u);   // mode and length only
    EXPECT_EQ(std::vector<uint8_t>(log[0].Bytes.begin(), log[0].Bytes.begin() + 8),
              Bytes({2, 7, 3, 0, 0x00, 0x00, 0x18, 0x00}));
    EXPECT_EQ(std::vector<uint8_t>(log[1].Bytes.begin(), log[1].Bytes.begin() + 7),
              Bytes({2, 6, 5, 0x00, 0x10, 0x00, 0x00}));
}

TEST_F(BurstTest, SingleReportWriteAndReadOfTheFlagBlock)
{
    std::vector<uint8_t> block = Pattern(4096, 3);
    ASSERT_TRUE(m_session.FlashAccess(AP_FLASH_WRITE, ACCESS_MODE_DIRECT, 0x70000, 4096, block.data()));
    auto log = Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[2].LengthArgument, 4100u);
    EXPECT_EQ(std::vector<uint8_t>(log[2].Bytes.begin(), log[2].Bytes.begin() + 6),
              Bytes({1, 0, 0, 0, block[0], block[1]}));
    EXPECT_EQ(m_device->FlashBytes(0x70000, 4096), block);

    std::vector<uint8_t> back(4096, 0);
    ASSERT_TRUE(m_session.FlashAccess(AP_FLASH_READ, ACCESS_MODE_DIRECT, 0x70000, 4096, back.data()));
    EXPECT_EQ(back, block);
}

TEST_F(BurstTest, TenThousandBytesMoveInThreeChunks)
{
    const std::vector<uint8_t> image = Pattern(10000, 1);
    uint32_t done = 99;
    ASSERT_TRUE(m_session.FlashAccess(AP_FLASH_BURST_LATER, ACCESS_MODE_ENTIRE, 0, 10000, nullptr));
    m_device->ClearLog();
    EXPECT_EQ(m_session.BurstFlashTransfer(BURST_WRITE, 10000, image.data(), 0, &done), 0u);
    EXPECT_EQ(done, 10000u);
    const auto log = Log();
    ASSERT_EQ(log.size(), 3u);
    for (const auto& entry : log)
        EXPECT_EQ(entry.LengthArgument, 4100u);
    EXPECT_EQ(m_observer.Total, std::vector<std::string>{"10000"});
    EXPECT_EQ(m_observer.Current, (std::vector<std::string>{"0", "4096", "8192", "10000"}));
    EXPECT_EQ(m_observer.Positions, (std::vector<uint32_t>{0, 4096, 8192, 10000}));
    EXPECT_EQ(m_observer.Status, (std::vector<std::string>{"Status: Write", "Status: Wait"}));
    EXPECT_EQ(m_device->FlashBytes(0, 10000), image);

    ASSERT_TRUE(m_session.FlashAccess(AP_FLASH_BURST_LATER, ACCESS_MODE_ENTIRE, 0, 10000, nullptr));
    m_diagnostics.Clear();
    EXPECT_EQ(m_session.BurstFlashTransfer(BURST_COMPARE, 10000, image.data(), 0, &done), 0u);
    EXPECT_TRUE(m_diagnostics.Lines().empty());
}

TEST_F(BurstTest, CompareNamesTheChunkThatDiffers)
{
    const uint32_t total = 3 * 4096;
    std::vector<uint8_t> image(0x180000 + total);
    const std::vector<uint8_t> data = Pattern(total, 9);
    std::copy(data.begin(), data.end(), image.begin() + 0x180000);
    uint32_t done = 0;
    ASSERT_TRUE(m_session.FlashAccess(AP_FLASH_BURST_LATER, ACCESS_MODE_FIRMWARE, 0x180000, total, nullptr));
    ASSERT_EQ(m_session.BurstFlashTransfer(BURST_WRITE, total, image.data(), 0x180000, &done), 0u);
    const uint8_t wrong = static_cast<uint8_t>(~data[4096 + 100]);
    ASSERT_TRUE(m_device->PokeFlash(0x180000 + 4096 + 100, &wrong, 1));

    m_observer = CRecordingObserver();
    ASSERT_TRUE(m_session.FlashAccess(AP_FLASH_BURST_LATER, ACCESS_MODE_FIRMWARE, 0x180000, total, nullptr));
    EXPECT_EQ(m_session.BurstFlashTransfer(BURST_COMPARE, total, image.data(), 0x180000, &done),
              total - 4096);
    EXPECT_EQ(done, 4096u);
    EXPECT_TRUE(m_diagnostics.Contains("FlashWrite -- Compare data fail, data(0x00181000~0x00182000) \n"));
    EXPECT_EQ(m_observer.Status.back(), "Status: Compare");
}

TEST_F(BurstTest, EmptyBurstSendsNothing)
{
    uint32_t done = 5;
    EXPECT_EQ(m_session.BurstFlashTransfer(BURST_WRITE, 0, nullptr, 0, &done), 0u);
    EXPECT_EQ(done, 0u);
    EXPECT_TRUE(Log().empty());
    EXPECT_EQ(m_observer.Total, std::vector<std::string>{"0"});
    EXPECT_EQ(m_observer.Current, std::vector<std::string>{"0"});
    EXPECT_EQ(m_observer.Status.back(), "Status: Wait");
}

class CCollectingWriter : public CFlashFileWriter
{
public:
    uint32_t WriteFlashFile(const uint8_t* data, uint32_t count) override
    {
        const uint32_t n = count <= Room ? count : Room;
        Bytes.insert(Bytes.end(), data, data + n);
        Room -= n;
        return n;
    }
    std::vector<uint8_t> Bytes;
    uint32_t Room = 0xFFFFFFFF;
};

TEST_F(BurstTest, ReadToFileKeepsEveryChunkUpToAFailure)
{
    const std::vector<uint8_t> data = Pattern(12288, 4);
    ASSERT_TRUE(m_device->PokeFlash(0, data.data(), 12288));
    CCollectingWriter writer;
    m_session.SetFileWriter(&writer);
    uint32_t done = 0;
    ASSERT_TRUE(m_session.FlashAccess(AP_FLASH_BURST_LATER, ACCESS_MODE_ENTIRE, 0, 12288, nullptr));
    EXPECT_EQ(m_session.BurstFlashTransfer(BURST_READ_TO_FILE, 12288, nullptr, 0, &done), 0u);
    EXPECT_EQ(writer.Bytes, data);
    EXPECT_EQ(m_observer.Status.front(), "Status: Read");

    // The second chunk cannot be written whole: the dump stops there.
    writer = CCollectingWriter();
    writer.Room = 5000;
    ASSERT_TRUE(m_session.FlashAccess(AP_FLASH_BURST_LATER, ACCESS_MODE_ENTIRE, 0, 12288, nullptr));
    EXPECT_EQ(m_session.BurstFlashTransfer(BURST_READ_TO_FILE, 12288, nullptr, 0, &done), 8192u);
    EXPECT_EQ(done, 4096u);
    EXPECT_TRUE(m_diagnostics.Contains("FlashRead -- Read data fail, data(0x00001000~0x00002000) \n"));

    // A short answer is not taken as data: the dump stops before it.
    writer = CCollectingWriter();
    SimFaults shortAnswer;
    shortAnswer.ShortAnswerAt = 2;
    shortAnswer.ShortAnswerBytes = 100;
    m_device->ArmFaults(shortAnswer);
    m_diagnostics.Clear();
    ASSERT_TRUE(m_session.FlashAccess(AP_FLASH_BURST_LATER, ACCESS_MODE_ENTIRE, 0, 12288, nullptr));
    EXPECT_EQ(m_session.BurstFlashTransfer(BURST_READ_TO_FILE, 12288, nullptr, 0, &done), 8192u);
    EXPECT_EQ(writer.Bytes, std::vector<uint8_t>(data.begin(), data.begin() + 4096));
    EXPECT_TRUE(m_diagnostics.Contains("BURST_FLASH_READ refused: the device answered 100 of 4096 bytes\n"));

    // A refused read report ends the burst with the chunks before it.
    writer = CCollectingWriter();
    SimFaults faults;
    faults.FailAtRequest = 4;   // mode, length, first read, then the second read
    m_device->ArmFaults(faults);
    ASSERT_TRUE(m_session.FlashAccess(AP_FLASH_BURST_LATER, ACCESS_MODE_ENTIRE, 0, 12288, nullptr));
    EXPECT_EQ(m_session.BurstFlashTransfer(BURST_READ_TO_FILE, 12288, nullptr, 0, &done), 8192u);
    EXPECT_EQ(writer.Bytes.size(), 4096u);
    EXPECT_TRUE(m_diagnostics.Contains("Unknown error: Couldn't execute BURST_FLASH_READ function\n"));
    // The burst writes its own line only, not the data row's.
    EXPECT_FALSE(m_diagnostics.Contains("Unknown error: Couldn't execute REPORT_FLASH_READ function\n"));
    m_session.SetFileWriter(nullptr);
}

TEST_F(BurstTest, RefusedAnnouncementStopsAtItsStep)
{
    SimFaults faults;
    faults.FailAtRequest = 2;
    m_device->ArmFaults(faults);
    EXPECT_FALSE(m_session.FlashAccess(AP_FLASH_BURST_LATER, ACCESS_MODE_ENTIRE, 0, 4096, nullptr));
    EXPECT_TRUE(m_diagnostics.Contains("Unknown error: Couldn't execute REPORT_FLASH_SET_LEN function\n"));
    EXPECT_EQ(Log().size(), 2u);
}

} // namespace
