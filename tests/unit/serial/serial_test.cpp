#include "serial/comport.h"
#include "serial/networklink.h"
#include "serial/outputqueue.h"
#include "serial/portmap.h"
#include "serial/rfc2217.h"
#include "support/pty.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>

using namespace tarn::serial;
using tarn::testing::waitUntil;
using T = TelnetCodec;

namespace {
const QByteArray pollFrame = QByteArray::fromHex("FB0C0CFE");
const QByteArray standby = QByteArray::fromHex("FB030205FE");

QByteArray everyByte(int size) {
    QByteArray all;
    for (int i = 0; i < size; ++i)
        all.append(char(i % 256)); // 0x0A, 0x0D and 0xFF included
    return all;
}
} // namespace

TEST(PortMap, NumbersStandForDevicesAndAddressesAndNewDevicesTakeTheLowestFree) {
    const PortMap map({{0, "zero"}, {1, "/dev/ttyS0"}, {255, "/dev/ttyUSB9"}, {256, "over"}});
    const auto devices = [](const PortMap& m, const QList<int>& numbers) {
        QStringList got;
        for (const int n : numbers)
            got << m.deviceFor(n);
        return got.join('|');
    };
    EXPECT_EQ(devices(map, {0, 1, 2, 255, 256}), "|/dev/ttyS0||/dev/ttyUSB9|");
    QStringList got;
    for (const char* value :
         {"tcp://192.0.2.10:4001", "TCP://amp.local:2000", "rfc2217://[::1]:3000",
          "tls://192.0.2.1:3001", "rfc2217+tls://h:3002?ca=/x", "tcp://nohost", "rfc2217://:4000",
          "/dev/ttyS0", "tcp://h:0", "tcp://h:1", "ftp://h:21"}) {
        const auto a = NetworkAddress::parse(value);
        got << (a ? QString("%1:%2").arg(a->host).arg(a->port) + (a->telnet ? " telnet" : "") +
                        (a->tls ? " tls" : "")
                  : QString(NetworkAddress::isNetwork(value) ? "bad" : "device"));
    }
    EXPECT_EQ(got.join('|'), "192.0.2.10:4001|amp.local:2000|::1:3000 telnet|192.0.2.1:3001 tls|"
                             "h:3002 telnet tls|bad|bad|device|bad|h:1|device");

    const QString value = "rfc2217+tls://amp:3001?ca=/etc/amp%20ca.crt&cert=~/me.crt&key=/k/me.key";
    const auto a = NetworkAddress::parse(value);
    ASSERT_TRUE(a);
    EXPECT_EQ(QStringList({a->caFile, a->certFile, a->keyFile, NetworkAddress::shortName(value)}),
              QStringList({"/etc/amp ca.crt", QDir::homePath() + "/me.crt", "/k/me.key",
                           "rfc2217+tls://amp:3001"}));

    for (const char* text : {"19200,n,8,1", " 1 , O , 5 , 2 ", "0,n,8,1", "9600,x,8,1", "9600,n,8",
                             "9600,n,4,1", "9600,n,9,1", "9600,s,8,0", "9600,e,7,3", "abc,n,8,1"})
        got << (LineSettings::parse(text) ? LineSettings::parse(text)->toString() : "-");
    EXPECT_EQ(got.join('|').section('|', 11), "19200,n,8,1|1,o,5,2|-|-|-|-|-|-|-|-");

    // New devices take the lowest free numbers up to 16, stable names first.
    PortMap detected({{1, "/dev/ttyS0"}, {3, "tcp://127.0.0.1:4001"}});
    // ttyS0 is COM1 already; acm0 has no stable name, so it comes after the others.
    const QList<DetectedDevice> found = {{"/dev/ttyS0", ""},
                                         {"/dev/acm0", ""},
                                         {"/dev/ttyUSB1", "/dev/serial/by-id/usb-B-port0"},
                                         {"/dev/ttyUSB0", "/dev/serial/by-id/usb-A-port0"}};
    EXPECT_EQ(detected.assignDetected(found), (QList<int>{2, 4, 5}));
    EXPECT_EQ(devices(detected, {2, 4, 5}),
              "/dev/serial/by-id/usb-A-port0|/dev/serial/by-id/usb-B-port0|/dev/acm0");
    EXPECT_TRUE(detected.assignDetected(found).isEmpty()) << "a second start changes nothing";

    QTemporaryDir dir;
    QFile target(dir.path() + "/ttyFAKE0");
    ASSERT_TRUE(target.open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link(target.fileName(), dir.path() + "/by-id-link"));
    PortMap linked({{7, dir.path() + "/by-id-link"}});
    EXPECT_TRUE(linked.assignDetected({{target.fileName(), ""}}).isEmpty()) << "named twice";

    PortMap empty;
    QList<DetectedDevice> many(20);
    for (int i = 0; i < 20; ++i)
        many[i].systemLocation = QString("/dev/ttyX%1").arg(i + 10);
    EXPECT_EQ(empty.assignDetected(many).size(), 16);
    EXPECT_EQ(empty.deviceFor(16), "/dev/ttyX25");
    EXPECT_TRUE(empty.deviceFor(17).isEmpty());
}

