#pragma once

// The real ser2net as a child process on a configuration of one connection, and the keys and
// certificates of a TLS port server and its clients, made with openssl.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>

namespace tarn::testing {

// A port no one listens on now; the server started next takes it.
inline quint16 freeTcpPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

inline QString openssl(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("openssl"), args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// A self-signed certificate `dir`/`name`.crt and its key, as ser2net makes for itself: its name
// is not the host's.
inline QString makeSelfSigned(const QString& dir, const QString& name) {
    const QString base = dir + "/" + name;
    openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
             "-days", "2", "-subj", "/CN=" + name, "-keyout", base + ".key", "-out",
             base + ".crt"});
    QFile::setPermissions(base + ".key", QFile::ReadOwner | QFile::WriteOwner);
    return base;
}

// Lets the client certificate `base`.crt in, under ser2net's `authDir`.
inline void allowClient(const QString& authDir, const QString& base) {
    const QString allowed = authDir + "/" + QFileInfo(base).fileName() + "/allowed_certs";
    QDir().mkpath(allowed);
    QFile::copy(base + ".crt", allowed + "/client.crt");
    openssl({"rehash", allowed});
}

class Ser2net {
public:
    // Serves `device` on `accepter` ("tcp,127.0.0.1,4001", "telnet(rfc2217),ssl(...),tcp,...").
    Ser2net(const QString& dir, const QString& accepter, const QString& device) : dir_(dir) {
        QFile yaml(dir + "/ser2net.yaml");
        yaml.open(QIODevice::WriteOnly);
        yaml.write(QStringLiteral("%YAML 1.1\n---\nconnection: &amp\n    accepter: %1\n"
                                  "    enable: on\n    options:\n      kickolduser: true\n"
                                  "      authdir: %2/auth\n"
                                  "    connector: serialdev,%3,9600n81,local\n")
                       .arg(accepter, dir, device)
                       .toUtf8());
        yaml.close();
        start();
    }
    ~Ser2net() { stop(); }

    void start() {
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(QStringLiteral(TARN_SER2NET_PATH),
                       {"-n", "-d", "-c", dir_ + "/ser2net.yaml", "-P", dir_ + "/ser2net.pid"});
        process_.waitForStarted(5000);
    }
    void stop() {
        process_.terminate();
        if (!process_.waitForFinished(5000))
            process_.kill();
    }
    qint64 processId() const { return process_.processId(); }
    QByteArray output() { return process_.readAll(); }

private:
    QString dir_;
    QProcess process_;
};

} // namespace tarn::testing
