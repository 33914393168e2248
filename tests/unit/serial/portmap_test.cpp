#include "serial/linesettings.h"
#include "serial/portmap.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarn::serial;

TEST(PortMap, EntriesAndTcpAddresses) {
    PortMap map({{2, "/dev/ttyS0"}, {5, "tcp://192.0.2.10:4001"}, {20, "/dev/ttyUSB9"}});
    EXPECT_EQ(map.deviceFor(2), "/dev/ttyS0");
    EXPECT_EQ(map.deviceFor(20), "/dev/ttyUSB9");
    EXPECT_TRUE(map.deviceFor(0).isEmpty());
    EXPECT_TRUE(map.deviceFor(256).isEmpty());
    QString host;
    quint16 port = 0;
    ASSERT_TRUE(PortMap::parseTcp(map.deviceFor(5), &host, &port));
    EXPECT_EQ(host, "192.0.2.10");
    EXPECT_EQ(port, 4001);
    EXPECT_FALSE(PortMap::parseTcp("tcp://nohost", &host, &port));
    EXPECT_FALSE(PortMap::parseTcp("/dev/ttyS0", &host, &port));
}

TEST(PortMap, NewDevicesTakeTheLowestFreeNumbersStableNamesFirst) {
    PortMap map({{1, "/dev/ttyS0"}, {3, "tcp://127.0.0.1:4001"}});
    const QList<DetectedDevice> found = {
        {"/dev/ttyS0", ""},                                // already COM1
        {"/dev/ttyACM0", ""},                              // no stable name: after the others
        {"/dev/ttyUSB1", "/dev/serial/by-id/usb-B-port0"}, // stable names sorted
        {"/dev/ttyUSB0", "/dev/serial/by-id/usb-A-port0"},
    };
    const auto assigned = map.assignDetected(found);
    EXPECT_EQ(assigned, (QList<int>{2, 4, 5}));
    EXPECT_EQ(map.deviceFor(2), "/dev/serial/by-id/usb-A-port0");
    EXPECT_EQ(map.deviceFor(4), "/dev/serial/by-id/usb-B-port0");
    EXPECT_EQ(map.deviceFor(5), "/dev/ttyACM0");

    // A second start with the same devices changes nothing.
    EXPECT_TRUE(map.assignDetected(found).isEmpty());
}

TEST(PortMap, DeviceNamedThroughALinkIsNotAssignedTwice) {
    QTemporaryDir dir;
    QFile target(dir.path() + "/ttyFAKE0");
    ASSERT_TRUE(target.open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link(target.fileName(), dir.path() + "/by-id-link"));
    PortMap map({{7, dir.path() + "/by-id-link"}});
    EXPECT_TRUE(map.assignDetected({{target.fileName(), ""}}).isEmpty());
}

TEST(PortMap, AutomaticNumbersStopAtSixteen) {
    PortMap map;
    QList<DetectedDevice> many;
    for (int i = 0; i < 20; ++i)
        many.append({QString("/dev/ttyX%1").arg(i, 2, 10, QChar('0')), ""});
    EXPECT_EQ(map.assignDetected(many).size(), 16);
    EXPECT_TRUE(map.deviceFor(17).isEmpty());
}

TEST(LineSettings, ParseAndPrint) {
    const auto s = LineSettings::parse("19200,n,8,1");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->baudRate, 19200);
    EXPECT_EQ(s->toString(), "19200,n,8,1");
    EXPECT_FALSE(LineSettings::parse("abc,n,8,1"));
    EXPECT_FALSE(LineSettings::parse("0,n,8,1"));
    EXPECT_FALSE(LineSettings::parse("9600,x,8,1"));
    EXPECT_FALSE(LineSettings::parse("9600,n,8"));
}
