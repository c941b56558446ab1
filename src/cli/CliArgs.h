// The command line of `pellaro`: the global options (accepted before or after
// the subcommand), the subcommand words and the options and arguments of the
// subcommand, and the strict number readers the subcommands use.
#pragma once

#include "SimOptions.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Exit statuses of the tool.
enum CliExitStatus
{
    CLI_EXIT_OK = 0,
    CLI_EXIT_FAILED = 1,     // a device step, a verification or a file operation failed
    CLI_EXIT_USAGE = 2,      // bad option, bad number, unreadable input file
    CLI_EXIT_NO_DEVICE = 3,  // no matching device
};

struct CliGlobalOptions
{
    uint16_t VendorId = 0x32ED;
    uint16_t ProductId = 0x3200;
    std::string Path;         // --path: one specific interface
    SimOptions Sim;
    bool Verbose = false;
    bool Trace = false;
    bool Json = false;
    bool Help = false;
    bool Version = false;
};

// The command line split into global options and the rest, in order.
struct CliCommandLine
{
    CliGlobalOptions Global;
    // Everything that is not a global option: subcommand words, their options
    // and arguments. An "--" is kept: what follows it is never an option.
    std::vector<std::string> Rest;
};

// Takes the global options out of argv[1..]. False with the reason in `error`
// when one of them is unusable (unknown --sim-... option, bad number, missing value).
bool ParseGlobalOptions(int argc, const char* const* argv, CliCommandLine& line, std::string& error);

// One option a subcommand accepts.
struct CliOptionInfo
{
    const char* Name;   // "--entire"
    bool TakesValue;
};

// A subcommand's options and arguments.
struct CliCommandArgs
{
    std::vector<std::string> Args;
    std::vector<std::pair<std::string, std::string>> Options;

    bool Has(const char* name) const;
    // The value of an option that takes one ("" when absent).
    std::string Value(const char* name) const;
};

// Splits `words` (what follows the subcommand words) into the options of
// `known` (terminated by a null Name) and arguments. False with the reason in
// `error` for an option the subcommand does not know or a missing value.
bool ParseCommandArgs(const std::vector<std::string>& words, const CliOptionInfo* known,
                      CliCommandArgs& out, std::string& error);

// Strict readers for command-line numbers. Hexadecimal takes an optional 0x;
// decimal also accepts a 0x prefix (then the digits are hexadecimal). False
// when the text is not a number or the number exceeds `max`.
bool ParseHexArg(const std::string& text, uint32_t max, uint32_t& value);
bool ParseDecArg(const std::string& text, uint32_t max, uint32_t& value);
