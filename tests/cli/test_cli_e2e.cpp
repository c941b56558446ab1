// The real `pellaro` executable against the simulated device with its flash
// kept in a file: what a production line runs, end to end.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr uint32_t kChipSize = 0x400000;   // chip row 41, 4 MB
const char kChipRow[] = "41";

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A full-chip image with a firmware header: header length 0x100, boot size
// 0x20000 (0x30000 bytes once padded to 64 KB sectors).
std::vector<uint8_t> SampleImage()
{
    std::vector<uint8_t> image(kChipSize);
    for (uint32_t i = 0; i < kChipSize; ++i)
        image[i] = static_cast<uint8_t>(i ^ (i >> 8) ^ (i >> 16));
    const uint8_t header[] = {0x00, 0x00, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00};
    std::copy(std::begin(header), std::end(header), image.begin() + 0x18000C);
    return image;
}

struct Finished
{
    int Status = -1;
    std::string Out;
    std::string Err;
};

class CliE2E : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/pellaro-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        m_flash = Path("flash.bin");
        m_image = Path("image.bin");
        WriteFile(m_image, SampleImage());
    }
    void TearDown() override
    {
        const std::string command = "rm -rf '" + m_dir + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }

    std::string Path(const std::string& name) const { return m_dir + "/" + name; }

    // The simulated device with the chip and the flash file of the test.
    std::vector<std::string> Sim(std::vector<std::string> args) const
    {
        args.insert(args.begin(), {"--sim", "--sim-chip", kChipRow, "--sim-flash", m_flash});
        return args;
    }

    pid_t Start(const std::vector<std::string>& args)
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, Path("stdout").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, Path("stderr").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<char*> argv{const_cast<char*>(PELLARO_EXE)};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        pid_t pid = -1;
        const int error = posix_spawn(&pid, PELLARO_EXE, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(error, 0);
        return pid;
    }

    Finished Wait(pid_t pid)
    {
        Finished f;
        int status = 0;
        if (waitpid(pid, &status, 0) == pid)
            f.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        const std::vector<uint8_t> out = ReadFile(Path("stdout"));
        const std::vector<uint8_t> err = ReadFile(Path("stderr"));
        f.Out.assign(out.begin(), out.end());
        f.Err.assign(err.begin(), err.end());
        return f;
    }

    Finished Run(const std::vector<std::string>& args) { return Wait(Start(args)); }

    // Waits until the running command's standard error shows `text`.
    bool WaitForErr(const std::string& text)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            const std::vector<uint8_t> err = ReadFile(Path("stderr"));
            if (std::string(err.begin(), err.end()).find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    std::string m_dir;
    std::string m_flash;
    std::string m_image;
};

TEST_F(CliE2E, BurnThenDumpGivesTheImageBack)
{
    const Finished burn = Run(Sim({"burn", m_image}));
    ASSERT_EQ(burn.Status, 0) << burn.Err;
    EXPECT_EQ(burn.Out, "The entire flash has updated, please replug-in device!\n");
    // Plain progress lines when standard error is not a terminal.
    EXPECT_NE(burn.Err.find("Write: 100% (4194304 of 4194304 bytes)"), std::string::npos) << burn.Err;
    EXPECT_NE(burn.Err.find("Compare: 100% (4194304 of 4194304 bytes)"), std::string::npos) << burn.Err;

    const std::string dumped = Path("dump.bin");
    const Finished dump = Run(Sim({"dump", dumped}));
    ASSERT_EQ(dump.Status, 0) << dump.Err;
    EXPECT_NE(dump.Out.find("Dumped 4194304 bytes of WIN_W25Q32BV into " + dumped), std::string::npos);
    EXPECT_TRUE(ReadFile(dumped) == SampleImage());
}

TEST_F(CliE2E, FirmwareBurnSetsTheFlagByteAfterItsCompare)
{
    const Finished burn = Run(Sim({"burn", "--firmware", m_image}));
    ASSERT_EQ(burn.Status, 0) << burn.Err;
    EXPECT_EQ(burn.Out, "- Firmware Area\nhas updated, please replug-in device!\n");
    const std::vector<uint8_t> flash = ReadFile(m_flash);
    const std::vector<uint8_t> image = SampleImage();
    ASSERT_EQ(flash.size(), kChipSize);
    EXPECT_EQ(flash[0x70000], 1);
    EXPECT_EQ(flash[0x70001], 0xFF);   // the rest of the block as it was
    EXPECT_TRUE(std::equal(image.begin() + 0x180000, image.begin() + 0x1B0000, flash.begin() + 0x180000));
    EXPECT_EQ(flash[0x1B0000], 0xFF);   // nothing beyond the padded firmware
    EXPECT_EQ(flash[0x0], 0xFF);
}

TEST_F(CliE2E, VerifyFindsOneChangedByteAndNamesItsRange)
{
    ASSERT_EQ(Run(Sim({"burn", m_image})).Status, 0);
    const Finished same = Run(Sim({"verify", m_image}));
    EXPECT_EQ(same.Status, 0) << same.Err;
    EXPECT_EQ(same.Out, "The flash matches " + m_image + " (the entire image).\n");

    std::vector<uint8_t> flash = ReadFile(m_flash);
    flash[0x234567] ^= 0x10;
    WriteFile(m_flash, flash);
    const Finished changed = Run(Sim({"verify", m_image}));
    EXPECT_EQ(changed.Status, 1);
    EXPECT_NE(changed.Err.find("pellaro: verify: the flash differs from " + m_image +
                               " in 0x00234000~0x00235000 (the entire image)\n"),
              std::string::npos)
        << changed.Err;
    // Verify writes nothing.
    EXPECT_TRUE(ReadFile(m_flash) == flash);
}

