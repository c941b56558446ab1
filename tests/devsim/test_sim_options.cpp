// The --sim options of the front ends and the installed simulated machine.
#include "HidSimBackend.h"
#include "SimDevice.h"
#include "SimOptions.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Parsed
{
    SimOptionParse Result;
    int Index;
    SimOptions Options;
    std::string Error;
};

Parsed Parse(std::vector<const char*> args)
{
    Parsed p{};
    p.Index = 0;
    p.Result = ParseSimOption(static_cast<int>(args.size()), args.data(), p.Index, p.Options, p.Error);
    return p;
}

TEST(SimOptions, ParsesEachOptionInBothForms)
{
    struct Case
    {
        std::vector<const char*> Args;
        int NextIndex;
        uint32_t SimOptions::*Field;
        uint32_t Value;
    };
    const Case cases[] = {
        {{"--sim-chip", "12"}, 2, &SimOptions::ChipRow, 12},
        {{"--sim-chip=0"}, 1, &SimOptions::ChipRow, 0},
        {{"--sim-chip", "43"}, 2, &SimOptions::ChipRow, 43},
        {{"--sim-fail-at", "7", "info"}, 2, &SimOptions::FailAt, 7},
        {{"--sim-vanish-after=100"}, 1, &SimOptions::VanishAfter, 100},
        {{"--sim-others", "0"}, 2, &SimOptions::Others, 0},
        {{"--sim-latency-us=250"}, 1, &SimOptions::LatencyUs, 250},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Args[0]);
        const Parsed p = Parse(c.Args);
        ASSERT_EQ(p.Result, SimOptionParse::Consumed) << p.Error;
        EXPECT_EQ(p.Index, c.NextIndex);
        EXPECT_EQ(p.Options.*c.Field, c.Value);
        EXPECT_TRUE(p.Options.Enabled);
    }

    Parsed p = Parse({"--sim"});
    EXPECT_EQ(p.Result, SimOptionParse::Consumed);
    EXPECT_TRUE(p.Options.Enabled);
    EXPECT_EQ(p.Options.ChipRow, 42u);
    EXPECT_EQ(p.Options.Others, 3u);

    p = Parse({"--sim-flash", "/tmp/flash.bin"});
    EXPECT_EQ(p.Result, SimOptionParse::Consumed);
    EXPECT_EQ(p.Options.FlashFile, "/tmp/flash.bin");
    p = Parse({"--sim-flash=a=b.bin"});
    EXPECT_EQ(p.Options.FlashFile, "a=b.bin");

    for (const char* other : {"info", "--verbose", "-s", "--simulate", "sim"}) {
        p = Parse({other});
        EXPECT_EQ(p.Result, SimOptionParse::NotSimOption) << other;
        EXPECT_EQ(p.Index, 0);
    }
}

TEST(SimOptions, BadValuesSayWhatIsWrong)
{
    struct Case
    {
        std::vector<const char*> Args;
        const char* ErrorPart;
    };
    const Case cases[] = {
        {{"--sim-chip", "44"}, "from 0 to 43"},
        {{"--sim-chip", "-1"}, "'-1' is not a number"},
        {{"--sim-chip", "0x2A"}, "'0x2A'"},
        {{"--sim-chip="}, "'' is not a number"},
        {{"--sim-chip"}, "--sim-chip needs a value"},
        {{"--sim-chip", "--verbose"}, "needs a value"},
        {{"--sim-fail-at", "0"}, "from 1"},
        {{"--sim-fail-at", "99999999999"}, "not a number"},
        {{"--sim-others", "33"}, "from 0 to 32"},
        {{"--sim-flash="}, "needs a file name"},
        {{"--sim-flash"}, "needs a value"},
        {{"--sim=1"}, "takes no value"},
        {{"--sim-chips", "3"}, "unknown option --sim-chips"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Args[0]);
        const Parsed p = Parse(c.Args);
        EXPECT_EQ(p.Result, SimOptionParse::Error);
        EXPECT_EQ(p.Index, 0);
        EXPECT_NE(p.Error.find(c.ErrorPart), std::string::npos) << p.Error;
    }
}

TEST(SimOptions, InstallPutsTheDeviceAfterTheOtherInterfaces)
{
    SimOptions options;
    options.Enabled = true;
    options.FailAt = 2;
    std::string error;
    CSimDevice* device = InstallSimulatedDevices(options, error);
    ASSERT_NE(device, nullptr) << error;

    auto* backend = dynamic_cast<CHidSimBackend*>(GetHidBackend());
    ASSERT_NE(backend, nullptr);
    std::vector<HidNodeInfo> nodes;
    ASSERT_TRUE(backend->Enumerate(nodes));
    ASSERT_EQ(nodes.size(), 4u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_NE(nodes[i].Attributes.VendorID, 0x32ED);
    EXPECT_EQ(nodes[3].Attributes.VendorID, 0x32ED);
    EXPECT_EQ(nodes[3].Attributes.ProductID, 0x3200);
    EXPECT_EQ(backend->Node(3).get(), device);

    // The second request the device receives is refused.
    HidOpenError openError = HidOpenError::Other;
    auto connection = backend->Open(nodes[3].Path, openError);
    ASSERT_TRUE(connection);
    uint8_t report[16] = {2, 6, 1, 0x54};
    EXPECT_TRUE(connection->SetOutputReport(report, 16));
    EXPECT_FALSE(connection->SetOutputReport(report, 16));
    EXPECT_TRUE(connection->SetOutputReport(report, 16));

    // A flash file that cannot be used leaves the installed machine alone.
    options.FlashFile = "/nonexistent-dir/flash.bin";
    EXPECT_EQ(InstallSimulatedDevices(options, error), nullptr);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(GetHidBackend(), backend);

    RemoveSimulatedDevices();
    EXPECT_NE(GetHidBackend(), backend);
}

} // namespace
