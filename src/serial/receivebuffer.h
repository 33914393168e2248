#pragma once

#include <QByteArray>
#include <QIODevice>
#include <utility>

namespace tarn::serial {

// What arrived from the line and was not read yet. Only the newest `limit` bytes are kept: a
// peer that floods costs CPU, never memory, and the frame that follows the flood is the last
// thing read.
class ReceiveBuffer {
public:
    explicit ReceiveBuffer(qsizetype limit) : limit_(limit) {}

    void append(const QByteArray& bytes) {
        if (bytes.size() >= limit_) {
            bytes_ = bytes.right(limit_);
            return;
        }
        bytes_ += bytes;
        if (bytes_.size() > limit_)
            bytes_.remove(0, bytes_.size() - limit_);
    }
    // Empties the device's own buffer into this one, so the device's buffer never grows
    // beyond one chunk.
    void drain(QIODevice& device) {
        while (device.bytesAvailable() > 0) {
            const QByteArray chunk = device.read(limit_);
            if (chunk.isEmpty())
                break;
            append(chunk);
        }
    }
    QByteArray take() { return std::exchange(bytes_, {}); }
    void clear() { bytes_.clear(); }

private:
    qsizetype limit_;
    QByteArray bytes_;
};

} // namespace tarn::serial
