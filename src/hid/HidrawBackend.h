// Linux backend: hidraw nodes found through sysfs, reports through the hidraw
// ioctls (HIDIOCSOUTPUT for Output reports, HIDIOCGINPUT for Input requests).
#pragma once

#include "HidBackend.h"

#include <string>

class CHidrawBackend : public CHidBackend
{
public:
    // sysfsRoot holds class/hidraw/hidrawN; device nodes are devRoot/hidrawN.
    explicit CHidrawBackend(std::string sysfsRoot = "/sys", std::string devRoot = "/dev");

    bool Enumerate(std::vector<HidNodeInfo>& nodes) override;
    std::unique_ptr<CHidConnection> Open(const std::string& path, HidOpenError& error) override;

    // The largest length an ioctl request can carry (14 bits of the request
    // number); longer requests are refused, never truncated.
    static constexpr uint32_t kMaxIoctlLength = 0x3FFF;
    // Builds the request numbers at run time from the length.
    static unsigned long InputRequest(uint32_t length);
    static unsigned long OutputRequest(uint32_t length);

    // Reads the attributes of node hidrawN from sysfs (HID_ID of the uevent,
    // bcdDevice of the USB device).
    bool ReadSysfsAttributes(const std::string& nodeName, HidAttributes& attributes) const;

private:
    std::string m_sysfsRoot;
    std::string m_devRoot;
};
