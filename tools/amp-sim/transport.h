#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace tarn::sim {

// The simulator's side of the line to the panel.
class Transport : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Opens the line and emits up(); false with a message when it cannot be opened.
    virtual bool start(QString& error) = 0;
    // Returns how many bytes the line took; while the line is down, none.
    virtual qint64 write(const QByteArray& bytes) = 0;
    // The line goes away at once and comes back after `ms`.
    virtual void dropFor(qint64 ms) = 0;
    virtual bool isUp() const = 0;
    // Off: nothing more is read from the line, across drops too, so what the panel writes
    // stays in the system's queues until they are full and its writes block. On again: all of
    // it is read and received in order.
    virtual void setReading(bool on) = 0;
    // "PTY <path>" or "TCP <addr>:<port>", for the panel's side to find the line.
    virtual QString addressLine() const = 0;

signals:
    void received(const QByteArray& bytes);
    void up();
    void down();
    void problem(const QString& message);
};

} // namespace tarn::sim
