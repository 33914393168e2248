// The serial layer against the real ser2net, on the simulated amplifier's pseudo-terminal:
// raw TCP, RFC 2217 and RFC 2217 inside TLS with client certificates. Bounds are generous,
// for a loaded machine.

#include "remote/ser2net.h"
#include "serial/comport.h"
#include "support/simprocess.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <termios.h>
#include <unistd.h>

using namespace tarn;
using namespace tarn::testing;

namespace {
const QByteArray pollFrame = QByteArray::fromHex("FB0C0CFE");

// Everything the simulator put on the line, in order.
QByteArray simulatorSent(const QByteArray& log) {
    static const QRegularExpression tx(R"(^\s*[\d.]+ TX ((?:[0-9A-F]{2} ?)+))");
    QByteArray stream;
    for (const QByteArray& line : log.split('\n')) {
        const auto m = tx.match(QString::fromLatin1(line));
        if (m.hasMatch())
            stream += QByteArray::fromHex(m.captured(1).remove(' ').toLatin1());
    }
    return stream;
}

enum class Mode { Raw, Rfc2217, Rfc2217Tls };

struct ModeRow {
    const char* name;
    Mode mode;
};

void PrintTo(const ModeRow& row, std::ostream* out) {
    *out << row.name;
}
} // namespace

class ThroughSer2net : public ::testing::Test, private WithApplication {
protected:
    ThroughSer2net() {
        // Held open so the simulator's side never reads a hang-up while ser2net closes and
        // reopens the device; also where the line's settings are read back.
        slave_ = ::open(QFile::encodeName(sim.endpoint()).constData(), O_RDWR | O_NOCTTY);
        server = makeSelfSigned(dir.path(), "amp-ser2net");
        client = makeSelfSigned(dir.path(), "panel");
        QDir().mkpath(dir.path() + "/auth/panel/allowed_certs");
        QFile::copy(client.cert, dir.path() + "/auth/panel/allowed_certs/panel.crt");
        openssl({"rehash", dir.path() + "/auth/panel/allowed_certs"});
    }
    ~ThroughSer2net() override {
        if (slave_ >= 0)
            ::close(slave_);
    }

    // Starts ser2net for `mode` and maps COM1 to it, trusting `ca`.
    void serve(Mode mode, const QString& ca = {}) {
        const QString tcp = QStringLiteral("tcp,127.0.0.1,%1").arg(tcpPort);
        QString accepter = tcp;
        QString address = QStringLiteral("tcp://127.0.0.1:%1").arg(tcpPort);
        if (mode == Mode::Rfc2217) {
            accepter = "telnet(rfc2217)," + tcp;
            address = QStringLiteral("rfc2217://127.0.0.1:%1").arg(tcpPort);
        } else if (mode == Mode::Rfc2217Tls) {
            accepter = QStringLiteral("telnet(rfc2217),ssl(key=%1,cert=%2,clientauth),%3")
                           .arg(server.key, server.cert, tcp);
            address = QStringLiteral("rfc2217+tls://127.0.0.1:%1?ca=%2&cert=%3&key=%4")
                          .arg(tcpPort)
                          .arg(ca.isEmpty() ? server.cert : ca, client.cert, client.key);
        }
        ser2net = std::make_unique<Ser2net>(
            dir.path(), ser2netConnection(accepter, sim.endpoint(), dir.path() + "/auth"));
        map.setEntry(1, address);
        port.setPortNumber(1);
    }
    // Calls open() as the panel's reopen timer does, until the port is open.
    bool openSoon(int ms = 15000) {
        return waitUntil([&] { return port.open(); }, ms);
    }
    // Polls `count` times, one poll per answer; the number of polls answered with a status.
    int pollAndCount(int count) {
        int answered = 0;
        for (int i = 0; i < count && port.isOpen(); ++i) {
            if (!port.write(pollFrame))
                break;
            QByteArray got;
            if (waitUntil(
                    [&] {
                        got += port.readAll();
                        return got.size() >= 10 && got.endsWith(char(0xFE));
                    },
                    3000))
                ++answered;
            received += got;
        }
        return answered;
    }
    int outputBaud() const {
        termios t{};
        ::tcgetattr(slave_, &t);
        return int(::cfgetospeed(&t));
    }

    SimProcess sim{{}};
    QTemporaryDir dir;
    KeyPair server;
    KeyPair client;
    quint16 tcpPort = freeTcpPort();
    std::unique_ptr<Ser2net> ser2net;
    serial::PortMap map;
    serial::ComPort port{map};
    QByteArray received;

private:
    int slave_ = -1;
};

class ThroughSer2netModes : public ThroughSer2net, public ::testing::WithParamInterface<ModeRow> {};

TEST_P(ThroughSer2netModes, PollsAreAnsweredAndOnlyTheAmplifiersBytesAreRead) {
    serve(GetParam().mode);
    ASSERT_TRUE(openSoon()) << port.errorString().toStdString() << ser2net->output().data();
    EXPECT_EQ(pollAndCount(20), 20);
    // Byte for byte what the amplifier sent: no telnet negotiation, 0xFF undoubled.
    EXPECT_TRUE(waitUntil([&] { return simulatorSent(sim.log()).startsWith(received); }, 3000))
        << received.toHex(' ').data();
    // And the amplifier saw polls only.
    const auto frames = sim.receivedFrames();
    ASSERT_FALSE(frames.isEmpty());
    for (const QByteArray& f : frames)
        EXPECT_EQ(f, "FB 0C 0C FE");
}

INSTANTIATE_TEST_SUITE_P(Remote, ThroughSer2netModes,
                         ::testing::Values(ModeRow{"raw", Mode::Raw},
                                           ModeRow{"rfc2217", Mode::Rfc2217},
                                           ModeRow{"rfc2217_tls", Mode::Rfc2217Tls}));

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
    EXPECT_TRUE(port.isOpen());
}

TEST_F(ThroughSer2net, CertificateThatDoesNotVerifyIsRefusedWithNothingSent) {
    const KeyPair stranger = makeSelfSigned(dir.path(), "stranger");
    serve(Mode::Rfc2217Tls, stranger.cert);
    EXPECT_FALSE(openSoon(4000));
    ASSERT_TRUE(waitUntil([&] { return !port.isConnecting(); }, 10000));
    port.open();
    const QString why = port.errorString();
    EXPECT_TRUE(why.contains("127.0.0.1")) << why.toStdString();
    EXPECT_TRUE(why.contains(sha256Fingerprint(server.cert))) << why.toStdString();
    EXPECT_TRUE(sim.receivedFrames().isEmpty());
}

TEST_F(ThroughSer2net, ServerStoppedAndStartedAgainIsReopened) {
    serve(Mode::Rfc2217);
    ASSERT_TRUE(openSoon()) << port.errorString().toStdString();
    ASSERT_EQ(pollAndCount(3), 3);

    ser2net->stop();
    EXPECT_TRUE(waitUntil(
        [&] {
            port.readAll();
            return !port.isOpen();
        },
        5000));
    EXPECT_FALSE(port.open());
    ser2net->start();
    ASSERT_TRUE(openSoon()) << port.errorString().toStdString();
    EXPECT_EQ(pollAndCount(3), 3);
}
