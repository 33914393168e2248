#pragma once

// A pseudo-terminal pair opened by the test itself, standing in for a serial device.

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QString>
#include <QTimer>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace tarn::testing {

// Inherit from this before any member that owns a timer or socket, so the application object
// exists when they are made.
struct WithApplication {
    WithApplication() {
        if (!QCoreApplication::instance()) {
            static int argc = 1;
            static char name[] = "tarn-tests";
            static char* argv[] = {name, nullptr};
            static QCoreApplication instance(argc, argv);
        }
    }
};

class Pty {
public:
    Pty() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            return;
        slavePath_ = QString::fromLocal8Bit(::ptsname(master_));
        // Holding the slave open keeps the master from reading EIO while the port under test
        // closes and reopens.
        slave_ = ::open(::ptsname(master_), O_RDWR | O_NOCTTY);
        termios t{};
        ::tcgetattr(slave_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slave_, TCSANOW, &t);
    }
    ~Pty() { hangUp(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool ok() const { return master_ >= 0 && slave_ >= 0; }
    QString path() const { return slavePath_; }

    // The device goes away: both ends close, so whoever holds the slave sees a hang-up.
    void hangUp() {
        if (slave_ >= 0)
            ::close(slave_);
        if (master_ >= 0)
            ::close(master_);
        slave_ = master_ = -1;
    }

    bool send(const QByteArray& bytes) {
        return ::write(master_, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }

    // Reads from the master until `count` bytes came or the deadline passed; Qt events keep
    // running meanwhile so the port under test can write.
    QByteArray receive(qsizetype count, int timeoutMs = 3000) {
        QByteArray out;
        const QDeadlineTimer deadline(timeoutMs);
        while (out.size() < count && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 10) > 0 && (p.revents & POLLIN)) {
                char buf[4096];
                const auto n = ::read(master_, buf, sizeof buf);
                if (n > 0)
                    out.append(buf, n);
            }
        }
        return out;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
};

// Runs Qt events until `done` holds or the deadline passes.
template <typename Pred> bool waitUntil(Pred done, int timeoutMs = 3000) {
    if (done())
        return true;
    const QDeadlineTimer deadline(timeoutMs);
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done() || deadline.hasExpired())
            loop.quit();
    });
    check.start(2);
    loop.exec();
    return done();
}

// Runs Qt events for `ms` milliseconds.
inline void runFor(int ms) {
    QElapsedTimer t;
    t.start();
    waitUntil([&] { return t.elapsed() >= ms; }, ms + 1000);
}

} // namespace tarn::testing
