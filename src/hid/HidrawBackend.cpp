#include "HidrawBackend.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <linux/hidraw.h>
#include <sstream>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, size_t limit)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.clear();
    char chunk[1024];
    while (in && bytes.size() < limit) {
        in.read(chunk, static_cast<std::streamsize>(std::min(sizeof chunk, limit - bytes.size())));
        bytes.insert(bytes.end(), chunk, chunk + in.gcount());
    }
    return true;
}

bool ReadTextFile(const std::string& path, std::string& text)
{
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, bytes, 64 * 1024))
        return false;
    text.assign(bytes.begin(), bytes.end());
    return true;
}

// "hidrawN" -> N, or -1.
long NodeNumber(const char* name)
{
    if (std::strncmp(name, "hidraw", 6) != 0 || !name[6])
        return -1;
    char* end = nullptr;
    const long n = std::strtol(name + 6, &end, 10);
    return (*end == '\0' && n >= 0) ? n : -1;
}

class CHidrawConnection : public CHidConnection
{
public:
    CHidrawConnection(int fd, bool haveVersion, uint16_t version, std::string sysfsDescriptor)
        : m_fd(fd), m_bHaveVersion(haveVersion), m_nVersion(version),
          m_sysfsDescriptor(std::move(sysfsDescriptor))
    {
    }
    ~CHidrawConnection() override { ::close(m_fd); }

    bool GetAttributes(HidAttributes& attributes) override
    {
        hidraw_devinfo info{};
        if (::ioctl(m_fd, HIDIOCGRAWINFO, &info) < 0)
            return false;
        attributes.VendorID = static_cast<uint16_t>(info.vendor);
        attributes.ProductID = static_cast<uint16_t>(info.product);
        attributes.VersionNumber = m_bHaveVersion ? m_nVersion : 0;
        return true;
    }

    bool GetReportDescriptor(std::vector<uint8_t>& descriptor) override
    {
        // HIDIOCGRDESC takes at most 4095 bytes; a full-size descriptor is read
        // from sysfs instead, which holds the same bytes.
        int size = 0;
        if (::ioctl(m_fd, HIDIOCGRDESCSIZE, &size) >= 0 && size > 0 && size < HID_MAX_DESCRIPTOR_SIZE) {
            hidraw_report_descriptor raw{};
            raw.size = static_cast<uint32_t>(size);
            if (::ioctl(m_fd, HIDIOCGRDESC, &raw) >= 0 && raw.size <= sizeof raw.value) {
                descriptor.assign(raw.value, raw.value + raw.size);
                return true;
            }
        }
        return !m_sysfsDescriptor.empty() &&
               ReadWholeFile(m_sysfsDescriptor, descriptor, HID_MAX_DESCRIPTOR_SIZE) &&
               !descriptor.empty();
    }

    bool SetOutputReport(const uint8_t* report, uint32_t length) override
    {
        if (length == 0 || length > CHidrawBackend::kMaxIoctlLength) {
            errno = EINVAL;
            return false;
        }
        // The ioctl takes a writable buffer; the kernel only reads it for this request.
        return ::ioctl(m_fd, CHidrawBackend::OutputRequest(length), const_cast<uint8_t*>(report)) >= 0;
    }

    bool GetInputReport(uint8_t* buffer, uint32_t lengthArgument, uint32_t bufferSize,
                        uint32_t& received) override
    {
        received = 0;
        // The kernel writes up to the requested length into the buffer, and the
        // request number has 14 bits for it: anything longer is refused here.
        if (lengthArgument == 0 || lengthArgument > bufferSize ||
            lengthArgument > CHidrawBackend::kMaxIoctlLength) {
            errno = EINVAL;
            return false;
        }
        const int result = ::ioctl(m_fd, CHidrawBackend::InputRequest(lengthArgument), buffer);
        if (result < 0)
            return false;
        received = static_cast<uint32_t>(result) < lengthArgument ? static_cast<uint32_t>(result)
                                                                 : lengthArgument;
        return true;
    }

private:
    int m_fd;
    bool m_bHaveVersion;
    uint16_t m_nVersion;
    std::string m_sysfsDescriptor;
};

} // namespace

CHidrawBackend::CHidrawBackend(std::string sysfsRoot, std::string devRoot)
    : m_sysfsRoot(std::move(sysfsRoot)), m_devRoot(std::move(devRoot))
{
}

unsigned long CHidrawBackend::InputRequest(uint32_t length)
{
    return HIDIOCGINPUT(length);
}

unsigned long CHidrawBackend::OutputRequest(uint32_t length)
{
    return HIDIOCSOUTPUT(length);
}

bool CHidrawBackend::ReadSysfsAttributes(const std::string& nodeName, HidAttributes& attributes) const
{
    const std::string device = m_sysfsRoot + "/class/hidraw/" + nodeName + "/device";
    std::string uevent;
    if (!ReadTextFile(device + "/uevent", uevent))
        return false;
    std::istringstream lines(uevent);
    std::string line;
    bool found = false;
    while (std::getline(lines, line)) {
        unsigned bus = 0, vendor = 0, product = 0;
        if (line.rfind("HID_ID=", 0) == 0 &&
            std::sscanf(line.c_str() + 7, "%x:%x:%x", &bus, &vendor, &product) == 3) {
            attributes.VendorID = static_cast<uint16_t>(vendor);
            attributes.ProductID = static_cast<uint16_t>(product);
            found = true;
        }
    }
    if (!found)
        return false;
    // The HID device's parent is the USB interface, whose parent is the USB
    // device with bcdDevice; no hidraw ioctl gives the version.
    std::string bcd;
    attributes.VersionNumber = 0;
    if (ReadTextFile(device + "/../../bcdDevice", bcd))
        attributes.VersionNumber = static_cast<uint16_t>(std::strtoul(bcd.c_str(), nullptr, 16));
    return true;
}

bool CHidrawBackend::Enumerate(std::vector<HidNodeInfo>& nodes)
{
    nodes.clear();
    const std::string classDir = m_sysfsRoot + "/class/hidraw";
    DIR* dir = ::opendir(classDir.c_str());
    if (!dir)
        return errno == ENOENT;   // no hidraw class at all: simply no devices
    std::vector<std::pair<long, std::string>> names;
    while (dirent* entry = ::readdir(dir)) {
        const long n = NodeNumber(entry->d_name);
        if (n >= 0)
            names.emplace_back(n, entry->d_name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const auto& [number, name] : names) {
        (void)number;
        HidNodeInfo info;
        info.Path = m_devRoot + "/" + name;
        info.HasAttributes = ReadSysfsAttributes(name, info.Attributes);
        ReadWholeFile(classDir + "/" + name + "/device/report_descriptor", info.Descriptor,
                      HID_MAX_DESCRIPTOR_SIZE);
        nodes.push_back(std::move(info));
    }
    return true;
}

std::unique_ptr<CHidConnection> CHidrawBackend::Open(const std::string& path, HidOpenError& error)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        error = (errno == EACCES || errno == EPERM) ? HidOpenError::PermissionDenied
                : (errno == ENOENT)                 ? HidOpenError::NotFound
                                                    : HidOpenError::Other;
        return nullptr;
    }
    error = HidOpenError::None;
    HidAttributes attributes;
    const std::string name = path.substr(path.rfind('/') + 1);
    const bool haveVersion = ReadSysfsAttributes(name, attributes);
    return std::make_unique<CHidrawConnection>(
        fd, haveVersion, attributes.VersionNumber,
        m_sysfsRoot + "/class/hidraw/" + name + "/device/report_descriptor");
}
