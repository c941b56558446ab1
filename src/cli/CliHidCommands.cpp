// `list` and `caps`: what the HID layer sees of the machine's interfaces and
// of a report descriptor, without sending the device anything.
#include "CliCommands.h"

#include "HidDevice.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kMaxDescriptorFile = 65536;

std::string Hex4(uint32_t value)
{
    char text[12];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

// Index of the interface the other commands would use: the one at --path, or
// the first whose IDs match. -1 when none.
long MatchingInterface(const std::vector<HidInterfaceInfo>& interfaces, const CliGlobalOptions& g)
{
    for (size_t i = 0; i < interfaces.size(); ++i) {
        const HidInterfaceInfo& info = interfaces[i];
        const bool idsMatch = info.Node.HasAttributes &&
                              info.Node.Attributes.VendorID == g.VendorId &&
                              info.Node.Attributes.ProductID == g.ProductId;
        if (idsMatch && (g.Path.empty() || info.Path == g.Path))
            return static_cast<long>(i);
    }
    return -1;
}

} // namespace

int RunList(CliContext& c)
{
    std::vector<HidInterfaceInfo> interfaces;
    if (!EnumerateHidInterfaces(interfaces))
        return c.Fail(CLI_EXIT_FAILED, "cannot list the HID interfaces of this machine");
    const long match = MatchingInterface(interfaces, c.Global);

    if (c.Global.Json) {
        CJsonWriter json;
        json.BeginArray();
        for (size_t i = 0; i < interfaces.size(); ++i) {
            const HidInterfaceInfo& info = interfaces[i];
            json.BeginObject().Field("index", static_cast<uint32_t>(i));
            if (info.Node.HasAttributes)
                json.Field("vendor_id", static_cast<uint32_t>(info.Node.Attributes.VendorID))
                    .Field("product_id", static_cast<uint32_t>(info.Node.Attributes.ProductID));
            else
                json.Key("vendor_id").Null().Key("product_id").Null();
            if (info.HasCollection)
                json.Field("usage_page", static_cast<uint32_t>(info.UsagePage))
                    .Field("usage", static_cast<uint32_t>(info.Usage));
            else
                json.Key("usage_page").Null().Key("usage").Null();
            json.Field("path", info.Path).Field("matches", match == static_cast<long>(i)).EndObject();
        }
        c.Console.Out(json.EndArray().Line());
        return CLI_EXIT_OK;
    }

    std::string text = "INDEX  VID:PID    USAGE PAGE  USAGE   MATCH  PATH\n";
    for (size_t i = 0; i < interfaces.size(); ++i) {
        const HidInterfaceInfo& info = interfaces[i];
        char ids[16] = "????:????";
        if (info.Node.HasAttributes)
            std::snprintf(ids, sizeof ids, "%04X:%04X", info.Node.Attributes.VendorID,
                          info.Node.Attributes.ProductID);
        const std::string page = info.HasCollection ? Hex4(info.UsagePage) : "-";
        const std::string usage = info.HasCollection ? Hex4(info.Usage) : "-";
        char line[256];
        std::snprintf(line, sizeof line, "%5u  %-9s  %-10s  %-6s  %-5s  ", static_cast<unsigned>(i),
                      ids, page.c_str(), usage.c_str(), match == static_cast<long>(i) ? "*" : "");
        text += line + info.Path + "\n";
    }
    if (match < 0)
        text += "No interface matches " +
                (c.Global.Path.empty() ? DeviceIds(c.Global) : DeviceIds(c.Global) + " at " + c.Global.Path) +
                ".\n";
    c.Console.Out(text);
    return CLI_EXIT_OK;
}

