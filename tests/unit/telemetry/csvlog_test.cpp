#include "samples.h"
#include "settings/inifile.h"
#include "settings/telemetrysettings.h"
#include "telemetry/csvlog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

using namespace tarn::telemetry;
using tarn::telemetry::testing::frameAt;

namespace {
constexpr qint64 T0 = 1'780'002'000'000;
}

TEST(CsvRow, NumbersNotDisplayTexts) {
    struct Row {
        Sample sample;
        QByteArray text;
    };
    Sample noReading = frameAt(T0 + 7, 0, 35, 0, 0, 11);
    noReading.gain = 9;
    const Row rows[] = {
        {frameAt(T0 + 123, 15, 35, 5, Sample::Operate | Sample::Transmit, 2),
         "2026-05-28T21:00:00.123Z,2,4,5,1,1.5,56.0,12.0,35,1,1,0,0\n"},
        {noReading, "2026-05-28T21:00:00.007Z,11,9,0,1,,56.0,12.0,35,0,0,0,0\n"},
        {frameAt(T0, 255, 255, 15, Sample::Protection | Sample::AutoBand, 0),
         "2026-05-28T21:00:00.000Z,0,4,15,1,25.5,56.0,12.0,255,0,0,1,1\n"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(csvRow(r.sample), r.text);
    EXPECT_EQ(csvHeader().count(','), csvRow(rows[0].sample).count(','));
}

TEST(CsvLog, EveryRowReachesTheFileAndARestartContinuesIt) {
    QTemporaryDir dir;
    const QString path = dir.filePath("log.csv");
    for (int run = 0; run < 2; ++run) {
        CsvLog log;
        ASSERT_TRUE(log.start(path, nullptr));
        for (int i = 0; i < 250; ++i) {
            log.append(frameAt(T0 + i * 10));
            log.tick(T0 + i * 10);
        }
        log.stop();
        EXPECT_EQ(log.rowsWritten(), 250);
    }
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    EXPECT_EQ(lines.size(), 1 + 500 + 1); // one header, the rows, the last line end
    EXPECT_EQ(lines[0] + '\n', csvHeader());
}

TEST(CsvLog, AFullDiskOrARemovedFolderStopsTheLogWithAMessage) {
    QTemporaryDir dir;
    const QString folder = dir.filePath("logs");
    ASSERT_TRUE(QDir().mkpath(folder));
    struct Case {
        QString path;
        std::function<void()> breakIt;
        const char* says;
    };
    const Case cases[] = {
        {QStringLiteral("/dev/full"), [] {}, "/dev/full"},
        {folder + "/log.csv", [&folder] { QDir(folder).removeRecursively(); }, "removed"},
    };
    for (const Case& c : cases) {
        CsvLog log;
        QString message;
        log.onStopped = [&message](const QString& m) { message = m; };
        ASSERT_TRUE(log.start(c.path, nullptr));
        c.breakIt();
        log.append(frameAt(T0));
        log.tick(T0 + CsvLog::FlushIntervalMs);
        log.waitForWriter();
        log.tick(T0 + 2 * CsvLog::FlushIntervalMs);
        EXPECT_FALSE(log.running()) << c.says;
        EXPECT_TRUE(message.contains(QLatin1String(c.says))) << message.toStdString();
    }
}

TEST(CsvLog, AFileThatCannotBeOpenedIsNotStarted) {
    QTemporaryDir dir;
    CsvLog log;
    QString error;
    EXPECT_FALSE(log.start(dir.filePath("gone/log.csv"), &error));
    EXPECT_FALSE(log.running());
    EXPECT_FALSE(error.isEmpty());
}

TEST(TelemetrySettings, RoundTripAndBadValuesKeepTheirDefaults) {
    using namespace tarn::settings;
    IniFile untouched;
    saveTelemetrySettings(untouched, TelemetrySettings{});
    EXPECT_TRUE(untouched.isEmpty()) << "a panel that never used them keeps its file as it was";

    TelemetrySettings changed;
    changed.SWR_Limit = 3.1;
    changed.Temperature_Limit = 65;
    changed.Hold_ms = 2500;
    changed.Sound = false;
    changed.Auto_STBY = true;
    changed.Log_Running = true;
    changed.Log_Path = QStringLiteral("/tmp/amp log.csv");
    IniFile ini;
    saveTelemetrySettings(ini, changed);
    TelemetrySettings loaded;
    QStringList rejected;
    loadTelemetrySettings(IniFile::parse(ini.serialize()), loaded, rejected);
    EXPECT_EQ(loaded, changed);
    EXPECT_TRUE(rejected.isEmpty());

    const IniFile bad = IniFile::parse("[Alarms]\nSWR_Limit=2.55\nTemperature_Limit=hot\n"
                                       "Hold_ms=-5\nSound=yes\n[Log]\nRunning=1\n");
    TelemetrySettings kept;
    loadTelemetrySettings(bad, kept, rejected);
    EXPECT_EQ(kept, TelemetrySettings{});
    EXPECT_EQ(rejected.size(), 5);
}
