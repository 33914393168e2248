#include "serial/networklink.h"

#include "serial/log.h"
#include "serial/outputqueue.h"
#include "serial/serialport.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QScopeGuard>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QThread>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tarn::serial {

namespace {
// Far more than any PEM private key; a larger file is not one.
constexpr qint64 MaxKeyFileBytes = 1024 * 1024;

QString fingerprint(const QSslCertificate& certificate) {
    return QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
}

// The client's private key into `pem`, or why it may not be used. The checks and the read go
// through one descriptor, so the file checked is the file read even if the name is swapped
// between them. A key that other accounts can reach is as good as published.
QString readKeyFile(const QString& path, QByteArray& pem) {
    const QString unreadable = QStringLiteral("The private key file %1 cannot be read").arg(path);
#ifdef Q_OS_UNIX
    // Non-blocking, so a name swapped for a pipe cannot hold the panel in the open.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return unreadable + QStringLiteral(": ") + qt_error_string(errno);
    const auto closeFd = qScopeGuard([fd] { ::close(fd); });
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return unreadable + QStringLiteral(": not a file");
    if (st.st_mode & (S_IRWXG | S_IRWXO))
        return QStringLiteral("The private key file %1 is open to other users; "
                              "allow its owner only (chmod 600 %1)")
            .arg(path);
    if (st.st_uid != ::geteuid() && st.st_uid != 0)
        return QStringLiteral("The private key file %1 belongs to another user; it must be "
                              "yours (or root's)")
            .arg(path);
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return unreadable;
#else
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return unreadable;
#endif
    pem = file.read(MaxKeyFileBytes);
    return {};
}

std::optional<QSslKey> readKey(const QByteArray& pem) {
    for (const QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa}) {
        const QSslKey key(pem, algorithm, QSsl::Pem, QSsl::PrivateKey);
        if (!key.isNull())
            return key;
    }
    return std::nullopt;
}
} // namespace

NetworkLink::NetworkLink(NetworkAddress address)
    : address_(std::move(address)), received_(SerialPort::ReceiveLimit) {
    if (address_.tls) {
        auto tls = std::make_unique<QSslSocket>();
        tls_ = tls.get();
        socket_ = std::move(tls);
        QObject::connect(tls_, &QSslSocket::encrypted, tls_, [this] { onStreamReady(); });
        QObject::connect(tls_, &QSslSocket::sslErrors, tls_,
                         [this](const QList<QSslError>& errors) { onSslErrors(errors); });
    } else {
        socket_ = std::make_unique<QTcpSocket>();
        QObject::connect(socket_.get(), &QTcpSocket::connected, socket_.get(),
                         [this] { onStreamReady(); });
    }
    // The socket stops reading from the system once it holds this much; every arrival is
    // moved on at once into the bounded buffer.
    socket_->setReadBufferSize(SerialPort::ReceiveLimit);
    QObject::connect(socket_.get(), &QTcpSocket::errorOccurred, socket_.get(),
                     [this](QAbstractSocket::SocketError) { onSocketError(); });
    QObject::connect(socket_.get(), &QTcpSocket::disconnected, socket_.get(),
                     [this] { onDisconnected(); });
    QObject::connect(socket_.get(), &QTcpSocket::readyRead, socket_.get(),
                     [this] { onReadyRead(); });
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, socket_.get(), [this] { onTimeout(); });
}

NetworkLink::~NetworkLink() {
    close();
}

QString NetworkLink::where() const {
    return QStringLiteral("%1:%2").arg(address_.host).arg(address_.port);
}

bool NetworkLink::open(const LineSettings& settings) {
    settings_ = settings;
    switch (phase_) {
    case Phase::Open:
        if (isOpen())
            return true;
        break;
    case Phase::Connecting:
        return false;
    case Phase::Failed:
        phase_ = Phase::Idle;
        return false;
    case Phase::Idle:
        break;
    }
    socket_->abort();
    received_.clear();
    telnet_ = TelnetCodec();
    control_ = ComPortControl();
    streamReady_ = false;
    tlsFailure_.clear();
    if (tls_ && !configureTls())
        return false; // nothing started: the reason stands until the files are mended
    phase_ = Phase::Connecting;
    timer_.start(ConnectTimeoutMs);
    if (tls_)
        tls_->connectToHostEncrypted(address_.host, address_.port);
    else
        socket_->connectToHost(address_.host, address_.port);
    if (phase_ == Phase::Failed)
        phase_ = Phase::Idle; // failed on the spot: this call reports it
    return false;
}

