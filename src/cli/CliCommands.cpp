#include "CliCommands.h"

#include "HidDevice.h"
#include "SimOptions.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#ifndef PELLARO_VERSION
#define PELLARO_VERSION "0.0.0.0"
#endif

namespace {

const CliOptionInfo kNoOptions[] = {{nullptr, false}};
const CliOptionInfo kCapsOptions[] = {{"--descriptor", true}, {nullptr, false}};
const CliOptionInfo kBurnOptions[] = {
    {"--entire", false}, {"--firmware", false}, {"--private", false}, {"--customized", false},
    {nullptr, false}};
const CliOptionInfo kVerifyOptions[] = {{"--entire", false}, {"--firmware", false}, {nullptr, false}};
const CliOptionInfo kDumpOptions[] = {{"--force", false}, {nullptr, false}};

const CliCommand kCommands[] = {
    {nullptr, "list", "", "list every HID interface and which one matches",
     "Shows each HID interface with its enumeration index, VID:PID, usage page, usage and\n"
     "path, and marks the one the other commands use (the first with --vid/--pid, or --path).\n",
     0, 0, kNoOptions, RunList},
    {nullptr, "caps", "[--descriptor FILE]", "capabilities derived from the report descriptor",
     "Per top-level collection: usage page, usage, the three report byte lengths and the\n"
     "value and button caps of each report type in slot order. The descriptor is read from\n"
     "the selected device, or from FILE (raw descriptor bytes) without any device.\n"
     "With --json: an array with one object per top-level collection.\n",
     0, 0, kCapsOptions, RunCaps},
    {nullptr, "info", "", "device line, firmware version and flash chip", nullptr, 0, 0, kNoOptions,
     RunInfo},
    {"reg", "read", "ADDR", "read a 32-bit register (printed as eight hex digits)",
     "ADDR is hexadecimal (0x optional).\n", 1, 1, kNoOptions, RunRegRead},
    {"reg", "write", "ADDR VALUE", "write a 32-bit register",
     "ADDR and VALUE are hexadecimal (0x optional).\n", 2, 2, kNoOptions, RunRegWrite},
    {"iic", "write", "DEV BYTE...", "write bytes to an IIC device, print the result code",
     "DEV (the IIC device address as the device expects it) and each BYTE are hexadecimal.\n", 2,
     kAnyCount, kNoOptions, RunIicWrite},
    {"iic", "read", "DEV REG [COUNT]", "read COUNT bytes (default 1) from REG of an IIC device",
     "Sends REG, then reads COUNT bytes. Prints the result code and the bytes read.\n"
     "DEV and REG are hexadecimal, COUNT decimal.\n",
     2, 3, kNoOptions, RunIicRead},
    {"gpio", "dir", "PIN in|out", "set the direction of a GPIO pin", "PIN is 0 to 3.\n", 2, 2,
     kNoOptions, RunGpioDir},
    {"gpio", "write", "PIN LEVEL", "set the level of a GPIO pin", "PIN is 0 to 3, LEVEL 0 or 1.\n",
     2, 2, kNoOptions, RunGpioWrite},
    {"gpio", "read", "PIN", "read the level of a GPIO pin", "PIN is 0 to 3.\n", 1, 1, kNoOptions,
     RunGpioRead},
    {nullptr, "fw-version", "", "firmware version of the device (e.g. 01.02.ff.34)", nullptr, 0, 0,
     kNoOptions, RunFwVersion},
    {nullptr, "hdmi-info", "", "the 24 bytes of HDMI input information", nullptr, 0, 0, kNoOptions,
     RunHdmiInfo},
    {nullptr, "drm-info", "", "the 64 bytes of DRM information", nullptr, 0, 0, kNoOptions,
     RunDrmInfo},
    {nullptr, "get-id", "", "identify the flash chip: row, name and geometry", nullptr, 0, 0,
     kNoOptions, RunGetId},
    {nullptr, "burn", "IMAGE [--entire | --firmware --private --customized]",
     "write a firmware image into the flash and verify it",
     "--entire (the default) writes the whole image from address 0 and compares it.\n"
     "The area options may be combined: --firmware writes the Firmware area (its length\n"
     "from the image header, compared after writing, with the flag byte at 0x70000 cleared\n"
     "before and set after), --private and --customized write those areas (not compared).\n"
     "The chip is identified first. Exits 0 only when everything asked for was written\n"
     "(and verified where the burn verifies). Ctrl+C does not cut a range short: the range\n"
     "under way is finished, then the burn stops.\n",
     1, 1, kBurnOptions, RunBurn},
    {nullptr, "verify", "IMAGE [--entire | --firmware]",
     "compare the flash with an image, writing nothing",
     "--entire (the default) compares the whole image from address 0; --firmware the\n"
     "Firmware area. Exits 1 on a difference and names the range that differs.\n",
     1, 1, kVerifyOptions, RunVerify},
    {nullptr, "dump", "FILE [--force]", "read the whole flash into FILE",
     "The chip is identified first; FILE receives its whole flash, raw. An existing FILE is\n"
     "only replaced with --force. A dump that fails or is stopped (Ctrl+C stops it after the\n"
     "chunk under way) keeps the bytes read so far in FILE and says how many.\n",
     1, 1, kDumpOptions, RunDump},
    {nullptr, "image-info", "IMAGE", "what a firmware image holds (no device needed)",
     "Size, version, header length, boot size, the Firmware length before and after padding\n"
     "to 4 KB and 64 KB sectors, and which flash areas the file covers.\n",
     1, 1, kNoOptions, RunImageInfo},
};

const char* const kGroups[] = {"reg", "iic", "gpio"};

bool IsGroup(const std::string& word)
{
    for (const char* group : kGroups)
        if (word == group)
            return true;
    return false;
}

const CliCommand* FindCommand(const std::string& group, const std::string& name)
{
    for (const CliCommand& c : kCommands) {
        const std::string commandGroup = c.Group ? c.Group : "";
        if (commandGroup == group && name == c.Name)
            return &c;
    }
    return nullptr;
}

std::string CommandWords(const CliCommand& c)
{
    return c.Group ? std::string(c.Group) + " " + c.Name : std::string(c.Name);
}

std::string CommandLine(const CliCommand& c)
{
    std::string line = CommandWords(c);
    if (*c.Synopsis)
        line += std::string(" ") + c.Synopsis;
    return line;
}

std::string CommandList(const char* group)
{
    std::string text;
    for (const CliCommand& c : kCommands) {
        if (group && (!c.Group || std::strcmp(c.Group, group) != 0))
            continue;
        std::string line = "  " + CommandLine(c);
        if (line.size() < 34)
            line.append(34 - line.size(), ' ');
        else
            line += "\n" + std::string(34, ' ');
        text += line + c.Summary + "\n";
    }
    return text;
}

std::string GlobalOptionsHelp()
{
    return std::string("Global options (before or after the command):\n"
                       "  --vid HEX              vendor ID of the device (default 32ED)\n"
                       "  --pid HEX              product ID of the device (default 3200)\n"
                       "  --path PATH            use this interface (see 'pellaro list'); its IDs must match\n"
                       "  -v, --verbose          show the diagnostics lines on standard error\n"
                       "  --trace                show every HID request on standard error\n"
                       "  --json                 machine-readable results on standard output\n"
                       "  -h, --help             show help; 'pellaro COMMAND --help' for one command\n"
                       "  --version              show the version\n") +
           SimOptionsHelp();
}

const char kExitHelp[] =
    "Exit status: 0 success; 1 a device step, a verification or a file operation failed;\n"
    "2 usage error (bad option, bad number, unreadable input file); 3 no matching device.\n";

std::string TopHelp()
{
    return "Usage: pellaro [OPTIONS] COMMAND [ARGUMENTS]\n"
           "\n"
           "Pellaro Update Tool: service and firmware update of the Pellaro USB video-capture\n"
           "bridge over its vendor HID interface.\n"
           "\n"
           "Commands:\n" +
           CommandList(nullptr) +
           "  help [COMMAND]                  show help for a command\n"
           "\n" +
           GlobalOptionsHelp() +
           "\n"
           "Numbers: ADDR, VALUE, DEV, REG and BYTE are hexadecimal (0x optional); PIN, LEVEL\n"
           "and COUNT are decimal.\n"
           "\n" +
           kExitHelp;
}

std::string GroupHelp(const std::string& group)
{
    return "Usage: pellaro [OPTIONS] " + group + " SUBCOMMAND [ARGUMENTS]\n\nSubcommands:\n" +
           CommandList(group.c_str()) + "\nSee 'pellaro --help' for the global options.\n";
}

std::string CommandHelp(const CliCommand& c)
{
    std::string summary = c.Summary;
    summary[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(summary[0])));
    std::string text = "Usage: pellaro [OPTIONS] " + CommandLine(c) + "\n\n" + summary + ".\n";
    if (c.Details)
        text += std::string("\n") + c.Details;
    text += "\nSee 'pellaro --help' for the global options.\n";
    return text;
}

