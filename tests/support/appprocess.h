#pragma once

// The real panel executable, copied into a folder of its own so its INI file sits beside it,
// run without a display.

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <csignal>

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
    // `display` replaces the offscreen platform ("xcb" with a DISPLAY, say); an empty value
    // there removes the variable.
    bool start(bool keepErrors = false, const QProcessEnvironment& display = {}) {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(display);
        for (const QString& name : display.keys())
            if (display.value(name).isEmpty())
                env.remove(name);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), folder_ + QStringLiteral("/config"));
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(keepErrors ? QProcess::SeparateChannels
                                                  : QProcess::ForwardedErrorChannel);
        process_.start(exePath(), {});
        return process_.waitForStarted(5000);
    }
    // Sends `signal` and waits for the program to end, however it ends.
    bool signal(int signal, int timeoutMs = 5000) {
        ::kill(pid_t(process_.processId()), signal);
        return process_.waitForFinished(timeoutMs);
    }
    bool waitForFinished(int timeoutMs) { return process_.waitForFinished(timeoutMs); }
    bool crashed() const { return process_.exitStatus() == QProcess::CrashExit; }
    // SIGTERM, then wait for the program to end by itself.
    bool terminate(int timeoutMs = 5000) { return signal(SIGTERM, timeoutMs) && !crashed(); }
    bool running() const { return process_.state() == QProcess::Running; }
    int exitCode() const { return process_.exitCode(); }
    QByteArray errors() { return process_.readAllStandardError(); }
    qint64 pid() const { return process_.processId(); }

private:
    QString folder_;
    QProcess process_;
};

} // namespace tarn::testing
