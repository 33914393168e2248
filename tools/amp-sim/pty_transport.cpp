#include "pty_transport.h"

#ifdef Q_OS_UNIX

#include <QFile>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace tarn::sim {

namespace {

constexpr int RetryMs = 1000;

QString systemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

bool setFlags(int fd) {
    return ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0 &&
           ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) == 0;
}

QString slaveName(int master) {
#ifdef __linux__
    char name[256];
    if (::ptsname_r(master, name, sizeof name) != 0)
        return {};
    return QString::fromLocal8Bit(name);
#else
    const char* name = ::ptsname(master);
    return name ? QString::fromLocal8Bit(name) : QString();
#endif
}

} // namespace

PtyTransport::PtyTransport(QString linkPath, QObject* parent)
    : Transport(parent), linkPath_(std::move(linkPath)) {
    reopenTimer_.setSingleShot(true);
    connect(&reopenTimer_, &QTimer::timeout, this, &PtyTransport::reopen);
}

PtyTransport::~PtyTransport() {
    notifier_.reset();
    removeLink();
}

bool PtyTransport::start(QString& error) {
    if (!openLine(error))
        return false;
    emit up();
    return true;
}

bool PtyTransport::openLine(QString& error) {
    UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY));
    if (!master) {
        error = systemError("posix_openpt");
        return false;
    }
    if (::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0) {
        error = systemError("grantpt/unlockpt");
        return false;
    }
    if (!setFlags(master.get())) {
        error = systemError("fcntl");
        return false;
    }
    const QString path = slaveName(master.get());
    if (path.isEmpty()) {
        error = systemError("ptsname");
        return false;
    }
    UniqueFd slave(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!slave) {
        error = systemError("open pty slave");
        return false;
    }
    // Raw on the slave side: no echo, no line editing, no CR/LF translation, all 8 bits.
    termios tio{};
    if (::tcgetattr(slave.get(), &tio) != 0) {
        error = systemError("tcgetattr");
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    if (::tcsetattr(slave.get(), TCSANOW, &tio) != 0) {
        error = systemError("tcsetattr");
        return false;
    }

    master_ = std::move(master);
    slave_ = std::move(slave);
    slavePath_ = path;
    if (!pointLink(error)) {
        closeLine();
        return false;
    }
    notifier_ = std::make_unique<QSocketNotifier>(master_.get(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &PtyTransport::onReadable);
    notifier_->setEnabled(reading_);
    return true;
}

void PtyTransport::setReading(bool on) {
    reading_ = on;
    // The notifier reports a readable master as long as bytes wait, so switched on again it
    // fires at once for whatever piled up meanwhile.
    if (notifier_)
        notifier_->setEnabled(on);
}

void PtyTransport::closeLine() {
    notifier_.reset();
    removeLink();
    master_.reset();
    slave_.reset();
}

bool PtyTransport::pointLink(QString& error) {
    if (linkPath_.isEmpty())
        return true;
    const QByteArray link = QFile::encodeName(linkPath_);
    struct stat st {};
    // Only ever replace a symlink: whatever else sits at that path is somebody's file.
    if (::lstat(link.constData(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        error = QStringLiteral("%1 exists and is not a symlink; not replacing it").arg(linkPath_);
        return false;
    }
    // A new link under a temporary name renamed over the old one, so the path never dangles.
    const QByteArray temp = link + ".tmp." + QByteArray::number(qint64(::getpid()));
    ::unlink(temp.constData());
    if (::symlink(QFile::encodeName(slavePath_).constData(), temp.constData()) != 0) {
        error = systemError("symlink");
        return false;
    }
    if (::rename(temp.constData(), link.constData()) != 0) {
        error = systemError("rename link");
        ::unlink(temp.constData());
        return false;
    }
    return true;
}

void PtyTransport::removeLink() {
    if (linkPath_.isEmpty() || slavePath_.isEmpty())
        return;
    // Leave the path alone if someone has pointed it elsewhere meanwhile.
    const QByteArray link = QFile::encodeName(linkPath_);
    char target[512];
    const auto n = ::readlink(link.constData(), target, sizeof target - 1);
    if (n > 0 && QByteArray(target, n) == QFile::encodeName(slavePath_))
        ::unlink(link.constData());
}

QString PtyTransport::addressLine() const {
    return QStringLiteral("PTY ") + slavePath_;
}

void PtyTransport::onReadable() {
    QByteArray chunk;
    char buffer[4096];
    for (;;) {
        const auto n = ::read(master_.get(), buffer, sizeof buffer);
        if (n > 0) {
            chunk.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break;
        // Cannot happen while our own slave descriptor is open; if it does, a notifier left
        // on would spin, so the line is rebuilt instead.
        emit problem(n == 0 ? QStringLiteral("pty master: end of file")
                            : systemError("pty master read"));
        if (!chunk.isEmpty())
            emit received(chunk);
        dropFor(RetryMs);
        return;
    }
    if (!chunk.isEmpty())
        emit received(chunk);
}

qint64 PtyTransport::write(const QByteArray& bytes) {
    if (!master_)
        return 0;
    qint64 done = 0;
    while (done < bytes.size()) {
        const auto n =
            ::write(master_.get(), bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            // The panel is not reading and the line's buffer is full: like a real serial line,
            // the bytes are lost rather than piling up.
            break;
        }
    }
    return done;
}

void PtyTransport::dropFor(qint64 ms) {
    const bool wasUp = isUp();
    closeLine();
    reopenTimer_.start(int(std::min<qint64>(ms, std::numeric_limits<int>::max())));
    if (wasUp)
        emit down();
}

void PtyTransport::reopen() {
    QString error;
    if (!openLine(error)) {
        emit problem(QStringLiteral("reopening the pty: ") + error);
        reopenTimer_.start(RetryMs);
        return;
    }
    emit up();
}

} // namespace tarn::sim

#endif
