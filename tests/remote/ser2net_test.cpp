// The serial layer against the real ser2net on the simulated amplifier's pseudo-terminal: raw
// TCP, RFC 2217, and RFC 2217 inside TLS with a client certificate. Generous bounds, for a
// loaded machine.

#include "remote/ser2net.h"
#include "serial/comport.h"
#include "support/appprocess.h"
#include "support/simprocess.h"

#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <termios.h>
#include <unistd.h>

using namespace tarn;
using namespace tarn::testing;

namespace {
enum class Mode { Raw, Rfc2217, Rfc2217Tls };

void PrintTo(Mode mode, std::ostream* out) {
    const char* names[] = {"raw", "rfc2217", "rfc2217_tls"};
    *out << names[int(mode)];
}

// Everything the simulator put on the line, in order.
QByteArray simulatorSent(const QByteArray& log) {
    static const QRegularExpression tx(R"(^\s*[\d.]+ TX ((?:[0-9A-F]{2} ?)+))");
    QByteArray stream;
    for (const QByteArray& line : log.split('\n'))
        if (const auto m = tx.match(QString::fromLatin1(line)); m.hasMatch())
            stream += QByteArray::fromHex(m.captured(1).remove(' ').toLatin1());
    return stream;
}
} // namespace

class ThroughSer2net : public ::testing::TestWithParam<Mode>, private WithApplication {
protected:
    ThroughSer2net() {
        // Held open so the simulator never reads a hang-up while ser2net closes the device;
        // also where the line's settings are read back.
        slave_ = ::open(QFile::encodeName(sim.endpoint()).constData(), O_RDWR | O_NOCTTY);
        allowClient(dir.path() + "/auth", client);
    }
    ~ThroughSer2net() override { ::close(slave_); }

    // Starts ser2net for `mode` and maps COM1 to it, trusting `ca`.
    void serve(Mode mode, const QString& ca = {}) {
        const QString tcp = QStringLiteral("tcp,127.0.0.1,%1").arg(tcpPort);
        const QString scheme[] = {"tcp", "rfc2217", "rfc2217+tls"};
        const QString accepter[] = {
            tcp, "telnet(rfc2217)," + tcp,
            QStringLiteral("telnet(rfc2217),ssl(key=%1.key,cert=%1.crt,clientauth),").arg(server) +
                tcp};
        QString address = QStringLiteral("%1://127.0.0.1:%2").arg(scheme[int(mode)]).arg(tcpPort);
        if (mode == Mode::Rfc2217Tls)
            address += QStringLiteral("?ca=%1&cert=%2.crt&key=%2.key")
                           .arg(ca.isEmpty() ? server + ".crt" : ca, client);
        ser2net = std::make_unique<Ser2net>(dir.path(), accepter[int(mode)], sim.endpoint());
        map.setEntry(1, address);
        port.setPortNumber(1);
    }
    // Calls open() as the panel's reopen timer does, until the port is open.
    bool openSoon(int ms = 15000) {
        return waitUntil([&] { return port.open(); }, ms);
    }
    // Polls `count` times, each after the previous answer; the number answered.
    int pollAndCount(int count) {
        int answered = 0;
        for (int i = 0; i < count && port.write(QByteArray::fromHex("FB0C0CFE")); ++i) {
            QByteArray got;
            answered += waitUntil(
                [&] {
                    got += port.readAll();
                    return got.size() >= 10 && got.endsWith(char(0xFE));
                },
                3000);
            received += got;
        }
        return answered;
    }
    speed_t outputBaud() const {
        termios t{};
        ::tcgetattr(slave_, &t);
        return ::cfgetospeed(&t);
    }

    SimProcess sim{{}};
    QTemporaryDir dir;
    QString server = makeSelfSigned(dir.path(), "amp-ser2net");
    QString client = makeSelfSigned(dir.path(), "panel");
    quint16 tcpPort = freeTcpPort();
    std::unique_ptr<Ser2net> ser2net;
    serial::PortMap map;
    serial::ComPort port{map};
    QByteArray received;

private:
    int slave_ = -1;
};

