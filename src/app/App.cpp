#include "App.h"

#include "AppIcon.h"
#include "AppSettings.h"
#include "MainDialog.h"

#include <cstdio>

Cred_ode_App::Cred_ode_App(int& argc, char** argv) : QApplication(argc, argv)
{
    setOrganizationName(QString::fromLatin1(kCompanyKey));
    setApplicationName(QString::fromLatin1(kApplicationName));
    setApplicationVersion(QString::fromLatin1(kProductVersion));
    setApplicationDisplayName(QString::fromLatin1(kProductName));
    setDesktopFileName(QStringLiteral("pellaro-update"));
    setWindowIcon(CreateAppIcon());
}

int Cred_ode_App::InitInstance(const AppOptions& options)
{
    if (options.Sim.Enabled) {
        std::string error;
        if (!InstallSimulatedDevices(options.Sim, error)) {
            std::fprintf(stderr, "pellaro-update: %s\n", error.c_str());
            return 2;
        }
    }
    Cred_ode_velmorDlg dlg;
    // The dialog is the main window: when it ends, the tool ends, even while
    // a worker's message box is still open.
    QObject::connect(&dlg, &QDialog::finished, this, &QCoreApplication::quit);
    dlg.show();
    exec();
    return 0;
}
