// HID interfaces that have nothing to do with the device (a keyboard, a mouse,
// a consumer-control panel), for the enumeration to walk past. Each presents a
// realistic report descriptor under its own vendor and product identifiers and
// refuses every report sent to it or asked of it.
#pragma once

#include "HidSimBackend.h"

enum class SimOtherKind
{
    Keyboard,
    Mouse,
    ConsumerControl,
};

class CSimOtherInterface : public CHidSimNode
{
public:
    // Identifiers default to the kind's own; pass others to imitate, say, a
    // keyboard interface of the device's own vendor and product.
    explicit CSimOtherInterface(SimOtherKind kind);
    CSimOtherInterface(SimOtherKind kind, const HidAttributes& attributes);

    SimOtherKind Kind() const { return m_kind; }

    HidAttributes Attributes() const override;
    std::vector<uint8_t> ReportDescriptor() const override;
    bool HandleOutputReport(const uint8_t* report, uint32_t length) override;
    bool HandleInputRequest(uint8_t* buffer, uint32_t lengthArgument, uint32_t bufferSize,
                            uint32_t& received) override;

    static HidAttributes DefaultAttributes(SimOtherKind kind);

private:
    SimOtherKind m_kind;
    HidAttributes m_attributes;
};
