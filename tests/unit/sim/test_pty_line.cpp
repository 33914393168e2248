// The real simulator on a real pseudo-terminal, opened the way a panel opens a serial port.

#include "wire.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <gtest/gtest.h>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace tarn::sim {
namespace {

constexpr int GenerousMs = 10'000;

// Ends the simulator however the test ends.
struct RunningSimulator {
    QProcess process;
    ~RunningSimulator() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(GenerousMs);
        }
    }
};

QString firstLine(QProcess& process) {
    QDeadlineTimer deadline(GenerousMs);
    while (!process.canReadLine() && !deadline.hasExpired())
        process.waitForReadyRead(int(deadline.remainingTime()));
    return QString::fromLocal8Bit(process.readLine()).trimmed();
}

// Everything up to and including the first end byte, or what arrived before the deadline.
QByteArray readUntilEnd(int fd) {
    QDeadlineTimer deadline(GenerousMs);
    QByteArray got;
    while (!deadline.hasExpired()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, int(deadline.remainingTime())) <= 0)
            continue;
        char buffer[256];
        const auto n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            got.append(buffer, n);
        if (const auto end = got.indexOf(char(0xFE)); end >= 0)
            return got.left(end + 1);
    }
    return got;
}

TEST(PtyLine, PollIsAnsweredWithAStatusFrame) {
    int argc = 1;
    char name[] = "tarn_sim_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    RunningSimulator sim;
    sim.process.start(QStringLiteral(TARN_SIM_PATH),
                      {QStringLiteral("--firmware"), QStringLiteral("3.10")});
    ASSERT_TRUE(sim.process.waitForStarted(GenerousMs)) << sim.process.errorString().toStdString();

    const QString line = firstLine(sim.process);
    ASSERT_TRUE(line.startsWith(QLatin1String("PTY /"))) << line.toStdString();
    const QByteArray path = line.mid(4).toLocal8Bit();

    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0) << path.constData();
    termios tio{};
    ASSERT_EQ(::tcgetattr(fd, &tio), 0);
    ::cfmakeraw(&tio);
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &tio), 0);

    const QByteArray poll = test::bytes({0xFB, 0x0C, 0x0C, 0xFE});
    ASSERT_EQ(::write(fd, poll.constData(), std::size_t(poll.size())), poll.size());
    const QByteArray answer = readUntilEnd(fd);
    // Nothing echoed back, and a whole status frame.
    const auto body = test::decodeStatus(answer);
    ASSERT_TRUE(body) << answer.toHex(' ').constData();
    EXPECT_EQ((*body)[0], 0);    // standby, nothing tripped
    EXPECT_EQ((*body)[1], 0x45); // gain 4, 14 MHz
    EXPECT_EQ((*body)[4], 140);  // 56.0 V

    const QByteArray testSpace = test::bytes({0xFB, 0x0D, 0x0D, 0xFE});
    ASSERT_EQ(::write(fd, testSpace.constData(), std::size_t(testSpace.size())), testSpace.size());
    EXPECT_EQ(readUntilEnd(fd), test::bytes({0xFB, 0x05, '3', '.', '1', '0', ' ', 0x00, 0xFE}));
    ::close(fd);

    sim.process.write("quit\n");
    ASSERT_TRUE(sim.process.waitForFinished(GenerousMs));
    EXPECT_EQ(sim.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.process.exitCode(), 0);
}

} // namespace
} // namespace tarn::sim
#endif
