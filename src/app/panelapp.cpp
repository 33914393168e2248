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

PanelApplication::PanelApplication(guardian::Guardian* guardian)
    // The settings file is named after the executable and lives beside it, or in the
    // per-user folder when that cannot be written.
    : store_(QCoreApplication::applicationDirPath(),
             QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName(),
             QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)),
      panel_(state_, port_, store_, {window_, tiny_, window_, messages_, window_}),
      dialogs_(window_, panel_, messages_),
      telemetry_(window_, tiny_, recorder_, state_.settings.Telemetry,
                 {&TelemetryFeed::systemClock, [this] { return panel_.Save_All_to_ini_file(); },
                  [this] {
                      if (!port_.isOpen())
                          return QStringLiteral("the port is not open");
                      if (panel_.sendStandby())
                          return QString();
                      return port_.errorString().isEmpty() ? QStringLiteral("it was not written")
                                                           : port_.errorString();
                  },
                  [this] { return port_.bytesUndelivered() == 0; },
                  [this] {
                      const int timeOut = state_.settings.TimeOut;
                      return timeOut > 0 ? timeOut : core::Poller::GapMsWithoutTimeOut;
                  },
                  [this] { return QFileInfo(store_.writePath()).absolutePath(); }}),
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
               },
               [this](const core::ExitResult& r) { journalExit(r); }}) {
    guardian_ = guardian;
    port_.beforeClose = [this] { releaseLine(); };
    panel_.onLineChanged = [this] { guardLine(); };
    panel_.addStatusListener(feed_);
    panel_.detectDevices = &serial::PortMap::detectDevices;
    panel_.setSecondaryWindows(dialogs_);
    window_.attach(panel_);
    tiny_.attach(panel_);
    window_.setAnnouncer(announcer_);
    tiny_.setAnnouncer(announcer_);
    telemetry_.onAlarmLine = [this](const QString& text) { announcer_.alarmLine(text); };
    window_.onUnload = [this] { shutdown(core::Way::Window); };
    dialogs_.endApplication = [this] { endAtOnce(); };
    dialogs_.openDocument = [](const QString& path) {
        QString file = path;
        if (!QFileInfo::exists(file) && QFileInfo::exists(installedGuide()))
            file = installedGuide();
        return QFileInfo::exists(file) && QDesktopServices::openUrl(QUrl::fromLocalFile(file));
    };
}

void PanelApplication::journalExit(const core::ExitResult& r) {
    if (!r.standbyDue)
        return;
    using Stage = core::ForceStandby::Stage;
    telemetry::AlarmEvent e;
    e.wallMs = feed_.now().wallMs;
    e.event = r.stage == Stage::Confirmed   ? QStringLiteral("standby confirmed")
              : r.stage == Stage::Delivered ? QStringLiteral("standby sent")
                                            : QStringLiteral("standby failed");
    e.detail =
        r.reason.isEmpty() ? QStringLiteral("at exit") : QStringLiteral("at exit: ") + r.reason;
    recorder_.journal().append(e);
}

void PanelApplication::start() {
    panel_.startup();
    telemetry_.start();
    window_.show();
    panel_.startupShown();
}

void PanelApplication::guardLine() {
    if (!guardian_)
        return;
    // A TLS session lives in this process alone: nobody else can write on it.
    const bool wanted = !ended_ && !panel_.isHandedOver() && port_.isOpen() &&
                        state_.settings.Force_STBY == QLatin1String("Yes");
    const qintptr fd = wanted ? port_.lineDescriptor() : -1;
    if (fd == guardedFd_)
        return;
    releaseLine();
    if (fd < 0)
        return;
    const QByteArray frame = state_.frames.frame(protocol::Command::Force_STBY);
    if (guardian_->hold(int(fd), frame.toStdString(), port_.isSerialLine()))
        guardedFd_ = fd;
}

void PanelApplication::releaseLine() {
    if (guardian_ && guardedFd_ >= 0)
        guardian_->release();
    guardedFd_ = -1;
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
