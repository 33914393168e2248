#include "protocol/framescanner.h"

#include "protocol/commands.h"
#include "protocol/decoder.h"

namespace tarn::protocol {

QList<QByteArray> FrameScanner::feed(const QByteArray& bytes) {
    QList<QByteArray> frames;
    for (const char ch : bytes) {
        const auto c = std::uint8_t(ch);
        // Escaping keeps both markers out of a body, so each one is trusted where it appears.
        if (c == StartByte) {
            body_.clear();
            inFrame_ = true;
            escaped_ = false;
        } else if (!inFrame_) {
            continue;
        } else if (c == EndByte) {
            if (!escaped_)
                frames.append(body_);
            reset();
        } else if (escaped_) {
            body_.append(char(c ^ 0x10));
            escaped_ = false;
        } else if (c == EscapeByte) {
            escaped_ = true;
        } else {
            body_.append(char(c));
        }
        if (body_.size() > MaxBody)
            reset();
    }
    return frames;
}

void FrameScanner::reset() {
    body_.clear();
    inFrame_ = false;
    escaped_ = false;
}

bool FrameScanner::isStatus(const QByteArray& body) {
    return body.size() == RxBytes::Count && std::uint8_t(body[0]) != FirmwareReportType;
}

bool FrameScanner::isFirmwareReport(const QByteArray& body) {
    return body.size() >= 2 && std::uint8_t(body[0]) == FirmwareReportType;
}

QString FrameScanner::firmwareCaption(const QByteArray& body) {
    return QStringLiteral("Firmware V") + QString::fromLatin1(body.mid(1, 5));
}

} // namespace tarn::protocol
