#pragma once

#include "telemetry/history.h"

#include <QString>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

class QIODevice;

namespace tarn::telemetry {

// What the history window shows, copied, so that a worker writes it while the record goes on.
struct ExportSnapshot {
    std::vector<Sample> frames;  // every frame of the span, oldest first; or
    std::vector<Bucket> seconds; // per-second minima and maxima, oldest first
    qint64 wallOffsetMs = 0;     // added to every time written

    std::size_t rows() const { return frames.size() + seconds.size(); }
};

// The CSV of a snapshot: the log's columns for frames, minima and maxima for seconds, both with
// an `after_gap` column that marks the first row after a silence or a closed port. Stops with
// false as soon as `cancelled` turns true.
bool writeCsv(const ExportSnapshot& snapshot, QIODevice& out,
              const std::atomic<bool>* cancelled = nullptr);

// Writes a snapshot to a file on a thread of its own. The file appears whole or not at all.
class ExportJob {
public:
    ExportJob(ExportSnapshot snapshot, const QString& path);
    ~ExportJob();
    ExportJob(const ExportJob&) = delete;
    ExportJob& operator=(const ExportJob&) = delete;

    bool done() const;
    // Waits for the end: for tests and benchmarks, never on the user-interface thread.
    void wait();
    // Waits up to `boundMs`; a job still running then is cancelled and left to end alone,
    // without its file. True when it had ended.
    bool finish(qint64 boundMs);

    // Once done(): whether the file was written, why not, and how many rows it has.
    bool ok() const;
    QString error() const;
    std::size_t rows() const { return rows_; }
    QString path() const { return path_; }

private:
    struct State;
    std::shared_ptr<State> state_;
    std::thread thread_;
    std::size_t rows_ = 0;
    QString path_;
};

} // namespace tarn::telemetry
