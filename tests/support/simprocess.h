#pragma once

// The simulated amplifier as a child process: started with its options, told what to do on
// its standard input, and its traffic log collected for checks.

#include <QByteArray>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QStringList>

#include "support/pty.h"

namespace tarn::testing {

class SimProcess {
public:
    explicit SimProcess(QStringList args) {
        process_.setProgram(QStringLiteral(TARN_SIM_PATH));
        process_.setArguments(QStringList{"--log"} + args);
        QObject::connect(&process_, &QProcess::readyReadStandardError, &process_,
                         [this] { log_ += process_.readAllStandardError(); });
        QObject::connect(&process_, &QProcess::readyReadStandardOutput, &process_,
                         [this] { out_ += process_.readAllStandardOutput(); });
        process_.start();
        waitUntil([this] { return !endpoint().isEmpty(); }, 5000);
    }
    ~SimProcess() {
        if (process_.state() != QProcess::NotRunning) {
            process_.write("quit\n");
            if (!process_.waitForFinished(2000))
                process_.kill();
            process_.waitForFinished(2000);
        }
    }

    qint64 pid() const { return process_.processId(); }
    bool running() const { return process_.state() == QProcess::Running; }
    // The latest "PTY <path>" or "TCP <addr>:<port>" line: printed at start and again
    // whenever the line comes back after a drop.
    QString endpoint() const {
        const QStringList lines = QString::fromUtf8(out_).split('\n');
        for (auto it = lines.crbegin(); it != lines.crend(); ++it)
            if (it->startsWith("PTY ") || it->startsWith("TCP "))
                return it->mid(4).trimmed();
        return {};
    }
    void command(const QByteArray& line) {
        process_.write(line + "\n");
        process_.waitForBytesWritten(1000);
    }
    // Every status body the simulator put on the line, unescaped, as 8-byte strings.
    QSet<QByteArray> sentBodies() const {
        QByteArray stream;
        static const QRegularExpression tx(R"(^\s*[\d.]+ TX ((?:[0-9A-F]{2} ?)+))");
        for (const QByteArray& line : log_.split('\n')) {
            const auto m = tx.match(QString::fromLatin1(line));
            if (m.hasMatch())
                stream += QByteArray::fromHex(m.captured(1).remove(' ').toLatin1());
        }
        QSet<QByteArray> bodies;
        for (qsizetype i = 0; i < stream.size(); ++i) {
            if (quint8(stream[i]) != 0xFB)
                continue;
            QByteArray body;
            qsizetype j = i + 1;
            while (body.size() < 8 && j < stream.size()) {
                quint8 c = quint8(stream[j++]);
                if (c == 0xFF && j < stream.size())
                    c = quint8(stream[j++]) ^ 0x10;
                body.append(char(c));
            }
            if (body.size() == 8 && j < stream.size() && quint8(stream[j]) == 0xFE)
                bodies.insert(body);
        }
        return bodies;
    }
    QByteArray log() const { return log_; }
    // Every frame the simulator received, as "FB 0C 0C FE".
    QList<QByteArray> receivedFrames() const { return receivedFramesIn(log_); }
    static QList<QByteArray> receivedFramesIn(const QByteArray& log) {
        QList<QByteArray> frames;
        static const QRegularExpression rx(R"(^\s*[\d.]+ RX ((?:[0-9A-F]{2} ?)+))");
        for (const QByteArray& line : log.split('\n')) {
            const auto m = rx.match(QString::fromLatin1(line));
            if (m.hasMatch())
                frames << m.captured(1).trimmed().toLatin1();
        }
        return frames;
    }

private:
    QProcess process_;
    QByteArray out_;
    QByteArray log_;
};

} // namespace tarn::testing
