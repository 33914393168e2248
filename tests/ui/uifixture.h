#pragma once

// Real windows on a real panel, with a fake port, a recording operator and their own settings
// folder. Widgets run on the offscreen platform; nothing is ever shown on a desktop.

#include "core/panel.h"
#include "serial/fakeserialport.h"
#include "settings/settingsstore.h"
#include "support/recordingviews.h"
#include "ui/fonts.h"
#include "ui/lamp.h"
#include "ui/mainwindow.h"
#include "ui/panellabel.h"
#include "ui/shapes.h"
#include "ui/tinywidget.h"
#include "ui/twips.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tarn::testing {

inline QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

// Built before any widget: the application and the font mapping.
struct UiEnvironment {
    UiEnvironment() {
        // main() owns the application; every widget needs it.
        EXPECT_NE(QApplication::instance(), nullptr);
        // A fixed decimal separator, so "1.5" means what it says on any machine.
        QLocale::setDefault(QLocale::c());
        ui::installFontSubstitutions();
    }
};

class UiTest : public ::testing::Test {
protected:
    UiTest() {
        main.attach(panel);
        tiny.attach(panel);
        // Each frame is checked as it arrives; pacing has a test of its own.
        main.pacer().setIntervalMs(0);
        tiny.pacer().setIntervalMs(0);
    }

    template <typename T = QWidget> T* mainChild(const QString& name) const {
        return main.findChild<T*>(name);
    }
    template <typename T = QWidget> T* tinyChild(const QString& name) const {
        return tiny.findChild<T*>(name);
    }
    // Place and size in twips, relative to the client area.
    static QRect twipsOf(const QWidget* w) { return ui::twipsRect(w->geometry()); }
    static QColor colorOf(const QWidget* w) { return w->property("color").value<QColor>(); }
    QColor mainColor(const QString& name) const { return colorOf(mainChild(name)); }
    QColor tinyColor(const QString& name) const { return colorOf(tinyChild(name)); }
    QString mainText(const QString& name) const { return mainChild<QLabel>(name)->text(); }
    QString tinyText(const QString& name) const { return tinyChild<QLabel>(name)->text(); }

    void openOn(int number) {
        port.available.insert(number);
        panel.menuCom_Click(number);
        ASSERT_TRUE(port.isOpen());
        port.writes.clear();
        port.events.clear();
    }
    // One frame as the amplifier sends it, read by the next poll tick.
    void receive(const QByteArray& frame) {
        port.deliver(frame);
        panel.Timer_Poll_Timer();
        port.writes.clear();
    }

    UiEnvironment environment;
    QTemporaryDir dir;
    core::PanelState state;
    serial::FakeSerialPort port;
    settings::SettingsStore store{dir.path(), "tarn-vq4400", dir.path() + "/user"};
    ui::MainWindow main;
    ui::TinyWidget tiny;
    RecordingOperator op;
    core::Panel panel{state, port, store, {main, tiny, main, op, main}};
};

} // namespace tarn::testing
