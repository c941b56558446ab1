// The command-line tool run in the test process against the simulated device:
// argument handling, the output of each subcommand, the trace, the progress
// display and the JSON output.
#include "CliRun.h"
#include "HidSimBackend.h"
#include "SimDevice.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <unistd.h>

namespace {

// The simulated device with a small chip (row 34, 256 KB) keeps the runs light.
std::vector<std::string> Sim(std::vector<std::string> args)
{
    args.insert(args.begin(), {"--sim", "--sim-chip", "34"});
    return args;
}

class CTempDir
{
public:
    CTempDir()
    {
        char pattern[] = "/tmp/pellaro-cli-XXXXXX";
        m_path = mkdtemp(pattern);
    }
    ~CTempDir()
    {
        for (const std::string& file : m_files)
            unlink(file.c_str());
        rmdir(m_path.c_str());
    }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        const std::string path = File(name);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    std::string File(const std::string& name)
    {
        m_files.push_back(m_path + "/" + name);
        return m_files.back();
    }

private:
    std::string m_path;
    std::vector<std::string> m_files;
};

TEST(CliUsage, RefusesBadCommandLinesWithOneLineAndStatus2)
{
    const std::vector<std::vector<std::string>> cases = {
        {"info", "--bogus"},
        {"frobnicate"},
        {},
        {"reg"},
        {"reg", "peek", "54"},
        {"reg", "read"},
        {"reg", "read", "54", "58"},
        {"reg", "read", "0x1G"},
        {"reg", "write", "54", "100000000"},
        {"--vid", "10000", "info"},
        {"--pid"},
        {"--sim-chip", "44", "info"},
        {"iic", "read", "90", "05", "0"},
        {"iic", "write", "90", "100"},
        {"gpio", "read", "4"},
        {"gpio", "write", "1", "2"},
        {"gpio", "dir", "1", "sideways"},
        {"burn", "image.bin", "--entire", "--firmware"},
        {"verify", "image.bin", "--entire", "--firmware"},
        {"caps", "--descriptor"},
        {"--json=yes", "info"},
    };
    for (const auto& args : cases) {
        std::string joined;
        for (const auto& a : args)
            joined += a + " ";
        SCOPED_TRACE(joined);
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.Status, CLI_EXIT_USAGE);
        EXPECT_TRUE(r.Out.empty());
        ASSERT_FALSE(r.Err.empty());
        if (!args.empty()) {
            EXPECT_EQ(r.ErrLines().size(), 1u) << r.Err;
            EXPECT_EQ(r.Err.rfind("pellaro: ", 0), 0u) << r.Err;
        }
    }
}

TEST(CliUsage, GlobalOptionsGoBeforeOrAfterTheCommand)
{
    const CliResult before = RunCli(Sim({"--json", "reg", "read", "0x54"}));
    const CliResult after = RunCli({"reg", "--sim-chip=34", "read", "--json", "54", "--sim"});
    EXPECT_EQ(before.Status, CLI_EXIT_OK) << before.Err;
    EXPECT_EQ(after.Status, CLI_EXIT_OK) << after.Err;
    EXPECT_EQ(before.Out, "{\"address\":84,\"value\":257}\n");
    EXPECT_EQ(after.Out, before.Out);
}