bool NetworkLink::configureTls() {
    if (!QSslSocket::supportsSsl()) {
        error_ = QStringLiteral("TLS is not available on this computer (no TLS backend for Qt: "
                                "install OpenSSL's libssl)");
        return false;
    }
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    conf.setPeerVerifyMode(QSslSocket::VerifyPeer);
    conf.setProtocol(QSsl::TlsV1_2OrLater);
    trusted_.clear();
    if (!address_.caFile.isEmpty()) {
        trusted_ = QSslCertificate::fromPath(address_.caFile, QSsl::Pem);
        if (trusted_.isEmpty()) {
            error_ = QStringLiteral("No certificate in %1").arg(address_.caFile);
            return false;
        }
        // Only what the operator named: the system's authorities do not vouch for a port
        // server.
        conf.setCaCertificates(trusted_);
    }
    if (address_.certFile.isEmpty() != address_.keyFile.isEmpty()) {
        error_ = QStringLiteral("A client certificate needs both cert= and key= in the address");
        return false;
    }
    if (!address_.certFile.isEmpty()) {
        QByteArray pem;
        if (const QString problem = readKeyFile(address_.keyFile, pem); !problem.isEmpty()) {
            error_ = problem;
            return false;
        }
        const QList<QSslCertificate> chain =
            QSslCertificate::fromPath(address_.certFile, QSsl::Pem);
        if (chain.isEmpty()) {
            error_ = QStringLiteral("No certificate in %1").arg(address_.certFile);
            return false;
        }
        const auto key = readKey(pem);
        if (!key) {
            error_ = QStringLiteral("No usable private key in %1 (it must be PEM without a "
                                    "pass phrase)")
                         .arg(address_.keyFile);
            return false;
        }
        conf.setLocalCertificateChain(chain);
        conf.setPrivateKey(*key);
    }
    tls_->setSslConfiguration(conf);
    return true;
}

void NetworkLink::onSslErrors(const QList<QSslError>& errors) {
    // The certificate the operator named itself (ser2net's own, used as its authority) need
    // not carry the name the panel reaches it by; anything else that fails refuses the link.
    const QSslCertificate peer = tls_->peerCertificate();
    const bool pinned = trusted_.contains(peer);
    QStringList reasons;
    for (const QSslError& e : errors)
        if (!(pinned && e.error() == QSslError::HostNameMismatch))
            reasons << e.errorString();
    if (reasons.isEmpty()) {
        tls_->ignoreSslErrors(errors);
        return;
    }
    tlsFailure_ = QStringLiteral("The certificate of %1 does not verify (SHA-256 fingerprint "
                                 "%2): %3")
                      .arg(address_.host, fingerprint(peer), reasons.join(QStringLiteral("; ")));
}

void NetworkLink::onStreamReady() {
    if (phase_ != Phase::Connecting)
        return;
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    streamReady_ = true;
    if (!address_.telnet) {
        becomeOpen();
        return;
    }
    send(control_.start());
    requestSettings();
    checkControl();
}

void NetworkLink::requestSettings() {
    requested_ = settings_;
    send(control_.request(settings_));
}

void NetworkLink::becomeOpen() {
    timer_.stop();
    received_.clear();
    error_.clear();
    phase_ = Phase::Open;
    qCInfo(lcSerial) << "connected to" << where();
}

