#include "panelapp.h"

#include "unixsignals.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>
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
      dialogs_(window_, panel_, messages_),
      telemetry_(window_, tiny_, recorder_, state_.settings.Telemetry,
                 {&TelemetryFeed::wallClock, [this] { return panel_.Save_All_to_ini_file(); },
                  [this] {
                      // Queued: the alarm is decided inside the poll tick's decoding.
                      if (!panel_.port().isOpen())
                          return false;
                      QTimer::singleShot(0, &window_, [this] {
                          panel_.sendCommand(protocol::Command::Force_STBY, false);
                      });
                      return true;
                  }}),
      wayOut_(panel_, core::ExitClock::monotonic([this] {
                  return TerminationSignals::received() > signalsAtLeave_;
              }),
              {[this] {
                   telemetry_.shutdown();
                   dialogs_.closeAll();
                   tiny_.closeWindow();
               },
               [](int status) { QCoreApplication::exit(status); },
               [](const QString& line) {
                   // Nobody may be watching the screen at a kill or a logout: the terminal
                   // and the exit status are what a script or a service manager sees.
                   std::fprintf(stderr, "%s\n", qPrintable(line));
                   std::fflush(stderr);
               }}) {
    panel_.addStatusListener(feed_);
    panel_.detectDevices = &serial::PortMap::detectDevices;
    panel_.setSecondaryWindows(dialogs_);
    window_.attach(panel_);
    tiny_.attach(panel_);
    window_.onUnload = [this] { shutdown(core::Way::Window); };
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
    telemetry_.start();
    window_.show();
    panel_.startupShown();
}

void PanelApplication::shutdown(core::Way way) {
    if (std::exchange(ended_, true))
        return;
    signalsAtLeave_ = TerminationSignals::received();
    wayOut_.leave(way);
}

int PanelApplication::displayLost() {
    if (std::exchange(ended_, true))
        return wayOut_.status();
    signalsAtLeave_ = TerminationSignals::received();
    return wayOut_.leave(core::Way::DisplayLost);
}

void PanelApplication::endAtOnce() {
    ended_ = true;
    QCoreApplication::quit();
}

} // namespace tarn::app