TEST(Telnet, DataAndCommandsComeApartWhereverTheReadsSplitAndLineSettingsAreAgreedOrRefused) {
    const QByteArray data = everyByte(512) + QByteArray::fromHex("fbffffffeffe");
    const QByteArray params = QByteArray::fromHex("6500ffc200");
    const QByteArray stream = T::escape(data) + T::negotiation(T::WILL, T::Echo) +
                              T::subnegotiation(T::ComPort, params) + "\xff\xf1\x42"; // NOP, 'B'
    const QList<T::Command> expected = {
        {T::WILL, T::Echo, {}}, {T::SB, T::ComPort, params}, {0xF1, 0, {}}};
    for (qsizetype piece : {1, 2, 3, 7, 4096}) {
        TelnetCodec codec;
        QList<T::Command> commands;
        QByteArray got;
        for (qsizetype i = 0; i < stream.size(); i += piece)
            got += codec.decode(stream.mid(i, piece), &commands);
        EXPECT_EQ(got, data + "B") << piece;
        EXPECT_EQ(commands, expected) << "pieces of " << piece;
    }
    // A subnegotiation that never ends is dropped, not kept.
    TelnetCodec codec;
    QList<T::Command> commands;
    codec.decode("\xff\xfa\x2c" + QByteArray(1 << 20, 'x'), &commands);
    EXPECT_EQ(codec.decode("\xff\xf0\x42", &commands), "B");
    EXPECT_TRUE(commands.isEmpty());

    using S = ComPortControl::State;
    const QByteArray sets = "fffa2c010001c200fff0fffa2c0208fff0fffa2c0301fff0fffa2c0401fff0";
    // What the server says, what the panel answers, the outcome and what the refusal names.
    const std::tuple<const char*, QByteArray, S, const char*> rows[] = {
        {"fffd2c fffa2c650001c200fff0 fffa2c6608fff0 fffa2c6a00fff0 fffa2c6701fff0 fffa2c6801fff0",
         sets, S::Ready, ""},
        {"fffe2c", "fffc2c", S::Refused, "RFC 2217"},
        {"fffd2c fffa2c6500002580fff0", sets, S::Refused, "refused 115200 baud (it answered 9600"},
        {"fffd2c fffa2c6607fff0", sets, S::Refused, "refused 8 data bits (it answered 7"},
        {"fffd2c", sets, S::Negotiating, ""},
        // Another option's subnegotiation answers nothing, whatever its bytes.
        {"fffd2c fffa186500002580fff0", sets, S::Negotiating, ""},
        // Echo and unknown options are refused; only changes are answered.
        {"fffb01 fffd18 fffd00 fffb00 fffb03 fffc00 fffe00 fffd2c fffd2c",
         "fffe01fffc18fffe00fffc00" + sets, S::Negotiating, ""},
    };
    for (const auto& [server, replies, state, mentions] : rows) {
        SCOPED_TRACE(server);
        ComPortControl control;
        codec = TelnetCodec{};
        // Settings wait for the server to take the option.
        EXPECT_EQ((control.start() + control.request({.baudRate = 115200})).toHex(),
                  "fffb2cfffb00fffd00fffb03fffd03");
        commands.clear();
        codec.decode(QByteArray::fromHex(server), &commands);
        QByteArray answered;
        for (const T::Command& c : commands)
            answered += control.handle(c);
        EXPECT_EQ(answered.toHex(), replies);
        EXPECT_EQ(control.state(), state);
        EXPECT_TRUE(control.refusal().contains(mentions)) << control.refusal().toStdString();
    }
}

