// No memory is allocated per exchange: the buffers are allocated when the
// device is opened. Counts every allocation of the process while commands run
// against a simulated device whose request log is switched off.
#include "ProtocolFixture.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<size_t> g_allocations{0};
}

namespace {
void* CountedAllocation(size_t size) noexcept
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size ? size : 1);
}
} // namespace

// Every form of the global allocation functions, so that all of them pair up.
void* operator new(size_t size)
{
    if (void* p = CountedAllocation(size))
        return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size)
{
    if (void* p = CountedAllocation(size))
        return p;
    throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept { return CountedAllocation(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return CountedAllocation(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

using AllocationTest = ProtocolTest;

TEST_F(AllocationTest, ExchangesAllocateNothing)
{
    Open();
    m_device->SetLogging(false);
    m_device->SetRegister(0x100, 0);   // the device's own register map allocates on first use
    std::vector<uint8_t> image(64 * 1024, 0x5A);
    uint8_t block[4096];
    uint32_t value = 0x12345678;
    uint32_t done = 0;
    uint8_t iic[8] = {0x10, 0x20};
    char version[kFirmwareVersionTextSize];

    const size_t before = g_allocations.load();
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(m_session.RegisterAccess(OP_REG_WRITE, 0x100, &value));
        ASSERT_TRUE(m_session.RegisterAccess(OP_REG_READ, 0x100, &value));
        ASSERT_TRUE(m_session.IicAccess(OP_IIC_WRITE, 0x90, 2, iic, 0));
        ASSERT_TRUE(m_session.GetFirmwareVersion(version));
    }
    ASSERT_TRUE(m_session.FlashAccess(AP_FLASH_READ, ACCESS_MODE_DIRECT, 0x70000, 4096, block));
    ASSERT_TRUE(m_session.FlashAccess(AP_FLASH_BURST_LATER, ACCESS_MODE_ENTIRE, 0, 65536, nullptr));
    ASSERT_EQ(m_session.BurstFlashTransfer(BURST_WRITE, 65536, image.data(), 0, &done), 0u);
    EXPECT_EQ(g_allocations.load() - before, 0u);
}

} // namespace
