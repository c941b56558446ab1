#include "HidSimBackend.h"

#include <string>

namespace {

class CSimConnection : public CHidConnection
{
public:
    explicit CSimConnection(std::shared_ptr<CHidSimNode> node) : m_node(std::move(node)) {}

    bool GetAttributes(HidAttributes& attributes) override
    {
        if (!m_node->Present())
            return false;
        attributes = m_node->Attributes();
        return true;
    }
    bool GetReportDescriptor(std::vector<uint8_t>& descriptor) override
    {
        if (!m_node->Present())
            return false;
        descriptor = m_node->ReportDescriptor();
        return true;
    }
    bool SetOutputReport(const uint8_t* report, uint32_t length) override
    {
        return m_node->Present() && length > 0 && m_node->HandleOutputReport(report, length);
    }
    bool GetInputReport(uint8_t* buffer, uint32_t lengthArgument, uint32_t bufferSize,
                        uint32_t& received) override
    {
        received = 0;
        if (!m_node->Present() || bufferSize == 0 ||
            !m_node->HandleInputRequest(buffer, lengthArgument, bufferSize, received))
            return false;
        if (received > bufferSize)
            received = bufferSize;
        return true;
    }

private:
    std::shared_ptr<CHidSimNode> m_node;
};

bool ParseSimPath(const std::string& path, size_t& index)
{
    if (path.rfind("sim:", 0) != 0 || path.size() == 4 || path.size() > 12)
        return false;
    index = 0;
    for (size_t i = 4; i < path.size(); ++i) {
        if (path[i] < '0' || path[i] > '9')
            return false;
        index = index * 10 + static_cast<size_t>(path[i] - '0');
    }
    return true;
}

} // namespace

void CHidSimBackend::AddNode(std::shared_ptr<CHidSimNode> node)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nodes.push_back(std::move(node));
}

size_t CHidSimBackend::NodeCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nodes.size();
}

std::shared_ptr<CHidSimNode> CHidSimBackend::Node(size_t index) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return index < m_nodes.size() ? m_nodes[index] : nullptr;
}

bool CHidSimBackend::Enumerate(std::vector<HidNodeInfo>& nodes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    nodes.clear();
    for (size_t i = 0; i < m_nodes.size(); ++i) {
        if (!m_nodes[i]->Present())
            continue;
        HidNodeInfo info;
        info.Path = "sim:" + std::to_string(i);
        info.HasAttributes = true;
        info.Attributes = m_nodes[i]->Attributes();
        info.Descriptor = m_nodes[i]->ReportDescriptor();
        nodes.push_back(std::move(info));
    }
    return true;
}

std::unique_ptr<CHidConnection> CHidSimBackend::Open(const std::string& path, HidOpenError& error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    size_t index = 0;
    if (!ParseSimPath(path, index) || index >= m_nodes.size() || !m_nodes[index]->Present()) {
        error = HidOpenError::NotFound;
        return nullptr;
    }
    if (m_deniedNodes.count(index)) {
        error = HidOpenError::PermissionDenied;
        return nullptr;
    }
    error = HidOpenError::None;
    return std::make_unique<CSimConnection>(m_nodes[index]);
}

void CHidSimBackend::DenyOpen(size_t index)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_deniedNodes.insert(index);
}
