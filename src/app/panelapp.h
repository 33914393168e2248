#pragma once

#include "core/panel.h"
#include "core/wayout.h"
#include "guardian/guardian.h"
#include "serial/comport.h"
#include "settings/settingsstore.h"
#include "telemetry/recorder.h"
#include "telemetryfeed.h"
#include "ui/accessibility.h"
#include "ui/dialogs/dialogs.h"
#include "ui/history/telemetrycontrols.h"
#include "ui/mainwindow.h"
#include "ui/messages.h"
#include "ui/tinywidget.h"

namespace tarn::app {

// Everything the running panel is made of, wired together. A QApplication must exist first.
class PanelApplication {
public:
    // `guardian` (may be null) writes force standby should the panel die without its
    // shutdown; it outlives the panel.
    explicit PanelApplication(guardian::Guardian* guardian = nullptr);
    PanelApplication(const PanelApplication&) = delete;
    PanelApplication& operator=(const PanelApplication&) = delete;

    // The main window's load, then the window is shown.
    void start();
    // Every way out ends here (see core::WayOut): force standby when asked and its
    // confirmation, save, close the port, stop the timers, close the other windows, end every
    // event loop. Runs once.
    void shutdown(core::Way way);
    // The display connection broke and the toolkit is ending the process: the port's part of
    // the shutdown only, nothing that needs the display. Returns the exit status.
    int displayLost();
    // True once a way out has run (or the firmware hand-over ended the program).
    bool hasLeft() const { return ended_; }
    // The firmware update's end: the port is already handed over, so nothing is sent or saved.
    void endAtOnce();

    // Non-zero when the exit could not do what it must (see core::WayOut).
    int exitCode() const { return wayOut_.status(); }

    ui::MainWindow& mainWindow() { return window_; }
    core::Panel& panel() { return panel_; }
    telemetry::Recorder& recorder() { return recorder_; }
    ui::TelemetryControls& telemetryControls() { return telemetry_; }

private:
    // Hands the guardian the line while force standby on exit is asked for and a line it can
    // write on is up; takes it back otherwise.
    void guardLine();
    void releaseLine();
    void journalExit(const core::ExitResult& result);

    core::PanelState state_;
    serial::ComPort port_{state_.ports};
    settings::SettingsStore store_;
    // Outlives the windows, which tell it what they draw.
    ui::Announcer announcer_;
    ui::MainWindow window_;
    ui::MessageBoxOperator messages_{&window_};
    ui::TinyWidget tiny_;
    // The panel's listeners outlive it.
    telemetry::Recorder recorder_;
    TelemetryFeed feed_{recorder_};
    core::Panel panel_;
    ui::Dialogs dialogs_;
    ui::TelemetryControls telemetry_;
    core::WayOut wayOut_;
    guardian::Guardian* guardian_ = nullptr;
    qintptr guardedFd_ = -1;
    int signalsAtLeave_ = 0;
    bool ended_ = false;
};

} // namespace tarn::app