void NetworkLink::checkControl() {
    switch (control_.state()) {
    case ComPortControl::State::Negotiating:
        return;
    case ComPortControl::State::Ready:
        // Settings changed while the server was still answering the previous ones: one
        // round at a time, so an answer is never held against the wrong request.
        if (!(requested_ == settings_)) {
            requestSettings();
            if (phase_ == Phase::Open)
                timer_.start(AnswerTimeoutMs);
            return;
        }
        if (phase_ == Phase::Connecting)
            becomeOpen();
        else
            timer_.stop();
        return;
    case ComPortControl::State::Refused:
        fail(QStringLiteral("%1: %2").arg(where(), control_.refusal()));
        return;
    }
}

void NetworkLink::send(const QByteArray& raw) {
    if (streamReady_ && !raw.isEmpty())
        socket_->write(raw);
}

void NetworkLink::onReadyRead() {
    while (socket_->bytesAvailable() > 0) {
        const QByteArray chunk = socket_->read(SerialPort::ReceiveLimit);
        if (chunk.isEmpty())
            break;
        if (!address_.telnet) {
            received_.append(chunk);
            continue;
        }
        QList<TelnetCodec::Command> commands;
        const QByteArray data = telnet_.decode(chunk, &commands);
        for (const TelnetCodec::Command& c : std::as_const(commands))
            send(control_.handle(c));
        if (phase_ == Phase::Open)
            received_.append(data);
        checkControl();
        if (phase_ == Phase::Failed || phase_ == Phase::Idle)
            return;
    }
}

void NetworkLink::onTimeout() {
    if (phase_ == Phase::Open) {
        fail(QStringLiteral("%1: the port server did not answer the line settings within %2 s")
                 .arg(where())
                 .arg(AnswerTimeoutMs / 1000));
    } else if (phase_ == Phase::Connecting) {
        fail(streamReady_
                 ? QStringLiteral("%1: the port server did not answer the line settings within "
                                  "%2 s")
                       .arg(where())
                       .arg(ConnectTimeoutMs / 1000)
                 : QStringLiteral("%1: no answer within %2 s")
                       .arg(where())
                       .arg(ConnectTimeoutMs / 1000));
    }
}

void NetworkLink::onSocketError() {
    // A blocking wait that ran out (the exit's, waiting for an answer) is no fault of the link.
    if ((phase_ != Phase::Connecting && phase_ != Phase::Open) ||
        socket_->error() == QAbstractSocket::SocketTimeoutError)
        return;
    if (!tlsFailure_.isEmpty())
        fail(tlsFailure_);
    else if (socket_->error() == QAbstractSocket::RemoteHostClosedError)
        fail(QStringLiteral("%1: %2").arg(where(), closedReason()));
    else
        fail(QStringLiteral("%1: %2").arg(where(), socket_->errorString()));
}

void NetworkLink::onDisconnected() {
    if (phase_ == Phase::Connecting || phase_ == Phase::Open)
        fail(QStringLiteral("%1: %2").arg(where(), closedReason()));
}

QString NetworkLink::closedReason() const {
    // A server that wants a client certificate closes right after the handshake.
    if (tls_ && streamReady_ && phase_ == Phase::Connecting && address_.certFile.isEmpty())
        return QStringLiteral("the port server closed the connection; does it want a client "
                              "certificate (cert= and key= in the address)?");
    return QStringLiteral("the port server closed the connection");
}

// An attempt that fails is reported by the next open(); a link that was open reads as
// closed, and the next open() tries again at once.
void NetworkLink::fail(const QString& why) {
    const bool wasOpen = phase_ == Phase::Open;
    // A server that stays away fails the same way every second: only a new reason is news.
    const bool repeated = why == error_;
    timer_.stop();
    error_ = why;
    phase_ = wasOpen ? Phase::Idle : Phase::Failed;
    streamReady_ = false;
    if (wasOpen)
        qCWarning(lcSerial) << "connection lost:" << why;
    else if (!repeated)
        qCDebug(lcSerial) << "connection failed:" << why;
    socket_->abort();
}

bool NetworkLink::applySettings(const LineSettings& settings) {
    settings_ = settings;
    // Before the stream is ready the next round of the attempt takes them; while a round is
    // under way, its end does.
    if (!address_.telnet || !streamReady_ || control_.state() != ComPortControl::State::Ready)
        return true;
    requestSettings();
    timer_.start(AnswerTimeoutMs);
    return true;
}

