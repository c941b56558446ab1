// The seam between the HID layer and a platform: enumerate the HID nodes of
// the machine, open one, read its attributes and raw report descriptor, send
// an Output report and get an Input report. A node is what the platform hands
// out (a hidraw device on Linux); the layer above splits a node's descriptor
// into top-level collections and presents each as an interface of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct HidAttributes
{
    uint16_t VendorID = 0;
    uint16_t ProductID = 0;
    uint16_t VersionNumber = 0;
};

// Why a node could not be opened.
enum class HidOpenError
{
    None,
    NotFound,
    PermissionDenied,
    Other,
};

// One enumerated node: its path, what the platform tells without opening it.
struct HidNodeInfo
{
    std::string Path;
    bool HasAttributes = false;   // attributes known without opening (sysfs)
    HidAttributes Attributes;
    std::vector<uint8_t> Descriptor;   // may be empty when it cannot be read unopened
};

// An open node. Reports are whole reports, byte 0 the report ID.
class CHidConnection
{
public:
    virtual ~CHidConnection() = default;
    virtual bool GetAttributes(HidAttributes& attributes) = 0;
    virtual bool GetReportDescriptor(std::vector<uint8_t>& descriptor) = 0;
    // SET_REPORT(Output) semantics: `length` bytes from `report`.
    virtual bool SetOutputReport(const uint8_t* report, uint32_t length) = 0;
    // GET_REPORT(Input): byte 0 of `buffer` holds the report ID on entry. The
    // length argument is passed on unchanged as a full 32-bit value (the device
    // may read a command code from bits 8..15 of it). `bufferSize` is the real
    // size of `buffer`: nothing is ever written beyond it, and a length argument
    // larger than the buffer or than the platform can carry fails the request.
    // `received` gets the number of bytes the device answered (from byte 0):
    // the bytes after them still hold what an earlier request left.
    virtual bool GetInputReport(uint8_t* buffer, uint32_t lengthArgument, uint32_t bufferSize,
                                uint32_t& received) = 0;
};

class CHidBackend
{
public:
    virtual ~CHidBackend() = default;
    // Nodes in a stable order. False when the platform's device list is not
    // available at all.
    virtual bool Enumerate(std::vector<HidNodeInfo>& nodes) = 0;
    virtual std::unique_ptr<CHidConnection> Open(const std::string& path, HidOpenError& error) = 0;
};

// The backend the HID layer uses; the Linux hidraw backend unless another was
// installed. Installing does not take ownership; null restores the default.
CHidBackend* GetHidBackend();
void SetHidBackend(CHidBackend* backend);