// The command words at the front of the non-option words: the command (or
// group and subcommand). Removes them from `rest`.
struct Resolved
{
    std::string Group;
    std::string Name;
    bool IsHelp = false;   // "help [COMMAND...]"
};

bool TakeWord(std::vector<std::string>& rest, std::string& word)
{
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == "--")
            return false;
        if (rest[i].size() < 2 || rest[i][0] != '-') {
            word = rest[i];
            rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

Resolved ResolveWords(std::vector<std::string>& rest)
{
    Resolved r;
    std::string word;
    if (!TakeWord(rest, word))
        return r;
    if (word == "help") {
        r.IsHelp = true;
        if (!TakeWord(rest, word))
            return r;
    }
    if (IsGroup(word)) {
        r.Group = word;
        TakeWord(rest, r.Name);
    } else {
        r.Name = word;
    }
    return r;
}

// Help for what the words name; false for words that name nothing.
bool PrintHelp(CCliConsole& console, const Resolved& r)
{
    if (r.Group.empty() && r.Name.empty()) {
        console.Out(TopHelp());
        return true;
    }
    if (const CliCommand* c = FindCommand(r.Group, r.Name)) {
        console.Out(CommandHelp(*c));
        return true;
    }
    if (!r.Group.empty()) {
        console.Out(GroupHelp(r.Group));
        return r.Name.empty();
    }
    return false;
}

} // namespace

