// The serial layer and the real panel through the real ser2net on the simulated amplifier's
// pseudo-terminal, with RFC 2217 inside TLS and a client certificate: the telnet, line-control
// and TLS layers at once. Plain TCP port servers are the simulator's own, in sim_test.cpp.

#include "serial/comport.h"
#include "support/appprocess.h"
#include "support/ser2net.h"
#include "support/simprocess.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <termios.h>
#include <unistd.h>

using namespace tarn;
using namespace tarn::testing;

namespace {
class ThroughSer2net : public ::testing::Test, private WithApplication {
protected:
    void SetUp() override {
        if (!QFileInfo(TARN_SER2NET_PATH).isExecutable() ||
            QStandardPaths::findExecutable("openssl").isEmpty())
            GTEST_SKIP() << "needs ser2net and openssl (scripts/install-deps.sh)";
        // Held open so the simulator never reads a hang-up while ser2net closes the device;
        // also where the far line's speed is read back.
        slave = ::open(QFile::encodeName(sim.endpoint()).constData(), O_RDWR | O_NOCTTY);
        const QString allowed = dir.filePath("auth/panel/allowed_certs");
        QDir().mkpath(allowed);
        QFile::copy(client + ".crt", allowed + "/client.crt");
        openssl({"rehash", allowed});
    }
    void TearDown() override { ::close(slave); }

    // Starts ser2net and maps COM1 to it, trusting `ca`.
    void serve(const QString& ca) {
        ser2net = std::make_unique<Ser2net>(
            dir.path(),
            QStringLiteral(
                "telnet(rfc2217),ssl(key=%1.key,cert=%1.crt,clientauth),tcp,127.0.0.1,%2")
                .arg(server, QString::number(tcpPort)),
            sim.endpoint());
        map.setEntry(1, QStringLiteral("rfc2217+tls://127.0.0.1:%1?ca=%2&cert=%3.crt&key=%3.key")
                            .arg(QString::number(tcpPort), ca, client));
        port.setPortNumber(1);
    }
    // Polls `count` times, each after the previous answer; the number answered. A frame ends in
    // the one 0xFE byte it may hold.
    int pollAndCount(int count) {
        const qsizetype before = received.count(char(0xFE));
        for (int i = 0; i < count && port.write(QByteArray::fromHex("FB0C0CFE")); ++i)
            waitUntil([&] {
                received += port.readAll();
                return received.count(char(0xFE)) > before + i;
            });
        return int(received.count(char(0xFE)) - before);
    }
    speed_t farBaud() const {
        termios t{};
        ::tcgetattr(slave, &t);
        return ::cfgetospeed(&t);
    }

    SimProcess sim{{}};
    QTemporaryDir dir;
    QString server = makeSelfSigned(dir.path(), "amp-ser2net");
    QString client = makeSelfSigned(dir.path(), "panel");
    quint16 tcpPort = freeTcpPort();
    int slave = -1;
    std::unique_ptr<Ser2net> ser2net;
    serial::PortMap map;
    serial::ComPort port{map};
    QByteArray received;
};
} // namespace

// Answers carry the amplifier's bytes only (no telnet, 0xFF undoubled), and the amplifier hears
// polls only.
TEST_F(ThroughSer2net, PollsAreAnsweredWithOnlyTheAmplifiersBytes) {
    serve(server + ".crt");
    ASSERT_TRUE(waitUntil([&] { return port.open(); }, 15000))
        << port.errorString().toStdString() << ser2net->output().data();
    EXPECT_EQ(pollAndCount(20), 20);
    static const QRegularExpression tx(R"(^\s*[\d.]+ TX ((?:[0-9A-F]{2} ?)+))");
    const auto sent = [&] {
        QByteArray stream;
        for (const QByteArray& line : sim.log().split('\n'))
            if (const auto m = tx.match(QString::fromLatin1(line)); m.hasMatch())
                stream += QByteArray::fromHex(m.captured(1).remove(' ').toLatin1());
        return stream;
    };
    EXPECT_TRUE(waitUntil([&] { return sent().startsWith(received); }));
    EXPECT_EQ(sim.receivedFrames().join(',').toStdString(),
              QList<QByteArray>(20, "FB 0C 0C FE").join(',').toStdString());
    // A new speed on the open line reaches the far end, and its answer ends the wait for one: the
    // line is still up after the 3 s an answer may take.
    ASSERT_TRUE(port.setLineSettings("19200,n,8,1"));
    EXPECT_TRUE(waitUntil([&] { return farBaud() == B19200; }));
    runFor(3500);
    EXPECT_EQ(pollAndCount(5), 5);
}

TEST_F(ThroughSer2net, CertificateThatDoesNotVerifyIsRefusedWithNothingSent) {
    serve(makeSelfSigned(dir.path(), "stranger") + ".crt");
    // Tried as the reopen timer does, until the server listens and shows its certificate.
    ASSERT_TRUE(waitUntil(
        [&] {
            EXPECT_FALSE(!port.isConnecting() && port.open());
            return port.errorString().contains("does not verify");
        },
        15000));
    const std::string why = port.errorString().toStdString();
    const QString fingerprint =
        openssl({"x509", "-in", server + ".crt", "-noout", "-fingerprint", "-sha256"});
    EXPECT_NE(why.find("127.0.0.1"), std::string::npos) << why;
    EXPECT_NE(why.find(fingerprint.section('=', 1).toStdString()), std::string::npos) << why;
    EXPECT_TRUE(sim.receivedFrames().isEmpty());
}

// The real panel on an INI file naming the server: it opens the port at start-up, sets the far
// line to its speed, takes a restarted server up again by itself, and its force standby at exit
// gets through and is confirmed.
TEST_F(ThroughSer2net, PanelTakesARestartedServerUpAgainByItself) {
    serve(server + ".crt");
    AppProcess app(dir.path());
    app.writeIni(
        "[COM]\nPortNumber= 1\nBaudRate= 19200\n[Ports]\nCOM1=" + map.deviceFor(1).toUtf8() + "\n");
    const auto pollsGrow = [&] {
        const auto polls = [&] { return sim.receivedFrames().count("FB 0C 0C FE"); };
        const qsizetype before = polls();
        return waitUntil([&] { return polls() >= before + 5; }, 15000);
    };
    ASSERT_TRUE(app.start());
    ASSERT_TRUE(pollsGrow()) << ser2net->output().data();
    EXPECT_EQ(farBaud(), B19200);
    ser2net->stop();
    ser2net->start();
    EXPECT_TRUE(pollsGrow());
    EXPECT_TRUE(app.terminate());
    EXPECT_EQ(app.exitCode(), 0) << "not confirmed, or the connection did not end cleanly";
    EXPECT_TRUE(waitUntil([&] { return sim.receivedFrames().contains("FB 03 02 05 FE"); }));
}
