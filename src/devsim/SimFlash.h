// The storage behind the simulated SPI NOR flash: either plain memory or a
// file mapped shared into memory, so every byte the device programs is in the
// file at once (write-through) and survives the process however it ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CSimFlash
{
public:
    CSimFlash() = default;
    ~CSimFlash();
    CSimFlash(const CSimFlash&) = delete;
    CSimFlash& operator=(const CSimFlash&) = delete;

    // Prepares `size` bytes of erased flash (0xFF). With an empty path the
    // flash lives in memory. With a path the file is used as the flash: a
    // missing or empty file is created at `size` bytes of 0xFF, an existing
    // file must have exactly `size` bytes. False with a readable reason otherwise.
    bool Open(uint32_t size, const std::string& path, std::string& error);
    void Close();

    uint8_t* Data() { return m_pData; }
    const uint8_t* Data() const { return m_pData; }
    uint32_t Size() const { return m_nSize; }
    bool IsFileBacked() const { return m_fd >= 0; }

    // Asks the system to write the mapped file out now (a no-op in memory).
    void Flush();

private:
    std::vector<uint8_t> m_memory;
    uint8_t* m_pData = nullptr;
    uint32_t m_nSize = 0;
    int m_fd = -1;
};