std::string CliContext::Name() const
{
    return CommandWords(Command);
}

int CliContext::Fail(int status, const std::string& why) const
{
    Console.Error(Name(), why);
    return status;
}

int CliContext::Usage(const std::string& why) const
{
    Console.Error(Name(), why + " (see 'pellaro " + Name() + " --help')");
    return CLI_EXIT_USAGE;
}

std::string CliContext::StepFailure(const std::string& fallback) const
{
    const std::string failure = Diagnostics.Failure();
    return failure.empty() ? fallback : failure;
}

ProgressMode CliContext::Progress() const
{
    if (Global.Json && !Global.Verbose)
        return ProgressMode::Off;
    return Console.ErrIsTerminal() ? ProgressMode::Bar : ProgressMode::Lines;
}

std::string DeviceIds(const CliGlobalOptions& g)
{
    char text[40];
    std::snprintf(text, sizeof text, "VID %04X PID %04X", g.VendorId, g.ProductId);
    return text;
}

namespace {

uint32_t IndexOfPath(const std::string& path)
{
    std::vector<HidInterfaceInfo> interfaces;
    if (!EnumerateHidInterfaces(interfaces))
        return HID_NO_DEVICE_INDEX;
    for (size_t i = 0; i < interfaces.size(); ++i)
        if (interfaces[i].Path == path)
            return static_cast<uint32_t>(i);
    return HID_NO_DEVICE_INDEX;
}

std::string PathProblem(const std::string& path, uint16_t vendorId, uint16_t productId)
{
    std::string node = path;
    const size_t collection = node.rfind("&col");
    if (collection != std::string::npos)
        node.erase(collection);
    if (access(node.c_str(), F_OK) == 0 && access(node.c_str(), R_OK | W_OK) != 0 && errno == EACCES) {
        char text[512];
        FormatPermissionProblem(text, sizeof text, node.c_str(), vendorId, productId);
        return text;
    }
    return std::string();
}

} // namespace

