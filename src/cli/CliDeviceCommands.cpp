// The device's panel and information commands: registers, IIC, GPIO, the
// firmware version, the HDMI and DRM information, and the summary of `info`.
#include "CliCommands.h"

#include "CommandTable.h"
#include "HexFormat.h"

#include <cstdio>

namespace {

constexpr uint32_t kGpioPins = 4;
constexpr size_t kIicHeaderBytes = 5;   // report ID, length byte, code, device address, count

// The session of one command: the device opened, the trace attached.
class CCliSession
{
public:
    explicit CCliSession(CliContext& context) : m_tracer(context.Console)
    {
        if (context.Global.Trace)
            m_session.SetExchangeTracer(&m_tracer);
    }
    CDeviceSession& operator*() { return m_session; }
    CDeviceSession* operator->() { return &m_session; }

private:
    CCliTracer m_tracer;
    CDeviceSession m_session;
};

std::string Hex8(uint32_t value)
{
    char text[12];
    std::snprintf(text, sizeof text, "0x%08x", value);
    return text;
}

std::string Hex2(uint32_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02x", value & 0xFF);
    return text;
}

bool ReadHex(CliContext& c, size_t arg, const char* what, uint32_t max, uint32_t& value, int& status)
{
    if (ParseHexArg(c.Args.Args[arg], max, value))
        return true;
    char range[16];
    std::snprintf(range, sizeof range, "%X", max);
    status = c.Usage(std::string(what) + " '" + c.Args.Args[arg] +
                     "' is not a hexadecimal number from 0 to " + range);
    return false;
}

bool ReadPin(CliContext& c, uint32_t& pin, int& status)
{
    if (ParseDecArg(c.Args.Args[0], kGpioPins - 1, pin))
        return true;
    status = c.Usage("PIN '" + c.Args.Args[0] + "' is not a pin number from 0 to 3");
    return false;
}

} // namespace

int RunRegRead(CliContext& c)
{
    uint32_t address = 0;
    int status = CLI_EXIT_OK;
    if (!ReadHex(c, 0, "ADDR", 0xFFFFFFFF, address, status))
        return status;
    CCliSession session(c);
    if ((status = OpenSelectedDevice(c, *session, true)) != CLI_EXIT_OK)
        return status;
    uint32_t value = 0;
    if (!session->RegisterAccess(OP_REG_READ, address, &value))
        return c.Fail(CLI_EXIT_FAILED, "register " + Hex8(address) + ": " +
                                           c.StepFailure("the read failed"));
    if (c.Global.Json) {
        c.Console.Out(
            CJsonWriter().BeginObject().Field("address", address).Field("value", value).EndObject().Line());
    } else {
        char text[16];
        std::snprintf(text, sizeof text, "%08x\n", value);
        c.Console.Out(text);
    }
    return CLI_EXIT_OK;
}

int RunRegWrite(CliContext& c)
{
    uint32_t address = 0, value = 0;
    int status = CLI_EXIT_OK;
    if (!ReadHex(c, 0, "ADDR", 0xFFFFFFFF, address, status) ||
        !ReadHex(c, 1, "VALUE", 0xFFFFFFFF, value, status))
        return status;
    CCliSession session(c);
    if ((status = OpenSelectedDevice(c, *session, true)) != CLI_EXIT_OK)
        return status;
    if (!session->RegisterAccess(OP_REG_WRITE, address, &value))
        return c.Fail(CLI_EXIT_FAILED, "register " + Hex8(address) + ": " +
                                           c.StepFailure("the write failed"));
    if (c.Global.Json)
        c.Console.Out(CJsonWriter()
                          .BeginObject()
                          .Field("address", address)
                          .Field("value", value)
                          .Field("written", true)
                          .EndObject()
                          .Line());
    return CLI_EXIT_OK;
}

// The IIC transfer ran; a non-zero result code means the peripheral did not
// take it (no acknowledge), which a script must not take for success.
static int IicResult(CliContext& c, uint32_t device, uint8_t result)
{
    if (result == 0)
        return CLI_EXIT_OK;
    return c.Fail(CLI_EXIT_FAILED, "IIC device " + Hex2(device) + " answered result code " + Hex2(result));
}

int RunIicWrite(CliContext& c)
{
    uint32_t device = 0;
    int status = CLI_EXIT_OK;
    if (!ReadHex(c, 0, "DEV", 0xFF, device, status))
        return status;
    const size_t count = c.Args.Args.size() - 1;
    if (count > 0xFF)
        return c.Usage("at most 255 bytes can be written at once");
    uint8_t data[256] = {};
    for (size_t i = 0; i < count; ++i) {
        uint32_t byte = 0;
        if (!ReadHex(c, i + 1, "BYTE", 0xFF, byte, status))
            return status;
        data[i] = static_cast<uint8_t>(byte);
    }
    CCliSession session(c);
    if ((status = OpenSelectedDevice(c, *session, true)) != CLI_EXIT_OK)
        return status;
    if (kIicHeaderBytes + count > session->m_nReportLen2)
        return c.Usage(std::to_string(count) + " bytes do not fit the device's IIC report (at most " +
                       std::to_string(session->m_nReportLen2 - kIicHeaderBytes) + ")");
    if (!session->IicAccess(OP_IIC_WRITE, static_cast<uint8_t>(device), static_cast<uint8_t>(count),
                            data, 0))
        return c.Fail(CLI_EXIT_FAILED, "device " + Hex2(device) + ": " +
                                           c.StepFailure("the IIC write failed"));
    if (c.Global.Json)
        c.Console.Out(CJsonWriter()
                          .BeginObject()
                          .Field("device", device)
                          .Field("count", static_cast<uint32_t>(count))
                          .Field("result", static_cast<uint32_t>(data[0]))
                          .EndObject()
                          .Line());
    else
        c.Console.Out("result: " + Hex2(data[0]) + "\n");
    return IicResult(c, device, data[0]);
}

