// Discovery, open, report tables and the dispatcher, over the simulated backend.
#include "HidDevice.h"
#include "HidDispatch.h"
#include "HidSimBackend.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Report descriptor of a vendor collection with the given value reports
// (report ID, Report Count) per direction, 8-bit fields.
struct ValueReport
{
    uint8_t Id;
    uint16_t Count;
    uint8_t UsageMin = 0;   // non-zero: declare Usage Minimum..Maximum instead of one usage
    uint8_t UsageMax = 0;
};

void AddItem(std::vector<uint8_t>& d, uint8_t prefix, uint32_t value, int size)
{
    d.push_back(static_cast<uint8_t>(prefix | (size == 4 ? 3 : size)));
    for (int i = 0; i < size; ++i)
        d.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

std::vector<uint8_t> VendorDescriptor(const std::vector<ValueReport>& outputs,
                                      const std::vector<ValueReport>& inputs, uint16_t usage = 1)
{
    std::vector<uint8_t> d;
    AddItem(d, 0x04, 0xFF00, 2);   // Usage Page (vendor)
    AddItem(d, 0x08, usage, 1);    // Usage
    AddItem(d, 0xA0, 0x01, 1);     // Collection (Application)
    AddItem(d, 0x74, 8, 1);        // Report Size 8
    AddItem(d, 0x14, 0, 1);        // Logical Minimum 0
    AddItem(d, 0x24, 255, 2);      // Logical Maximum 255
    auto add = [&](const ValueReport& r, uint8_t mainPrefix) {
        AddItem(d, 0x84, r.Id, 1);   // Report ID
        if (r.UsageMin) {
            AddItem(d, 0x18, r.UsageMin, 1);
            AddItem(d, 0x28, r.UsageMax, 1);
        } else {
            AddItem(d, 0x08, r.Id, 1);
        }
        AddItem(d, 0x94, r.Count, 2);   // Report Count
        AddItem(d, mainPrefix, 0x02, 1); // Data,Var,Abs
    };
    for (const ValueReport& r : outputs)
        add(r, 0x90);
    for (const ValueReport& r : inputs)
        add(r, 0x80);
    d.push_back(0xC0);
    return d;
}

class CFakeNode : public CHidSimNode
{
public:
    CFakeNode(uint16_t vid, uint16_t pid, std::vector<uint8_t> descriptor)
        : m_descriptor(std::move(descriptor))
    {
        m_attributes.VendorID = vid;
        m_attributes.ProductID = pid;
    }
    HidAttributes Attributes() const override { return m_attributes; }
    std::vector<uint8_t> ReportDescriptor() const override { return m_descriptor; }
    bool HandleOutputReport(const uint8_t* report, uint32_t length) override
    {
        LastOutput.assign(report, report + length);
        return AcceptRequests;
    }
    bool HandleInputRequest(uint8_t* buffer, uint32_t lengthArgument, uint32_t bufferSize,
                            uint32_t& received) override
    {
        LastInputLength = lengthArgument;
        LastInputBufferSize = bufferSize;
        LastInputReportId = buffer[0];
        received = 0;
        if (!AcceptRequests)
            return false;
        buffer[0] = 0xA5;
        received = 1;
        return true;
    }
    bool Present() const override { return IsPresent; }

    bool AcceptRequests = true;
    bool IsPresent = true;
    std::vector<uint8_t> LastOutput;
    uint32_t LastInputLength = 0;
    uint32_t LastInputBufferSize = 0;
    uint8_t LastInputReportId = 0;

private:
    HidAttributes m_attributes;
    std::vector<uint8_t> m_descriptor;
};

const std::vector<ValueReport> kOutputs = {{1, 4099}, {2, 15}, {3, 63}};
const std::vector<ValueReport> kInputs = {{1, 4099}, {2, 15}, {3, 63}};

class HidDeviceTest : public ::testing::Test
{
protected:
    void SetUp() override { SetHidBackend(&m_backend); }
    void TearDown() override
    {
        ReleaseRecords();
        SetHidBackend(nullptr);
    }
    void ReleaseRecords()
    {
        if (m_records) {
            for (uint32_t i = 0; i < m_count; ++i)
                ReleaseHidDevice(&m_records[i]);
            FreeHidDeviceArray(m_records);
        }
        m_records = nullptr;
        m_count = 0;
    }
    std::shared_ptr<CFakeNode> Add(uint16_t vid, uint16_t pid, std::vector<uint8_t> descriptor)
    {
        auto node = std::make_shared<CFakeNode>(vid, pid, std::move(descriptor));
        m_backend.AddNode(node);
        return node;
    }
    void AddOthers(int n)
    {
        for (int i = 0; i < n; ++i)
            Add(0x046D, static_cast<uint16_t>(0xC000 + i), VendorDescriptor({{1, 7}}, {{1, 7}}, 2));
    }
    BOOL Search(uint16_t vid = 0x32ED, uint16_t pid = 0x3200)
    {
        ReleaseRecords();
        g_wVendorId = vid;
        g_wProductId = pid;
        return FindMatchingHidDevice(&m_records, &m_count);
    }

    CHidSimBackend m_backend;
    HidDevice* m_records = nullptr;
    uint32_t m_count = 0;
};

TEST_F(HidDeviceTest, NoMatchLeavesEveryRecordClosed)
{
    AddOthers(3);
    ASSERT_TRUE(Search());
    EXPECT_EQ(g_nDeviceIndex, HID_NO_DEVICE_INDEX);
    EXPECT_FALSE(g_bDeviceMatched);
    ASSERT_NE(m_records, nullptr);
    for (uint32_t i = 0; i < m_count; ++i) {
        EXPECT_EQ(m_records[i].Handle, INVALID_HID_HANDLE);
        EXPECT_EQ(m_records[i].DevicePath, nullptr);
        EXPECT_EQ(m_records[i].InputReportBuf, nullptr);
    }
}

TEST_F(HidDeviceTest, FourthInterfaceGivesIndexThreeAndItsSlots)
{
    AddOthers(3);
    Add(0x32ED, 0x3200, VendorDescriptor(kOutputs, kInputs));
    ASSERT_TRUE(Search());
    ASSERT_EQ(g_nDeviceIndex, 3u);
    const HidDevice& d = m_records[3];
    ASSERT_TRUE(HidDeviceIsOpen(&d));
    for (uint32_t i = 0; i < 3; ++i)
        EXPECT_FALSE(HidDeviceIsOpen(&m_records[i]));
    EXPECT_EQ(d.Caps.UsagePage, 0xFF00);
    ASSERT_EQ(d.Caps.NumberOutputValueCaps, 3);
    const uint16_t lengths[3] = {4100, 16, 64};
    for (int slot = 0; slot < 3; ++slot) {
        EXPECT_EQ(d.OutputValueCaps[slot].ReportCount + 1, lengths[slot]);
        EXPECT_EQ(d.OutputValueCaps[slot].ReportID, slot + 1);
        EXPECT_EQ(d.InputValueCaps[slot].ReportCount + 1, lengths[slot]);
    }
    EXPECT_EQ(d.Caps.OutputReportByteLength, 4100);
    // The receive buffer holds the longest claimed request (slot length with a
    // command code in bits 8..15) as well as the longest report.
    EXPECT_GE(d.InputReportBufLength, 0x0CFFu);
    EXPECT_GE(d.InputReportBufLength, 4100u);
    EXPECT_EQ(d.OutputReportBufLength, 4100u);
    EXPECT_EQ(d.Attributes.VendorID, 0x32ED);
    EXPECT_EQ(d.OutputItemCount, 3u);
    EXPECT_EQ(d.OutputItems[0].Status, HIDP_STATUS_SUCCESS);
}

TEST_F(HidDeviceTest, FirstOfTwoMatchingInterfacesIsTaken)
{
    Add(0x32ED, 0x3200, VendorDescriptor({{1, 7}}, {{1, 7}}, 5));
    Add(0x32ED, 0x3200, VendorDescriptor(kOutputs, kInputs));
    ASSERT_TRUE(Search());
    EXPECT_EQ(g_nDeviceIndex, 0u);
    EXPECT_EQ(m_records[0].Caps.Usage, 5);
}

TEST_F(HidDeviceTest, ArrayGrowsPastTwentyRecords)
{
    AddOthers(25);
    Add(0x32ED, 0x3200, VendorDescriptor(kOutputs, kInputs));
    ASSERT_TRUE(Search());
    EXPECT_EQ(g_nDeviceIndex, 25u);
    EXPECT_EQ(m_count, 26u);
    EXPECT_TRUE(HidDeviceIsOpen(&m_records[25]));
}

TEST_F(HidDeviceTest, EachTopLevelCollectionIsAnInterfaceOfItsOwn)
{
    std::vector<uint8_t> two = VendorDescriptor({{1, 7}}, {{1, 7}}, 7);
    const std::vector<uint8_t> second = VendorDescriptor(kOutputs, kInputs, 9);
    two.insert(two.end(), second.begin(), second.end());
    AddOthers(1);
    Add(0x32ED, 0x3200, two);

    std::vector<HidInterfaceInfo> interfaces;
    ASSERT_TRUE(EnumerateHidInterfaces(interfaces));
    ASSERT_EQ(interfaces.size(), 3u);
    EXPECT_EQ(interfaces[1].Path, "sim:1&col01");
    EXPECT_EQ(interfaces[2].Path, "sim:1&col02");

    ASSERT_TRUE(Search());
    ASSERT_EQ(g_nDeviceIndex, 1u);   // the first collection of the device
    EXPECT_EQ(m_records[1].Caps.Usage, 7);

    HidDevice second2;
    ASSERT_TRUE(OpenHidInterface("sim:1&col02", FALSE, FALSE, FALSE, FALSE, &second2));
    EXPECT_EQ(second2.Caps.Usage, 9);
    EXPECT_EQ(second2.Caps.NumberOutputValueCaps, 3);
    ReleaseHidDevice(&second2);
}

TEST_F(HidDeviceTest, RangeValueCapExpandsIntoOneItemPerUsage)
{
    Add(0x32ED, 0x3200, VendorDescriptor({{1, 4, 1, 4}}, {{2, 63}}));
    ASSERT_TRUE(Search());
    const HidDevice& d = m_records[0];
    ASSERT_EQ(d.OutputItemCount, 4u);
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(d.OutputItems[i].IsButton, 0);
        EXPECT_EQ(d.OutputItems[i].Usage, i + 1);
        EXPECT_EQ(d.OutputItems[i].ReportID, 1u);
    }
    EXPECT_EQ(d.InputValueCaps[0].ReportCount + 1, 64);
}

