#pragma once

// The real panel executable, copied into a folder of its own so its INI file sits beside it,
// run without a display.

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

namespace tarn::testing {

class AppProcess {
public:
    explicit AppProcess(const QString& folder) : folder_(folder) {
        QFile::remove(exePath());
        QFile::copy(QStringLiteral(TARN_APP_PATH), exePath());
        QFile::setPermissions(exePath(), QFile::permissions(QStringLiteral(TARN_APP_PATH)));
    }
    ~AppProcess() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }

    QString exePath() const { return folder_ + QStringLiteral("/tarn-vq4400"); }
    QString iniPath() const { return folder_ + QStringLiteral("/tarn-vq4400.ini"); }

    void writeIni(const QByteArray& text) {
        QFile f(iniPath());
        f.open(QIODevice::WriteOnly);
        f.write(text);
    }
    QByteArray ini() const {
        QFile f(iniPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // `keepErrors` collects standard error for errors() instead of passing it through.
    bool start(bool keepErrors = false) {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), folder_ + QStringLiteral("/config"));
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(keepErrors ? QProcess::SeparateChannels
                                                  : QProcess::ForwardedErrorChannel);
        process_.start(exePath(), {});
        return process_.waitForStarted(5000);
    }
    // SIGTERM, then wait for the program to end by itself.
    bool terminate(int timeoutMs = 5000) {
        process_.terminate();
        return process_.waitForFinished(timeoutMs) && process_.exitStatus() == QProcess::NormalExit;
    }
    bool running() const { return process_.state() == QProcess::Running; }
    int exitCode() const { return process_.exitCode(); }
    QByteArray errors() { return process_.readAllStandardError(); }
    qint64 pid() const { return process_.processId(); }

private:
    QString folder_;
    QProcess process_;
};

} // namespace tarn::testing
