#pragma once

#include "telemetry/sample.h"

#include <QByteArray>
#include <QString>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class QFile;

namespace tarn::telemetry {

// The log's columns: time in ISO 8601 UTC with milliseconds, then the values as numbers. SWR
// is empty when the amplifier has no reading; gain is the raw step (above 8 has no value).
QByteArray csvHeader();
QByteArray csvRow(const Sample& s);
QByteArray csvTime(qint64 msSinceEpoch);
// A channel's value with the resolution the amplifier reports it in.
QByteArray csvNumber(Channel channel, int raw);

// A continuous CSV log. Rows are formatted and buffered on the caller's thread; a writer thread
// takes the buffer about once a second, so a slow or stuck disk (a network share, a dying USB
// stick) never holds up the panel. A file that cannot be written stops the log: rows written
// before stay in the file, and `onStopped` is told why on the caller's thread.
class CsvLog {
public:
    static constexpr qint64 FlushIntervalMs = 1'000;

    CsvLog();
    ~CsvLog();
    CsvLog(const CsvLog&) = delete;
    CsvLog& operator=(const CsvLog&) = delete;

    // Appends to an existing file (a restarted panel continues its log); a new or empty file
    // gets the header first. False, with the reason in `error`, when the file cannot be opened.
    bool start(const QString& path, QString* error);
    // Hands over what is buffered and waits for the writer to finish it.
    void stop();
    bool running() const { return running_; }
    QString path() const { return path_; }

    void append(const Sample& s);
    // Hands the buffer to the writer when a flush is due, and reports a writer failure. Call it
    // about once a second even when no frames arrive.
    void tick(qint64 nowMs);

    // Blocks until the writer has finished what it was handed: for the end of a test or a
    // bench run, never on the user-interface thread in normal operation.
    void waitForWriter();

    // Rows handed to append() since start and rows the writer has put into the file.
    qint64 rowsAppended() const { return rowsAppended_; }
    qint64 rowsWritten() const;

    // The log stopped by itself; the text says what happened and where.
    std::function<void(const QString& message)> onStopped;

private:
    void handOver();
    void writerLoop();
    void finishWriter();

    QString path_;
    bool running_ = false;
    QByteArray buffer_;
    qint64 bufferRows_ = 0;
    qint64 lastHandOverMs_ = 0;
    qint64 rowsAppended_ = 0;

    // Shared with the writer thread.
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    QByteArray pending_;
    qint64 pendingRows_ = 0;
    qint64 rowsWritten_ = 0;
    QString failure_;
    bool stopWriter_ = false;
    bool writing_ = false;
    std::condition_variable idle_;

    std::unique_ptr<QFile> file_; // used by the writer thread only once it runs
    std::thread writer_;
};

} // namespace tarn::telemetry