int RunIicRead(CliContext& c)
{
    uint32_t device = 0, reg = 0, count = 1;
    int status = CLI_EXIT_OK;
    if (!ReadHex(c, 0, "DEV", 0xFF, device, status) || !ReadHex(c, 1, "REG", 0xFF, reg, status))
        return status;
    if (c.Args.Args.size() > 2 && (!ParseDecArg(c.Args.Args[2], 255, count) || count == 0))
        return c.Usage("COUNT '" + c.Args.Args[2] + "' is not a number from 1 to 255");
    CCliSession session(c);
    if ((status = OpenSelectedDevice(c, *session, true)) != CLI_EXIT_OK)
        return status;
    const uint32_t answerRoom = SlotLength(session->Device(), 0, 2);
    if (count + 1 > answerRoom)
        return c.Usage("COUNT " + std::to_string(count) +
                       " does not fit the device's IIC answer (at most " +
                       std::to_string(answerRoom ? answerRoom - 1 : 0) + " bytes)");
    uint8_t data[256] = {static_cast<uint8_t>(reg)};
    if (!session->IicAccess(OP_IIC_READ, static_cast<uint8_t>(device), 1, data,
                            static_cast<uint8_t>(count)))
        return c.Fail(CLI_EXIT_FAILED, "device " + Hex2(device) + " register " + Hex2(reg) + ": " +
                                           c.StepFailure("the IIC read failed"));
    if (c.Global.Json) {
        CJsonWriter json;
        json.BeginObject()
            .Field("device", device)
            .Field("register", reg)
            .Field("result", static_cast<uint32_t>(data[0]))
            .Key("data")
            .BeginArray();
        for (uint32_t i = 1; i <= count; ++i)
            json.Number(data[i]);
        c.Console.Out(json.EndArray().EndObject().Line());
    } else {
        std::string text = "result: " + Hex2(data[0]) + "\ndata: ";
        AppendHexBytes(text, data + 1, count);
        c.Console.Out(text + "\n");
    }
    return IicResult(c, device, data[0]);
}

namespace {

int SetGpio(CliContext& c, int op, uint32_t pin, uint32_t value)
{
    CCliSession session(c);
    int status = OpenSelectedDevice(c, *session, true);
    if (status != CLI_EXIT_OK)
        return status;
    uint8_t byte = static_cast<uint8_t>(value);
    if (!session->GpioAccess(op, static_cast<uint8_t>(pin), &byte))
        return c.Fail(CLI_EXIT_FAILED, "pin " + std::to_string(pin) + ": " +
                                           c.StepFailure("the GPIO command failed"));
    if (c.Global.Json)
        c.Console.Out(CJsonWriter()
                          .BeginObject()
                          .Field("pin", pin)
                          .Field(op == OP_GPIO_SET ? "direction" : "level", value)
                          .EndObject()
                          .Line());
    return CLI_EXIT_OK;
}

} // namespace

int RunGpioDir(CliContext& c)
{
    uint32_t pin = 0;
    int status = CLI_EXIT_OK;
    if (!ReadPin(c, pin, status))
        return status;
    const std::string& dir = c.Args.Args[1];
    uint32_t direction = 0;
    if (dir == "in" || dir == "0")
        direction = 0;
    else if (dir == "out" || dir == "1")
        direction = 1;
    else
        return c.Usage("direction '" + dir + "' is neither 'in' nor 'out'");
    return SetGpio(c, OP_GPIO_SET, pin, direction);
}

int RunGpioWrite(CliContext& c)
{
    uint32_t pin = 0, level = 0;
    int status = CLI_EXIT_OK;
    if (!ReadPin(c, pin, status))
        return status;
    if (!ParseDecArg(c.Args.Args[1], 1, level))
        return c.Usage("LEVEL '" + c.Args.Args[1] + "' is neither 0 nor 1");
    return SetGpio(c, OP_GPIO_WRITE, pin, level);
}