bool NetworkLink::isOpen() const {
    return phase_ == Phase::Open && socket_->state() == QAbstractSocket::ConnectedState;
}

qint64 NetworkLink::bytesPending() const {
    if (!isOpen())
        return 0;
    return unsentHere() + socketOutputQueue(socket_->socketDescriptor());
}

qint64 NetworkLink::unsentHere() const {
    return socket_->bytesToWrite() + (tls_ ? tls_->encryptedBytesToWrite() : 0);
}

qint64 NetworkLink::bytesUndelivered() const {
    if (!isOpen())
        return 0;
    return unsentHere() + socketOutputQueue(socket_->socketDescriptor(), true);
}

void NetworkLink::waitForReadyRead(int msecs) {
    if (!isOpen())
        return;
    // Qt's wait also moves the socket's own write buffer into the system.
    if (unsentHere() > 0)
        socket_->waitForBytesWritten(msecs);
    else
        socket_->waitForReadyRead(msecs);
}

void NetworkLink::discardOutput() {
    if (isOpen())
        fail(QStringLiteral("%1: the port server stopped taking bytes; the connection was "
                            "dropped")
                 .arg(where()));
}

qintptr NetworkLink::descriptor() const {
    return isOpen() && !tls_ ? socket_->socketDescriptor() : -1;
}

bool NetworkLink::close() {
    timer_.stop();
    const bool wasOpen = isOpen();
    bool delivered = true;
    if (wasOpen) {
        // Bounded, so that a frame written just before (force standby at exit) gets out
        // without a stalled peer holding the program. Waits for the peer's acknowledgement
        // too: a connection that ends in a reset drops what was not acknowledged.
        const QDeadlineTimer deadline(CloseFlushMs);
        while (isOpen() && bytesUndelivered() > 0 && !deadline.hasExpired()) {
            if (unsentHere() > 0)
                socket_->waitForBytesWritten(int(std::min<qint64>(deadline.remainingTime(), 20)));
            else
                QThread::msleep(2);
        }
        delivered = isOpen() && bytesUndelivered() == 0;
        if (!delivered)
            qCWarning(lcSerial) << "closing" << where() << "with" << bytesUndelivered()
                                << "bytes not delivered";
    }
    // Idle before the graceful end, so the socket's own end of the stream reads as no loss.
    phase_ = Phase::Idle;
    streamReady_ = false;
    // Closing with received bytes unread makes the system answer with a reset. So the panel's
    // side ends first, then what the peer still sends is read until it ends its side as well.
    if (wasOpen && delivered)
        endGracefully();
    socket_->abort();
    return delivered;
}

void NetworkLink::endGracefully() {
    const QDeadlineTimer deadline(PeerCloseMs);
    if (tls_) {
        socket_->disconnectFromHost(); // the TLS close alert, then the end of the stream
    } else {
#ifdef Q_OS_UNIX
        ::shutdown(int(socket_->socketDescriptor()), SHUT_WR);
#else
        socket_->disconnectFromHost();
#endif
    }
    while (socket_->state() != QAbstractSocket::UnconnectedState && !deadline.hasExpired()) {
        socket_->readAll();
        socket_->waitForReadyRead(int(std::min<qint64>(deadline.remainingTime(), 50)));
    }
    socket_->readAll();
}

bool NetworkLink::waitForBytesWritten(int msecs) {
    return isOpen() && socket_->waitForBytesWritten(msecs);
}

bool NetworkLink::write(const QByteArray& bytes) {
    if (!isOpen())
        return false;
    const QByteArray raw = address_.telnet ? TelnetCodec::escape(bytes) : bytes;
    if (socket_->write(raw) == raw.size())
        return true;
    error_ = QStringLiteral("%1: %2").arg(where(), socket_->errorString());
    return false;
}

QByteArray NetworkLink::readAll() {
    onReadyRead();
    return received_.take();
}

} // namespace tarn::serial
