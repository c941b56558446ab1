// Burn and dump from the dialog: file choice, the workers, their messages and
// progress, and the dialog's states while they run.
#include "AppTestSupport.h"

#include "FlashImage.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QProgressBar>

#include <array>
#include <random>

namespace {

class FlashTest : public AppTest
{
protected:
    // An 8 MB image with a firmware header (header length 0x100, boot size
    // 0x20000) and the version bytes 05 00 01 02.
    static std::vector<uint8_t> FullImage()
    {
        std::vector<uint8_t> image(0x800000);
        std::mt19937 random(7);
        for (uint8_t& b : image)
            b = static_cast<uint8_t>(random());
        const uint8_t header[] = {0, 0, 1, 0, 0, 2, 0, 0};
        std::copy(std::begin(header), std::end(header), image.begin() + 0x18000C);
        const uint8_t version[] = {0x05, 0x00, 0x01, 0x02};
        std::copy(std::begin(version), std::end(version), image.begin() + 0x18001C);
        return image;
    }

    void ChooseBurnFile(const std::vector<uint8_t>& image)
    {
        const QString path = TempPath("image.bin");
        ASSERT_TRUE(WriteFile(path, image));
        m_services.OpenAnswers.push_back(path);
        Click(1008);
    }

    void Identify()
    {
        Click(1014);
        ASSERT_TRUE(m_dialog->Programmer().m_nFlashSize);
    }

