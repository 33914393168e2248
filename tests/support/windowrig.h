#pragma once

// The real main window and tiny widget on the real ComPort, with a recording operator so no
// message box ever blocks a test, and a settings folder of its own.

#include "core/panel.h"
#include "serial/comport.h"
#include "settings/settingsstore.h"
#include "support/recordingviews.h"
#include "ui/fonts.h"
#include "ui/mainwindow.h"
#include "ui/tinywidget.h"

#include <QTemporaryDir>
#include <QWidget>

namespace tarn::testing {

// Fonts are mapped before any window is built, so they are laid out with them.
struct WithPanelFonts {
    WithPanelFonts() { ui::installFontSubstitutions(); }
};

struct WindowRig : private WithPanelFonts {
    QTemporaryDir dir;
    core::PanelState state;
    serial::ComPort port{state.ports};
    settings::SettingsStore store{dir.path(), "tarn-vq4400", dir.path() + "/user"};
    ui::MainWindow main;
    ui::TinyWidget tiny;
    RecordingOperator op;
    core::Panel panel{state, port, store, {main, tiny, main, op, main}};

    WindowRig() {
        main.attach(panel);
        tiny.attach(panel);
    }

    // Starts the panel as the executable does, then the operator chooses COM1 on `device`.
    bool startOn(const QString& device, int pollingMs = 50) {
        panel.startup();
        state.ports.setEntry(1, device);
        main.show();
        panel.applyPolling(pollingMs);
        panel.menuCom_Click(1);
        return port.isOpen();
    }
};

// A control's text by its objectName, or a marker that no test expects.
inline QString caption(const QWidget& window, const char* name) {
    const auto* w = window.findChild<QWidget*>(name);
    return w ? w->property("text").toString() : QStringLiteral("<missing %1>").arg(name);
}

} // namespace tarn::testing
