#pragma once

// The real ser2net as a child process, on a configuration the test writes, and the keys and
// certificates a TLS port server and its clients need, made with openssl.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTcpServer>

namespace tarn::testing {

// A port no one listens on now; the server started next takes it.
inline quint16 freeTcpPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

// Runs openssl; empty when it failed.
inline QString openssl(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

struct KeyPair {
    QString cert;
    QString key;
};

// A self-signed certificate as ser2net makes for itself: its name is not the host's.
inline KeyPair makeSelfSigned(const QString& dir, const QString& name) {
    const KeyPair pair{dir + "/" + name + ".crt", dir + "/" + name + ".key"};
    openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
             "-days", "2", "-subj", "/CN=" + name, "-keyout", pair.key, "-out", pair.cert});
    QFile::setPermissions(pair.key, QFile::ReadOwner | QFile::WriteOwner);
    return pair;
}

// "AB:CD:…", as the panel's messages show it.
inline QString sha256Fingerprint(const QString& cert) {
    const QString out = openssl({"x509", "-in", cert, "-noout", "-fingerprint", "-sha256"});
    return out.mid(out.indexOf('=') + 1).toUpper();
}

class Ser2net {
public:
    // `connection` is one YAML connection body (accepter, connector, options).
    Ser2net(const QString& dir, const QString& connection) : dir_(dir) {
        QFile yaml(dir + "/ser2net.yaml");
        yaml.open(QIODevice::WriteOnly);
        yaml.write("%YAML 1.1\n---\n");
        yaml.write(connection.toUtf8());
        yaml.close();
        start();
    }
    ~Ser2net() { stop(); }
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    void start() {
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(QStringLiteral(TARN_SER2NET_PATH),
                       {"-n", "-d", "-c", dir_ + "/ser2net.yaml", "-P", dir_ + "/ser2net.pid"});
        process_.waitForStarted(5000);
    }
    void stop() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(5000))
            process_.kill();
        process_.waitForFinished(2000);
    }
    bool running() const { return process_.state() == QProcess::Running; }
    qint64 processId() const { return process_.processId(); }
    QByteArray output() { return process_.readAll(); }

private:
    QString dir_;
    QProcess process_;
};

// ser2net's YAML for one connection from `accepter` to the serial device `device`; the
// client certificates it accepts are under `authDir`/<their common name>/allowed_certs.
inline QString ser2netConnection(const QString& accepter, const QString& device,
                                 const QString& authDir) {
    return QStringLiteral("connection: &amp\n"
                          "    accepter: %1\n"
                          "    enable: on\n"
                          "    options:\n"
                          "      kickolduser: true\n"
                          "      authdir: %3\n"
                          "    connector: serialdev,%2,9600n81,local\n")
        .arg(accepter, device, authDir);
}

} // namespace tarn::testing
