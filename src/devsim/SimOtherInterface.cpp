#include "SimOtherInterface.h"

#include <iterator>

namespace {

// Boot keyboard: modifier byte, reserved byte, six key codes; five LED outputs.
const uint8_t kKeyboardDescriptor[] = {
    0x05, 0x01,         // Usage Page (Generic Desktop)
    0x09, 0x06,         // Usage (Keyboard)
    0xA1, 0x01,         // Collection (Application)
    0x05, 0x07,         //   Usage Page (Keyboard/Keypad)
    0x19, 0xE0,         //   Usage Minimum (Left Control)
    0x29, 0xE7,         //   Usage Maximum (Right GUI)
    0x15, 0x00,         //   Logical Minimum (0)
    0x25, 0x01,         //   Logical Maximum (1)
    0x75, 0x01,         //   Report Size (1)
    0x95, 0x08,         //   Report Count (8)
    0x81, 0x02,         //   Input (Data,Var,Abs): modifiers
    0x95, 0x01,         //   Report Count (1)
    0x75, 0x08,         //   Report Size (8)
    0x81, 0x01,         //   Input (Const): reserved
    0x95, 0x05,         //   Report Count (5)
    0x75, 0x01,         //   Report Size (1)
    0x05, 0x08,         //   Usage Page (LEDs)
    0x19, 0x01,         //   Usage Minimum (Num Lock)
    0x29, 0x05,         //   Usage Maximum (Kana)
    0x91, 0x02,         //   Output (Data,Var,Abs): LEDs
    0x95, 0x01,         //   Report Count (1)
    0x75, 0x03,         //   Report Size (3)
    0x91, 0x01,         //   Output (Const): padding
    0x95, 0x06,         //   Report Count (6)
    0x75, 0x08,         //   Report Size (8)
    0x15, 0x00,         //   Logical Minimum (0)
    0x25, 0x65,         //   Logical Maximum (101)
    0x05, 0x07,         //   Usage Page (Keyboard/Keypad)
    0x19, 0x00,         //   Usage Minimum (0)
    0x29, 0x65,         //   Usage Maximum (101)
    0x81, 0x00,         //   Input (Data,Array): key codes
    0xC0,               // End Collection
};

// Three-button wheel mouse.
const uint8_t kMouseDescriptor[] = {
    0x05, 0x01,         // Usage Page (Generic Desktop)
    0x09, 0x02,         // Usage (Mouse)
    0xA1, 0x01,         // Collection (Application)
    0x09, 0x01,         //   Usage (Pointer)
    0xA1, 0x00,         //   Collection (Physical)
    0x05, 0x09,         //     Usage Page (Button)
    0x19, 0x01,         //     Usage Minimum (1)
    0x29, 0x03,         //     Usage Maximum (3)
    0x15, 0x00,         //     Logical Minimum (0)
    0x25, 0x01,         //     Logical Maximum (1)
    0x95, 0x03,         //     Report Count (3)
    0x75, 0x01,         //     Report Size (1)
    0x81, 0x02,         //     Input (Data,Var,Abs): buttons
    0x95, 0x01,         //     Report Count (1)
    0x75, 0x05,         //     Report Size (5)
    0x81, 0x01,         //     Input (Const): padding
    0x05, 0x01,         //     Usage Page (Generic Desktop)
    0x09, 0x30,         //     Usage (X)
    0x09, 0x31,         //     Usage (Y)
    0x09, 0x38,         //     Usage (Wheel)
    0x15, 0x81,         //     Logical Minimum (-127)
    0x25, 0x7F,         //     Logical Maximum (127)
    0x75, 0x08,         //     Report Size (8)
    0x95, 0x03,         //     Report Count (3)
    0x81, 0x06,         //     Input (Data,Var,Rel)
    0xC0,               //   End Collection
    0xC0,               // End Collection
};

// Media keys: one 16-bit usage of the consumer page per report.
const uint8_t kConsumerDescriptor[] = {
    0x05, 0x0C,         // Usage Page (Consumer)
    0x09, 0x01,         // Usage (Consumer Control)
    0xA1, 0x01,         // Collection (Application)
    0x85, 0x01,         //   Report ID (1)
    0x15, 0x00,         //   Logical Minimum (0)
    0x26, 0xFF, 0x03,   //   Logical Maximum (1023)
    0x19, 0x00,         //   Usage Minimum (0)
    0x2A, 0xFF, 0x03,   //   Usage Maximum (1023)
    0x75, 0x10,         //   Report Size (16)
    0x95, 0x01,         //   Report Count (1)
    0x81, 0x00,         //   Input (Data,Array)
    0xC0,               // End Collection
};

} // namespace

HidAttributes CSimOtherInterface::DefaultAttributes(SimOtherKind kind)
{
    HidAttributes a;
    switch (kind) {
    case SimOtherKind::Keyboard:
        a.VendorID = 0x1A2B; a.ProductID = 0x0101; a.VersionNumber = 0x0110;
        break;
    case SimOtherKind::Mouse:
        a.VendorID = 0x1A2B; a.ProductID = 0x0202; a.VersionNumber = 0x0200;
        break;
    case SimOtherKind::ConsumerControl:
        a.VendorID = 0x2C3D; a.ProductID = 0x0303; a.VersionNumber = 0x0100;
        break;
    }
    return a;
}

CSimOtherInterface::CSimOtherInterface(SimOtherKind kind)
    : CSimOtherInterface(kind, DefaultAttributes(kind))
{
}

CSimOtherInterface::CSimOtherInterface(SimOtherKind kind, const HidAttributes& attributes)
    : m_kind(kind), m_attributes(attributes)
{
}

HidAttributes CSimOtherInterface::Attributes() const
{
    return m_attributes;
}

std::vector<uint8_t> CSimOtherInterface::ReportDescriptor() const
{
    switch (m_kind) {
    case SimOtherKind::Keyboard:
        return {std::begin(kKeyboardDescriptor), std::end(kKeyboardDescriptor)};
    case SimOtherKind::Mouse:
        return {std::begin(kMouseDescriptor), std::end(kMouseDescriptor)};
    case SimOtherKind::ConsumerControl:
        break;
    }
    return {std::begin(kConsumerDescriptor), std::end(kConsumerDescriptor)};
}

bool CSimOtherInterface::HandleOutputReport(const uint8_t*, uint32_t)
{
    return false;
}

bool CSimOtherInterface::HandleInputRequest(uint8_t*, uint32_t, uint32_t, uint32_t& received)
{
    received = 0;
    return false;
}
