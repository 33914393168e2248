// Builds the panel's objects, wires them together and runs the event loop.
#include "core/panel.h"
#include "serial/comport.h"
#include "settings/settingsstore.h"
#include "ui/fonts.h"
#include "ui/icons.h"
#include "ui/mainwindow.h"
#include "ui/messages.h"
#include "ui/tinywidget.h"
#include "unixsignals.h"

#include <QApplication>
#include <QFileInfo>
#include <QStandardPaths>

using namespace tarn;

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("tarn-vq4400"));
    app.setQuitOnLastWindowClosed(false);
    ui::installFontSubstitutions();
    app.setWindowIcon(ui::applicationIcon());

    core::PanelState state;
    serial::ComPort port(state.ports);
    // The settings file is named after the executable, beside it.
    settings::SettingsStore store(
        QCoreApplication::applicationDirPath(),
        QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName(),
        QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));

    ui::MainWindow window;
    ui::MessageBoxOperator messages(&window);
    ui::TinyWidget tiny;
    core::Panel panel(state, port, store, {window, tiny, window, messages, window});
    panel.detectDevices = &serial::PortMap::detectDevices;
    window.attach(panel);
    tiny.attach(panel);

    bool shutDown = false;
    const auto runShutdown = [&] {
        if (std::exchange(shutDown, true))
            return;
        panel.shutdownPort();
        tiny.closeWindow();
        QCoreApplication::quit();
    };
    window.onUnload = runShutdown;
    // A desktop logout or a kill runs the same runShutdown as File > Exit.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app, runShutdown);
    app::TerminationSignals terminationSignals([&](int) {
        window.close();
        runShutdown();
    });

    panel.startup();
    window.show();
    const int code = app.exec();
    runShutdown();
    return code;
}
