// Open Device, the peripheral panel, the information buttons and Get ID,
// against the simulated device.
#include "AppTestSupport.h"

#include "HexEdit.h"

#include <QComboBox>
#include <QRadioButton>

#include <array>

namespace {

using DeviceTest = AppTest;

// The Output reports of slot `reportId - 1` the device received.
std::vector<SimLogEntry> OutputReports(const CSimDevice& device, uint8_t reportId)
{
    std::vector<SimLogEntry> reports;
    for (const SimLogEntry& entry : device.Log()) {
        if (entry.IsOutput && entry.ReportId == reportId && !entry.Refused)
            reports.push_back(entry);
    }
    return reports;
}

TEST_F(DeviceTest, OpenDeviceShowsTheFourthInterfaceAndSetsThePanelUp)
{
    InstallDevice();
    OpenedDialog();
    const HidDevice& device = m_dialog->Session().Device();
    EXPECT_EQ(Text(1001), QString::asprintf("Device #3: VID: 0x32ED  PID: 0x3200  UsagePage: 0x%X  Usage: 0x%X",
                                            device.Caps.UsagePage, device.Caps.Usage));
    EXPECT_EQ(m_diagnostics.Count("Open Device Info--VID/PID (0x32ed~0x3200) \n"), 1u);
    EXPECT_TRUE(m_dialog->Session().CanRunCommands());

    EXPECT_TRUE(Ctl<QRadioButton>(1044)->isChecked());
    auto* number = Ctl<QComboBox>(1048);
    auto* direction = Ctl<QComboBox>(1049);
    ASSERT_EQ(number->count(), 4);
    EXPECT_EQ(number->itemText(3), "GPIO_3");
    EXPECT_EQ(number->currentText(), "GPIO_0");
    ASSERT_EQ(direction->count(), 2);
    EXPECT_EQ(direction->currentText(), "INPUT");
    EXPECT_EQ(direction->itemText(1), "OUTPUT");

    const struct
    {
        int Id;
        const char* Text;
        int Limit;
    } fields[] = {{1050, "00", 2}, {1022, "90", 2}, {1023, "00", 2},
                  {1024, "0F00", 4}, {1004, "03FF0000", 8}, {1005, "F6000000", 8}};
    for (const auto& f : fields) {
        EXPECT_EQ(Text(f.Id), f.Text) << f.Id;
        EXPECT_EQ(Ctl<QLineEdit>(f.Id)->maxLength(), f.Limit) << f.Id;
    }
    EXPECT_EQ(Text(1011), "0");
    EXPECT_EQ(Text(1012), "0");
    EXPECT_EQ(Text(1010), "Status: Wait");
    for (int id : {1008, 1015, 1042, 1043, 1003, 1006, 1051, 1014})
        EXPECT_TRUE(Enabled(id)) << id;
    for (int id : {1016, 1017})
        EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_TRUE(m_services.Messages.empty());
}

TEST_F(DeviceTest, IdsAreReadWithTheRulesOfAnUnsignedHexNumber)
{
    const struct
    {
        const char* Vid;
        const char* Pid;
        const char* Line;
    } cases[] = {
        {" 32ed", "3200", "(0x32ed~0x3200)"},
        {"0x3", "3200", "(0x0003~0x3200)"},
        {"", "32g0", "(0x0000~0x0032)"},
    };
    InstallOthers();   // no device: every search fails and the dialog closes
    for (const auto& c : cases) {
        m_dialog.reset();
        Dialog();
        Ctl<QLineEdit>(1025)->setMaxLength(32767);
        SetText(1025, c.Vid);
        SetText(1026, c.Pid);
        m_diagnostics.Clear();
        m_dialog->OnOpenDevice();
        EXPECT_EQ(m_diagnostics.Count(std::string("Open Device Info--VID/PID ") + c.Line + " \n"), 1u) << c.Vid;
    }
}

TEST_F(DeviceTest, NoDeviceSaysSoOnceAndClosesTheTool)
{
    InstallOthers();
    Cred_ode_velmorDlg& dlg = Dialog();
    Click(1027);
    ASSERT_EQ(m_services.Messages.size(), 1u);
    EXPECT_EQ(m_services.Messages[0].Text, "HID Device no found !");
    EXPECT_EQ(m_services.Messages[0].Caption, "Error");
    EXPECT_EQ(m_services.Messages[0].Icon, MessageIcon::Error);
    EXPECT_TRUE(m_services.Messages[0].Owned);
    ASSERT_TRUE(WaitUntil([&dlg]() { return !dlg.isVisible(); }));
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(m_services.Messages.size(), 1u);
    EXPECT_FALSE(StoredIsAccessAll().isValid());   // closed through Cancel
}

TEST_F(DeviceTest, ADeviceWithoutAccessRightsIsExplained)
{
    InstallDevice();
    m_backend->DenyOpen(3);
    Dialog();
    Click(1027);
    ASSERT_EQ(m_services.Messages.size(), 1u);
    EXPECT_EQ(m_services.Messages[0].Text, "HID Device no found !");
    EXPECT_TRUE(m_services.Messages[0].Details.contains("Permission denied"));
    EXPECT_TRUE(m_services.Messages[0].Details.contains("70-pellaro.rules"));
}

TEST_F(DeviceTest, ADeviceWithTwoOutputReportsIsShownButRefusesCommands)
{
    SimDeviceOptions options;
    options.OutputReportCounts = {4099, 15};
    InstallDevice(options);
    Dialog();
    Click(1027);
    EXPECT_TRUE(m_diagnostics.Contains("Error initializing flash and RW buffer\n"));
    EXPECT_TRUE(Text(1001).startsWith("Device #3: VID: 0x32ED  PID: 0x3200"));
    EXPECT_TRUE(Enabled(1027));
    EXPECT_TRUE(m_services.Messages.empty());

    // Each command is refused with a reason, and nothing reaches the device.
    m_device->ClearLog();
    for (int id : {1003, 1006, 1014, 1042, 1043}) {
        m_services.Messages.clear();
        Click(id);
        ASSERT_EQ(m_services.Messages.size(), 1u) << id;
        EXPECT_TRUE(m_services.Messages[0].Text.contains("cannot carry")) << id;
    }
    EXPECT_TRUE(m_device->Log().empty());

    // Opening again takes the device anew without doubling the lists.
    Click(1027);
    EXPECT_EQ(Ctl<QComboBox>(1048)->count(), 4);
    EXPECT_EQ(Ctl<QComboBox>(1049)->count(), 2);
    EXPECT_TRUE(Text(1001).startsWith("Device #3"));
}

TEST_F(DeviceTest, EveryDeviceCommandNeedsAnOpenedDevice)
{
    InstallDevice();
    Dialog();
    for (int id : {1003, 1006, 1051, 1014}) {
        m_services.Messages.clear();
        Click(id);
        ASSERT_EQ(m_services.Messages.size(), 1u) << id;
        EXPECT_EQ(m_services.Messages[0].Text, "HID Device no found !") << id;
    }
    for (int id : {1018, 1019, 1020, 1021, 1028, 1029, 1030, 1031})
        EXPECT_EQ(Text(id), "") << id;
    EXPECT_TRUE(m_device->Log().empty());
}

TEST_F(DeviceTest, RegisterWriteAndRead)
{
    CSimDevice& device = InstallDevice();
    OpenedDialog();
    Click(1003);
    EXPECT_EQ(device.Register(0x03FF0000), 0xF6000000u);

    device.SetRegister(0x120, 0xAB);
    SetText(1004, "0x120");
    Click(1006);
    EXPECT_EQ(Text(1005), "000000ab");
    EXPECT_TRUE(m_services.Messages.empty());
}

TEST_F(DeviceTest, IicWriteWithTheDefaultsAndRead)
{
    CSimDevice& device = InstallDevice();
    OpenedDialog();
    Click(1045);
    SetText(1023, "FF");
    device.ClearLog();
    Click(1003);
    const std::vector<SimLogEntry> writes = OutputReports(device, 3);
    ASSERT_EQ(writes.size(), 1u);
    ASSERT_GE(writes[0].Bytes.size(), 7u);
    EXPECT_EQ(writes[0].Bytes[3], 0x90);   // device address
    EXPECT_EQ(writes[0].Bytes[4], 2);      // byte count
    EXPECT_EQ(writes[0].Bytes[5], 0x0F);   // high byte first
    EXPECT_EQ(writes[0].Bytes[6], 0x00);
    EXPECT_EQ(Text(1023), "00");

    // Read sends the low byte of the data field as the register.
    device.SetIicByte(0x00, 0x5A);
    SetText(1023, "FF");
    Click(1006);
    EXPECT_EQ(Text(1024), "5a");
    EXPECT_EQ(Text(1023), "00");

    // A peripheral that is not there answers result code 1.
    SetText(1022, "42");
    Click(1003);
    EXPECT_EQ(Text(1023), "01");
    EXPECT_TRUE(m_services.Messages.empty());
}

TEST_F(DeviceTest, GpioSetWriteAndRead)
{
    CSimDevice& device = InstallDevice();
    OpenedDialog();
    Click(1051);
    ASSERT_EQ(m_services.Messages.size(), 1u);
    EXPECT_EQ(m_services.Messages[0].Text, "Please select GPIO mode !");
    m_services.Messages.clear();

    Click(1046);
    Ctl<QComboBox>(1048)->setCurrentIndex(2);
    Ctl<QComboBox>(1049)->setCurrentIndex(1);
    Click(1051);
    EXPECT_EQ(device.Gpio(2).Direction, 1);
    SetText(1050, "1");
    Click(1003);
    EXPECT_EQ(device.Gpio(2).OutputLevel, 1);
    SetText(1050, "00");
    Click(1006);
    EXPECT_EQ(Text(1050), "01");

    // Text typed over the selection keeps the pin last taken.
    device.SetGpioExternalLevel(0, 1);
    Ctl<QComboBox>(1048)->setEditText("GPIO_9");
    Click(1006);
    EXPECT_EQ(m_dialog->m_nGpioPin, 2);
    Ctl<QComboBox>(1048)->setCurrentIndex(0);
    Click(1006);
    EXPECT_EQ(Text(1050), "01");
    EXPECT_EQ(m_dialog->m_nGpioPin, 0);
    EXPECT_TRUE(m_services.Messages.empty());
}

TEST_F(DeviceTest, FirmwareVersionAndHdmiInformation)
{
    CSimDevice& device = InstallDevice();
    std::array<uint8_t, kSimHdmiInfoBytes> hdmi{};
    for (size_t i = 0; i < hdmi.size(); ++i)
        hdmi[i] = static_cast<uint8_t>(0xA0 + i);
    device.SetHdmiInfo(hdmi);
    OpenedDialog();
    Click(1042);
    EXPECT_EQ(Text(1041), "01.02.ff.34");
    Click(1043);
    const QString text = Text(1052);
    EXPECT_EQ(text.size(), 71);
    EXPECT_TRUE(text.startsWith("a0 a1 a2 "));
    EXPECT_TRUE(text.endsWith(" b6 b7"));
    m_dialog->OnTest();   // the hidden button: fetches, shows nothing
    EXPECT_TRUE(m_services.Messages.empty());
}

TEST_F(DeviceTest, GetIdFillsTheFlashInformation)
{
    const struct
    {
        uint32_t Row;
        std::array<const char*, 8> Texts;
    } cases[] = {
        {42, {"WIN__W25Q64BV", "256 bytes", "65536 bytes", "128", "42", "256", "1", "8192 KB"}},
        {32, {"GD_GD25Q128C", "256 bytes", "4096 bytes", "256", "32", "16", "16", "16384 KB"}},
    };
    for (const auto& c : cases) {
        m_dialog.reset();
        SimDeviceOptions options;
        options.ChipRow = c.Row;
        InstallDevice(options);
        OpenedDialog();
        Click(1014);
        const int ids[] = {1018, 1019, 1020, 1021, 1028, 1029, 1030, 1031};
        for (size_t i = 0; i < 8; ++i)
            EXPECT_EQ(Text(ids[i]), c.Texts[i]) << ids[i];
        EXPECT_EQ(m_dialog->Programmer().m_nFlashSize, SimChipSize(c.Row));
    }
    EXPECT_TRUE(m_services.Messages.empty());
}

TEST_F(DeviceTest, AVanishedDeviceGetsAClearAnswerAndFieldsKeepTheirText)
{
    CSimDevice& device = InstallDevice();
    OpenedDialog();
    Click(1042);
    Click(1043);
    const QString version = Text(1041);
    const QString hdmi = Text(1052);
    device.SetPresent(false);
    for (int id : {1006, 1003, 1042, 1043, 1014}) {
        m_services.Messages.clear();
        Click(id);
        ASSERT_EQ(m_services.Messages.size(), 1u) << id;
        EXPECT_TRUE(m_services.Messages[0].Text.startsWith("The device did not answer")) << id;
    }
    EXPECT_EQ(Text(1041), version);
    EXPECT_EQ(Text(1052), hdmi);
    EXPECT_EQ(Text(1005), "F6000000");
    EXPECT_EQ(Text(1018), "");   // no chip identified
}

} // namespace