// A frame written just before close reaches the device, though no event loop ran between, and
// behind 8 KiB the far end has not read yet.
TEST(SerialDevice, FlushesWhatWasWrittenJustBeforeClose) {
    tarn::testing::WithApplication app;
    tarn::testing::Pty pty;
    const PortMap map({{1, pty.path()}});
    ComPort port(map);
    const int unread = ::open(QFile::encodeName(pty.path()), O_WRONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_EQ(::write(unread, QByteArray(8192, 'x').constData(), 8192), 8192);
    ::close(unread);
    ASSERT_TRUE(pty.ok() && port.setPortNumber(1) && port.open() && port.write(standby));
    port.close();
    EXPECT_EQ(pty.receive(8197).right(6), 'x' + standby);
}

// A far end that stops reading: every write is still taken and shows as pending, and reaches the
// device whole and in order once the far end reads again and the port is read; a hang-up closes
// the port.
TEST(SerialDevice, KeepsWhatAStalledFarEndCannotTakeYetAndSeesAHangUp) {
    tarn::testing::WithApplication app;
    tarn::testing::Pty pty;
    const PortMap map({{1, pty.path()}});
    ComPort port(map);
    ASSERT_TRUE(pty.ok() && port.setPortNumber(1) && port.open());
    QByteArray sent;
    for (int i = 0; i < 256; ++i) { // 256 KiB: more than the driver queues
        ASSERT_TRUE(port.write(QByteArray(1024, char(i))));
        sent += QByteArray(1024, char(i));
    }
    EXPECT_GT(port.bytesPending(), 64 * 1024);
    QByteArray got;
    for (QDeadlineTimer d(10000); got.size() < sent.size() && !d.hasExpired();) {
        port.readAll(); // the poll tick
        got += pty.receive(sent.size() - got.size(), 20);
    }
    EXPECT_TRUE(got == sent) << got.size() << " of " << sent.size() << " bytes, or out of order";
    EXPECT_EQ(port.bytesPending(), 0);
    pty.hangUp();
    port.readAll();
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(port.errorString().isEmpty());
}

// The network link against a loopback server that misbehaves; the serial device's faults are
// the fault and end-to-end tests' (a pseudo-terminal that is held, hangs up, comes back).
TEST(Links, OpensThatFailSayWhyEveryByteGoesThroughAFloodKeepsTheNewestAndHangUpsAreSeen) {
    tarn::testing::WithApplication app;
    QTcpServer server;
    std::unique_ptr<QTcpSocket> peer;
    server.listen(QHostAddress::LocalHost);
    QObject::connect(&server, &QTcpServer::newConnection,
                     [&] { peer.reset(server.nextPendingConnection()); });
    const auto url = [&](const char* scheme = "tcp") {
        return QString("%1://127.0.0.1:%2").arg(scheme).arg(server.serverPort());
    };
    const auto peerReceive = [&](qsizetype count, QByteArray got = {}) {
        waitUntil([&] { return peer && (got += peer->readAll()).size() >= count; });
        return got;
    };
    QTemporaryDir dir;
    QFile key(dir.path() + "/me.key");
    ASSERT_TRUE(key.open(QIODevice::WriteOnly) &&
                key.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    NetworkLink keyed(*NetworkAddress::parse(url("tls") + "?cert=/x.crt&key=" + key.fileName()));
    EXPECT_FALSE(keyed.open(LineSettings{}));
    EXPECT_FALSE(keyed.isConnecting()) << "refused before any connection";
    EXPECT_TRUE(keyed.errorString().contains("other users")) << keyed.errorString().toStdString();

    NetworkLink refused(*NetworkAddress::parse(url("rfc2217")));
    EXPECT_FALSE(refused.open(LineSettings{}));
    ASSERT_TRUE(waitUntil([&] { return peer != nullptr; }));
    peer->write(T::negotiation(T::DONT, T::ComPort));
    ASSERT_TRUE(waitUntil([&] { return !refused.isConnecting(); }));
    EXPECT_FALSE(refused.open(LineSettings{}));
    EXPECT_FALSE(refused.isOpen());
    EXPECT_TRUE(refused.errorString().contains("RFC 2217")) << refused.errorString().toStdString();

    peer.reset();
    NetworkLink link(*NetworkAddress::parse(url()));
    ASSERT_TRUE(waitUntil([&] { return link.open(LineSettings{}) && peer; }, 5000));
    ASSERT_TRUE(link.write(pollFrame));
    ASSERT_EQ(peerReceive(4), pollFrame);
    const QByteArray frames = QByteArray::fromHex("fb4032250f8c782300fefb0100020304050607fe");
    peer->write(frames + everyByte(2048)); // several frames in one read
    QByteArray got;
    waitUntil([&] { return (got += link.readAll()).size() >= 2068; });
    EXPECT_EQ(got, frames + everyByte(2048));
    for (int i = 0; i < 16; ++i)
        peer->write(QByteArray(1024 * 1024, char(0x55)));
    peer->write(frames);
    const auto newest = [&](const QByteArray& read) {
        EXPECT_LE(read.size(), SerialPort::ReceiveLimit);
        return (got = read.isEmpty() ? got : read).endsWith(frames);
    };
    EXPECT_TRUE(waitUntil([&] { return newest(link.readAll()); }, 20000));
    // The connect time-out is over once connected; a coarse timer may fire 5 % late.
    tarn::testing::runFor(NetworkLink::ConnectTimeoutMs * 11 / 10);
    ASSERT_TRUE(link.isOpen());
    ASSERT_TRUE(link.write(standby));
    link.close();
    EXPECT_EQ(peerReceive(5), standby);

    peer.reset();
    const PortMap map({{5, url()}});
    ComPort port(map);
    ASSERT_TRUE(port.setPortNumber(5) && port.isNetwork(5));
    ASSERT_TRUE(waitUntil([&] { return port.open() && peer; }));
    peer->close();
    EXPECT_TRUE(waitUntil([&] { return !port.isOpen(); })) << "the server hung up";
    EXPECT_TRUE(port.errorString().contains("closed the connection"));
    peer.reset();
    EXPECT_TRUE(waitUntil([&] { return port.open() && peer; }));
    ASSERT_TRUE(port.write(pollFrame));
    EXPECT_EQ(peerReceive(4), pollFrame);

    // A peer that stops reading: the bytes pile up in this computer's send queue, where the panel
    // must see them before it writes the next poll.
    server.pauseAccepting();
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server.serverPort());
    ASSERT_TRUE(waitUntil([&] { return client.state() == QAbstractSocket::ConnectedState; }));
    const auto queued = [&] { return socketOutputQueue(client.socketDescriptor()); };
    for (int i = 0; i < 2048 && queued() == 0; ++i) {
        client.write(QByteArray(64 * 1024, 'x'));
        waitUntil([&] { return client.bytesToWrite() == 0 || queued() > 0; }, 5000);
    }
    EXPECT_GT(queued(), 0);
    EXPECT_EQ(socketOutputQueue(key.handle()), 0) << "a file is no socket";
}

// Settings a link would not use refuse the address by name, "~" and "~user" start paths in home
// folders, and the private key is taken only from a file no other account can reach.
TEST(Addresses, SettingsALinkWouldIgnoreAreRefusedAndKeysMustBeTheOwnersAlone) {
    tarn::testing::WithApplication app;
    QTemporaryDir dir;
    const QString key = dir.path() + "/me.key";
    QProcess openssl; // its progress dots stay out of the test's output
    openssl.start("openssl",
                  {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                   "-subj", "/CN=me", "-keyout", key, "-out", key + ".crt"});
    ASSERT_TRUE(openssl.waitForFinished(60000) && openssl.exitCode() == 0) << "needs openssl";
    QTcpServer server; // takes the connection and never answers: the files are read by then
    server.listen(QHostAddress::LocalHost);
    const QString tls = QString("tls://127.0.0.1:%1?cert=%2.crt&key=%2").arg(server.serverPort());
    const bool root = ::geteuid() == 0; // only root can give the key to someone else
    const std::tuple<QString, mode_t, uid_t, const char*> rows[] = {
        {"rfc2217://h:1?ca=/x", 0, 0, "COM5: settings in the address need a TLS scheme"},
        {"tls://h:1?cafile=/x", 0, 0, "COM5: unknown setting 'cafile'"},
        {"tls://h:1?ca=", 0, 0, "COM5: empty setting 'ca'"},
        {"tls://h:1?cert=~nosuchuser7/c", 0, 0, "COM5: unknown user 'nosuchuser7'"},
        {tls.arg(key), 0640, ::geteuid(), "is open to other users"},
        {tls.arg(key), 0600, root ? 65534 : ::geteuid(), root ? "belongs to another user" : ""},
        {tls.arg(key), 0600, ::geteuid(), ""}};
    for (const auto& [value, mode, owner, why] : rows) {
        const PortMap map({{5, value}});
        ComPort port(map);
        ::chmod(QFile::encodeName(key), mode), ::chown(QFile::encodeName(key), owner, gid_t(-1));
        EXPECT_TRUE(port.setPortNumber(5) && !port.open() && port.isConnecting() == !*why);
        EXPECT_TRUE(port.errorString().contains(why)) << qPrintable(port.errorString());
    }
    const passwd* me = ::getpwuid(::geteuid());
    const auto a = NetworkAddress::parse("tls://h:1?ca=~&cert=~/c&key=~" + QString(me->pw_name));
    EXPECT_EQ(a.value().caFile + "|" + a->certFile + "|" + a->keyFile,
              QDir::homePath() + "|" + QDir::homePath() + "/c|" + QFile::decodeName(me->pw_dir));
}