namespace {

// The raw descriptor of the selected interface's node.
int DeviceDescriptor(CliContext& c, std::vector<uint8_t>& descriptor, std::string& source)
{
    std::vector<HidInterfaceInfo> interfaces;
    if (!EnumerateHidInterfaces(interfaces))
        return c.Fail(CLI_EXIT_FAILED, "cannot list the HID interfaces of this machine");
    const long match = MatchingInterface(interfaces, c.Global);
    if (match < 0)
        return c.Fail(CLI_EXIT_NO_DEVICE,
                      (c.Global.Path.empty() ? "no HID interface with " + DeviceIds(c.Global) + " found"
                                             : c.Global.Path + " is not a HID interface with " +
                                                   DeviceIds(c.Global)) +
                          " (see 'pellaro list')");
    const HidNodeInfo& node = interfaces[static_cast<size_t>(match)].Node;
    source = node.Path;
    if (!node.Descriptor.empty()) {
        descriptor = node.Descriptor;
        return CLI_EXIT_OK;
    }
    HidOpenError error = HidOpenError::None;
    std::unique_ptr<CHidConnection> connection = GetHidBackend()->Open(node.Path, error);
    if (!connection) {
        if (error == HidOpenError::PermissionDenied) {
            char text[512];
            FormatPermissionProblem(text, sizeof text, node.Path.c_str(), c.Global.VendorId,
                                    c.Global.ProductId);
            return c.Fail(CLI_EXIT_FAILED, text);
        }
        return c.Fail(CLI_EXIT_FAILED, "cannot open " + node.Path);
    }
    if (!connection->GetReportDescriptor(descriptor) || descriptor.empty())
        return c.Fail(CLI_EXIT_FAILED, "cannot read the report descriptor of " + node.Path);
    return CLI_EXIT_OK;
}

int FileDescriptor(CliContext& c, const std::string& path, std::vector<uint8_t>& descriptor)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return c.Fail(CLI_EXIT_USAGE, "cannot open " + path + ": " + std::strerror(errno));
    descriptor.resize(kMaxDescriptorFile + 1);
    const size_t got = std::fread(descriptor.data(), 1, descriptor.size(), file);
    const bool readError = std::ferror(file) != 0;
    std::fclose(file);
    descriptor.resize(got);
    if (readError)
        return c.Fail(CLI_EXIT_USAGE, "cannot read " + path);
    if (got == 0)
        return c.Fail(CLI_EXIT_USAGE, path + " is empty");
    if (got > kMaxDescriptorFile)
        return c.Fail(CLI_EXIT_USAGE, path + " is larger than a report descriptor can be (" +
                                          std::to_string(kMaxDescriptorFile) + " bytes)");
    return CLI_EXIT_OK;
}

struct CapRow
{
    uint32_t ReportId, UsagePage, UsageMin, UsageMax;
    bool IsRange;
    uint32_t BitSize, ReportCount, LinkCollection;
};

// The value or button caps of one report type, in slot order.
std::vector<CapRow> CapRows(const HidPreparsedData& data, HidReportType type, bool buttons)
{
    HidCaps caps;
    HidGetCaps(&data, &caps);
    std::vector<CapRow> rows;
    const uint16_t number = buttons ? (type == HidP_Input    ? caps.NumberInputButtonCaps
                                       : type == HidP_Output ? caps.NumberOutputButtonCaps
                                                             : caps.NumberFeatureButtonCaps)
                                    : (type == HidP_Input    ? caps.NumberInputValueCaps
                                       : type == HidP_Output ? caps.NumberOutputValueCaps
                                                             : caps.NumberFeatureValueCaps);
    if (number == 0)
        return rows;
    if (buttons) {
        std::vector<HidButtonCaps> list(number);
        uint16_t count = number;
        HidGetButtonCaps(type, list.data(), &count, &data);
        // Button caps carry no bit size of their own: take it from the stored
        // caps, which the query returns in the same order.
        std::vector<uint16_t> bitSizes;
        for (const HidStoredCap& stored : data.StoredCaps[type])
            if (stored.IsButtonCap)
                bitSizes.push_back(stored.BitSize);
        for (uint16_t i = 0; i < count; ++i) {
            const HidButtonCaps& b = list[i];
            rows.push_back({b.ReportID, b.UsagePage, b.Range.UsageMin, b.Range.UsageMax, b.IsRange,
                            i < bitSizes.size() ? bitSizes[i] : 0u, b.ReportCount, b.LinkCollection});
        }
    } else {
        std::vector<HidValueCaps> list(number);
        uint16_t count = number;
        HidGetValueCaps(type, list.data(), &count, &data);
        for (uint16_t i = 0; i < count; ++i) {
            const HidValueCaps& v = list[i];
            rows.push_back({v.ReportID, v.UsagePage, v.Range.UsageMin, v.Range.UsageMax, v.IsRange,
                            v.BitSize, v.ReportCount, v.LinkCollection});
        }
    }
    return rows;
}

const struct
{
    HidReportType Type;
    bool Buttons;
    const char* Key;
    const char* Title;
} kCapLists[] = {
    {HidP_Input, false, "input_value_caps", "input value caps"},
    {HidP_Input, true, "input_button_caps", "input button caps"},
    {HidP_Output, false, "output_value_caps", "output value caps"},
    {HidP_Output, true, "output_button_caps", "output button caps"},
    {HidP_Feature, false, "feature_value_caps", "feature value caps"},
    {HidP_Feature, true, "feature_button_caps", "feature button caps"},
};

