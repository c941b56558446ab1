// The one burn-or-dump file: its path, its handle and the loaded image share
// one life. Choosing either file closes the other. The image is process-wide
// (g_pImage), so a process has one CFlashFile (its CFlashProgrammer's).
#pragma once

#include "DeviceSession.h"

#include <cstddef>
#include <cstdint>

enum class MessageIcon
{
    Error,
    Information,
    Warning,
};

// How the flash code shows a message box (text, caption, icon). The dialog
// shows real boxes; the command-line tool prints a line.
class CMessageSink
{
public:
    virtual ~CMessageSink() = default;
    virtual void ShowMessage(const char* text, const char* caption, MessageIcon icon) = 0;
};

constexpr size_t kFlashFilePathSize = 4096;

class CFlashFile : public CFlashFileWriter
{
public:
    explicit CFlashFile(CMessageSink* messages = nullptr);
    ~CFlashFile() override;   // closes the file and frees the image
    CFlashFile(const CFlashFile&) = delete;
    CFlashFile& operator=(const CFlashFile&) = delete;

    void SetMessageSink(CMessageSink* messages) { m_pMessages = messages; }

    // Sets the path of the file to open next; false (path unchanged) when it is
    // empty or too long.
    bool SetFilePath(const char* path);
    const char* FilePath() const { return m_szFilePath; }
    bool IsOpen() const { return m_hFile >= 0; }
    // True when the file is open in that direction (a burn needs the burn file
    // with its image, a dump the dump file).
    bool IsOpenFor(bool reading) const { return m_hFile >= 0 && m_bOpenForReading == reading; }

    // 0 when opened (or already open); otherwise the failure as a negative errno.
    // Reading opens an existing file only; writing creates or empties it.
    int OpenFlashFile(bool forReading);
    int CloseFlashFile();   // frees the image too; always 0
    uint32_t ReadFlashFile(uint8_t* buffer, uint32_t count);
    // Writes, then flushes to the disk (after every write, successful or not).
    uint32_t WriteFlashFile(const uint8_t* data, uint32_t count) override;
    // Shows the "Dump Filter failure" box when errno is a full disk (or an
    // exhausted quota). Returns the error as a negative errno.
    int ReportFileError();

    // Loads the whole burn file into g_pImage / g_nImageLength (after closing
    // what was open). 0 when the file cannot be opened, read whole or is too
    // large; nothing is open then.
    int LoadImageFile(const char* path);
    // Creates (or empties) the dump file at once (after closing what was open).
    // 0 when it cannot be created; nothing is open then.
    int CreateDumpFile(const char* path);

    uint64_t FileSize() const;   // size of the open file
    // Bytes written (and flushed) to the file since it was opened.
    uint64_t BytesWritten() const { return m_nBytesWritten; }

    int m_hFile = -1;
    char m_szFilePath[kFlashFilePathSize] = {};

private:
    int ReportFileError(int error);

    CMessageSink* m_pMessages;
    bool m_bOpenForReading = false;
    uint64_t m_nBytesWritten = 0;
};
