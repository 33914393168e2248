// The real port implementations against a pseudo-terminal and a loopback listener.

#include "serial/comport.h"
#include "serial/seriallink.h"
#include "serial/tcplink.h"
#include "support/pty.h"

#include <QCoreApplication>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

using namespace tarn::serial;
using tarn::testing::Pty;
using tarn::testing::waitUntil;

namespace {
const QByteArray pollFrame = QByteArray::fromHex("FB0C0CFE");
const QByteArray forceStandby = QByteArray::fromHex("FB030205FE");

QByteArray readAtLeast(Link& link, qsizetype count) {
    QByteArray got;
    waitUntil([&] {
        got += link.readAll();
        return got.size() >= count;
    });
    return got;
}
} // namespace

class SerialLinkTest : public ::testing::Test, private tarn::testing::WithApplication {
protected:
    Pty pty;
};

TEST_F(SerialLinkTest, WritesFramesByteExactAndReadsEveryByte) {
    ASSERT_TRUE(pty.ok());
    SerialDeviceLink link(pty.path());
    ASSERT_TRUE(link.open(LineSettings{}));
    ASSERT_TRUE(link.write(pollFrame));
    ASSERT_TRUE(link.write(forceStandby));
    EXPECT_EQ(pty.receive(9), pollFrame + forceStandby);

    QByteArray all;
    for (int i = 0; i < 4096; ++i)
        all.append(char(i % 256)); // every byte value, 0x0A and 0x0D included
    ASSERT_TRUE(pty.send(all));
    EXPECT_EQ(readAtLeast(link, all.size()), all);
}

TEST_F(SerialLinkTest, PortHeldByAnotherProgramFailsToOpen) {
    ASSERT_TRUE(pty.ok());
    SerialDeviceLink first(pty.path());
    ASSERT_TRUE(first.open(LineSettings{}));
    SerialDeviceLink second(pty.path());
    EXPECT_FALSE(second.open(LineSettings{}));
    first.close();
    EXPECT_TRUE(second.open(LineSettings{}));
}

TEST_F(SerialLinkTest, MissingDeviceFailsToOpen) {
    SerialDeviceLink link("/dev/tarn-no-such-device");
    EXPECT_FALSE(link.open(LineSettings{}));
    EXPECT_FALSE(link.isOpen());
}

TEST_F(SerialLinkTest, FrameWrittenJustBeforeCloseReachesTheLine) {
    ASSERT_TRUE(pty.ok());
    SerialDeviceLink link(pty.path());
    ASSERT_TRUE(link.open(LineSettings{}));
    ASSERT_TRUE(link.write(forceStandby));
    link.close(); // no event loop ran between write and close
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(pty.receive(5), forceStandby);
}

TEST_F(SerialLinkTest, PortThatWentAwayClosesItselfAndReopensWhenBack) {
    ASSERT_TRUE(pty.ok());
    QTemporaryDir dir;
    const QString linkPath = dir.path() + "/amp";
    ASSERT_TRUE(QFile::link(pty.path(), linkPath));
    PortMap map({{1, linkPath}});
    ComPort port(map);
    ASSERT_TRUE(port.setPortNumber(1));
    ASSERT_TRUE(port.open());

    pty.hangUp();
    QFile::remove(linkPath);
    EXPECT_TRUE(waitUntil([&] {
        port.readAll();
        return !port.isOpen();
    })) << "a hung-up device must read as closed";
    EXPECT_FALSE(port.open());

    Pty back;
    ASSERT_TRUE(QFile::link(back.path(), linkPath));
    ASSERT_TRUE(port.open());
    ASSERT_TRUE(port.write(pollFrame));
    EXPECT_EQ(back.receive(4), pollFrame);
}

class TcpLinkTest : public ::testing::Test, private tarn::testing::WithApplication {
protected:
    TcpLinkTest() {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection,
                         [this] { peer.reset(server.nextPendingConnection()); });
    }
    QByteArray peerReceive(qsizetype count) {
        QByteArray got;
        waitUntil([&] {
            if (peer)
                got += peer->readAll();
            return got.size() >= count;
        });
        return got;
    }
    QTcpServer server;
    std::unique_ptr<QTcpSocket> peer;
};

TEST_F(TcpLinkTest, CarriesBytesBothWaysUnchanged) {
    TcpLink link("127.0.0.1", server.serverPort());
    ASSERT_TRUE(link.open(LineSettings{}));
    ASSERT_TRUE(waitUntil([&] { return peer != nullptr; }));
    ASSERT_TRUE(link.write(pollFrame));
    EXPECT_EQ(peerReceive(4), pollFrame);
    QByteArray all;
    for (int i = 0; i < 2048; ++i)
        all.append(char(i % 256));
    peer->write(all);
    EXPECT_EQ(readAtLeast(link, all.size()), all);
}

TEST_F(TcpLinkTest, RefusedServerFailsToOpen) {
    const quint16 port = server.serverPort();
    server.close();
    TcpLink link("127.0.0.1", port);
    EXPECT_FALSE(link.open(LineSettings{}));
    EXPECT_FALSE(link.isOpen());
}

TEST_F(TcpLinkTest, FrameWrittenJustBeforeCloseReachesTheServer) {
    TcpLink link("127.0.0.1", server.serverPort());
    ASSERT_TRUE(link.open(LineSettings{}));
    ASSERT_TRUE(link.write(forceStandby));
    link.close();
    EXPECT_EQ(peerReceive(5), forceStandby);
}

TEST_F(TcpLinkTest, ServerDroppingTheLineIsSeenAndReopenWorks) {
    PortMap map({{5, QString("tcp://127.0.0.1:%1").arg(server.serverPort())}});
    ComPort port(map);
    ASSERT_TRUE(port.setPortNumber(5));
    ASSERT_TRUE(port.open());
    ASSERT_TRUE(waitUntil([&] { return peer != nullptr; }));
    peer->close();
    EXPECT_TRUE(waitUntil([&] { return !port.isOpen(); }));
    EXPECT_TRUE(port.open());
    ASSERT_TRUE(
        waitUntil([&] { return peer && peer->state() == QAbstractSocket::ConnectedState; }));
    ASSERT_TRUE(port.write(pollFrame));
    EXPECT_EQ(peerReceive(4), pollFrame);
}
