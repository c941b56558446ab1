// The hidraw backend against a fake sysfs tree.
#include "HidrawBackend.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class HidrawBackendTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/pellaro-sysfs-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_root = pattern;
        fs::create_directories(m_root / "dev");
    }
    void TearDown() override { fs::remove_all(m_root); }

    // Lays out class/hidraw/<name>/device -> a HID device directory below a USB
    // interface and a USB device, as the kernel does.
    void AddNode(const std::string& name, const std::string& hidId, const std::string& bcd,
                 const std::vector<uint8_t>& descriptor)
    {
        const fs::path usbDevice = m_root / "devices/usb1" / name;
        const fs::path hidDevice = usbDevice / "1-1:1.0/0003:XXXX.0001";
        fs::create_directories(hidDevice);
        std::ofstream(usbDevice / "bcdDevice") << bcd << "\n";
        std::ofstream(hidDevice / "uevent") << "DRIVER=hid-generic\nHID_ID=" << hidId
                                            << "\nHID_NAME=Test\nHID_PHYS=usb-0000:00:14.0-1/input0\n";
        std::ofstream(hidDevice / "report_descriptor", std::ios::binary)
            .write(reinterpret_cast<const char*>(descriptor.data()),
                   static_cast<std::streamsize>(descriptor.size()));
        const fs::path classDir = m_root / "class/hidraw" / name;
        fs::create_directories(classDir);
        fs::create_directory_symlink(hidDevice, classDir / "device");
        std::ofstream(m_root / "dev" / name) << "not a hidraw node";
    }

    fs::path m_root;
};

TEST_F(HidrawBackendTest, EnumeratesNodesInNumericOrderWithAttributes)
{
    AddNode("hidraw10", "0003:0000046D:0000C52F", "2200", {0x06, 0x00, 0xFF});
    AddNode("hidraw2", "0003:000032ED:00003200", "0105", {0x05, 0x01, 0x09, 0x06});
    AddNode("hidraw0", "0003:00001234:00005678", "0001", {});
    CHidrawBackend backend(m_root.string(), (m_root / "dev").string());
    std::vector<HidNodeInfo> nodes;
    ASSERT_TRUE(backend.Enumerate(nodes));
    ASSERT_EQ(nodes.size(), 3u);
    EXPECT_EQ(nodes[0].Path, (m_root / "dev/hidraw0").string());
    EXPECT_EQ(nodes[1].Path, (m_root / "dev/hidraw2").string());
    EXPECT_EQ(nodes[2].Path, (m_root / "dev/hidraw10").string());
    ASSERT_TRUE(nodes[1].HasAttributes);
    EXPECT_EQ(nodes[1].Attributes.VendorID, 0x32ED);
    EXPECT_EQ(nodes[1].Attributes.ProductID, 0x3200);
    EXPECT_EQ(nodes[1].Attributes.VersionNumber, 0x0105);
    EXPECT_EQ(nodes[1].Descriptor, (std::vector<uint8_t>{0x05, 0x01, 0x09, 0x06}));
}

TEST_F(HidrawBackendTest, DescriptorComesFromSysfsWhenTheIoctlCannotGiveIt)
{
    // A 4096-byte descriptor is beyond HIDIOCGRDESC (and this node is a plain file).
    std::vector<uint8_t> big(4096, 0xB4);
    AddNode("hidraw1", "0003:000032ED:00003200", "0100", big);
    CHidrawBackend backend(m_root.string(), (m_root / "dev").string());
    HidOpenError error;
    auto connection = backend.Open((m_root / "dev/hidraw1").string(), error);
    ASSERT_TRUE(connection);
    std::vector<uint8_t> descriptor;
    ASSERT_TRUE(connection->GetReportDescriptor(descriptor));
    EXPECT_EQ(descriptor, big);
}

TEST_F(HidrawBackendTest, MissingClassDirectoryMeansNoDevices)
{
    CHidrawBackend backend((m_root / "nothing").string(), (m_root / "dev").string());
    std::vector<HidNodeInfo> nodes;
    EXPECT_TRUE(backend.Enumerate(nodes));
    EXPECT_TRUE(nodes.empty());
}

TEST_F(HidrawBackendTest, RequestNumbersCarryTheLength)
{
    EXPECT_EQ(CHidrawBackend::InputRequest(64), 0xC040480Aul);
    EXPECT_EQ(CHidrawBackend::InputRequest(0x3FFF), 0xFFFF480Aul);
    EXPECT_EQ(CHidrawBackend::OutputRequest(4100), 0xD004480Bul);
}

TEST_F(HidrawBackendTest, LengthsTheIoctlCannotCarryAreRefusedUntouched)
{
    AddNode("hidraw0", "0003:000032ED:00003200", "0100", {});
    CHidrawBackend backend(m_root.string(), (m_root / "dev").string());
    HidOpenError error;
    auto connection = backend.Open((m_root / "dev/hidraw0").string(), error);
    ASSERT_TRUE(connection);
    HidAttributes attributes;
    EXPECT_FALSE(connection->GetAttributes(attributes));   // not a hidraw node
    std::vector<uint8_t> descriptor;
    EXPECT_FALSE(connection->GetReportDescriptor(descriptor));   // nor one in sysfs (empty)

    std::vector<uint8_t> buffer(0x5000, 0x5A);
    buffer[0] = 3;
    struct Case { uint32_t length; uint32_t bufferSize; };
    for (const Case c : {Case{0x4000, 0x5000}, Case{0xFFFF, 0x5000}, Case{0x0C40, 0x0C3F}, Case{0, 64}}) {
        errno = 0;
        uint32_t received = 7;
        EXPECT_FALSE(connection->GetInputReport(buffer.data(), c.length, c.bufferSize, received)) << c.length;
        EXPECT_EQ(received, 0u);
        EXPECT_EQ(errno, EINVAL);
        EXPECT_EQ(buffer[0], 3);
        EXPECT_EQ(buffer[1], 0x5A);
    }
    EXPECT_FALSE(connection->SetOutputReport(buffer.data(), 0x4000));
    EXPECT_EQ(errno, EINVAL);

    EXPECT_FALSE(backend.Open((m_root / "dev/hidraw9").string(), error));
    EXPECT_EQ(error, HidOpenError::NotFound);
}

} // namespace
