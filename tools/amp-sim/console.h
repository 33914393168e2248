#pragma once

#include <QByteArrayView>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <memory>

#include "unique_fd.h"

class QSocketNotifier;

namespace tarn::sim {

// Makes sure descriptors 0, 1 and 2 are open before anything else opens a file: started with
// one of them closed, the pty master could otherwise land on it and "PTY ..." or the stdin
// reader would talk to the line. Also keeps a reader that went away (SIGPIPE) or a start in
// the background of an interactive shell (SIGTTIN) from ending or stopping the process. Call
// first thing in main().
void prepareProcess();

// Standard output is read by scripts line by line, so every line is flushed at once.
void printLine(const QString& line);
void printError(const QString& line);

// Hex dump of the traffic on standard error, with milliseconds since start.
class TrafficLog {
public:
    TrafficLog(const QElapsedTimer& clock, bool enabled) : clock_(clock), enabled_(enabled) {}
    void frame(const char* direction, QByteArrayView bytes, const QString& note = {}) const;
    void note(const QString& text) const;
    bool enabled() const { return enabled_; }

private:
    const QElapsedTimer& clock_;
    bool enabled_;
};

// Standard input, line by line, driven by the event loop. End of input only stops the
// reading: the simulator goes on until it is told to quit or gets a signal.
class StdinReader : public QObject {
    Q_OBJECT
public:
    explicit StdinReader(QObject* parent = nullptr);
    ~StdinReader() override;

signals:
    void lineReceived(const QString& line);

private:
    void onReadable();

    std::unique_ptr<QSocketNotifier> notifier_;
    QByteArray pending_;
};

// Turns SIGINT and SIGTERM into a Qt signal, through a pipe the handler writes to.
class SignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

signals:
    void terminationRequested();

private:
    std::unique_ptr<QSocketNotifier> notifier_;
#ifdef Q_OS_UNIX
    UniqueFd readEnd_;
    UniqueFd writeEnd_;
#endif
};

} // namespace tarn::sim