TEST_P(ThroughSer2net, PollsAreAnsweredAndOnlyTheAmplifiersBytesAreRead) {
    serve(GetParam());
    ASSERT_TRUE(openSoon()) << port.errorString().toStdString() << ser2net->output().data();
    EXPECT_EQ(pollAndCount(20), 20);
    // Byte for byte what the amplifier sent (no telnet, 0xFF undoubled), and it saw polls only.
    EXPECT_TRUE(waitUntil([&] { return simulatorSent(sim.log()).startsWith(received); }));
    for (const QByteArray& frame : sim.receivedFrames())
        EXPECT_EQ(frame, "FB 0C 0C FE");
}

INSTANTIATE_TEST_SUITE_P(Remote, ThroughSer2net,
                         ::testing::Values(Mode::Raw, Mode::Rfc2217, Mode::Rfc2217Tls));

TEST_F(ThroughSer2net, BaudRateOfThePanelReachesTheFarLine) {
    serve(Mode::Rfc2217Tls);
    ASSERT_TRUE(port.setLineSettings("19200,n,8,1"));
    ASSERT_TRUE(openSoon()) << port.errorString().toStdString();
    EXPECT_TRUE(waitUntil([&] { return outputBaud() == B19200; }, 5000));
    // Changes on the open port, as the baud-rate dialog makes them, the second before the
    // server answered the first.
    ASSERT_TRUE(port.setLineSettings("38400,n,8,1"));
    ASSERT_TRUE(port.setLineSettings("57600,n,8,1"));
    EXPECT_TRUE(waitUntil([&] { return outputBaud() == B57600; }, 5000));
    EXPECT_EQ(pollAndCount(3), 3);
}

TEST_F(ThroughSer2net, CertificateThatDoesNotVerifyIsRefusedWithNothingSent) {
    serve(Mode::Rfc2217Tls, makeSelfSigned(dir.path(), "stranger") + ".crt");
    EXPECT_FALSE(port.open());
    ASSERT_TRUE(waitUntil([&] { return !port.isConnecting(); }, 10000));
    EXPECT_FALSE(port.open());
    const QString why = port.errorString();
    const QString fingerprint =
        openssl({"x509", "-in", server + ".crt", "-noout", "-fingerprint", "-sha256"});
    EXPECT_TRUE(why.contains("127.0.0.1")) << why.toStdString();
    EXPECT_TRUE(why.contains(fingerprint.mid(fingerprint.indexOf('=') + 1))) << why.toStdString();
    EXPECT_TRUE(sim.receivedFrames().isEmpty());
}

// The real panel on an INI file naming the server: it opens the port at start-up, sets the
// far line to its baud rate, takes a restarted server up again by itself, and its force
// standby at exit gets through TLS and telnet.
TEST_F(ThroughSer2net, PanelTakesARestartedServerUpAgainByItself) {
    serve(Mode::Rfc2217Tls);
    AppProcess app(dir.path());
    app.writeIni(
        "[COM]\nPortNumber= 1\nBaudRate= 19200\n[Ports]\nCOM1=" + map.deviceFor(1).toUtf8() + "\n");
    const auto polls = [&] { return sim.receivedFrames().count("FB 0C 0C FE"); };
    const auto pollsGrow = [&] {
        const qsizetype before = polls();
        return waitUntil([&] { return polls() >= before + 5; }, 15000);
    };
    ASSERT_TRUE(app.start());
    ASSERT_TRUE(pollsGrow()) << ser2net->output().data();
    EXPECT_EQ(outputBaud(), B19200);
    ser2net->stop();
    ser2net->start();
    EXPECT_TRUE(pollsGrow());
    EXPECT_TRUE(app.terminate());
    EXPECT_TRUE(waitUntil([&] { return sim.receivedFrames().last() == "FB 03 02 05 FE"; }));
}
