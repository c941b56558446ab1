// Exchanges from several threads never interleave.
#include "ProtocolFixture.h"

#include <atomic>
#include <thread>

namespace {

using ThreadTest = ProtocolTest;

TEST_F(ThreadTest, RegisterReadsFromTwoThreadsKeepTheirPairs)
{
    Open();
    m_device->SetRegister(0x100, 0x11111111);
    m_device->SetRegister(0x200, 0x22222222);
    std::atomic<int> wrong{0};
    auto reader = [&](uint32_t address, uint32_t expected) {
        for (int i = 0; i < 300; ++i) {
            uint32_t value = 0;
            if (!m_session.RegisterAccess(OP_REG_READ, address, &value) || value != expected)
                ++wrong;
        }
    };
    std::thread a(reader, 0x100, 0x11111111u);
    std::thread b(reader, 0x200, 0x22222222u);
    a.join();
    b.join();
    EXPECT_EQ(wrong.load(), 0);
    // Every input request follows the output report of its own exchange.
    const auto log = Log();
    ASSERT_EQ(log.size(), 1200u);
    for (size_t i = 0; i < log.size(); i += 2) {
        EXPECT_TRUE(log[i].IsOutput);
        EXPECT_FALSE(log[i + 1].IsOutput);
    }
}

TEST_F(ThreadTest, HeldDeviceKeepsOtherCommandsOutOfABurst)
{
    Open();
    const uint32_t total = 16 * 4096;
    std::vector<uint8_t> image(total, 0x3C);
    std::atomic<bool> started{false};
    std::thread worker([&] {
        CDeviceHold hold = m_session.HoldDevice();
        started = true;
        uint32_t done = 0;
        m_session.FlashAccess(AP_FLASH_BURST_LATER, ACCESS_MODE_ENTIRE, 0, total, nullptr);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        m_session.BurstFlashTransfer(BURST_WRITE, total, image.data(), 0, &done);
    });
    while (!started)
        std::this_thread::yield();
    uint32_t value = 0;
    for (int i = 0; i < 20; ++i)
        EXPECT_TRUE(m_session.RegisterAccess(OP_REG_READ, 0x54, &value));
    worker.join();

    // The announcement and its 16 data reports are contiguous.
    const auto log = Log();
    size_t announce = 0;
    for (size_t i = 0; i < log.size(); ++i)
        if (log[i].IsOutput && log[i].Bytes.size() > 2 && log[i].ReportId == 2 && log[i].Bytes[2] == 3)
            announce = i;
    ASSERT_LT(announce + 17, log.size() + 1);
    for (size_t i = announce + 2; i < announce + 18; ++i)
        EXPECT_EQ(log[i].ReportId, 1) << i;
    EXPECT_EQ(m_device->FlashBytes(0, total), image);
}

} // namespace
