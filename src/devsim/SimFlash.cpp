#include "SimFlash.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

CSimFlash::~CSimFlash()
{
    Close();
}

bool CSimFlash::Open(uint32_t size, const std::string& path, std::string& error)
{
    Close();
    if (size == 0) {
        error = "the simulated flash chip has no size";
        return false;
    }
    if (path.empty()) {
        m_memory.assign(size, 0xFF);
        m_pData = m_memory.data();
        m_nSize = size;
        return true;
    }

    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot open flash file '" + path + "': " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "flash file '" + path + "' is not a regular file";
        ::close(fd);
        return false;
    }
    const bool fresh = st.st_size == 0;
    if (!fresh && static_cast<uint64_t>(st.st_size) != size) {
        error = "flash file '" + path + "' has " + std::to_string(st.st_size) +
                " bytes but the simulated chip holds " + std::to_string(size) + " bytes";
        ::close(fd);
        return false;
    }
    if (fresh && ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        error = "cannot size flash file '" + path + "': " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    void* mapped = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED) {
        error = "cannot map flash file '" + path + "': " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_pData = static_cast<uint8_t*>(mapped);
    m_nSize = size;
    if (fresh) {
        std::memset(m_pData, 0xFF, size);
        Flush();
    }
    return true;
}

void CSimFlash::Flush()
{
    if (m_fd >= 0 && m_pData)
        ::msync(m_pData, m_nSize, MS_SYNC);
}

void CSimFlash::Close()
{
    if (m_fd >= 0) {
        Flush();
        ::munmap(m_pData, m_nSize);
        ::close(m_fd);
        m_fd = -1;
    }
    m_memory.clear();
    m_memory.shrink_to_fit();
    m_pData = nullptr;
    m_nSize = 0;
}
