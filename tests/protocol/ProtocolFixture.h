// A session opened on a simulated device, with the diagnostics captured.
#pragma once

#include "DeviceSession.h"
#include "Diagnostics.h"
#include "HidSimBackend.h"
#include "SimDevice.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class ProtocolTest : public ::testing::Test
{
protected:
    void Open(const SimDeviceOptions& options = SimDeviceOptions())
    {
        std::string error;
        std::unique_ptr<CSimDevice> device = CSimDevice::Create(options, error);
        ASSERT_TRUE(device) << error;
        m_device = std::shared_ptr<CSimDevice>(std::move(device));
        m_backend.AddNode(m_device);
        SetHidBackend(&m_backend);
        uint32_t index = 0;
        m_openResult = m_session.OpenDevice(options.VendorId, options.ProductId, &index);
        m_device->ClearLog();
    }
    void TearDown() override
    {
        m_session.CloseDevice();
        SetHidBackend(nullptr);
    }
    std::vector<SimLogEntry> Log() const { return m_device->Log(); }
    static std::vector<uint8_t> Bytes(std::initializer_list<int> list)
    {
        std::vector<uint8_t> v;
        for (int b : list)
            v.push_back(static_cast<uint8_t>(b));
        return v;
    }

    CDiagnosticsCapture m_diagnostics;
    CHidSimBackend m_backend;
    std::shared_ptr<CSimDevice> m_device;
    CDeviceSession m_session;
    OpenDeviceResult m_openResult = OpenDeviceResult::SearchFailed;
};

// Records what a burst reports.
class CRecordingObserver : public CTransferObserver
{
public:
    void SetStatusText(const char* text) override { Status.push_back(text); }
    void SetTotalText(const char* text) override { Total.push_back(text); }
    void SetCurrentText(const char* text) override { Current.push_back(text); }
    void SetProgressRange(uint32_t total) override { Range.push_back(total); }
    void SetProgressPos(uint32_t position) override { Positions.push_back(position); }

    std::vector<std::string> Status, Total, Current;
    std::vector<uint32_t> Range, Positions;
};