    std::vector<uint8_t> Flash(uint32_t address, uint32_t length) const
    {
        return m_device->FlashBytes(address, length);
    }
};

TEST_F(FlashTest, BurnEntireFlash)
{
    InstallDevice();
    OpenedDialog();
    Identify();
    std::vector<uint8_t> image(0x30000);
    std::mt19937 random(3);
    for (uint8_t& b : image)
        b = static_cast<uint8_t>(random());
    ChooseBurnFile(image);
    EXPECT_TRUE(m_services.Filters.contains("All (*);;Text (*.TXT *.txt)"));
    EXPECT_TRUE(Text(1007).endsWith("image.bin"));
    EXPECT_TRUE(Enabled(1016));
    EXPECT_FALSE(Enabled(1017));
    EXPECT_EQ(Text(1040), "");   // too short to hold a version

    Click(1016);
    ASSERT_TRUE(WaitForWorker());
    ASSERT_EQ(m_services.Messages.size(), 1u) << m_services.Texts().join("|").toStdString();
    EXPECT_EQ(m_services.Messages[0].Text, "The entire flash has updated, please replug-in device!");
    EXPECT_EQ(m_services.Messages[0].Caption, "Info");
    EXPECT_EQ(m_services.Messages[0].Icon, MessageIcon::Information);
    EXPECT_FALSE(m_services.Messages[0].Owned);
    EXPECT_EQ(Flash(0, 0x30000), image);

    EXPECT_EQ(Text(1010), "Status: Wait");
    EXPECT_EQ(Text(1011), "196608");
    EXPECT_EQ(Text(1012), "196608");
    EXPECT_EQ(Ctl<QProgressBar>(1009)->value(), Ctl<QProgressBar>(1009)->maximum());
    // The burn has used the file up: it must be chosen again.
    EXPECT_FALSE(Enabled(1016));
    for (int id : {1008, 1015, 1014, 1003, 1006, 1051, 1042, 1043})
        EXPECT_TRUE(Enabled(id)) << id;
    Click(1016);
    EXPECT_EQ(m_services.Messages.size(), 1u);
}

TEST_F(FlashTest, BurnByAreas)
{
    InstallDevice();
    OpenedDialog();
    Identify();
    const std::vector<uint8_t> image = FullImage();
    ChooseBurnFile(image);
    EXPECT_EQ(Text(1040), "02.01.00.05");
    Click(1033);
    for (int id : {1034, 1035, 1036})
        Click(id);
    Click(1016);
    ASSERT_TRUE(WaitForWorker());
    ASSERT_EQ(m_services.Messages.size(), 1u) << m_services.Texts().join("|").toStdString();
    EXPECT_EQ(m_services.Messages[0].Text,
              "- Firmware Area\n- Private Area\n- Customized Area\n\n has updated, please replug-in device!");
    EXPECT_EQ(m_services.Messages[0].Text.size(), 88);
    EXPECT_EQ(Flash(0x70000, 1)[0], 1);   // the flag says the firmware is complete
    const auto slice = [&image](uint32_t start, uint32_t length) {
        return std::vector<uint8_t>(image.begin() + start, image.begin() + start + length);
    };
    EXPECT_EQ(Flash(0x180000, 0x30000), slice(0x180000, 0x30000));
    EXPECT_EQ(Flash(0x4F0000, 0x10000), slice(0x4F0000, 0x10000));
    EXPECT_EQ(Flash(0x500000, 0x300000), slice(0x500000, 0x300000));

    // Nothing ticked in Other Area: refused by the worker, the file is used up.
    ChooseBurnFile(image);
    for (int id : {1034, 1035, 1036})
        Ctl<QCheckBox>(id)->setChecked(false);
    m_services.Messages.clear();
    Click(1016);
    ASSERT_TRUE(WaitForWorker());
    ASSERT_EQ(m_services.Messages.size(), 1u);
    EXPECT_EQ(m_services.Messages[0].Text, "No any item is selected in Other Area !");
    EXPECT_FALSE(Enabled(1016));
}

TEST_F(FlashTest, BurnFailuresAreToldOnceEach)
{
    struct Case
    {
        const char* What;
        std::array<bool, 3> Ticks;
        SimFaults Faults;   // armed once the image is chosen
        QStringList Texts;  // every box, in order
        uint8_t Flag;       // the flag byte afterwards
    };
    SimFaults corruptCompare;
    corruptCompare.CorruptReadAt = 2;   // the flag read is the first data answer
    SimFaults refusePrivateWrite;
    refusePrivateWrite.FailAtRequest = 3;   // announcement (2 reports), then the first data report
    const Case cases[] = {
        {"firmware compare fails, private still written", {true, true, false}, corruptCompare,
         {"FlashWrite -- Compare failed", "- Private Area\n\n has updated, please replug-in device!"}, 0},
        {"private write refused", {false, true, false}, refusePrivateWrite,
         {"The burn has not completed"}, 0xFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        CSimDevice& device = InstallDevice();
        OpenedDialog();
        Identify();
        ChooseBurnFile(FullImage());
        Click(1033);
        for (int row = 0; row < 3; ++row)
            Ctl<QCheckBox>(1034 + row)->setChecked(c.Ticks[static_cast<size_t>(row)]);
        m_services.Messages.clear();
        device.ArmFaults(c.Faults);
        Click(1016);
        ASSERT_TRUE(WaitForWorker());
        const QStringList texts = m_services.Texts();
        ASSERT_EQ(texts.size(), c.Texts.size()) << texts.join("|").toStdString();
        for (qsizetype i = 0; i < texts.size(); ++i)
            EXPECT_TRUE(texts[i].startsWith(c.Texts[i])) << texts[i].toStdString();
        EXPECT_EQ(Flash(0x70000, 1)[0], c.Flag);
        m_dialog.reset();   // a fresh dialog and device for the next case
        QCoreApplication::processEvents();
    }
}

TEST_F(FlashTest, BurnAndDumpRefuseWithoutFileOrGetId)
{
    InstallDevice();
    OpenedDialog();
    ChooseBurnFile(std::vector<uint8_t>(0x1000, 0x5A));
    Click(1016);
    m_services.SaveAnswers.push_back(TempPath("dump.bin"));
    Click(1015);
    EXPECT_FALSE(Enabled(1016));   // choosing the dump file closed the burn file
    Click(1017);
    QCoreApplication::processEvents();
    EXPECT_EQ(m_services.Texts(),
              QStringList({"Please execute Get ID function !", "Please execute Get ID function !"}));
    EXPECT_TRUE(m_services.Messages[0].Owned);
    m_dialog->OnBurn();
    QCoreApplication::processEvents();
    EXPECT_EQ(m_services.Texts().last(), "Please select the burn file !");
    EXPECT_FALSE(m_dialog->IsWorkerRunning());

    // An image too short for the Firmware area is refused before anything is
    // sent, and the burn ends as after a run: file closed, Burn disabled.
    Identify();
    ChooseBurnFile(std::vector<uint8_t>(0x1000, 0x5A));
    Click(1033);
    Click(1034);
    m_device->ClearLog();
    Click(1016);
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_services.Texts().last().contains("firmware header")) << m_services.Texts().last().toStdString();
    EXPECT_TRUE(m_services.Messages.back().Owned);
    EXPECT_FALSE(Enabled(1016));
    EXPECT_FALSE(m_dialog->Programmer().File().IsOpen());
    EXPECT_TRUE(m_device->Log().empty());
    EXPECT_FALSE(m_dialog->IsWorkerRunning());
}

TEST_F(FlashTest, DumpEmptiesTheFileAtOnceThenFillsIt)
{
    SimDeviceOptions options;
    options.ChipRow = 34;   // 256 KB
    CSimDevice& device = InstallDevice(options);
    std::vector<uint8_t> content(SimChipSize(34));
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<uint8_t>(i * 7);
    ASSERT_TRUE(device.PokeFlash(0, content.data(), static_cast<uint32_t>(content.size())));
    OpenedDialog();
    Identify();

    const QString path = TempPath("dump.bin");
    ASSERT_TRUE(WriteFile(path, {1, 2, 3}));
    m_services.SaveAnswers.push_back(path);
    Click(1015);
    EXPECT_EQ(QFileInfo(path).size(), 0);
    EXPECT_TRUE(Enabled(1017));
    EXPECT_FALSE(Enabled(1016));

    Click(1017);
    ASSERT_TRUE(WaitForWorker());
    ASSERT_EQ(m_services.Messages.size(), 1u) << m_services.Texts().join("|").toStdString();
    EXPECT_EQ(m_services.Messages[0].Text, "Dump firmware has finished!");
    EXPECT_FALSE(m_services.Messages[0].Owned);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray dumped = file.readAll();
    EXPECT_EQ(std::vector<uint8_t>(dumped.begin(), dumped.end()), content);
    EXPECT_EQ(Text(1012), "262144");
    EXPECT_FALSE(Enabled(1017));
    EXPECT_EQ(Text(1010), "Status: Wait");
}

TEST_F(FlashTest, ControlsThatUseTheDeviceOrFileAreDisabledWhileAWorkerRuns)
{
    SimDeviceOptions options;
    options.ChipRow = 34;
    CSimDevice& device = InstallDevice(options);
    OpenedDialog();
    Identify();
    m_services.SaveAnswers.push_back(TempPath("dump.bin"));
    Click(1015);
    device.SetLatencyUs(20000);
    Click(1017);
    ASSERT_TRUE(m_dialog->IsWorkerRunning());
    for (int id : {1027, 1003, 1006, 1051, 1014, 1008, 1015, 1016, 1017, 1042, 1043})
        EXPECT_FALSE(Enabled(id)) << id;
    for (int id : {1, 1032, 1033, 1004, 1025})
        EXPECT_TRUE(Enabled(id)) << id;

    // Closing is refused, in every way, and releases nothing.
    Click(1);
    m_dialog->close();
    m_dialog->OnCancel();
    EXPECT_TRUE(m_dialog->isVisible());
    ASSERT_EQ(m_services.Messages.size(), 3u);
    for (const ShownMessage& m : m_services.Messages)
        EXPECT_TRUE(m.Text.startsWith("A burn or dump is in progress.")) << m.Text.toStdString();
    EXPECT_TRUE(m_dialog->Session().CanRunCommands());
    EXPECT_TRUE(m_dialog->Programmer().File().IsOpen());

    device.SetLatencyUs(0);
    ASSERT_TRUE(WaitForWorker());
    EXPECT_EQ(m_services.Texts().last(), "Dump firmware has finished!");
    for (int id : {1003, 1006, 1051, 1014, 1008, 1015, 1042, 1043})
        EXPECT_TRUE(Enabled(id)) << id;
    for (int id : {1027, 1016, 1017})
        EXPECT_FALSE(Enabled(id)) << id;
    Click(1);
    EXPECT_FALSE(m_dialog->isVisible());
    EXPECT_FALSE(m_dialog->Session().IsDeviceOpened());
}

TEST_F(FlashTest, FilesThatCannotBeUsedAreReported)
{
    InstallDevice();
    OpenedDialog();
    m_services.OpenAnswers.push_back(TempPath("missing.bin"));
    Click(1008);
    ASSERT_EQ(m_services.Messages.size(), 1u);
    EXPECT_TRUE(m_services.Messages[0].Text.startsWith("The burn file cannot be read:"));
    EXPECT_FALSE(Enabled(1016));

    m_services.SaveAnswers.push_back(TempPath("no-such-folder/dump.bin"));
    Click(1015);
    ASSERT_EQ(m_services.Messages.size(), 2u);
    EXPECT_TRUE(m_services.Messages[1].Text.startsWith("The dump file cannot be created:"));
    EXPECT_FALSE(Enabled(1017));

    // A cancelled choice changes nothing.
    ChooseBurnFile(std::vector<uint8_t>(16, 1));
    Click(1008);
    EXPECT_TRUE(Enabled(1016));
    EXPECT_TRUE(Text(1007).endsWith("image.bin"));
}

TEST_F(FlashTest, ADumpCutShortByAVanishingDeviceSaysSo)
{
    SimDeviceOptions options;
    options.ChipRow = 34;
    CSimDevice& device = InstallDevice(options);
    OpenedDialog();
    Identify();
    const QString path = TempPath("dump.bin");
    m_services.SaveAnswers.push_back(path);
    Click(1015);
    SimFaults faults;
    faults.VanishAfterRequests = 12;
    device.ArmFaults(faults);
    Click(1017);
    ASSERT_TRUE(WaitForWorker());
    ASSERT_EQ(m_services.Messages.size(), 1u) << m_services.Texts().join("|").toStdString();
    EXPECT_TRUE(m_services.Messages[0].Text.startsWith("The dump has not completed:"));
    EXPECT_TRUE(m_services.Messages[0].Text.contains("of 262144 bytes"));
    EXPECT_EQ(m_services.Messages[0].Icon, MessageIcon::Error);
    EXPECT_GT(QFileInfo(path).size(), 0);
    EXPECT_LT(QFileInfo(path).size(), 262144);
}

} // namespace
