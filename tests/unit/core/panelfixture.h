#pragma once

#include "serial/fakeserialport.h"
#include "support/panelrig.h"

#include <QFile>
#include <gtest/gtest.h>

namespace tarn::testing {

inline QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

// A panel on a fake port with recording views and its own settings folder.
class PanelTest : public ::testing::Test, protected PanelRig<serial::FakeSerialPort> {
protected:
    QString iniText() const {
        QFile f(dir.path() + "/tarn-vq4400.ini");
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    void writeIni(const QString& text) {
        QFile f(dir.path() + "/tarn-vq4400.ini");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.toUtf8());
    }
    // Opens the port on `number` as the operator would.
    void openOn(int number) {
        port.available.insert(number);
        panel.menuCom_Click(number);
        ASSERT_TRUE(port.isOpen());
        port.writes.clear();
        port.events.clear();
    }
};

} // namespace tarn::testing
