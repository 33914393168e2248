#include "serial/linesettings.h"
#include "serial/portmap.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarn::serial;

TEST(PortMap, EntriesStandForTheirDevices) {
    PortMap map({{2, "/dev/ttyS0"}, {20, "/dev/ttyUSB9"}});
    EXPECT_EQ(map.deviceFor(2), "/dev/ttyS0");
    EXPECT_EQ(map.deviceFor(20), "/dev/ttyUSB9");
    EXPECT_TRUE(map.deviceFor(0).isEmpty());
    EXPECT_TRUE(map.deviceFor(256).isEmpty());
}

struct AddressRow {
    const char* value;
    bool valid;
    const char* host;
    int port;
    bool telnet;
    bool tls;
};

void PrintTo(const AddressRow& row, std::ostream* out) {
    *out << row.value;
}

class NetworkAddresses : public ::testing::TestWithParam<AddressRow> {};

TEST_P(NetworkAddresses, SchemeHostAndPort) {
    const AddressRow row = GetParam();
    const auto a = NetworkAddress::parse(row.value);
    ASSERT_EQ(a.has_value(), row.valid) << row.value;
    EXPECT_EQ(NetworkAddress::isNetwork(row.value), QString(row.value).contains("://"));
    if (!a)
        return;
    EXPECT_EQ(a->host, row.host);
    EXPECT_EQ(a->port, row.port);
    EXPECT_EQ(a->telnet, row.telnet);
    EXPECT_EQ(a->tls, row.tls);
}

INSTANTIATE_TEST_SUITE_P(
    PortMap, NetworkAddresses,
    ::testing::Values(AddressRow{"tcp://192.0.2.10:4001", true, "192.0.2.10", 4001, false, false},
                      AddressRow{"TCP://amp.local:2000", true, "amp.local", 2000, false, false},
                      AddressRow{"rfc2217://[::1]:3000", true, "::1", 3000, true, false},
                      AddressRow{"tls://192.0.2.1:3001", true, "192.0.2.1", 3001, false, true},
                      AddressRow{"rfc2217+tls://h:3002?ca=/x", true, "h", 3002, true, true},
                      AddressRow{"tcp://nohost", false, "", 0, false, false},
                      AddressRow{"rfc2217://:4000", false, "", 0, false, false},
                      AddressRow{"/dev/ttyS0", false, "", 0, false, false}));

TEST(PortMap, TlsFilesComeFromTheQueryAndStayOutOfTheShortName) {
    const QString value = "rfc2217+tls://amp:3001?ca=/etc/amp%20ca.crt&cert=~/me.crt&key=/k/me.key";
    const auto a = NetworkAddress::parse(value);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->caFile, "/etc/amp ca.crt");
    EXPECT_EQ(a->certFile, QDir::homePath() + "/me.crt");
    EXPECT_EQ(a->keyFile, "/k/me.key");
    EXPECT_EQ(NetworkAddress::shortName(value), "rfc2217+tls://amp:3001");
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
