#include "App.h"
#include "AppIcon.h"
#include "AppOptions.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    // --help, --version and --write-icons need no display: they are answered
    // before the GUI starts.
    AppOptions options;
    std::string error;
    if (!ParseAppOptions(argc, argv, options, error, true)) {
        std::fprintf(stderr, "pellaro-update: %s\n", error.c_str());
        return 2;
    }
    if (options.Help) {
        std::fputs(AppUsage(argv[0]).c_str(), stdout);
        return 0;
    }
    if (options.Version) {
        std::printf("%s\n", AppVersionLine().c_str());
        return 0;
    }
    if (!options.WriteIconsDirectory.empty()) {
        if (!WriteAppIcons(QString::fromLocal8Bit(options.WriteIconsDirectory.c_str()))) {
            std::fprintf(stderr, "pellaro-update: cannot write the icons into %s\n",
                         options.WriteIconsDirectory.c_str());
            return 1;
        }
        return 0;
    }

    Cred_ode_App app(argc, argv);   // takes the toolkit's own options out of argv
    options = AppOptions();
    if (!ParseAppOptions(argc, argv, options, error, false)) {
        std::fprintf(stderr, "pellaro-update: %s\nTry '%s --help'.\n", error.c_str(), argv[0]);
        return 2;
    }
    return app.InitInstance(options);
}
