// The application object: names the application (and with it the store of
// the per-user setting), sets the icon and runs the main dialog.
#pragma once

#include "AppOptions.h"

#include <QApplication>

class Cred_ode_App : public QApplication
{
public:
    Cred_ode_App(int& argc, char** argv);

    // Installs the simulated device when asked, shows the main dialog and
    // runs until it has closed. Returns the process's exit status.
    int InitInstance(const AppOptions& options);
};