int RunGpioRead(CliContext& c)
{
    uint32_t pin = 0;
    int status = CLI_EXIT_OK;
    if (!ReadPin(c, pin, status))
        return status;
    CCliSession session(c);
    if ((status = OpenSelectedDevice(c, *session, true)) != CLI_EXIT_OK)
        return status;
    uint8_t level = 0;
    if (!session->GpioAccess(OP_GPIO_READ, static_cast<uint8_t>(pin), &level))
        return c.Fail(CLI_EXIT_FAILED, "pin " + std::to_string(pin) + ": " +
                                           c.StepFailure("the GPIO read failed"));
    if (c.Global.Json)
        c.Console.Out(CJsonWriter()
                          .BeginObject()
                          .Field("pin", pin)
                          .Field("level", static_cast<uint32_t>(level))
                          .EndObject()
                          .Line());
    else
        c.Console.Out(std::to_string(level) + "\n");
    return CLI_EXIT_OK;
}

int RunFwVersion(CliContext& c)
{
    CCliSession session(c);
    int status = OpenSelectedDevice(c, *session, true);
    if (status != CLI_EXIT_OK)
        return status;
    char version[kFirmwareVersionTextSize] = "";
    if (!session->GetFirmwareVersion(version))
        return c.Fail(CLI_EXIT_FAILED, c.StepFailure("the version registers could not be read"));
    if (c.Global.Json)
        c.Console.Out(CJsonWriter().BeginObject().Field("firmware_version", version).EndObject().Line());
    else
        c.Console.Out(std::string(version) + "\n");
    return CLI_EXIT_OK;
}

int RunHdmiInfo(CliContext& c)
{
    CCliSession session(c);
    int status = OpenSelectedDevice(c, *session, true);
    if (status != CLI_EXIT_OK)
        return status;
    char text[kHdmiInfoTextSize] = "";
    bool requestOk = false;
    // A refused request leaves old bytes in the receive buffer: they are not
    // the HDMI information and are not shown as such.
    if (!session->GetHdmiInfo(text, &requestOk) || !requestOk)
        return c.Fail(CLI_EXIT_FAILED, c.StepFailure("the HDMI information could not be read"));
    if (c.Global.Json)
        c.Console.Out(CJsonWriter().BeginObject().Field("hdmi_info", text).EndObject().Line());
    else
        c.Console.Out(std::string(text) + "\n");
    return CLI_EXIT_OK;
}

int RunDrmInfo(CliContext& c)
{
    CCliSession session(c);
    int status = OpenSelectedDevice(c, *session, true);
    if (status != CLI_EXIT_OK)
        return status;
    uint8_t bytes[kDrmInfoLength] = {};
    bool requestOk = false;
    if (!session->GetDrmInfo(bytes, &requestOk) || !requestOk)
        return c.Fail(CLI_EXIT_FAILED, c.StepFailure("the DRM information could not be read"));
    std::string text;
    AppendHexBytes(text, bytes, kDrmInfoLength);
    if (c.Global.Json)
        c.Console.Out(CJsonWriter().BeginObject().Field("drm_info", text).EndObject().Line());
    else
        c.Console.Out(text + "\n");
    return CLI_EXIT_OK;
}

int RunInfo(CliContext& c)
{
    CCliSession session(c);
    uint32_t index = 0;
    int status = OpenSelectedDevice(c, *session, false, &index);
    if (status != CLI_EXIT_OK)
        return status;
    char deviceLine[kDeviceLineSize] = "";
    session->FormatDeviceLine(index, deviceLine, sizeof deviceLine);
    const HidDevice& device = session->Device();
    const std::string path = device.DevicePath ? device.DevicePath : "";

    CJsonWriter json;
    json.BeginObject()
        .Field("device_line", deviceLine)
        .Field("index", index)
        .Field("path", path)
        .Field("vendor_id", static_cast<uint32_t>(device.Attributes.VendorID))
        .Field("product_id", static_cast<uint32_t>(device.Attributes.ProductID))
        .Field("usage_page", static_cast<uint32_t>(device.Caps.UsagePage))
        .Field("usage", static_cast<uint32_t>(device.Caps.Usage));
    std::string text = std::string(deviceLine) + "\nPath:     " + path + "\n";

    std::vector<std::string> failures;
    char version[kFirmwareVersionTextSize] = "";
    std::string flash;
    json.Key("firmware_version");
    if (!session->CanRunCommands()) {
        const HidCaps& caps = device.Caps;
        failures.push_back("the device's reports cannot carry its commands: it has " +
                           std::to_string(caps.NumberOutputValueCaps) + " output and " +
                           std::to_string(caps.NumberInputValueCaps) +
                           " input report slots, 3 of each are needed");
        json.Null().Key("flash").Null();
    } else {
        c.Diagnostics.Reset();
        if (session->GetFirmwareVersion(version)) {
            json.String(version);
            text += std::string("Firmware: ") + version + "\n";
        } else {
            json.Null();
            failures.push_back("firmware version: " + c.StepFailure("the registers could not be read"));
        }
        json.Key("flash");
        if (DescribeFlashChip(*session, c, flash, &json))
            text += "Flash:    " + flash + "\n";
        else
            failures.push_back("flash chip: " + flash);
    }
    c.Console.Out(c.Global.Json ? json.EndObject().Line() : text);
    for (const std::string& failure : failures)
        c.Fail(CLI_EXIT_FAILED, failure);
    return failures.empty() ? CLI_EXIT_OK : CLI_EXIT_FAILED;
}
