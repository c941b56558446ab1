// A backend that serves simulated devices in-process, through the same seam
// as hardware. Each node is an object that answers reports as a device would.
#pragma once

#include "HidBackend.h"

#include <memory>
#include <mutex>
#include <set>
#include <vector>

// A simulated HID node: what a device on the other end of the cable does.
class CHidSimNode
{
public:
    virtual ~CHidSimNode() = default;
    virtual HidAttributes Attributes() const = 0;
    virtual std::vector<uint8_t> ReportDescriptor() const = 0;
    // The device receives an Output report (byte 0 the report ID).
    virtual bool HandleOutputReport(const uint8_t* report, uint32_t length) = 0;
    // The device answers an Input request: byte 0 of buffer holds the report ID
    // asked for, lengthArgument is the length the host requested (as it reaches
    // the device), bufferSize the host buffer's real size. The node never writes
    // beyond bufferSize, and sets `received` to the number of bytes it answered.
    virtual bool HandleInputRequest(uint8_t* buffer, uint32_t lengthArgument, uint32_t bufferSize,
                                    uint32_t& received) = 0;
    // False once the node has been unplugged: opens and requests then fail.
    virtual bool Present() const { return true; }
};

class CHidSimBackend : public CHidBackend
{
public:
    // Nodes are enumerated in the order they were added, with paths "sim:N".
    void AddNode(std::shared_ptr<CHidSimNode> node);
    size_t NodeCount() const;
    std::shared_ptr<CHidSimNode> Node(size_t index) const;

    bool Enumerate(std::vector<HidNodeInfo>& nodes) override;
    std::unique_ptr<CHidConnection> Open(const std::string& path, HidOpenError& error) override;

    // Makes opening node `index` fail as a node without access rights does.
    void DenyOpen(size_t index);

private:
    std::set<size_t> m_deniedNodes;
    mutable std::mutex m_mutex;
    std::vector<std::shared_ptr<CHidSimNode>> m_nodes;
};
