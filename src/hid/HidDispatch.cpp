#include "HidDispatch.h"

int DispatchHidCall(int code, HidCallParams* params, HidCallStatus* status)
{
    status->Failed = 0;
    if (code != GetInputReport && code != SetOutputReport)
        return 0;
    CHidConnection* connection = params->DeviceHandle;
    if (code == GetInputReport) {
        params->ReportReceived = 0;
        if (params->ReportBuffer && params->ReportBufferSize > 0)
            params->ReportBuffer[0] = params->ReportID;
        // A closed handle or a missing buffer is a failed request, never a crash.
        if (!connection || !params->ReportBuffer ||
            !connection->GetInputReport(params->ReportBuffer, params->ReportLength,
                                        params->ReportBufferSize, params->ReportReceived))
            status->Failed = 1;
        return 1;
    }
    if (!connection || !params->ReportBuffer || params->ReportLength > params->ReportBufferSize ||
        !connection->SetOutputReport(params->ReportBuffer, params->ReportLength))
        status->Failed = 1;
    return 1;
}
