#pragma once

#include "core/panel.h"
#include "serial/comport.h"
#include "settings/settingsstore.h"
#include "ui/dialogs/dialogs.h"
#include "ui/mainwindow.h"
#include "ui/messages.h"
#include "ui/tinywidget.h"

namespace tarn::app {

// Everything the running panel is made of, wired together. A QApplication must exist first.
class PanelApplication {
public:
    PanelApplication();
    PanelApplication(const PanelApplication&) = delete;
    PanelApplication& operator=(const PanelApplication&) = delete;

    // The main window's load, then the window is shown.
    void start();
    // File > Exit, the title-bar close, a signal and a desktop logout all end here: force
    // standby when asked, save, close the port, stop the timers, close the other windows.
    // Runs once; the event loop ends afterwards.
    void shutdown();
    // The firmware update's end: the port is already handed over, so nothing is sent or saved.
    void endAtOnce();

    // Non-zero when the exit could not do what it must (force standby not sent).
    int exitCode() const { return exitCode_; }

    ui::MainWindow& mainWindow() { return window_; }
    core::Panel& panel() { return panel_; }

private:
    core::PanelState state_;
    serial::ComPort port_{state_.ports};
    settings::SettingsStore store_;
    ui::MainWindow window_;
    ui::MessageBoxOperator messages_{&window_};
    ui::TinyWidget tiny_;
    core::Panel panel_;
    ui::Dialogs dialogs_;
    bool ended_ = false;
    int exitCode_ = 0;
};

} // namespace tarn::app