int OpenSelectedDevice(CliContext& context, CDeviceSession& session, bool needCommands,
                       uint32_t* deviceIndex)
{
    const CliGlobalOptions& g = context.Global;
    uint32_t index = HID_NO_DEVICE_INDEX;
    OpenDeviceResult result;
    if (!g.Path.empty()) {
        result = session.OpenDevicePath(g.Path.c_str(), g.VendorId, g.ProductId);
        if (result != OpenDeviceResult::NotFound && result != OpenDeviceResult::SearchFailed)
            index = IndexOfPath(g.Path);
    } else {
        result = session.OpenDevice(g.VendorId, g.ProductId, &index);
    }
    if (deviceIndex)
        *deviceIndex = index;

    switch (result) {
    case OpenDeviceResult::SearchFailed:
        return context.Fail(CLI_EXIT_FAILED, "cannot list the HID interfaces of this machine");
    case OpenDeviceResult::NotFound: {
        if (!g.Path.empty()) {
            const std::string problem = PathProblem(g.Path, g.VendorId, g.ProductId);
            return context.Fail(CLI_EXIT_NO_DEVICE,
                                problem.empty() ? g.Path + " is not a HID interface with " +
                                                      DeviceIds(g) + " (see 'pellaro list')"
                                                : problem);
        }
        const std::string problem = HidSearchProblem();
        return context.Fail(CLI_EXIT_NO_DEVICE,
                            problem.empty() ? "no HID interface with " + DeviceIds(g) +
                                                  " found (see 'pellaro list')"
                                            : problem);
    }
    case OpenDeviceResult::NotUsable:
        return context.Fail(CLI_EXIT_FAILED, "the device with " + DeviceIds(g) +
                                                 " was found but its report tables could not be "
                                                 "built (see 'pellaro caps')");
    case OpenDeviceResult::OpenedWithoutBuffers:
    case OpenDeviceResult::Opened:
        break;
    }
    if (needCommands && !session.CanRunCommands()) {
        const HidCaps& caps = session.Device().Caps;
        return context.Fail(CLI_EXIT_FAILED,
                            "the device's reports cannot carry its commands: it has " +
                                std::to_string(caps.NumberOutputValueCaps) + " output and " +
                                std::to_string(caps.NumberInputValueCaps) +
                                " input report slots, 3 of each are needed (see 'pellaro caps')");
    }
    return CLI_EXIT_OK;
}

int RunPellaro(int argc, const char* const* argv, FILE* out, FILE* err, bool errIsTerminal)
{
    CCliConsole console(out, err, errIsTerminal);
    CliCommandLine line;
    std::string error;
    if (!ParseGlobalOptions(argc, argv, line, error)) {
        console.Error("", error + " (see 'pellaro --help')");
        return CLI_EXIT_USAGE;
    }
    CliGlobalOptions& g = line.Global;
    if (g.Version) {
        if (g.Json)
            console.Out(CJsonWriter()
                            .BeginObject()
                            .Field("name", "Pellaro Update Tool")
                            .Field("version", PELLARO_VERSION)
                            .EndObject()
                            .Line());
        else
            console.Out("pellaro (Pellaro Update Tool) " PELLARO_VERSION "\n");
        return CLI_EXIT_OK;
    }

    const Resolved words = ResolveWords(line.Rest);
    if (g.Help || words.IsHelp) {
        if (PrintHelp(console, words))
            return CLI_EXIT_OK;
        console.Error("", "unknown command '" + (words.Group.empty() ? words.Name : words.Group + " " + words.Name) +
                              "' (see 'pellaro --help')");
        return CLI_EXIT_USAGE;
    }
    if (words.Group.empty() && words.Name.empty()) {
        console.ErrLine("Usage: pellaro [OPTIONS] COMMAND [ARGUMENTS]\n"
                        "Try 'pellaro --help' for the commands and options.");
        return CLI_EXIT_USAGE;
    }
    const CliCommand* command = FindCommand(words.Group, words.Name);
    if (!command) {
        if (!words.Group.empty() && words.Name.empty())
            console.Error(words.Group, "needs a subcommand (see 'pellaro " + words.Group + " --help')");
        else if (!words.Group.empty())
            console.Error(words.Group, "unknown subcommand '" + words.Name + "' (see 'pellaro " +
                                           words.Group + " --help')");
        else
            console.Error("", "unknown command '" + words.Name + "' (see 'pellaro --help')");
        return CLI_EXIT_USAGE;
    }

    CliCommandArgs args;
    CCliDiagnostics diagnostics(console, g.Verbose);
    CliContext context{g, console, diagnostics, *command, args};
    if (!ParseCommandArgs(line.Rest, command->Options, args, error))
        return context.Usage(error);
    if (args.Args.size() < command->MinArgs)
        return context.Usage(std::string("missing arguments: ") + command->Synopsis);
    if (args.Args.size() > command->MaxArgs)
        return context.Usage("unexpected argument '" + args.Args[command->MaxArgs] + "'");

    if (g.Sim.Enabled) {
        if (!InstallSimulatedDevices(g.Sim, error))
            return context.Fail(CLI_EXIT_FAILED, "simulated device: " + error);
    }
    const int status = command->Run(context);
    if (g.Sim.Enabled)
        RemoveSimulatedDevices();
    return status;
}
