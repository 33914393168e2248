// Prints what one poll tick costs, how long the start-up scan of 16 ports takes, and how many
// status frames a second the core draws against the simulated amplifier, with the
// simulator's own CPU use.
#include "serial/comport.h"
#include "serial/fakeserialport.h"
#define TARN_RIG_NO_FIXTURES
#include "support/rig.h"
#include "support/simprocess.h"

#include <QElapsedTimer>
#include <QFile>
#include <cstdio>
#include <unistd.h>

using namespace tarn;
using namespace tarn::testing;

namespace {

void pollTick() {
    Rig<serial::FakeSerialPort, Recorded> rig;
    auto& port = rig.port;
    port.available = {1};
    rig.panel.menuCom_Click(1);
    const QByteArray frame = QByteArray::fromHex("FB4032250F8C782300FE");
    constexpr int rounds = 200'000;
    for (bool shown : {false, true}) {
        rig.state.Test_Space_Shown = shown;
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < rounds; ++i) {
            port.deliver(frame);
            rig.panel.Timer_Poll_Timer();
            port.writes.clear();
            port.events.clear();
        }
        std::printf("poll tick with a status frame, test space %s: %6.2f us\n",
                    shown ? "shown" : "hidden", double(t.nsecsElapsed()) / rounds / 1000.0);
    }
}

void scan() {
    Pty a, b;
    Rig<serial::ComPort, Recorded> rig;
    for (int i = 1; i <= 16; ++i)
        rig.state.ports.setEntry(i, QString("/dev/tarn-absent-%1").arg(i));
    rig.state.ports.setEntry(3, a.path());
    rig.state.ports.setEntry(9, b.path());
    constexpr int rounds = 50;
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < rounds; ++i)
        rig.panel.Scan_Com_Ports();
    std::printf("start-up scan of 16 ports (2 present, 14 absent): %6.2f ms\n",
                double(t.nsecsElapsed()) / rounds / 1e6);
}

double cpuSeconds(qint64 pid) {
    QFile f(QString("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = f.readAll().split(')').last().split(' ');
    // After the command name: state is field 1, utime 12, stime 13.
    return (fields.value(12).toDouble() + fields.value(13).toDouble()) / sysconf(_SC_CLK_TCK);
}

// `baud` 0 leaves the simulator's answers unpaced, as on a pseudo-terminal.
void againstSimulator(int pollingMs, int seconds, int baud = 0) {
    SimProcess sim(baud ? QStringList{"--baud", QString::number(baud)} : QStringList{});
    Rig<serial::ComPort, Recorded> rig;
    rig.state.ports.setEntry(1, sim.endpoint());
    rig.state.settings.Polling = pollingMs;
    rig.state.settings.PortNumber = 1;
    rig.panel.Open_Com_Port();
    rig.panel.Timer_Poll().setInterval(pollingMs);
    waitUntil([&] { return rig.main.display.draws > 0; }, 2000);
    const int draws0 = rig.main.display.draws;
    const double cpu0 = cpuSeconds(sim.pid());
    QElapsedTimer t;
    t.start();
    waitUntil([&] { return t.elapsed() >= seconds * 1000; }, seconds * 1000 + 1000);
    const double elapsed = double(t.elapsed()) / 1000.0;
    const double cpu = cpuSeconds(sim.pid()) - cpu0;
    // A 10-byte answer takes 100 bit times; the poll's 4 bytes travel the other way.
    const double lineAllows =
        baud ? std::min(1000.0 / pollingMs, baud / 100.0) : 1000.0 / pollingMs;
    std::printf("against the simulator at Polling %3d ms, %-14s %6.1f frames drawn/s "
                "(line allows %6.1f), simulator CPU %4.2f %% of a core\n",
                pollingMs, baud ? qPrintable(QString("%1 baud:").arg(baud)) : "unpaced:",
                (rig.main.display.draws - draws0) / elapsed, lineAllows, 100.0 * cpu / elapsed);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    pollTick();
    scan();
    againstSimulator(50, 5);
    againstSimulator(10, 5);
    for (int baud : {9600, 115200})
        for (int polling : {50, 20, 10})
            againstSimulator(polling, 5, baud);
    return 0;
}
