#pragma once

#include "telemetry/dailyfile.h"
#include "telemetry/sample.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace tarn::telemetry {

// The log's columns: time in ISO 8601 UTC with milliseconds, then the values as numbers. SWR
// is empty when the amplifier has no reading; gain is the raw step (above 8 has no value).
QByteArray csvHeader();
QByteArray csvRow(const Sample& s);
QByteArray csvTime(qint64 msSinceEpoch);
// A channel's value with the resolution the amplifier reports it in.
QByteArray csvNumber(Channel channel, int raw);

// A continuous CSV log, one file a UTC day. Rows are formatted and buffered on the caller's
// thread; a writer thread takes the buffer about once a second, so a slow or stuck disk (a
// network share, a dying USB stick) never holds up the panel. A file that cannot be written
// does not end the log: new rows wait in memory (up to BacklogBytes) and the log tries again,
// first after FirstRetryMs, then at growing intervals up to LongestRetryMs; `onMessage` says
// when it fails and when it writes again.
class CsvLog {
public:
    static constexpr qint64 FlushIntervalMs = 1'000;
    static constexpr qint64 FirstRetryMs = 10'000;
    static constexpr qint64 LongestRetryMs = 60'000;
    // What stop() waits for the writer at most: a stuck disk must not hold up the exit.
    static constexpr qint64 StopBoundMs = 700;
    static constexpr qsizetype BacklogBytes = 16 << 20; // about 50 min at a 10 ms poll

    CsvLog();
    ~CsvLog();
    CsvLog(const CsvLog&) = delete;
    CsvLog& operator=(const CsvLog&) = delete;

    // Opens the file of the day of `wallMs` (UTC), appending to it when it holds this log's
    // header: a restarted panel continues its log. A partial last line is ended first; a file
    // with another header is left alone and the next free "-2", "-3" ... name is taken.
    // False, with the reason in `error`, when no file can be opened; with `keepTrying` the log
    // then runs anyway and tries again like after any other failure.
    bool start(const QString& path, qint64 wallMs, QString* error, bool keepTrying = false);
    // Files of days more than `days` before the newest day written are removed; 0 keeps all.
    void setKeepDays(int days);
    // Hands over what is buffered and waits up to `boundMs` for the writer to finish it. A
    // writer still busy after that is told to stop after its current piece, which always
    // ends with a whole row, and is left to end alone.
    void stop(qint64 boundMs = StopBoundMs);
    bool running() const { return running_; }
    // Running, but the last write or open failed; it is retried from tick().
    bool failing() const { return failing_; }
    QString path() const { return path_; }
    // The file the writer uses now, or "" before the first one opened.
    QString currentFile() const;

    // `s.timeMs` is the wall-clock time of the row.
    void append(const Sample& s);
    // Hands the buffer to the writer when a flush is due, reports a failure or a recovery and
    // starts a retry when one is due. `nowMs` is monotonic. Call it about once a second even
    // when no frames arrive.
    void tick(qint64 nowMs);

    // Blocks until the writer has done what it can with what it was handed: for the end of a
    // test or a bench run, never on the user-interface thread in normal operation.
    void waitForWriter();

    // Rows handed to append() since start, rows the writer has put into a file, and rows
    // dropped because memory was full while the log could not write.
    qint64 rowsAppended() const { return rowsAppended_; }
    qint64 rowsWritten() const;
    qint64 rowsDropped() const { return rowsDropped_; }

    // The log failed, or writes again; the text says what happened and where.
    std::function<void(const QString& message)> onMessage;

private:
    struct Segment {
        qint64 day = 0; // days since the epoch, UTC
        QByteArray text;
        qint64 rows = 0;
    };
    struct Shared;

    void handOver();
    void report();
    static void writerLoop(const std::shared_ptr<Shared>& shared);

    QString path_;
    bool running_ = false;
    bool failing_ = false;
    std::vector<Segment> buffer_;
    qint64 lastHandOverMs_ = -1;
    qint64 rowsAppended_ = 0;
    qint64 rowsDropped_ = 0;
    qint64 droppedSinceFailure_ = 0;
    qint64 lastRowWallMs_ = 0;
    qint64 retryDelayMs_ = FirstRetryMs;
    qint64 nextRetryMs_ = -1;
    int keepDays_ = DefaultKeepDays;

    // Owned with the writer thread, so a writer left behind at stop() never outlives it.
    std::shared_ptr<Shared> shared_;
    std::thread writer_;
};

} // namespace tarn::telemetry
