// The real panel against the simulator's drift mode: the alarms it raises, the CSV log it keeps
// and what happens when the log's disk is full.

#include "support/pty.h"
#include "support/simprocess.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarn::testing;

namespace {

// The panel copied beside its INI file, with its diagnostics collected.
class Panel {
public:
    explicit Panel(const QString& folder) : folder_(folder) {
        QFile::copy(QStringLiteral(TARN_APP_PATH), exe());
        QFile::setPermissions(exe(), QFile::permissions(QStringLiteral(TARN_APP_PATH)));
        QObject::connect(&process_, &QProcess::readyReadStandardError, &process_,
                         [this] { err_ += process_.readAllStandardError(); });
    }
    ~Panel() {
        process_.kill();
        process_.waitForFinished(3000);
    }
    QString exe() const { return folder_ + "/tarn-vq4400"; }
    bool start(const QByteArray& ini) {
        QFile f(folder_ + "/tarn-vq4400.ini");
        if (!f.open(QIODevice::WriteOnly) || f.write(ini) != ini.size())
            return false;
        f.close();
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", folder_ + "/config");
        process_.setProcessEnvironment(env);
        process_.start(exe(), {});
        return process_.waitForStarted(5000);
    }
    bool terminate() {
        process_.terminate();
        const bool ended = process_.waitForFinished(5000);
        err_ += process_.readAllStandardError();
        return ended;
    }
    const QByteArray& diagnostics() const { return err_; }
    QByteArray ini() const {
        QFile f(folder_ + "/tarn-vq4400.ini");
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    QString folder_;
    QProcess process_;
    QByteArray err_;
};

QByteArray iniFor(const SimProcess& sim, const QString& logPath) {
    return "[COM]\nPortNumber= 1\n[Polling]\nRate= 20\n[Ports]\nCOM1=" + sim.endpoint().toUtf8() +
           "\n[Alarms]\nHold_ms=300\n[Log]\nRunning=Yes\nPath=" + logPath.toUtf8() + "\n";
}

int statusFramesSent(const SimProcess& sim) {
    static const QRegularExpression tx(R"(^\s*[\d.]+ TX ((?:[0-9A-F]{2} ?)+))");
    int frames = 0;
    for (const QByteArray& line : sim.log().split('\n')) {
        const auto m = tx.match(QString::fromLatin1(line));
        if (m.hasMatch() && !m.captured(1).startsWith("FB 05"))
            frames += int(m.captured(1).count("FB "));
    }
    return frames;
}

int polls(const SimProcess& sim) {
    return int(sim.receivedFrames().count("FB 0C 0C FE"));
}

} // namespace

TEST(TelemetryAgainstDrift, AlarmsShowAndTheLogHoldsOneRowPerDecodedFrame) {
    WithApplication qt;
    QTemporaryDir dir;
    SimProcess sim({"--drift", "3000"});
    ASSERT_FALSE(sim.endpoint().isEmpty());
    Panel panel(dir.path());
    const QString logPath = dir.filePath("amp.csv");
    ASSERT_TRUE(panel.start(iniFor(sim, logPath)));

    // The creep crosses both limits, then the protection trips.
    EXPECT_TRUE(waitUntil(
        [&] {
            const QByteArray& d = panel.diagnostics();
            return d.contains("alarm: \"SWR") && d.contains(" °C over 70 °C") &&
                   d.contains("PROTECTION at");
        },
        15000))
        << panel.diagnostics().constData();
    ASSERT_TRUE(panel.terminate());

    static const QRegularExpression summary(R"((\d+) frames recorded, (\d+) rows logged)");
    const auto m = summary.match(QString::fromUtf8(panel.diagnostics()));
    ASSERT_TRUE(m.hasMatch()) << panel.diagnostics().constData();
    const int decoded = m.captured(1).toInt();
    QFile log(logPath);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = log.readAll().split('\n');
    ASSERT_GT(decoded, 50);
    EXPECT_EQ(m.captured(2).toInt(), decoded);
    EXPECT_EQ(lines.size() - 2, decoded); // the header and the last line end
    // Every frame the panel decoded is one the simulator sent. Two answers read in one tick are
    // dropped by the decoder, so a loaded machine decodes a little less than was sent.
    const int sent = statusFramesSent(sim);
    EXPECT_LE(decoded, sent);
    EXPECT_GE(decoded, sent * 9 / 10);
    bool sawTrip = false;
    for (const QByteArray& line : lines)
        sawTrip |= line.endsWith(",1"); // the protection column
    EXPECT_TRUE(sawTrip);
    EXPECT_TRUE(panel.ini().contains("[Log]\nRunning=Yes\n")) << panel.ini().constData();
}

TEST(TelemetryAgainstDrift, AFullDiskStopsTheLogAndThePanelPollsOn) {
    WithApplication qt;
    QTemporaryDir dir;
    SimProcess sim({"--drift", "3000"});
    Panel panel(dir.path());
    ASSERT_TRUE(panel.start(iniFor(sim, "/dev/full")));
    ASSERT_TRUE(
        waitUntil([&] { return panel.diagnostics().contains("The CSV log stopped"); }, 10000))
        << panel.diagnostics().constData();
    const int before = polls(sim);
    EXPECT_TRUE(waitUntil([&] { return polls(sim) >= before + 20; }, 5000));
    ASSERT_TRUE(panel.terminate());
    EXPECT_TRUE(panel.diagnostics().contains("No space left on device"));
    EXPECT_TRUE(panel.ini().contains("Running=No")) << panel.ini().constData();
}
