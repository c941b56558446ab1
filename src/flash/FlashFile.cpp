#include "FlashFile.h"

#include "Diagnostics.h"
#include "FlashImage.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Images are held with one extra zero byte; the length must stay a u32.
constexpr uint64_t kLargestImage = 0xFFFFFFFEu;

const char kDiskFullText[] =
    "The disk containing dump file has run out of space, so the dump filter has been stopped."
    "\r\n\r\nYou must set a new dump file name or restart the graph to clear this filter error.";

bool IsDiskFull(int error)
{
#ifdef EDQUOT
    if (error == EDQUOT)
        return true;
#endif
    return error == ENOSPC;
}

} // namespace

CFlashFile::CFlashFile(CMessageSink* messages) : m_pMessages(messages) {}

CFlashFile::~CFlashFile()
{
    CloseFlashFile();
}

bool CFlashFile::SetFilePath(const char* path)
{
    if (!path || !*path)
        return false;
    const size_t length = strnlen(path, kFlashFilePathSize);
    if (length >= kFlashFilePathSize)
        return false;
    std::memcpy(m_szFilePath, path, length + 1);
    return true;
}

int CFlashFile::OpenFlashFile(bool forReading)
{
    if (m_hFile >= 0)
        return 0;
    if (!m_szFilePath[0])
        return -ENOENT;
    // A burn file must already exist; a dump file is created or emptied.
    const int flags = forReading ? O_RDONLY | O_CLOEXEC : O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
    int fd = -1;
    do {
        fd = ::open(m_szFilePath, flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -errno;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
        ::close(fd);
        return -error;
    }
    m_hFile = fd;
    m_bOpenForReading = forReading;
    m_nBytesWritten = 0;
    const uint64_t size = FileSize();
    DebugOutputF("FileSize %s = [%d] [%d]\n", forReading ? "READ" : "WRITE",
                 static_cast<int>(static_cast<uint32_t>(size >> 32)),
                 static_cast<int>(static_cast<uint32_t>(size)));
    return 0;
}

int CFlashFile::CloseFlashFile()
{
    delete[] g_pImage;
    g_pImage = nullptr;
    g_nImageLength = 0;
    if (m_hFile >= 0) {
        if (!m_bOpenForReading)
            ::fdatasync(m_hFile);
        ::close(m_hFile);
        m_hFile = -1;
    }
    return 0;
}

uint32_t CFlashFile::ReadFlashFile(uint8_t* buffer, uint32_t count)
{
    if (m_hFile < 0 || !buffer)
        return 0;
    uint32_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(m_hFile, buffer + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ReportFileError(errno);
            break;
        }
        if (n == 0)
            break;   // end of file
        done += static_cast<uint32_t>(n);
    }
    return done;
}

uint32_t CFlashFile::WriteFlashFile(const uint8_t* data, uint32_t count)
{
    if (m_hFile < 0 || !data)
        return 0;
    uint32_t done = 0;
    int error = 0;
    while (done < count) {
        const ssize_t n = ::write(m_hFile, data + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<uint32_t>(n);
    }
    m_nBytesWritten += done;
    if (error)
        ReportFileError(error);
    // Flush after every write, successful or not. Data the disk did not take
    // are not written: a failed flush fails the write (files that cannot be
    // flushed, such as pipes and devices, are written as they are).
    if (::fdatasync(m_hFile) != 0 && errno != EINVAL && errno != EROFS) {
        const int syncError = errno;
        if (!error)
            ReportFileError(syncError);
        return 0;
    }
    return done;
}

int CFlashFile::ReportFileError()
{
    return ReportFileError(errno);
}

int CFlashFile::ReportFileError(int error)
{
    if (IsDiskFull(error) && m_pMessages)
        m_pMessages->ShowMessage(kDiskFullText, "Dump Filter failure", MessageIcon::Warning);
    return error ? -error : 0;
}

int CFlashFile::LoadImageFile(const char* path)
{
    CloseFlashFile();
    if (!SetFilePath(path)) {
        DebugOutput("Burn file name is empty or too long\n");
        errno = path && *path ? ENAMETOOLONG : ENOENT;
        return 0;
    }
    const int opened = OpenFlashFile(true);
    if (opened != 0) {
        DebugOutputF("Cannot open %s: %s\n", m_szFilePath, std::strerror(-opened));
        errno = -opened;   // for the caller's message
        return 0;
    }
    const uint64_t size = FileSize();
    if (size > kLargestImage) {
        DebugOutputF("%s is too large for an image (%llu bytes)\n", m_szFilePath,
                     static_cast<unsigned long long>(size));
        CloseFlashFile();
        return 0;
    }
    const auto length = static_cast<uint32_t>(size);
    g_pImage = new (std::nothrow) uint8_t[static_cast<size_t>(length) + 1]();
    if (!g_pImage) {
        DebugOutputF("No memory for an image of %u bytes\n", length);
        CloseFlashFile();
        return 0;
    }
    g_nImageLength = ReadFlashFile(g_pImage, length);
    // An image that could not be read whole is not an image of the file: it
    // would be burnt short.
    if (g_nImageLength != length) {
        DebugOutputF("Read %u of %u bytes of %s\n", g_nImageLength, length, m_szFilePath);
        CloseFlashFile();
        return 0;
    }
    return 1;
}

int CFlashFile::CreateDumpFile(const char* path)
{
    CloseFlashFile();
    if (!SetFilePath(path)) {
        DebugOutput("Dump file name is empty or too long\n");
        errno = path && *path ? ENAMETOOLONG : ENOENT;
        return 0;
    }
    const int opened = OpenFlashFile(false);
    if (opened != 0) {
        DebugOutputF("Cannot create %s: %s\n", m_szFilePath, std::strerror(-opened));
        errno = -opened;   // for the caller's message
        return 0;
    }
    return 1;
}

uint64_t CFlashFile::FileSize() const
{
    struct stat info {};
    if (m_hFile < 0 || ::fstat(m_hFile, &info) != 0 || info.st_size < 0)
        return 0;
    return static_cast<uint64_t>(info.st_size);
}
