// Builds the panel and runs the event loop.
#include "panelapp.h"
#include "ui/fonts.h"
#include "ui/icons.h"
#include "unixsignals.h"

#include <QApplication>

int main(int argc, char* argv[]) {
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
