#pragma once

#include "core/panel.h"
#include "serial/fakeserialport.h"
#include "settings/settingsstore.h"
#include "support/pty.h"
#include "support/recordingviews.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tarn::testing {

inline QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

// A panel on a fake port with recording views and its own settings folder.
class PanelTest : public ::testing::Test, private WithApplication {
protected:
    QString iniText() const {
        QFile f(dir.path() + "/tarn-vq4400.ini");
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    // Opens the port on `number` as the operator would.
    void openOn(int number) {
        port.available.insert(number);
        panel.menuCom_Click(number);
        ASSERT_TRUE(port.isOpen());
        port.writes.clear();
        port.events.clear();
    }

    QTemporaryDir dir;
    core::PanelState state;
    serial::FakeSerialPort port;
    settings::SettingsStore store{dir.path(), "tarn-vq4400", dir.path() + "/user"};
    RecordingMain main;
    RecordingTiny tiny;
    RecordingMenu menu;
    RecordingOperator op;
    FakePlacement placement;
    core::Panel panel{state, port, store, {main, tiny, menu, op, placement}};
};

} // namespace tarn::testing
