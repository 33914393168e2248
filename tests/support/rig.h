#pragma once

// One panel for every test that needs one: on the in-memory fake port (which fails on cue) or
// the real ComPort, with recording views or the real windows, always with a recording
// operator so no message box blocks a test, and a settings folder of its own.

#include "core/panel.h"
#include "serial/comport.h"
#include "serial/fakeserialport.h"
#include "settings/settingsstore.h"
#include "support/pty.h"
#include "support/recordingviews.h"

#include <QFile>
#include <QTemporaryDir>
#include <type_traits>
#ifndef TARN_RIG_NO_FIXTURES
#include <gtest/gtest.h>
#endif

#ifdef TARN_RIG_WINDOWS
#include "ui/fonts.h"
#include "ui/mainwindow.h"
#include "ui/tinywidget.h"
#include <QLocale>
#endif

namespace tarn::testing {

inline QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

// Views that only remember what the panel asked of them.
struct Recorded {
    RecordingMain main;
    RecordingTiny tiny;
    RecordingMenu menu;
    FakePlacement placement;
    core::PanelViews views(core::OperatorView& op) { return {main, tiny, menu, op, placement}; }
    void attach(core::Panel&) {}
};

#ifdef TARN_RIG_WINDOWS
// Built before any window: a fixed decimal separator, so "1.5" means what it says on any
// machine, and the font mapping the layouts are drawn for.
struct WindowEnvironment {
    WindowEnvironment() {
        QLocale::setDefault(QLocale::c());
        ui::installFontSubstitutions();
    }
};

// The real main window and tiny widget, which are also the Com menu and the placement.
struct Windows : private WindowEnvironment {
    ui::MainWindow main;
    ui::TinyWidget tiny;
    core::PanelViews views(core::OperatorView& op) { return {main, tiny, main, op, main}; }
    void attach(core::Panel& panel) {
        main.attach(panel);
        tiny.attach(panel);
        // Each frame is checked as it arrives; pacing has a test of its own.
        main.pacer().setIntervalMs(0);
        tiny.pacer().setIntervalMs(0);
    }
};

// The text a control shows, by its objectName (none while it is hidden), or a marker that no
// test expects.
inline QString caption(const QWidget& window, const char* name) {
    const auto* w = window.findChild<QWidget*>(name);
    if (!w)
        return QStringLiteral("<missing %1>").arg(name);
    return w->isVisibleTo(&window) ? w->property("text").toString() : QString();
}
#endif

template <typename Port, typename Screens> struct Rig : private WithApplication, Screens {
    QTemporaryDir dir;
    core::PanelState state;
    Port port = makePort();
    settings::SettingsStore store{dir.path(), "tarn-vq4400", dir.path() + "/user"};
    RecordingOperator op;
    core::Panel panel{state, port, store, Screens::views(op)};

    // Time for the exit's waits: each wait on the fake port moves it on by the wait's length.
    qint64 now = 0;
    bool interrupted = false;
    core::ExitClock clock{[this] { return now; }, [this] { return interrupted; }};

    Rig() {
        Screens::attach(panel);
        if constexpr (requires { port.onWait; })
            port.onWait = [this](int msecs) { now += std::max(1, msecs); };
    }

    QString iniPath() const { return dir.path() + "/tarn-vq4400.ini"; }
    QString iniText() const {
        QFile f(iniPath());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    bool writeIni(const QString& text) const {
        QFile f(iniPath());
        return f.open(QIODevice::WriteOnly) && f.write(text.toUtf8()) >= 0;
    }

    // The fake port: opens `number` as the operator would, forgetting what that wrote.
    bool openOn(int number) {
        port.available.insert(number);
        panel.menuCom_Click(number);
        port.writes.clear();
        port.events.clear();
        return port.isOpen();
    }
    // The fake port: bytes as the amplifier sends them, read by the next poll tick.
    void feed(const QByteArray& bytes) {
        port.deliver(bytes);
        panel.Timer_Poll_Timer();
    }
    // The same, forgetting what the tick wrote.
    void receive(const QByteArray& frame) {
        feed(frame);
        port.writes.clear();
    }
    // Every message the operator was shown, by its text.
    QStringList texts() const {
        QStringList out;
        for (const Message& m : op.messages)
            out << m.text;
        return out;
    }

    // The real port: starts as the executable does, then the operator chooses COM1 on `device`.
    bool startOn(const QString& device, int pollingMs = 50) {
        panel.startup();
        state.ports.setEntry(1, device);
        if constexpr (requires { Screens::main.show(); })
            Screens::main.show();
        panel.applyPolling(pollingMs);
        panel.menuCom_Click(1);
        return port.isOpen();
    }

private:
    Port makePort() {
        if constexpr (std::is_constructible_v<Port, const serial::PortMap&>)
            return Port(state.ports);
        else
            return Port{};
    }
};

// Benchmarks use the rig without GoogleTest.
#ifndef TARN_RIG_NO_FIXTURES
// A panel on the fake port with recording views.
class PanelTest : public ::testing::Test, protected Rig<serial::FakeSerialPort, Recorded> {};

#ifdef TARN_RIG_WINDOWS
// The real windows on the fake port.
class UiTest : public ::testing::Test, protected Rig<serial::FakeSerialPort, Windows> {
protected:
    template <typename T = QWidget> T* mainChild(const QString& name) const {
        return main.template findChild<T*>(name);
    }
};

// The real windows on the real port.
using WindowRig = Rig<serial::ComPort, Windows>;
#endif
#endif

} // namespace tarn::testing
