#pragma once

// What the soak runs measure and read back: how long to run, the panel's resident memory,
// and what the simulator's traffic log and fault lines say.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QMap>
#include <QRegularExpression>
#include <QString>

namespace tarn::testing {

// The run's length: the short run of the test command unless TARN_SOAK_SECONDS asks for more.
inline int soakSeconds(int shortRun) {
    bool ok = false;
    const int asked = qEnvironmentVariableIntValue("TARN_SOAK_SECONDS", &ok);
    return ok && asked > 0 ? asked : shortRun;
}

// When memory growth starts to count: after the first minute, or after 20 s in a short run.
inline int settledAfterSeconds(int runSeconds) {
    return runSeconds >= 180 ? 60 : 20;
}

// VmRSS of a process in KiB, or -1 when it cannot be read (the process is gone).
inline qint64 residentKiB(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Counts the simulator's log lines that hold a given received frame, reading only what is new
// since the last call, so a long run's growing log costs nothing extra.
class FrameCounter {
public:
    explicit FrameCounter(QByteArray frameHex) : needle_(" RX " + std::move(frameHex) + '\n') {}
    int count(const QByteArray& log) {
        qsizetype at = log.indexOf(needle_, from_);
        while (at >= 0) {
            ++count_;
            from_ = at + needle_.size();
            at = log.indexOf(needle_, from_);
        }
        return count_;
    }

private:
    QByteArray needle_;
    qsizetype from_ = 0;
    int count_ = 0;
};

// How often the simulator switched to each fault mode ("normal", "silence", ...).
inline QMap<QString, int> faultPhases(const QByteArray& log) {
    QMap<QString, int> phases;
    static const QRegularExpression rx(QStringLiteral(R"(random fault (\w+) for \d+ ms)"));
    auto it = rx.globalMatch(QString::fromLatin1(log));
    while (it.hasNext())
        ++phases[it.next().captured(1)];
    return phases;
}

// The status bodies the simulator sent, oldest first, unescaped, 8 bytes each. Only whole
// frames written in one piece count, which is every frame of a run without line faults.
inline QList<QByteArray> sentBodiesInOrder(const QByteArray& log) {
    QList<QByteArray> bodies;
    static const QRegularExpression tx(QStringLiteral(R"(^\s*[\d.]+ TX ((?:[0-9A-F]{2} ?)+))"));
    for (const QByteArray& line : log.split('\n')) {
        const auto m = tx.match(QString::fromLatin1(line));
        if (!m.hasMatch())
            continue;
        const QByteArray frame = QByteArray::fromHex(m.captured(1).remove(' ').toLatin1());
        if (frame.size() < 10 || quint8(frame[0]) != 0xFB || quint8(frame.back()) != 0xFE)
            continue;
        QByteArray body;
        for (qsizetype i = 1; i + 1 < frame.size(); ++i) {
            quint8 c = quint8(frame[i]);
            if (c == 0xFF && i + 2 < frame.size())
                c = quint8(frame[++i]) ^ 0x10;
            body.append(char(c));
        }
        if (body.size() == 8)
            bodies << body;
    }
    return bodies;
}

} // namespace tarn::testing
