// Prints the telemetry figures: the memory of 24 h of history at a 10 ms poll, the panel's CPU
// at Polling 10 ms with the history window closed and open at the 1 min and 24 h spans, and
// the rows logged against the frames decoded and the frames the simulator sent in that run;
// then the longest wait between two polls' frames while the history window exports an hour at
// Polling 10 ms, and the CSV log's bytes a day at Polling 50 ms and 10 ms, from the size of the
// rows this run logged.
//
// The benchmark builds exactly what the executable builds, with a settings file beside itself
// that maps COM1 to the simulator and turns the CSV log on.
#include "panelapp.h"
#include "support/pty.h"
#include "support/simprocess.h"
#include "telemetry/history.h"
#include "telemetry/historyexport.h"
#include "telemetryfeed.h"
#include "ui/fonts.h"
#include "ui/history/historywindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

namespace {

using tarn::telemetry::History;
using tarn::telemetry::Sample;

constexpr qint64 DayMs = History::DaySpanMs;
constexpr qint64 PollMs = 10;

double residentMb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

Sample synthetic(qint64 t) {
    Sample s;
    s.timeMs = t;
    const int phase = int((t / 1'000) % 120);
    s.flags = phase < 60 ? Sample::Operate | Sample::Transmit : Sample::Operate;
    s.band = std::uint8_t(5 + (t / 3'600'000) % 3);
    s.gain = 4;
    s.raw = {std::uint8_t(phase < 60 ? 9 : 0),
             1,
             std::uint8_t(phase < 60 ? 14 + phase % 7 : 0),
             140,
             std::uint8_t(phase < 60 ? 110 : 10),
             std::uint8_t(35 + phase / 10)};
    return s;
}

void fillDay(History& h, qint64 end) {
    for (qint64 t = end - DayMs; t < end; t += PollMs)
        h.add(synthetic(t));
}

void memoryFigures() {
    const double before = residentMb();
    QElapsedTimer timer;
    timer.start();
    History h;
    fillDay(h, 1'780'002'000'000);
    const qint64 fillMs = timer.elapsed();
    std::printf("history, 24 h at Polling %lld ms (%.2f million frames): %.1f MB held "
                "(resident memory grew %.1f MB); filled in %lld ms\n",
                static_cast<long long>(PollMs), double(DayMs / PollMs) / 1e6,
                double(h.memoryBytes()) / (1024.0 * 1024.0), residentMb() - before,
                static_cast<long long>(fillMs));
    for (const qint64 span : {qint64(60'000), qint64(600'000), qint64(3'600'000), DayMs}) {
        timer.restart();
        constexpr int Rounds = 20;
        for (int i = 0; i < Rounds; ++i)
            h.columns(h.lastTimeMs() - span, h.lastTimeMs(), 800);
        std::printf("  columns for 800 pixels over %6lld s: %.2f ms\n",
                    static_cast<long long>(span / 1000),
                    double(timer.nsecsElapsed()) / 1e6 / Rounds);
    }
}

// Status frames in the simulator's traffic log.
int framesSent(const QByteArray& log) {
    static const QRegularExpression tx(R"(^\s*[\d.]+ TX ((?:[0-9A-F]{2} ?)+))");
    int frames = 0;
    for (const QByteArray& line : log.split('\n')) {
        const auto m = tx.match(QString::fromLatin1(line));
        if (m.hasMatch() && !m.captured(1).startsWith(QLatin1String("FB 05")))
            frames += int(m.captured(1).count(QLatin1String("FB ")));
    }
    return frames;
}

qint64 monoNow() {
    return tarn::app::TelemetryFeed::systemClock().monoMs;
}

void runFor(qint64 ms) {
    QEventLoop loop;
    QTimer::singleShot(int(ms), &loop, &QEventLoop::quit);
    loop.exec();
}

// The longest wait between two frames recorded in [fromMs, toMs), monotonic.
qint64 longestGap(const History& h, qint64 fromMs, qint64 toMs) {
    qint64 longest = 0;
    qint64 previous = -1;
    for (std::size_t i = 0; i < h.rawCount(); ++i) {
        const qint64 t = h.raw(i).timeMs;
        if (t < fromMs || t >= toMs)
            continue;
        if (previous >= 0)
            longest = std::max(longest, t - previous);
        previous = t;
    }
    return longest;
}

// Exports the hour the window shows while the panel polls every 10 ms, three times.
void exportFigures(tarn::ui::HistoryWindow& window, const History& history, const QString& path) {
    window.setSpan(3'600'000);
    for (int round = 0; round < 3; ++round) {
        const qint64 before = monoNow();
        runFor(3'000);
        const qint64 start = monoNow();
        QElapsedTimer uiThread;
        uiThread.start();
        window.startExport(path);
        const double copyMs = double(uiThread.nsecsElapsed()) / 1e6;
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (window.exportJob()->done())
                loop.quit();
        });
        check.start(1);
        loop.exec();
        const qint64 end = monoNow();
        window.checkExport();
        runFor(500); // the frames of the export's last moments are decoded
        std::printf("export of the 1 h span (%zu rows, %s): %lld ms on the worker, %.1f ms on "
                    "the user-interface thread to copy them; longest poll gap during the export "
                    "%lld ms, in the 3 s before it %lld ms\n",
                    window.exportJob()->rows(), window.exportJob()->ok() ? "written" : "FAILED",
                    static_cast<long long>(end - start), copyMs,
                    static_cast<long long>(longestGap(history, start, end + 100)),
                    static_cast<long long>(longestGap(history, before, start)));
        std::fflush(stdout);
    }
    // What the user-interface thread would have stood still for, had it written the file.
    QFile file(path);
    QElapsedTimer inline_;
    inline_.start();
    const bool ok = file.open(QIODevice::WriteOnly) && writeCsv(window.shownSnapshot(), file);
    std::printf("the same export written on the user-interface thread: %lld ms%s\n",
                static_cast<long long>(inline_.elapsed()), ok ? "" : " (FAILED)");
}

// Bytes a day from the rows this run logged: the file's size without its header, a row.
void logFigures(const QString& logFile) {
    QFile f(logFile);
    if (!f.open(QIODevice::ReadOnly))
        return;
    const QByteArray text = f.readAll();
    const qint64 rows = text.count('\n') - 1;
    const double rowBytes = double(text.size() - tarn::telemetry::csvHeader().size()) /
                            double(std::max<qint64>(1, rows));
    const auto perDay = [rowBytes](int pollMs) { return rowBytes * (DayMs / pollMs) / 1e6; };
    std::printf("CSV log: %.1f bytes a row (mean of the %lld rows of this run); a day's file is "
                "%.0f MB at Polling 50 ms, %.0f MB at 10 ms (MB = 10^6 bytes); Keep_Days 30 "
                "keeps 31 of them: %.1f GB / %.1f GB\n",
                rowBytes, static_cast<long long>(rows), perDay(50), perDay(10),
                31 * perDay(50) / 1e3, 31 * perDay(10) / 1e3);
}

} // namespace

int main(int argc, char* argv[]) {
    memoryFigures();

    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    tarn::ui::installFontSubstitutions();
    const int seconds = argc > 1 ? std::max(5, QByteArray(argv[1]).toInt()) : 20;

    tarn::testing::SimProcess sim({QStringLiteral("--tx-cycle"), QStringLiteral("2000")});
    QTemporaryDir dir;
    const QString logPath = dir.filePath(QStringLiteral("log.csv"));
    const QString ini = QCoreApplication::applicationDirPath() + "/bench_telemetry.ini";
    {
        QFile f(ini);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write("[COM]\nPortNumber= 1\n[Polling]\nRate= 10\n[Ports]\nCOM1=" +
                sim.endpoint().toUtf8() + "\n[Log]\nRunning=Yes\nPath=" + logPath.toUtf8() + "\n");
    }
    {
        tarn::app::PanelApplication panel;
        // A full day behind the live frames, so the 24 h span has something to draw.
        fillDay(panel.recorder().history(), tarn::app::TelemetryFeed::systemClock().monoMs);
        panel.start();
        QElapsedTimer running;
        running.start();

        const auto measure = [&](const char* what) {
            const double cpu0 = cpuSeconds();
            QElapsedTimer wall;
            wall.start();
            QEventLoop loop;
            QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
            loop.exec();
            std::printf("panel at Polling 10 ms, %s: CPU %.2f %% of a core over %d s\n", what,
                        100.0 * (cpuSeconds() - cpu0) / (double(wall.elapsed()) / 1000.0), seconds);
            std::fflush(stdout);
        };
        measure("history window closed");
        auto& controls = panel.telemetryControls();
        controls.openHistory();
        controls.historyWindow()->setSpan(60'000);
        measure("history window open at 1 min");
        controls.historyWindow()->setSpan(DayMs);
        measure("history window open at 24 h");
        exportFigures(*controls.historyWindow(), panel.recorder().history(),
                      dir.filePath(QStringLiteral("export.csv")));
        const QString logFile = panel.recorder().log().currentFile();

        const qint64 decoded = panel.recorder().framesRecorded();
        panel.shutdown(tarn::core::Way::Window);
        const qint64 rows = panel.recorder().log().rowsWritten();
        QFile log(logFile);
        const qint64 lines = log.open(QIODevice::ReadOnly) ? log.readAll().count('\n') - 1 : -1;
        std::printf("CSV log over %lld s: %lld frames decoded, %lld rows logged (%lld rows in the "
                    "file), %d status frames sent by the simulator\n",
                    static_cast<long long>(running.elapsed() / 1000),
                    static_cast<long long>(decoded), static_cast<long long>(rows),
                    static_cast<long long>(lines), framesSent(sim.log()));
        logFigures(logFile);
    }
    QFile::remove(ini);
    return 0;
}
