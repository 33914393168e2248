#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace tarn::protocol {

// Finds whole response frames in what the line delivers, whatever the reads cut it into: two
// answers in one read, an answer split over two reads, garbage between them. The decoder keeps
// treating each read as one frame; the display follows the newest whole frame found here, so a
// batching peer can never leave a stale state on screen.
class FrameScanner {
public:
    // A frame longer than this is garbage; its bytes are dropped.
    static constexpr int MaxBody = 32;

    // Feeds one read and returns the unescaped bodies of the frames it completed, oldest first.
    QList<QByteArray> feed(const QByteArray& bytes);
    // Forgets a partial frame (the line was closed or changed).
    void reset();

    static bool isStatus(const QByteArray& body);
    static bool isFirmwareReport(const QByteArray& body);
    // "Firmware V" and the version characters of a firmware report.
    static QString firmwareCaption(const QByteArray& body);

private:
    QByteArray body_;
    bool inFrame_ = false;
    bool escaped_ = false;
};

} // namespace tarn::protocol