TEST_F(CliE2E, ExitStatusesAndOneErrorLine)
{
    const struct
    {
        std::vector<std::string> Args;
        int Status;
    } cases[] = {
        {{"--sim", "--bogus", "info"}, 2},
        {{"--sim", "reg", "read", "nothex"}, 2},
        {{"--sim", "burn", "/nonexistent/image.bin"}, 2},
        {{"--sim", "--vid", "1", "info"}, 3},
        {{"--sim", "--sim-fail-at", "2", "reg", "read", "54"}, 1},
        {Sim({"--sim-fail-at", "100", "burn", m_image}), 1},
        {{"--sim", "dump", "/nonexistent/dir/dump.bin"}, 1},
        {{"--sim", "iic", "write", "40", "01", "02"}, 1},   // no peripheral acknowledges at 0x40
        {Sim({"dump", "--force", m_flash}), 2},             // the simulated flash itself
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Args.back());
        const Finished f = Run(c.Args);
        EXPECT_EQ(f.Status, c.Status) << f.Err;
        // The last line of standard error names what failed.
        const size_t last = f.Err.rfind("\npellaro: ");
        EXPECT_TRUE(f.Err.rfind("pellaro: ", 0) == 0 || last != std::string::npos) << f.Err;
    }
}

TEST_F(CliE2E, RefusedDataReportFailsTheBurnEvenWhenTheCompareMatches)
{
    ASSERT_EQ(Run(Sim({"burn", m_image})).Status, 0);
    // The flash already holds the image: the compare passes after a refused write.
    const Finished f = Run(Sim({"--sim-fail-at", "100", "burn", m_image}));
    EXPECT_EQ(f.Status, 1) << f.Err;
    EXPECT_NE(f.Err.find("refused a data report"), std::string::npos) << f.Err;
}

TEST_F(CliE2E, TraceShowsTheRegisterWriteReport)
{
    const Finished f = Run({"--sim", "--trace", "reg", "write", "0x03FF0000", "0xF6000000"});
    EXPECT_EQ(f.Status, 0);
    EXPECT_EQ(f.Err, "hid> 16 02 0a 00 00 00 ff 03 00 00 00 f6 00 00 00 00 00\n");
    EXPECT_EQ(f.Out, "");
}

TEST_F(CliE2E, InterruptedDumpKeepsTheChunksReadSoFar)
{
    ASSERT_EQ(Run(Sim({"burn", m_image})).Status, 0);
    const std::string dumped = Path("dump.bin");
    const pid_t pid = Start(Sim({"--sim-latency-us", "1000", "dump", dumped}));
    ASSERT_TRUE(WaitForErr("Read: 10%"));
    kill(pid, SIGINT);
    const Finished f = Wait(pid);
    EXPECT_EQ(f.Status, 1);
    EXPECT_NE(f.Err.find("stop requested: the dump stops after the chunk under way"), std::string::npos)
        << f.Err;
    const std::vector<uint8_t> kept = ReadFile(dumped);
    ASSERT_GT(kept.size(), 0u);
    ASSERT_LT(kept.size(), kChipSize);
    EXPECT_EQ(kept.size() % 4096, 0u);
    EXPECT_NE(f.Err.find("holds the first " + std::to_string(kept.size()) + " of 4194304 bytes"),
              std::string::npos)
        << f.Err;
    const std::vector<uint8_t> image = SampleImage();
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), image.begin()));
}

TEST_F(CliE2E, InterruptedBurnFinishesTheRangeUnderWay)
{
    const pid_t pid = Start(Sim({"--sim-latency-us", "1000", "burn", m_image}));
    ASSERT_TRUE(WaitForErr("Write: 10%"));
    kill(pid, SIGINT);
    const Finished f = Wait(pid);
    EXPECT_EQ(f.Status, 1);
    EXPECT_NE(f.Err.find("stop requested: the range under way is finished first"), std::string::npos)
        << f.Err;
    // The write ran to its end; the compare did not start.
    EXPECT_NE(f.Err.find("Write: 100%"), std::string::npos) << f.Err;
    EXPECT_EQ(f.Err.find("Compare:"), std::string::npos) << f.Err;
    EXPECT_NE(f.Err.find("stopped on request"), std::string::npos) << f.Err;
    EXPECT_TRUE(ReadFile(m_flash) == SampleImage());
    EXPECT_EQ(f.Out, "");   // no completion message
}

TEST_F(CliE2E, BurnOutlivesAClosedOutputPipe)
{
    // A log reader that goes away in the middle of a burn must not end it.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    const std::vector<std::string> args = Sim({"--sim-latency-us", "500", "burn", m_image});
    std::vector<char*> argv{const_cast<char*>(PELLARO_EXE)};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, PELLARO_EXE, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string seen;
    char buffer[256];
    while (seen.find("Write: 10%") == std::string::npos) {
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        seen.append(buffer, static_cast<size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(ReadFile(m_flash) == SampleImage());
}

} // namespace
