#include "AppOptions.h"

#include <cstring>

bool ParseAppOptions(int argc, const char* const* argv, AppOptions& options, std::string& error,
                     bool skipOthers)
{
    for (int i = 1; i < argc;) {
        const char* arg = argv[i];
        if (!arg) {
            ++i;
            continue;
        }
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            options.Help = true;
            ++i;
            continue;
        }
        if (std::strcmp(arg, "--version") == 0) {
            options.Version = true;
            ++i;
            continue;
        }
        if (std::strncmp(arg, "--write-icons", 13) == 0 && (arg[13] == '\0' || arg[13] == '=')) {
            if (arg[13] == '=') {
                options.WriteIconsDirectory = arg + 14;
                ++i;
            } else if (i + 1 < argc && argv[i + 1]) {
                options.WriteIconsDirectory = argv[i + 1];
                i += 2;
            } else {
                options.WriteIconsDirectory.clear();
                ++i;
            }
            if (options.WriteIconsDirectory.empty()) {
                error = "--write-icons needs a folder";
                return false;
            }
            continue;
        }
        switch (ParseSimOption(argc, argv, i, options.Sim, error)) {
        case SimOptionParse::Consumed:
            continue;
        case SimOptionParse::Error:
            return false;
        case SimOptionParse::NotSimOption:
            break;
        }
        if (!skipOthers) {
            error = std::string("unknown argument ") + arg;
            return false;
        }
        ++i;
    }
    return true;
}

std::string AppUsage(const char* program)
{
    std::string text = "Usage: ";
    text += program && *program ? program : "pellaro-update";
    text += " [options]\n"
            "The service and firmware-update dialog of the Pellaro capture bridge.\n\n"
            "Options:\n"
            "  --help                 show this text and exit\n"
            "  --version              show the version and exit\n"
            "  --write-icons DIR      write the application icon as PNG files under DIR and exit\n";
    text += SimOptionsHelp();
    return text;
}

std::string AppVersionLine()
{
    return std::string(kProductName) + " " + kProductVersion;
}