TEST_F(HidDeviceTest, ReleaseIsIdempotentAndKeepsCaps)
{
    Add(0x32ED, 0x3200, VendorDescriptor(kOutputs, kInputs));
    ASSERT_TRUE(Search());
    HidDevice taken = m_records[0];
    PrepareHidDevice(&m_records[0]);   // ownership moved to `taken`
    ReleaseHidDevice(&taken);
    EXPECT_EQ(taken.Handle, INVALID_HID_HANDLE);
    EXPECT_EQ(taken.OutputValueCaps, nullptr);
    EXPECT_EQ(taken.Caps.NumberOutputValueCaps, 3);
    ReleaseHidDevice(&taken);
    EXPECT_EQ(taken.DevicePath, nullptr);
}

TEST_F(HidDeviceTest, MatchingInterfaceWithoutAccessIsExplained)
{
    AddOthers(1);
    Add(0x32ED, 0x3200, VendorDescriptor(kOutputs, kInputs));
    m_backend.DenyOpen(1);
    ASSERT_TRUE(Search());
    EXPECT_EQ(g_nDeviceIndex, HID_NO_DEVICE_INDEX);
    EXPECT_NE(std::strstr(HidSearchProblem(), "70-pellaro.rules"), nullptr) << HidSearchProblem();
    // An unrelated node without access says nothing.
    m_backend.DenyOpen(0);
    ASSERT_TRUE(Search(0x1234, 0x5678));
    EXPECT_STREQ(HidSearchProblem(), "");
}

