// The command line of `pellaro-update`.
#pragma once

#include "SimOptions.h"

#include <string>

constexpr char kProductName[] = "Pellaro Update Tool";
constexpr char kProductVersion[] = "1.0.5.0";

struct AppOptions
{
    bool Help = false;
    bool Version = false;
    std::string WriteIconsDirectory;   // --write-icons DIR
    SimOptions Sim;
};

// Reads the tool's options from argv[1..]. With `skipOthers` an argument that
// is none of the tool's is passed over (the GUI toolkit reads its own options
// later); otherwise it is an error. False with the reason in `error`.
bool ParseAppOptions(int argc, const char* const* argv, AppOptions& options, std::string& error,
                     bool skipOthers);

// The usage text of --help.
std::string AppUsage(const char* program);
// "Pellaro Update Tool 1.0.5.0"
std::string AppVersionLine();
