// The one burn-or-dump file: opening, loading the image, writing and the
// full-disk report.
#include "Diagnostics.h"
#include "FlashFile.h"
#include "FlashImage.h"
#include "FlashTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace {

using flashtest::CMessageRecorder;
using flashtest::CScratchDir;
using flashtest::Message;

const char kDiskFullText[] =
    "The disk containing dump file has run out of space, so the dump filter has been stopped."
    "\r\n\r\nYou must set a new dump file name or restart the graph to clear this filter error.";

TEST(FlashFile, LoadsTheWholeImageWithATrailingZeroAndLogsItsSize)
{
    CScratchDir dir;
    CDiagnosticsCapture capture;
    CMessageRecorder messages;
    const std::vector<uint8_t> bytes = flashtest::RandomBytes(1048576, 7);
    flashtest::WriteBytes(dir.File("image.bin"), bytes);

    CFlashFile file(&messages);
    ASSERT_TRUE(file.LoadImageFile(dir.File("image.bin").c_str()));
    EXPECT_TRUE(capture.Contains("FileSize READ = [0] [1048576]\n"));
    EXPECT_TRUE(file.IsOpenFor(true));
    ASSERT_NE(g_pImage, nullptr);
    ASSERT_EQ(g_nImageLength, 1048576u);
    EXPECT_EQ(std::vector<uint8_t>(g_pImage, g_pImage + g_nImageLength), bytes);
    EXPECT_EQ(g_pImage[g_nImageLength], 0);

    // Opening again while open changes nothing.
    const int handle = file.m_hFile;
    EXPECT_EQ(file.OpenFlashFile(false), 0);
    EXPECT_EQ(file.m_hFile, handle);
    EXPECT_TRUE(file.IsOpenFor(true));

    // Choosing a dump file closes the burn file and frees the image.
    ASSERT_TRUE(file.CreateDumpFile(dir.File("dump.bin").c_str()));
    EXPECT_EQ(g_pImage, nullptr);
    EXPECT_TRUE(file.IsOpenFor(false));
    EXPECT_TRUE(capture.Contains("FileSize WRITE = [0] [0]\n"));

    EXPECT_EQ(file.CloseFlashFile(), 0);
    EXPECT_EQ(file.CloseFlashFile(), 0);
    EXPECT_FALSE(file.IsOpen());
    uint8_t byte = 1;
    EXPECT_EQ(file.ReadFlashFile(&byte, 1), 0u);
    EXPECT_EQ(file.WriteFlashFile(&byte, 1), 0u);
    EXPECT_TRUE(messages.Messages().empty());
}

TEST(FlashFile, ChoosingAFileThatCannotBeUsedLeavesNothingOpen)
{
    CScratchDir dir;
    CDiagnosticsCapture capture;
    flashtest::WriteBytes(dir.File("image.bin"), std::vector<uint8_t>(100, 1));
    CFlashFile file;
    ASSERT_TRUE(file.LoadImageFile(dir.File("image.bin").c_str()));

    // A missing burn file is not created.
    const std::string missing = dir.File("missing.bin");
    EXPECT_FALSE(file.LoadImageFile(missing.c_str()));
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(g_pImage, nullptr);

    const std::string tooLong(kFlashFilePathSize, 'a');
    for (const char* path : {"", tooLong.c_str()}) {
        ASSERT_TRUE(file.LoadImageFile(dir.File("image.bin").c_str()));
        EXPECT_FALSE(file.LoadImageFile(path));
        EXPECT_FALSE(file.IsOpen());
        EXPECT_EQ(g_pImage, nullptr);
    }
    EXPECT_FALSE(file.CreateDumpFile(dir.File("no/such/dir/dump.bin").c_str()));
    EXPECT_FALSE(file.IsOpen());
}

TEST(FlashFile, ADumpFileIsEmptiedWhenChosenAndKeepsEveryWrite)
{
    CScratchDir dir;
    CDiagnosticsCapture capture;
    const std::string path = dir.File("dump.bin");
    flashtest::WriteBytes(path, std::vector<uint8_t>(5000, 0x11));

    CFlashFile file;
    ASSERT_TRUE(file.CreateDumpFile(path.c_str()));
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
    const std::vector<uint8_t> data = flashtest::RandomBytes(3000, 3);
    EXPECT_EQ(file.WriteFlashFile(data.data(), 1000), 1000u);
    EXPECT_EQ(file.WriteFlashFile(data.data() + 1000, 2000), 2000u);
    EXPECT_EQ(file.BytesWritten(), 3000u);
    // Each write is on the disk before the next: readable while still open.
    EXPECT_EQ(flashtest::ReadBytes(path), data);
    file.CloseFlashFile();
    EXPECT_EQ(flashtest::ReadBytes(path), data);
}

TEST(FlashFile, AFullDiskIsReportedOncePerFailedWriteAndOtherErrorsAreNot)
{
    CDiagnosticsCapture capture;
    CMessageRecorder messages;
    CFlashFile file(&messages);
    ASSERT_TRUE(file.CreateDumpFile("/dev/full"));
    const uint8_t data[64] = {1, 2, 3};
    EXPECT_EQ(file.WriteFlashFile(data, sizeof data), 0u);
    EXPECT_EQ(file.WriteFlashFile(data, sizeof data), 0u);
    const Message full{kDiskFullText, "Dump Filter failure", MessageIcon::Warning};
    EXPECT_EQ(messages.Messages(), (std::vector<Message>{full, full}));
    file.CloseFlashFile();

    // Writing to a file opened for reading fails, but not for want of space.
    CScratchDir dir;
    flashtest::WriteBytes(dir.File("image.bin"), std::vector<uint8_t>(10, 0));
    messages.ClearMessages();
    ASSERT_TRUE(file.LoadImageFile(dir.File("image.bin").c_str()));
    EXPECT_EQ(file.WriteFlashFile(data, sizeof data), 0u);
    EXPECT_TRUE(messages.Messages().empty());
}

} // namespace