TEST_F(HidDeviceTest, DispatcherPassesLengthsUnchangedAndReportsFailures)
{
    auto node = Add(0x32ED, 0x3200, VendorDescriptor(kOutputs, kInputs));
    ASSERT_TRUE(Search());
    HidDevice& d = m_records[0];

    HidCallParams params{};
    params.DeviceHandle = d.Handle;
    params.ReportID = 2;
    params.ReportBuffer = d.InputReportBuf;
    params.ReportLength = 0x0441;
    params.ReportBufferSize = d.InputReportBufLength;
    HidCallStatus status{7, 0xBEEF};
    EXPECT_EQ(DispatchHidCall(GetInputReport, &params, &status), 1);
    EXPECT_EQ(status.Failed, 0u);
    EXPECT_EQ(status.HidStatus, 0xBEEFu);
    EXPECT_EQ(node->LastInputLength, 0x0441u);
    EXPECT_EQ(node->LastInputReportId, 2);
    EXPECT_EQ(params.ReportReceived, 1u);

    node->AcceptRequests = false;
    EXPECT_EQ(DispatchHidCall(GetInputReport, &params, &status), 1);
    EXPECT_EQ(status.Failed, 1u);
    EXPECT_EQ(d.InputReportBuf[0], 2);   // the report ID stays in byte 0

    // Unknown codes touch nothing but the outcome.
    d.InputReportBuf[0] = 0x77;
    status = {1, 0x1234};
    for (int code : {0, 2, 11}) {
        status.Failed = 1;
        EXPECT_EQ(DispatchHidCall(code, &params, &status), 0);
        EXPECT_EQ(status.Failed, 0u);
        EXPECT_EQ(status.HidStatus, 0x1234u);
        EXPECT_EQ(d.InputReportBuf[0], 0x77);
    }

    // An Output report to a device that has gone away.
    node->AcceptRequests = true;
    node->IsPresent = false;
    params.ReportBuffer = d.OutputReportBuf;
    params.ReportLength = 16;
    params.ReportBufferSize = d.OutputReportBufLength;
    EXPECT_EQ(DispatchHidCall(SetOutputReport, &params, &status), 1);
    EXPECT_EQ(status.Failed, 1u);

    // A length beyond the buffer is refused, never sent.
    node->IsPresent = true;
    params.ReportLength = d.OutputReportBufLength + 1;
    EXPECT_EQ(DispatchHidCall(SetOutputReport, &params, &status), 1);
    EXPECT_EQ(status.Failed, 1u);
}

} // namespace

