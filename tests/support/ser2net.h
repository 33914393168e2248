#pragma once

// The real ser2net as a child process serving one device, and the keys and certificates of a
// TLS port server, made with openssl. Shared by the remote-station tests and benchmark.

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
// is not the host's. Returns the path without the suffix.
inline QString makeSelfSigned(const QString& dir, const QString& name) {
    const QString base = dir + "/" + name;
    openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
             "-days", "2", "-subj", "/CN=" + name, "-keyout", base + ".key", "-out",
             base + ".crt"});
    return base;
}

class Ser2net {
public:
    // Serves `device` on `accepter` ("tcp,127.0.0.1,4001", "telnet(rfc2217),ssl(...),tcp,..."),
    // with client certificates under `dir`/auth.
    Ser2net(const QString& dir, const QString& accepter, const QString& device) {
        QFile yaml(dir + "/ser2net.yaml");
        yaml.open(QIODevice::WriteOnly);
        yaml.write(QStringLiteral("connection: &amp\n  accepter: %1\n  enable: on\n  options:\n"
                                  "    kickolduser: true\n    authdir: %2/auth\n"
                                  "  connector: serialdev,%3,9600n81,local\n")
                       .arg(accepter, dir, device)
                       .toUtf8());
        yaml.close();
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.setProgram(QStringLiteral(TARN_SER2NET_PATH));
        process_.setArguments({"-n", "-d", "-c", yaml.fileName(), "-P", dir + "/ser2net.pid"});
        start();
    }
    ~Ser2net() { stop(); }

    void start() {
        process_.start();
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
    QProcess process_;
};

} // namespace tarn::testing
