// The subcommands of `pellaro`, one function each, and what they share: the
// parsed command line, the console, the diagnostics, and opening the device
// the global options select.
#pragma once

#include "CliArgs.h"
#include "CliOutput.h"
#include "DeviceSession.h"

#include <cstdio>
#include <string>
#include <vector>

// Runs the tool: the whole command line in, the exit status out. Results go to
// `out`, errors, progress, trace and diagnostics to `err`.
int RunPellaro(int argc, const char* const* argv, FILE* out, FILE* err, bool errIsTerminal);

struct CliCommand;

struct CliContext
{
    CliGlobalOptions& Global;
    CCliConsole& Console;
    CCliDiagnostics& Diagnostics;
    const CliCommand& Command;
    CliCommandArgs& Args;

    // The command's name as the error lines show it ("reg read").
    std::string Name() const;
    // One error line naming what failed; returns `status`.
    int Fail(int status, const std::string& why) const;
    // A usage error: the line and a hint at --help; returns CLI_EXIT_USAGE.
    int Usage(const std::string& why) const;
    // The first failed device step in words, or `fallback`.
    std::string StepFailure(const std::string& fallback) const;
    ProgressMode Progress() const;
};

struct CliCommand
{
    const char* Group;      // "reg", "iic", "gpio" or null
    const char* Name;
    const char* Synopsis;   // arguments after the command words
    const char* Summary;
    const char* Details;    // help text below the synopsis, may be null
    size_t MinArgs;
    size_t MaxArgs;         // kAnyCount: no limit
    const CliOptionInfo* Options;
    int (*Run)(CliContext& context);
};

constexpr size_t kAnyCount = static_cast<size_t>(-1);

// Opens the device the global options select. With `needCommands` the device
// must also carry every command (its three report slots in both directions).
// Returns CLI_EXIT_OK, or the exit status after the error line was written.
// `deviceIndex` (optional) receives the interface's enumeration index.
// "VID 32ED PID 3200" of the IDs asked for.
std::string DeviceIds(const CliGlobalOptions& global);
int OpenSelectedDevice(CliContext& context, CDeviceSession& session, bool needCommands,
                       uint32_t* deviceIndex = nullptr);

// Subcommands (CliDeviceCommands.cpp).
int RunInfo(CliContext& context);
int RunRegRead(CliContext& context);
int RunRegWrite(CliContext& context);
int RunIicWrite(CliContext& context);
int RunIicRead(CliContext& context);
int RunGpioDir(CliContext& context);
int RunGpioWrite(CliContext& context);
int RunGpioRead(CliContext& context);
int RunFwVersion(CliContext& context);
int RunHdmiInfo(CliContext& context);
int RunDrmInfo(CliContext& context);

// Subcommands (CliHidCommands.cpp).
int RunList(CliContext& context);
int RunCaps(CliContext& context);

// Subcommands (CliFlashCommands.cpp).
int RunGetId(CliContext& context);
int RunBurn(CliContext& context);
int RunVerify(CliContext& context);
int RunDump(CliContext& context);
int RunImageInfo(CliContext& context);
// The flash chip line of `info` ("WIN__W25Q64BV, row 42, 8192 KB"); false
// (with the reason in `line`) when the chip cannot be identified.
bool DescribeFlashChip(CDeviceSession& session, CliContext& context, std::string& line,
                       CJsonWriter* json);