#include "SimDevice.h"
#include "SimOptions.h"

namespace {

TEST(SimulatedMachineTest, DeviceIsTheFourthInterfaceWithItsSlots)
{
    SimOptions options;
    options.Enabled = true;
    std::string error;
    CSimDevice* device = InstallSimulatedDevices(options, error);
    ASSERT_NE(device, nullptr) << error;

    g_wVendorId = 0x32ED;
    g_wProductId = 0x3200;
    HidDevice* records = nullptr;
    uint32_t count = 0;
    ASSERT_TRUE(FindMatchingHidDevice(&records, &count));
    ASSERT_EQ(g_nDeviceIndex, 3u);
    HidDevice taken = records[3];
    FreeHidDeviceArray(records);
    EXPECT_EQ(taken.Caps.UsagePage, 0xFF00);
    ASSERT_GE(taken.Caps.NumberOutputValueCaps, 3);
    ASSERT_GE(taken.Caps.NumberInputValueCaps, 3);
    EXPECT_EQ(taken.OutputValueCaps[0].ReportCount + 1, 4100);
    EXPECT_EQ(taken.OutputValueCaps[1].ReportCount + 1, 16);
    EXPECT_EQ(taken.OutputValueCaps[2].ReportCount + 1, 64);
    EXPECT_GE(taken.InputReportBufLength, 0x0CFFu);

    // A 0x0CFF-byte request reaches the device whole and is answered in the buffer.
    HidCallParams params{};
    params.DeviceHandle = taken.Handle;
    params.ReportID = 3;
    params.ReportBuffer = taken.InputReportBuf;
    params.ReportLength = 64 | 0xB00;
    params.ReportBufferSize = taken.InputReportBufLength;
    HidCallStatus status{};
    EXPECT_EQ(DispatchHidCall(GetInputReport, &params, &status), 1);
    EXPECT_EQ(status.Failed, 0u);
    EXPECT_EQ(device->Log().back().LengthArgument, 0x0B40u);

    ReleaseHidDevice(&taken);
    RemoveSimulatedDevices();
}

} // namespace
