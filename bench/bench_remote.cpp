// Polls the simulated amplifier through the real ser2net as the panel does (one poll every
// 50 ms, everything received read once per tick) and prints, for raw TCP, RFC 2217 and RFC
// 2217 inside TLS: polls and answers per second, the round trip from a poll's write to its
// whole answer, and the CPU of this process (the serial layer's share of the panel's) and of
// ser2net. The display's delay is at most the round trip plus one poll period: an answer is
// drawn at the first tick after it arrived.
// Usage: bench_remote [seconds per mode] [polling ms]    (defaults: 20, 50)

#include "support/ser2net.h"
#include "serial/comport.h"
#include "support/simprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace tarn;
using namespace tarn::testing;

namespace {
double cpuSecondsOfSelf() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double cpuSecondsOf(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    // utime and stime are fields 14 and 15 of the whole line, 12 and 13 after the name.
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) /
           double(sysconf(_SC_CLK_TCK));
}

double percentile(QList<double> values, double p) {
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[qsizetype(p * double(values.size() - 1))];
}

struct Mode {
    const char* name;
    QString accepter;
    QString address;
};
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    const int pollingMs = argc > 2 ? std::max(1, atoi(argv[2])) : 50;
    const QByteArray poll = QByteArray::fromHex("FB0C0CFE");

    std::printf("through ser2net at Polling %d ms, %d s per mode\n", pollingMs, seconds);
    for (const char* name : {"raw TCP", "RFC 2217", "RFC 2217 + TLS"}) {
        SimProcess sim({"--tx-cycle", "2000"});
        const int slave = ::open(QFile::encodeName(sim.endpoint()).constData(), O_RDWR | O_NOCTTY);
        QTemporaryDir dir;
        const QString server = makeSelfSigned(dir.path(), "amp-ser2net");
        const quint16 port = freeTcpPort();
        const QString tcp = QStringLiteral("tcp,127.0.0.1,%1").arg(port);
        Mode mode{name, tcp, QStringLiteral("tcp://127.0.0.1:%1").arg(port)};
        if (QByteArray(name) == "RFC 2217") {
            mode.accepter = "telnet(rfc2217)," + tcp;
            mode.address = QStringLiteral("rfc2217://127.0.0.1:%1").arg(port);
        } else if (QByteArray(name) == "RFC 2217 + TLS") {
            mode.accepter =
                QStringLiteral("telnet(rfc2217),ssl(key=%1.key,cert=%1.crt),%2").arg(server, tcp);
            mode.address =
                QStringLiteral("rfc2217+tls://127.0.0.1:%1?ca=%2.crt").arg(port).arg(server);
        }
        Ser2net ser2net(dir.path(), mode.accepter, sim.endpoint());
        serial::PortMap map({{1, mode.address}});
        serial::ComPort com(map);
        com.setPortNumber(1);
        if (!waitUntil([&] { return com.open(); }, 15000)) {
            std::printf("%-15s does not open: %s\n", name, qPrintable(com.errorString()));
            continue;
        }

        // The round trip: the answer's arrival is seen to the millisecond by checking
        // between polls, which costs CPU of its own; so the rates and the CPU come from a
        // second run that reads once per tick only, as the panel does.
        QList<double> roundTrips;
        {
            QByteArray sincePoll;
            QElapsedTimer sinceWrite;
            QElapsedTimer clock;
            clock.start();
            qint64 nextPoll = 0;
            waitUntil(
                [&] {
                    sincePoll += com.readAll();
                    if (sinceWrite.isValid() && sincePoll.size() >= 10 &&
                        sincePoll.endsWith(char(0xFE))) {
                        roundTrips << double(sinceWrite.nsecsElapsed()) / 1e6;
                        sinceWrite.invalidate();
                    }
                    if (clock.elapsed() >= nextPoll) {
                        nextPoll += pollingMs;
                        sincePoll.clear();
                        if (com.write(poll))
                            sinceWrite.start();
                    }
                    return clock.elapsed() >= seconds * 500;
                },
                seconds * 500 + 5000);
        }

        int polls = 0;
        int answers = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            if (com.readAll().contains(char(0xFE)))
                ++answers;
            if (com.write(poll))
                ++polls;
        });
        QElapsedTimer clock;
        clock.start();
        const double cpu0 = cpuSecondsOfSelf();
        const double server0 = cpuSecondsOf(ser2net.processId());
        tick.start(pollingMs);
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
        loop.exec();
        tick.stop();
        const double span = double(clock.elapsed()) / 1000;
        std::printf("%-15s polls %.1f/s, answers drawn %.1f/s, round trip median %.1f ms, "
                    "95%% %.1f ms, max %.1f ms; CPU: serial layer %.2f %%, ser2net %.2f %% of a "
                    "core\n",
                    name, polls / span, answers / span, percentile(roundTrips, 0.5),
                    percentile(roundTrips, 0.95), percentile(roundTrips, 1.0),
                    100 * (cpuSecondsOfSelf() - cpu0) / span,
                    100 * (cpuSecondsOf(ser2net.processId()) - server0) / span);
        com.close();
        ::close(slave);
    }
    return 0;
}
