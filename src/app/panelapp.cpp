#include "panelapp.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>
#include <cstdio>

namespace tarn::app {

namespace {
// An installed panel finds its guide with the other documentation, not beside itself.
QString installedGuide() {
    return QDir(QCoreApplication::applicationDirPath())
        .absoluteFilePath(QStringLiteral("../share/doc/tarn-vq4400/guide.html"));
}
} // namespace

PanelApplication::PanelApplication()
    // The settings file is named after the executable and lives beside it, or in the
    // per-user folder when that cannot be written.
    : store_(QCoreApplication::applicationDirPath(),
             QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName(),
             QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)),
      panel_(state_, port_, store_, {window_, tiny_, window_, messages_, window_}),
      dialogs_(window_, panel_, messages_) {
    panel_.detectDevices = &serial::PortMap::detectDevices;
    panel_.setSecondaryWindows(dialogs_);
    window_.attach(panel_);
    tiny_.attach(panel_);
    window_.onUnload = [this] { shutdown(); };
    dialogs_.endApplication = [this] { endAtOnce(); };
    dialogs_.openDocument = [](const QString& path) {
        QString file = path;
        if (!QFileInfo::exists(file) && QFileInfo::exists(installedGuide()))
            file = installedGuide();
        return QFileInfo::exists(file) && QDesktopServices::openUrl(QUrl::fromLocalFile(file));
    };
}

void PanelApplication::start() {
    panel_.startup();
    window_.show();
}

void PanelApplication::shutdown() {
    if (std::exchange(ended_, true))
        return;
    if (!panel_.shutdownPort()) {
        // Nobody may be watching the screen at a kill or a logout: the terminal and the exit
        // status are what a script or a service manager sees.
        std::fprintf(stderr,
                     "tarn-vq4400: force standby could not be sent to the amplifier before "
                     "exit%s%s\n",
                     port_.errorString().isEmpty() ? "" : ": ", qPrintable(port_.errorString()));
        exitCode_ = 2;
    }
    dialogs_.closeAll();
    tiny_.closeWindow();
    QCoreApplication::exit(exitCode_);
}

void PanelApplication::endAtOnce() {
    ended_ = true;
    QCoreApplication::quit();
}

} // namespace tarn::app
