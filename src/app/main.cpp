// Builds the panel and runs the event loop.
#include "panelapp.h"
#include "ui/fonts.h"
#include "ui/icons.h"
#include "unixsignals.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    // The panel repaints a few small lamps and figures many times a second. Through X shared
    // memory each picture first waits for the X server to finish reading the one before (a
    // round trip that wakes both programs); through the socket it does not, and a few kilobytes
    // cost less to send than that wait. An operator's own choice stands.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("tarn-vq4400"));
    app.setQuitOnLastWindowClosed(false);
    tarn::ui::installFontSubstitutions();
    app.setWindowIcon(tarn::ui::applicationIcon());

    tarn::app::PanelApplication panel;
    // A desktop logout or a kill runs the same shutdown as File > Exit.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app, [&] { panel.shutdown(); });
    const tarn::app::TerminationSignals terminationSignals([&](int) { panel.shutdown(); });

    panel.start();
    const int code = app.exec();
    panel.shutdown();
    return code != 0 ? code : panel.exitCode();
}