TEST(CliUsage, HelpOnEveryLevelAndVersion)
{
    const struct
    {
        std::vector<std::string> Args;
        std::string Expected;
    } cases[] = {
        {{"--help"}, "Usage: pellaro [OPTIONS] COMMAND"},
        {{"help"}, "iic read DEV REG [COUNT]"},
        {{"-h"}, "--sim-fail-at K"},
        {{"help", "burn"}, "Usage: pellaro [OPTIONS] burn IMAGE [--entire | --firmware --private --customized]"},
        {{"burn", "--help"}, "range\nunder way is finished"},
        {{"reg", "--help"}, "reg write ADDR VALUE"},
        {{"gpio", "read", "-h"}, "Usage: pellaro [OPTIONS] gpio read PIN"},
        {{"caps", "--help"}, "--descriptor FILE"},
        {{"--version"}, "pellaro (Pellaro Update Tool) 1.0.5.0\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Args[0]);
        const CliResult r = RunCli(c.Args);
        EXPECT_EQ(r.Status, CLI_EXIT_OK);
        EXPECT_NE(r.Out.find(c.Expected), std::string::npos) << r.Out;
        EXPECT_TRUE(r.Err.empty());
    }
    EXPECT_EQ(RunCli({"help", "nothing"}).Status, CLI_EXIT_USAGE);
}

TEST(CliDevice, CommandsPrintWhatTheDeviceAnswers)
{
    const struct
    {
        std::vector<std::string> Args;
        std::string Out;
    } cases[] = {
        {{"reg", "read", "0x58"}, "00000002\n"},
        {{"reg", "read", "60"}, "00001234\n"},
        {{"reg", "write", "1000", "0xdeadbeef"}, ""},
        {{"fw-version"}, "01.02.ff.34\n"},
        {{"hdmi-info"}, "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n"},
        {{"iic", "write", "90", "05", "7f"}, "result: 00\n"},
        {{"iic", "read", "90", "05", "3"}, "result: 00\ndata: 00 00 00\n"},
        {{"gpio", "dir", "3", "out"}, ""},
        {{"gpio", "read", "2"}, "0\n"},
        {{"--json", "gpio", "read", "2"}, "{\"pin\":2,\"level\":0}\n"},
        {{"--json", "fw-version"}, "{\"firmware_version\":\"01.02.ff.34\"}\n"},
        {{"--json", "iic", "read", "90", "05", "2"},
         "{\"device\":144,\"register\":5,\"result\":0,\"data\":[0,0]}\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Args[0] + " " + (c.Args.size() > 1 ? c.Args[1] : ""));
        const CliResult r = RunCli(Sim(c.Args));
        EXPECT_EQ(r.Status, CLI_EXIT_OK) << r.Err;
        EXPECT_EQ(r.Out, c.Out);
        EXPECT_TRUE(r.Err.empty()) << r.Err;
    }

    const CliResult drm = RunCli(Sim({"drm-info"}));
    EXPECT_EQ(drm.Out.size(), 64u * 3u);   // 64 bytes, single spaces, a line feed

    const CliResult id = RunCli(Sim({"get-id"}));
    EXPECT_EQ(id.Out, "Device Name:       NUMON_M25P20\n"
                      "Page Size:         256 bytes\n"
                      "Sector Size:       65536 bytes\n"
                      "Total Block:       4\n"
                      "Device ID:         34\n"
                      "Pages per Sector:  256\n"
                      "Sectors per block: 1\n"
                      "Total Size:        256 KB\n");

    const CliResult info = RunCli(Sim({"info"}));
    EXPECT_EQ(info.Out, "Device #3: VID: 0x32ED  PID: 0x3200  UsagePage: 0xFF00  Usage: 0x1\n"
                        "Path:     sim:3\n"
                        "Firmware: 01.02.ff.34\n"
                        "Flash:    NUMON_M25P20 (row 34, 256 KB)\n");
}

TEST(CliDevice, TraceShowsEachRequestInOrder)
{
    const CliResult write = RunCli(Sim({"--trace", "reg", "write", "0x03FF0000", "0xF6000000"}));
    EXPECT_EQ(write.Status, CLI_EXIT_OK);
    EXPECT_EQ(write.Err, "hid> 16 02 0a 00 00 00 ff 03 00 00 00 f6 00 00 00 00 00\n");

    const CliResult read = RunCli(Sim({"--trace", "reg", "read", "54"}));
    ASSERT_EQ(read.ErrLines().size(), 2u) << read.Err;
    EXPECT_EQ(read.ErrLines()[0], "hid> 16 02 06 01 54 00 00 00 00 00 00 00 00 00 00 00 00");
    // The answer as received, up to the slot length (ReportCount 15 + 1).
    EXPECT_EQ(read.ErrLines()[1], "hid< 0x0210 01 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00");

    // The arguments of iic read land in their bytes: device, count 1, register, read count.
    const CliResult iic = RunCli(Sim({"--trace", "iic", "read", "90", "a5", "2"}));
    ASSERT_EQ(iic.ErrLines().size(), 2u) << iic.Err;
    EXPECT_EQ(iic.ErrLines()[0].substr(0, 29), "hid> 64 03 06 07 90 01 a5 02 ");
    EXPECT_EQ(iic.ErrLines()[1].substr(0, 11), "hid< 0x0740");

    const CliResult failedOut = RunCli(Sim({"--trace", "--sim-fail-at", "1", "gpio", "dir", "2", "in"}));
    EXPECT_EQ(failedOut.Status, CLI_EXIT_FAILED);
    ASSERT_EQ(failedOut.ErrLines().size(), 2u) << failedOut.Err;
    EXPECT_EQ(failedOut.ErrLines()[0],
              "hid> 16 02 04 08 02 00 00 00 00 00 00 00 00 00 00 00 00 FAILED");
    EXPECT_EQ(failedOut.ErrLines()[1], "pellaro: gpio dir: pin 2: REPORT_GPIO_SET failed");

    const CliResult failedIn = RunCli(Sim({"--trace", "--sim-fail-at", "2", "gpio", "read", "1"}));
    ASSERT_EQ(failedIn.ErrLines().size(), 3u) << failedIn.Err;
    EXPECT_EQ(failedIn.ErrLines()[1], "hid< 0x0a10 FAILED");
}

TEST(CliDevice, FailuresNameTheStepAndShowNoStaleAnswer)
{
    const struct
    {
        std::vector<std::string> Args;
        int Status;
        std::string Error;
    } cases[] = {
        {{"--sim-fail-at", "2", "reg", "read", "54"}, CLI_EXIT_FAILED,
         "pellaro: reg read: register 0x00000054: REPORT_REG_READ failed"},
        // A refused information request leaves old bytes in the receive buffer.
        {{"--sim-fail-at", "1", "hdmi-info"}, CLI_EXIT_FAILED, "pellaro: hdmi-info: REPORT_HDMI_INFO failed"},
        {{"--sim-fail-at", "1", "drm-info"}, CLI_EXIT_FAILED, "pellaro: drm-info: REPORT_DRM_INFO failed"},
        {{"--sim-fail-at", "7", "fw-version"}, CLI_EXIT_FAILED,
         "pellaro: fw-version: REPORT_REG_WRITE_ADDR failed"},
        {{"--sim-fail-at", "1", "get-id"}, CLI_EXIT_FAILED, "pellaro: get-id: REPORT_FLASH_GET_ID failed"},
        {{"--vid", "1234", "fw-version"}, CLI_EXIT_NO_DEVICE,
         "pellaro: fw-version: no HID interface with VID 1234 PID 3200 found (see 'pellaro list')"},
        {{"--path", "sim:1", "info"}, CLI_EXIT_NO_DEVICE,
         "pellaro: info: sim:1 is not a HID interface with VID 32ED PID 3200 (see 'pellaro list')"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Error);
        const CliResult r = RunCli(Sim(c.Args));
        EXPECT_EQ(r.Status, c.Status);
        EXPECT_TRUE(r.Out.empty()) << r.Out;
        EXPECT_EQ(r.Err, c.Error + "\n");
    }

    // The step's own lines appear with --verbose.
    const CliResult verbose = RunCli(Sim({"-v", "--sim-fail-at", "2", "reg", "read", "54"}));
    EXPECT_NE(verbose.Err.find("Unknown error: Couldn't execute REPORT_REG_READ function\n"),
              std::string::npos);
}

TEST(CliDevice, ListMarksTheInterfaceTheCommandsUse)
{
    const CliResult r = RunCli(Sim({"list"}));
    EXPECT_EQ(r.Status, CLI_EXIT_OK);
    EXPECT_EQ(r.Out, "INDEX  VID:PID    USAGE PAGE  USAGE   MATCH  PATH\n"
                     "    0  1A2B:0101  0x0001      0x0006         sim:0\n"
                     "    1  1A2B:0202  0x0001      0x0002         sim:1\n"
                     "    2  2C3D:0303  0x000C      0x0001         sim:2\n"
                     "    3  32ED:3200  0xFF00      0x0001  *      sim:3\n");

    const CliResult json = RunCli(Sim({"--json", "--vid", "1a2b", "--pid", "202", "list", "--sim-others", "2"}));
    EXPECT_EQ(json.Out, "[{\"index\":0,\"vendor_id\":6699,\"product_id\":257,\"usage_page\":1,\"usage\":6,"
                        "\"path\":\"sim:0\",\"matches\":false},"
                        "{\"index\":1,\"vendor_id\":6699,\"product_id\":514,\"usage_page\":1,\"usage\":2,"
                        "\"path\":\"sim:1\",\"matches\":true},"
                        "{\"index\":2,\"vendor_id\":13037,\"product_id\":12800,\"usage_page\":65280,"
                        "\"usage\":1,\"path\":\"sim:2\",\"matches\":false}]\n");

    const CliResult none = RunCli(Sim({"--vid", "1", "list"}));
    EXPECT_EQ(none.Status, CLI_EXIT_OK);
    EXPECT_NE(none.Out.find("No interface matches VID 0001 PID 3200.\n"), std::string::npos);
}

// Two top-level collections: a vendor one with 15-byte value reports both
// ways, and a mouse with a range of three buttons and padding.
const std::vector<uint8_t> kTwoCollections = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,   // Usage Page (vendor), Usage 1, Collection
    0x85, 0x02, 0x09, 0x02, 0x75, 0x08, 0x95, 0x0F, 0x15, 0x00, 0x26, 0xFF, 0x00,
    0x91, 0x02,                                 //   Output (Data,Var,Abs)
    0x09, 0x02, 0x81, 0x02,                     //   Input (Data,Var,Abs)
    0xC0,                                       // End Collection
    0x05, 0x01, 0x09, 0x02, 0xA1, 0x01,         // Usage Page (desktop), Usage (Mouse), Collection
    0x85, 0x05, 0x05, 0x09, 0x19, 0x01, 0x29, 0x03, 0x15, 0x00, 0x25, 0x01,
    0x75, 0x01, 0x95, 0x03, 0x81, 0x02,         //   three buttons
    0x75, 0x05, 0x95, 0x01, 0x81, 0x03,         //   padding
    0xC0,
};

TEST(CliCaps, JsonHasOneObjectPerCollectionWithTheAgreedKeys)
{
    CTempDir dir;
    const std::string file = dir.Write("two.bin", kTwoCollections);
    const CliResult r = RunCli({"--json", "caps", "--descriptor", file});
    ASSERT_EQ(r.Status, CLI_EXIT_OK) << r.Err;
    EXPECT_EQ(r.Out,
              "[{\"usage_page\":65280,\"usage\":1,\"input_report_byte_length\":16,"
              "\"output_report_byte_length\":16,\"feature_report_byte_length\":0,"
              "\"input_value_caps\":[{\"report_id\":2,\"usage_page\":65280,\"usage_min\":2,"
              "\"usage_max\":2,\"is_range\":false,\"bit_size\":8,\"report_count\":15,"
              "\"link_collection\":0}],"
              "\"input_button_caps\":[],"
              "\"output_value_caps\":[{\"report_id\":2,\"usage_page\":65280,\"usage_min\":2,"
              "\"usage_max\":2,\"is_range\":false,\"bit_size\":8,\"report_count\":15,"
              "\"link_collection\":0}],"
              "\"output_button_caps\":[],\"feature_value_caps\":[],\"feature_button_caps\":[]},"
              "{\"usage_page\":1,\"usage\":2,\"input_report_byte_length\":2,"
              "\"output_report_byte_length\":0,\"feature_report_byte_length\":0,"
              "\"input_value_caps\":[],"
              "\"input_button_caps\":[{\"report_id\":5,\"usage_page\":9,\"usage_min\":1,"
              "\"usage_max\":3,\"is_range\":true,\"bit_size\":1,\"report_count\":3,"
              "\"link_collection\":0}],"
              "\"output_value_caps\":[],\"output_button_caps\":[],\"feature_value_caps\":[],"
              "\"feature_button_caps\":[]}]\n");

    const CliResult text = RunCli({"caps", "--descriptor", file});
    EXPECT_NE(text.Out.find("Collection 2: usage page 0x0001, usage 0x0002\n"
                            "  report byte lengths: input 2, output 0, feature 0\n"
                            "  input value caps: none\n"
                            "  input button caps:\n"
                            "    # 0: report ID 5, usage page 0x0009, usages 0x0001-0x0003, bit size 1, "
                            "report count 3, link collection 0\n"),
              std::string::npos)
        << text.Out;
}

TEST(CliCaps, ReadsTheSelectedDeviceAndRefusesBrokenFiles)
{
    const CliResult device = RunCli(Sim({"--json", "caps"}));
    ASSERT_EQ(device.Status, CLI_EXIT_OK) << device.Err;
    // The three report slots of the device, in slot order.
    EXPECT_NE(device.Out.find("\"output_value_caps\":[{\"report_id\":1,\"usage_page\":65280,"
                              "\"usage_min\":1,\"usage_max\":1,\"is_range\":false,\"bit_size\":8,"
                              "\"report_count\":4099,\"link_collection\":0},{\"report_id\":2,"),
              std::string::npos)
        << device.Out;

    CTempDir dir;
    std::vector<uint8_t> truncated(kTwoCollections.begin(), kTwoCollections.begin() + 12);
    const CliResult broken = RunCli({"caps", "--descriptor", dir.Write("broken.bin", truncated)});
    EXPECT_EQ(broken.Status, CLI_EXIT_USAGE);
    EXPECT_NE(broken.Err.find("cannot be parsed"), std::string::npos) << broken.Err;
    EXPECT_EQ(RunCli({"caps", "--descriptor", dir.Write("empty.bin", {})}).Status, CLI_EXIT_USAGE);
}

// An image of `size` bytes with a firmware header (when it fits).
std::vector<uint8_t> Image(uint32_t size, uint32_t headerLength, uint32_t bootSize)
{
    std::vector<uint8_t> image(size);
    for (uint32_t i = 0; i < size; ++i)
        image[i] = static_cast<uint8_t>(i * 7 + (i >> 12));
    auto putBe = [&](uint32_t at, uint32_t value) {
        for (int b = 0; b < 4; ++b)
            if (at + b < size)
                image[at + b] = static_cast<uint8_t>(value >> (24 - 8 * b));
    };
    putBe(0x18000C, headerLength);
    putBe(0x180010, bootSize);
    putBe(0x18001C, 0x02010005);   // shown last byte first: 05.00.01.02
    return image;
}

TEST(CliImageInfo, ShowsHeaderPaddingAndCoveredAreas)
{
    CTempDir dir;
    const std::string full = dir.Write("full.bin", Image(0x800000, 0x100, 0x20000));
    const CliResult r = RunCli({"--json", "image-info", full});
    ASSERT_EQ(r.Status, CLI_EXIT_OK) << r.Err;
    EXPECT_EQ(r.Out, "{\"image\":\"" + full +
                         "\",\"size\":8388608,\"version\":\"05.00.01.02\",\"header_length\":256,"
                         "\"boot_size\":131072,\"firmware_length\":131328,"
                         "\"firmware_length_4k\":135168,\"firmware_length_64k\":196608,"
                         "\"covers\":{\"entire\":true,\"firmware_4k\":true,\"firmware_64k\":true,"
                         "\"private\":true,\"customized\":true}}\n");

    // Ends between the 4 KB and the 64 KB padding of the firmware.
    const std::string part = dir.Write("part.bin", Image(0x180000 + 0x21000, 0x100, 0x20000));
    const CliResult text = RunCli({"image-info", part});
    EXPECT_NE(text.Out.find("Padded:           0x21000 (4 KB sectors), 0x30000 (64 KB sectors)\n"),
              std::string::npos)
        << text.Out;
    EXPECT_NE(text.Out.find("Firmware area:    covered for chips with 4 KB sectors only"),
              std::string::npos);
    EXPECT_NE(text.Out.find("Private area:     not covered"), std::string::npos);

    const CliResult tiny = RunCli({"--json", "image-info", dir.Write("tiny.bin", Image(0x1000, 0, 0))});
    EXPECT_NE(tiny.Out.find("\"version\":null,\"header_length\":null"), std::string::npos) << tiny.Out;

    const CliResult missing = RunCli({"image-info", dir.File("missing.bin")});
    EXPECT_EQ(missing.Status, CLI_EXIT_USAGE);
    EXPECT_NE(missing.Err.find("No such file or directory"), std::string::npos);
}

TEST(CliFlash, RefusesBeforeWritingWhenTheImageCannotServe)
{
    CTempDir dir;
    const std::string noHeader = dir.Write("short.bin", Image(0x1000, 0, 0));
    const std::string big = dir.Write("big.bin", Image(0x800000, 0x100, 0x20000));
    const struct
    {
        std::vector<std::string> Args;
        int Status;
        std::string Error;
    } cases[] = {
        {{"burn", noHeader, "--firmware"}, CLI_EXIT_USAGE, "too short for the firmware header"},
        {{"burn", noHeader, "--private"}, CLI_EXIT_USAGE, "the Private area needs 0x500000 bytes"},
        {{"verify", noHeader, "--firmware"}, CLI_EXIT_USAGE, "too short for the firmware header"},
        // The 256 KB chip cannot take an 8 MB image.
        {{"burn", big}, CLI_EXIT_USAGE, "the flash chip holds 262144 bytes"},
        {{"burn", dir.File("none.bin")}, CLI_EXIT_USAGE, "cannot read"},
        {{"--sim-fail-at", "1", "burn", big}, CLI_EXIT_FAILED, "REPORT_FLASH_GET_ID failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Error);
        const CliResult r = RunCli(Sim(c.Args));
        EXPECT_EQ(r.Status, c.Status);
        EXPECT_NE(r.Err.find(c.Error), std::string::npos) << r.Err;
        EXPECT_EQ(r.Err.find("Write"), std::string::npos) << r.Err;   // no transfer started
    }
}

// One simulated device built from `options`, installed as the machine's HID
// backend (the tool then runs without --sim, as on hardware).
class CInstalledDevice
{
public:
    explicit CInstalledDevice(const SimDeviceOptions& options)
        : m_device(CSimDevice::Create(options))
    {
        m_backend.AddNode(m_device);
        SetHidBackend(&m_backend);
    }
    ~CInstalledDevice() { SetHidBackend(nullptr); }
    CSimDevice& Device() { return *m_device; }
    CHidSimBackend& Backend() { return m_backend; }

private:
    std::shared_ptr<CSimDevice> m_device;
    CHidSimBackend m_backend;
};

TEST(CliFlash, RefusesADeviceWhoseReportsCannotCarryTheTransfer)
{
    CTempDir dir;
    const std::string image = dir.Write("image.bin", Image(0x800000, 0x100, 0x20000));
    const struct
    {
        std::vector<uint16_t> Outputs, Inputs;
        std::vector<std::string> Args;
        std::string Error;
    } cases[] = {
        {{4099, 15, 63}, {63, 15, 63}, {"burn", image},
         "pellaro: burn: the device's flash input report (64 bytes) is shorter than its output data "
         "(4096 bytes); nothing was done"},
        {{1027, 15, 63}, {1027, 15, 63}, {"burn", image, "--firmware"},
         "pellaro: burn: the device's flash data reports carry 1024 bytes; the flag block needs 4096; "
         "nothing was done"},
        {{4099, 15, 63}, {63, 15, 63}, {"dump", dir.File("dump.bin")},
         "pellaro: dump: the device's flash input report (64 bytes) is shorter than its output data "
         "(4096 bytes); nothing was done"},
        {{4099, 15}, {4099, 15, 63}, {"reg", "read", "54"},
         "pellaro: reg read: the device's reports cannot carry its commands: it has 2 output and 3 "
         "input report slots, 3 of each are needed (see 'pellaro caps')"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Error);
        SimDeviceOptions options;
        options.OutputReportCounts = c.Outputs;
        options.InputReportCounts = c.Inputs;
        CInstalledDevice installed(options);
        const CliResult r = RunCli(c.Args);
        EXPECT_EQ(r.Status, CLI_EXIT_FAILED);
        EXPECT_EQ(r.Err, c.Error + "\n");
        for (const SimLogEntry& entry : installed.Device().Log())
            EXPECT_FALSE(entry.IsOutput) << "report " << int(entry.ReportId) << " was sent";
    }
}

TEST(CliDevice, NamesTheRuleWhenTheDeviceCannotBeOpened)
{
    CInstalledDevice installed{SimDeviceOptions()};
    installed.Backend().DenyOpen(0);
    const CliResult r = RunCli({"info"});
    EXPECT_EQ(r.Status, CLI_EXIT_NO_DEVICE);
    EXPECT_NE(r.Err.find("Permission denied opening sim:0"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("packaging/70-pellaro.rules"), std::string::npos) << r.Err;
}

TEST(CliFlash, DumpKeepsAnExistingFileUnlessForcedAndCleansUpWhenRefused)
{
    CTempDir dir;
    const std::string existing = dir.Write("backup.bin", {1, 2, 3});
    const CliResult refused = RunCli(Sim({"dump", existing}));
    EXPECT_EQ(refused.Status, CLI_EXIT_USAGE);
    std::ifstream kept(existing, std::ios::binary | std::ios::ate);
    EXPECT_EQ(kept.tellg(), 3);

    // No device: the file the command created is removed again.
    const std::string fresh = dir.File("fresh.bin");
    EXPECT_EQ(RunCli(Sim({"--vid", "1", "dump", fresh})).Status, CLI_EXIT_NO_DEVICE);
    EXPECT_NE(access(fresh.c_str(), F_OK), 0);

    const CliResult forced = RunCli(Sim({"--json", "dump", existing, "--force"}));
    EXPECT_EQ(forced.Status, CLI_EXIT_OK) << forced.Err;
    EXPECT_EQ(forced.Out, "{\"file\":\"" + existing +
                              "\",\"chip\":\"NUMON_M25P20\",\"succeeded\":true,\"stopped\":false,"
                              "\"total\":262144,\"bytes_written\":262144}\n");
    EXPECT_TRUE(forced.Err.empty()) << forced.Err;   // no progress with --json
}

TEST(CliOutput, ProgressLinesBarAndSilence)
{
    const auto feed = [](ProgressMode mode, bool terminal) {
        char* text = nullptr;
        size_t size = 0;
        FILE* err = open_memstream(&text, &size);
        {
            CCliConsole console(stdout, err, terminal);
            CProgressDisplay progress(console, mode);
            progress.SetProgressRange(1000);
            progress.SetProgressPos(0);
            progress.SetStatusText("Status: Read");
            for (uint32_t pos = 40; pos <= 1000; pos += 40)
                progress.SetProgressPos(pos);
            progress.SetStatusText("Status: Wait");
            // A second range that stops half way.
            progress.SetProgressRange(100);
            progress.SetStatusText("Status: Compare");
            progress.SetProgressPos(50);
            progress.Finish();
        }
        std::fclose(err);
        std::string out(text, size);
        std::free(text);
        return out;
    };

    const std::string lines = feed(ProgressMode::Lines, false);
    size_t count = 0;
    for (char ch : lines)
        count += ch == '\n';
    EXPECT_EQ(count, 10u + 1u + 1u) << lines;   // nine tenths, the end, the half range, its stop
    EXPECT_NE(lines.find("Read: 12% (120 of 1000 bytes, "), std::string::npos) << lines;
    EXPECT_NE(lines.find("Read: 100% (1000 of 1000 bytes) in "), std::string::npos) << lines;
    EXPECT_NE(lines.find("Compare: 50% (50 of 100 bytes"), std::string::npos) << lines;
    EXPECT_NE(lines.find("Compare: ended at 50 of 100 bytes\n"), std::string::npos) << lines;
    EXPECT_EQ(lines.find('\r'), std::string::npos);

    const std::string bar = feed(ProgressMode::Bar, true);
    EXPECT_NE(bar.find("\rRead    [####################] 100% 1000 B / 1000 B "),
              std::string::npos)
        << bar;
    EXPECT_NE(bar.find("done in 0:00\n"), std::string::npos) << bar;

    EXPECT_TRUE(feed(ProgressMode::Off, false).empty());
}

TEST(CliOutput, JsonWriterEscapesAndSeparates)
{
    CJsonWriter json;
    json.BeginObject()
        .Field("text", std::string("a\"b\\c\n\x01"))
        .Key("list")
        .BeginArray()
        .Number(1)
        .BeginObject()
        .EndObject()
        .Null()
        .EndArray()
        .Field("ok", false)
        .EndObject();
    EXPECT_EQ(json.Text(), "{\"text\":\"a\\\"b\\\\c\\n\\u0001\",\"list\":[1,{},null],\"ok\":false}");
}

TEST(CliOutput, DiagnosticsKeepTheFirstFailureAndItsReason)
{
    CCliConsole console(stdout, stderr, false);
    CCliDiagnostics diagnostics(console, false);
    DebugOutput("Open Device Info--VID/PID (0x32ed~0x3200) \n");
    EXPECT_EQ(diagnostics.Failure(), "");
    DebugOutput("REPORT_FLASH_READ refused: the data does not fit one report\n");
    DebugOutput("Unknown error: Couldn't execute REPORT_FLASH_READ function\n");
    DebugOutput("Unknown error: Couldn't execute AP_FLASH_READ--case 2\n");
    EXPECT_EQ(diagnostics.Failure(), "REPORT_FLASH_READ was not sent: the data does not fit one report");
    diagnostics.Reset();
    DebugOutput("Unknown error: Couldn't execute REPORT_FLASH_WRITE function\n");
    DebugOutput("FlashWrite -- Compare data fail, data(0x00181000~0x00182000) \n");
    EXPECT_EQ(diagnostics.Failure(), "REPORT_FLASH_WRITE failed");
    EXPECT_EQ(diagnostics.Compare(), "0x00181000~0x00182000");
}

} // namespace
