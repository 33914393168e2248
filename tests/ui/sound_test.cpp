// The alarm sound through a real PulseAudio server with a null sink, recorded from the sink's
// monitor: sound while an alarm is unacknowledged, silence once the alarm line was clicked.
// A binary of its own, so that no other test has opened the audio before the server is named.

#include "telemetry/recorder.h"
#include "ui/history/telemetrycontrols.h"

#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace tarn;

namespace {
// The loudest sample the monitor carried during `ms`, 16-bit signed.
int loudestFor(const QProcessEnvironment& env, int ms) {
    QProcess rec;
    rec.setProcessEnvironment(env);
    rec.start("parec", {"--latency-msec=50", "-d", "tarn.monitor", "--format=s16le", "--rate=8000",
                        "--channels=1"});
    QTest::qWait(ms);
    const QByteArray pcm = rec.readAllStandardOutput();
    rec.kill();
    rec.waitForFinished(1000);
    int loudest = 0;
    for (qsizetype i = 0; i + 1 < pcm.size(); i += 2)
        loudest = std::max(loudest, std::abs(int(qint16(quint8(pcm[i]) | (pcm[i + 1] << 8)))));
    return loudest;
}
} // namespace

TEST(AlarmSound, PlaysThroughTheDesktopEveryTwoSecondsUntilAcknowledged) {
    const QString pulse = QStandardPaths::findExecutable("pulseaudio");
    if (pulse.isEmpty() || QStandardPaths::findExecutable("parec").isEmpty())
        GTEST_SKIP() << "pulseaudio or parec missing (Debian pulseaudio, pulseaudio-utils)";
    // Root in CI: the server gets a runtime folder and a home of its own, and ends by itself
    // once nobody uses it, should this test be killed.
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", dir.path());
    env.insert("HOME", dir.path());
    QProcess server;
    server.setProcessEnvironment(env);
    server.start(pulse, {"--daemonize=no", "--system=false", "-n", "--exit-idle-time=10",
                         "--use-pid-file=no", "--load=module-null-sink sink_name=tarn",
                         "--load=module-native-protocol-unix"});
    const QString socket = dir.filePath("pulse/native");
    if (!QTest::qWaitFor([&] { return QFile::exists(socket); }, 5000))
        GTEST_SKIP() << "pulseaudio did not start: " << server.readAllStandardError().data();
    qputenv("PULSE_SERVER", ("unix:" + socket).toUtf8());

    QMainWindow main, tiny;
    telemetry::Recorder recorder{100};
    settings::TelemetrySettings limits;
    ui::TelemetryControls controls{main, tiny, recorder, limits, {}};
    controls.start();
    EXPECT_LT(loudestFor(env, 600), 100) << "no alarm, no sound";
    protocol::RxBytes swr3;          // in operate, SWR 3.0
    for (int i = 0; i < 11 * 8; ++i) // for a second
        i < 8 ? swr3.set(i, quint8(QByteArray::fromHex("5045181E8C782800")[i]))
              : recorder.status(swr3, i * 100);
    EXPECT_GT(loudestFor(env, 2'600), 8'000) << "nothing reached the desktop's audio";
    QTest::mouseClick(controls.alarmLine(), Qt::LeftButton);
    QTest::qWait(300); // what the server already holds
    EXPECT_LT(loudestFor(env, 2'600), 100) << "still sounding after the acknowledge";
}
