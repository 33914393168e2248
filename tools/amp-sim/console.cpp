#include "console.h"

#include "frames.h"

#include <QSocketNotifier>
#include <cstdio>
#include <utility>

#ifdef Q_OS_UNIX
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace tarn::sim {

#ifdef Q_OS_UNIX
namespace {
// A signal handler cannot reach an object, so the pipe's write end is the one static here.
std::atomic<int> signalPipeWriteEnd{-1};

extern "C" void onTerminationSignal(int) {
    const int saved = errno;
    const int fd = signalPipeWriteEnd.load();
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const auto n = ::write(fd, &byte, 1);
    }
    errno = saved;
}
} // namespace
#endif

void prepareProcess() {
#ifdef Q_OS_UNIX
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            // open() returns the lowest free descriptor, which is this one.
            [[maybe_unused]] const int placeholder = ::open("/dev/null", O_RDWR);
        }
    }
    std::signal(SIGPIPE, SIG_IGN);
    // Started with '&' from an interactive shell, a read from the terminal would stop the whole
    // simulator; ignored, the read fails instead and only the command input ends.
    std::signal(SIGTTIN, SIG_IGN);
    std::signal(SIGTTOU, SIG_IGN);
#endif
}

void printLine(const QString& line) {
    const QByteArray bytes = line.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void printError(const QString& line) {
    const QByteArray bytes = line.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

void TrafficLog::frame(const char* direction, QByteArrayView bytes, const QString& note) const {
    if (!enabled_)
        return;
    QString line = QStringLiteral("%1 %2 %3")
                       .arg(double(clock_.nsecsElapsed()) / 1e6, 10, 'f', 3)
                       .arg(QLatin1String(direction))
                       .arg(hexBytes(bytes));
    if (!note.isEmpty())
        line += QStringLiteral("  (%1)").arg(note);
    printError(line);
}

void TrafficLog::note(const QString& text) const {
    printError(
        QStringLiteral("%1 -- %2").arg(double(clock_.nsecsElapsed()) / 1e6, 10, 'f', 3).arg(text));
}

#ifdef Q_OS_UNIX

StdinReader::StdinReader(QObject* parent) : QObject(parent) {
    notifier_ = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &StdinReader::onReadable);
}

StdinReader::~StdinReader() = default;

void StdinReader::onReadable() {
    char buffer[1024];
    const auto n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n <= 0) {
        // End of input (or no usable stdin at all): a notifier left on would fire forever.
        notifier_->setEnabled(false);
        if (!pending_.isEmpty())
            emit lineReceived(QString::fromLocal8Bit(std::exchange(pending_, {})));
        return;
    }
    pending_.append(buffer, n);
    qsizetype newline;
    while ((newline = pending_.indexOf('\n')) >= 0) {
        QByteArray line = pending_.left(newline);
        pending_.remove(0, newline + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        emit lineReceived(QString::fromLocal8Bit(line));
    }
}

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent) {
    int fds[2];
    if (::pipe(fds) != 0)
        return;
    readEnd_.reset(fds[0]);
    writeEnd_.reset(fds[1]);
    for (const int fd : fds) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    signalPipeWriteEnd.store(writeEnd_.get());
    notifier_ = std::make_unique<QSocketNotifier>(readEnd_.get(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        char drain[16];
        while (::read(readEnd_.get(), drain, sizeof drain) > 0) {
        }
        emit terminationRequested();
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

SignalWatcher::~SignalWatcher() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    signalPipeWriteEnd.store(-1);
}

#else

// Elsewhere the console cannot be watched by the event loop: no run-time commands, and the
// default signal handling ends the process.
StdinReader::StdinReader(QObject* parent) : QObject(parent) {}
StdinReader::~StdinReader() = default;
void StdinReader::onReadable() {}
SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent) {}
SignalWatcher::~SignalWatcher() = default;

#endif

} // namespace tarn::sim
