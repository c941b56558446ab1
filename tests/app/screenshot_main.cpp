// Shows the main dialog on the simulated device, opens the device as a user
// would and saves a picture of the window: app_screenshot OUTPUT.png
#include "App.h"
#include "Diagnostics.h"
#include "MainDialog.h"
#include "SimOptions.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    Cred_ode_App app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    CNullDiagnosticsSink quiet;
    SetDiagnosticsSink(&quiet);
    SimOptions options;
    options.Enabled = true;
    std::string error;
    if (!InstallSimulatedDevices(options, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }

    Cred_ode_velmorDlg dlg;
    dlg.show();
    qobject_cast<QAbstractButton*>(dlg.ControlById(1027))->click();
    int status = 1;
    QTimer::singleShot(800, [&]() {
        // The window as the screen shows it; without a window system, its own drawing.
        QPixmap picture;
        if (QScreen* screen = dlg.screen(); screen && QGuiApplication::platformName() == "xcb")
            picture = screen->grabWindow(dlg.winId());
        if (picture.isNull())
            picture = dlg.grab();
        status = picture.save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
        app.quit();
    });
    app.exec();
    SetDiagnosticsSink(nullptr);
    return status;
}