void CapsJson(CJsonWriter& json, const HidPreparsedData& data)
{
    HidCaps caps;
    HidGetCaps(&data, &caps);
    json.BeginObject()
        .Field("usage_page", static_cast<uint32_t>(caps.UsagePage))
        .Field("usage", static_cast<uint32_t>(caps.Usage))
        .Field("input_report_byte_length", static_cast<uint32_t>(caps.InputReportByteLength))
        .Field("output_report_byte_length", static_cast<uint32_t>(caps.OutputReportByteLength))
        .Field("feature_report_byte_length", static_cast<uint32_t>(caps.FeatureReportByteLength));
    for (const auto& list : kCapLists) {
        json.Key(list.Key).BeginArray();
        for (const CapRow& r : CapRows(data, list.Type, list.Buttons))
            json.BeginObject()
                .Field("report_id", r.ReportId)
                .Field("usage_page", r.UsagePage)
                .Field("usage_min", r.UsageMin)
                .Field("usage_max", r.UsageMax)
                .Field("is_range", r.IsRange)
                .Field("bit_size", r.BitSize)
                .Field("report_count", r.ReportCount)
                .Field("link_collection", r.LinkCollection)
                .EndObject();
        json.EndArray();
    }
    json.EndObject();
}

std::string CapsText(size_t number, const HidPreparsedData& data)
{
    HidCaps caps;
    HidGetCaps(&data, &caps);
    char line[256];
    std::snprintf(line, sizeof line,
                  "Collection %u: usage page 0x%04X, usage 0x%04X\n"
                  "  report byte lengths: input %u, output %u, feature %u\n",
                  static_cast<unsigned>(number), caps.UsagePage, caps.Usage,
                  caps.InputReportByteLength, caps.OutputReportByteLength,
                  caps.FeatureReportByteLength);
    std::string text = line;
    for (const auto& list : kCapLists) {
        const std::vector<CapRow> rows = CapRows(data, list.Type, list.Buttons);
        text += std::string("  ") + list.Title + (rows.empty() ? ": none\n" : ":\n");
        for (size_t i = 0; i < rows.size(); ++i) {
            const CapRow& r = rows[i];
            char usage[48];
            if (r.IsRange)
                std::snprintf(usage, sizeof usage, "usages 0x%04X-0x%04X", r.UsageMin, r.UsageMax);
            else
                std::snprintf(usage, sizeof usage, "usage 0x%04X", r.UsageMin);
            std::snprintf(line, sizeof line,
                          "    %s %u: report ID %u, usage page 0x%04X, %s, bit size %u, report "
                          "count %u, link collection %u\n",
                          list.Buttons ? "#" : "slot", static_cast<unsigned>(i), r.ReportId,
                          r.UsagePage, usage, r.BitSize, r.ReportCount, r.LinkCollection);
            text += line;
        }
    }
    return text;
}

} // namespace

int RunCaps(CliContext& c)
{
    std::vector<uint8_t> descriptor;
    const bool fromFile = c.Args.Has("--descriptor");
    std::string source = c.Args.Value("--descriptor");
    const int status = fromFile ? FileDescriptor(c, source, descriptor)
                                : DeviceDescriptor(c, descriptor, source);
    if (status != CLI_EXIT_OK)
        return status;

    std::vector<HidPreparsedData> collections;
    size_t errorOffset = 0;
    const HidParseResult parsed =
        ParseReportDescriptor(descriptor.data(), descriptor.size(), collections, &errorOffset);
    if (parsed != HidParseResult::Ok)
        return c.Fail(fromFile ? CLI_EXIT_USAGE : CLI_EXIT_FAILED,
                      "the report descriptor of " + source + " cannot be parsed: " +
                          HidParseResultText(parsed) + " at byte " + std::to_string(errorOffset));

    if (c.Global.Json) {
        CJsonWriter json;
        json.BeginArray();
        for (const HidPreparsedData& data : collections)
            CapsJson(json, data);
        c.Console.Out(json.EndArray().Line());
        return CLI_EXIT_OK;
    }
    std::string text = "Report descriptor of " + source + ": " + std::to_string(descriptor.size()) +
                       " bytes, " + std::to_string(collections.size()) + " top-level collection" +
                       (collections.size() == 1 ? "" : "s") + "\n";
    for (size_t i = 0; i < collections.size(); ++i)
        text += CapsText(i + 1, collections[i]);
    c.Console.Out(text);
    return CLI_EXIT_OK;
}
