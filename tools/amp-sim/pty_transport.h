#pragma once

#include "transport.h"
#include "unique_fd.h"

#include <QTimer>
#include <memory>

class QSocketNotifier;

namespace tarn::sim {

#ifdef Q_OS_UNIX

// A pseudo-terminal standing in for the amplifier's serial port. The simulator keeps a slave
// descriptor of its own, so the master never sees a hang-up while the panel closes and reopens
// the port, and the raw line settings survive between the panel's opens.
class PtyTransport : public Transport {
    Q_OBJECT
public:
    // `linkPath` may be empty; otherwise it is kept pointing at the current slave device.
    explicit PtyTransport(QString linkPath, QObject* parent = nullptr);
    ~PtyTransport() override;

    bool start(QString& error) override;
    qint64 write(const QByteArray& bytes) override;
    void dropFor(qint64 ms) override;
    bool isUp() const override { return bool(master_); }
    void setReading(bool on) override;
    QString addressLine() const override;

    QString slavePath() const { return slavePath_; }

private:
    bool openLine(QString& error);
    void closeLine();
    bool pointLink(QString& error);
    void removeLink();
    void onReadable();
    void reopen();

    QString linkPath_;
    QString slavePath_;
    UniqueFd master_;
    UniqueFd slave_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer reopenTimer_;
    bool reading_ = true;
};

#endif

} // namespace tarn::sim
