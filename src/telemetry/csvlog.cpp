#include "telemetry/csvlog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace tarn::telemetry {

namespace {
Q_LOGGING_CATEGORY(lcLog, "tarn.telemetry")

constexpr qint64 DayMs = 86'400'000;
// Written in pieces of whole rows, so a cancelled writer never leaves half a row behind.
constexpr qsizetype PieceBytes = 64 * 1024;
constexpr int MaxNumberedFiles = 99;

QByteArray tenths(int tenthsValue) {
    return QByteArray::number(tenthsValue / 10) + '.' + QByteArray::number(tenthsValue % 10);
}

qint64 dayOf(qint64 wallMs) {
    return wallMs >= 0 ? wallMs / DayMs : (wallMs + 1) / DayMs - 1;
}

QDate dateOf(qint64 day) {
    return QDate(1970, 1, 1).addDays(day);
}

QString numberedLogPath(const QString& path, qint64 day, int n) {
    const QString date = dateOf(day).toString(u"yyyy-MM-dd");
    return insertBeforeSuffix(path, n == 1 ? QString(u'-' + date)
                                           : QStringLiteral("-%1-%2").arg(date).arg(n));
}

// Opens the day's file for appending: the daily name, or the first numbered one that is new or
// holds this log's header. Another header means another program or version wrote it: it is
// never appended to nor overwritten.
std::unique_ptr<QFile> openDayFile(const QString& path, qint64 day, QString* name,
                                   QString* reason) {
    const QByteArray header = csvHeader();
    for (int n = 1; n <= MaxNumberedFiles; ++n) {
        auto file = std::make_unique<QFile>(numberedLogPath(path, day, n));
        *name = file->fileName();
        // Unbuffered: each write reaches the system at once, so a full disk shows in its result.
        if (!file->open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered)) {
            *reason = file->errorString();
            return {};
        }
        const qint64 size = file->size();
        if (size == 0) {
            if (file->write(header) == header.size())
                return file;
            *reason = file->errorString();
            // Half a header would make the next try take the file for another program's.
            file->resize(0);
            return {};
        }
        if (!file->seek(0) || file->read(header.size()) != header)
            continue;
        // A row cut off by a crash or a full disk is ended, so the next row starts a line.
        if (endsMidLine(*file) && file->write("\n", 1) != 1) {
            *reason = file->errorString();
            return {};
        }
        return file;
    }
    *reason = QStringLiteral("%1 files of that day have another header").arg(MaxNumberedFiles);
    return {};
}

} // namespace

QByteArray csvHeader() {
    return "time_utc,band,gain,forward_level,reflected_level,swr,voltage_v,current_a,"
           "temperature_c,operate,transmit,auto_band,protection\n";
}

QByteArray csvTime(qint64 msSinceEpoch) {
    return QDateTime::fromMSecsSinceEpoch(msSinceEpoch, Qt::UTC)
        .toString(Qt::ISODateWithMs)
        .toLatin1();
}

QByteArray csvNumber(Channel channel, int raw) {
    switch (channel) {
    case Channel::Swr:
        return raw == 0 ? QByteArray() : tenths(raw);
    case Channel::Voltage:
        return tenths(raw * 4); // 0.4 V a step
    case Channel::Current:
        return tenths(raw * 2); // 0.2 A a step
    case Channel::Forward:
    case Channel::Reflected:
    case Channel::Temperature:
        break;
    }
    return QByteArray::number(raw);
}

QByteArray csvRow(const Sample& s) {
    QByteArray row = csvTime(s.timeMs);
    row.reserve(80);
    const auto field = [&row](const QByteArray& text) {
        row += ',';
        row += text;
    };
    field(QByteArray::number(s.band));
    field(QByteArray::number(s.gain));
    for (Channel c : AllChannels)
        field(csvNumber(c, s.value(c)));
    for (Sample::Flag f : {Sample::Operate, Sample::Transmit, Sample::AutoBand, Sample::Protection})
        field(s.has(f) ? "1" : "0");
    row += '\n';
    return row;
}

struct CsvLog::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    QString path;
    int keepDays = DefaultKeepDays;
    std::deque<Segment> pending;
    qsizetype pendingBytes = 0;
    qint64 rowsWritten = 0;
    bool stop = false;   // write what is pending, then end
    bool failed = false; // waiting for a retry
    bool retry = false;  // the caller asked for one
    bool busy = false;
    bool ended = false;
    bool failureNew = false;
    bool recovered = false;
    QString failure;
    QString fileName;
    std::atomic<bool> cancel = false; // end after the current piece

    // The writer's own once it runs.
    std::unique_ptr<QFile> file;
    qint64 fileDay = 0;

    // Writes one day's rows; "" or the reason it could not.
    QString write(qint64 day, const QByteArray& text);
};

QString CsvLog::Shared::write(qint64 day, const QByteArray& text) {
    if (!file || fileDay != day) {
        file.reset();
        QString name;
        QString reason;
        auto opened = openDayFile(path, day, &name, &reason);
        int keep = 0;
        {
            const std::lock_guard lock(mutex);
            fileName = name;
            keep = keepDays;
        }
        if (!opened)
            return reason;
        for (const QString& f : removeOldDailyFiles(path, keep, dateOf(day)))
            qCWarning(lcLog) << "cannot remove the old log file" << f;
        file = std::move(opened);
        fileDay = day;
    }
    const qint64 before = file->size();
    QString failure;
    for (qsizetype done = 0; done < text.size() && failure.isEmpty() && !cancel;) {
        qsizetype end = std::min(done + PieceBytes, text.size());
        if (end < text.size())
            end = std::max(text.lastIndexOf('\n', end - 1) + 1, text.indexOf('\n', done) + 1);
        while (done < end) {
            const qint64 n = file->write(text.constData() + done, end - done);
            if (n <= 0) {
                failure = file->errorString();
                break;
            }
            done += n;
        }
    }
#ifdef Q_OS_UNIX
    // What was written survives a power cut; once a second costs next to nothing.
    if (failure.isEmpty() && !cancel && ::fdatasync(file->handle()) != 0 && errno != EINVAL &&
        errno != EROFS)
        failure = QString::fromLocal8Bit(strerror(errno));
#endif
    if (failure.isEmpty() && !QFileInfo::exists(file->fileName())) {
        file.reset();
        return QStringLiteral("the file was removed or moved, or its folder was, and the rows "
                              "written to it with it");
    }
    if (!failure.isEmpty()) {
        // The rows go out again whole after the retry; a row cut off here would stay cut.
        file->resize(before);
        file.reset();
    }
    return failure;
}

CsvLog::CsvLog() = default;

CsvLog::~CsvLog() {
    stop();
}

bool CsvLog::start(const QString& path, qint64 wallMs, QString* error, bool keepTrying) {
    stop();
    const qint64 day = dayOf(wallMs);
    QString name;
    QString reason;
    auto file = openDayFile(path, day, &name, &reason);
    if (!file) {
        if (error)
            *error = QStringLiteral("Cannot open the log file %1: %2").arg(name, reason);
        if (!keepTrying)
            return false;
    }
    shared_ = std::make_shared<Shared>();
    shared_->path = path;
    shared_->keepDays = keepDays_;
    shared_->fileName = name;
    if (file) {
        for (const QString& f : removeOldDailyFiles(path, keepDays_, dateOf(day)))
            qCWarning(lcLog) << "cannot remove the old log file" << f;
        shared_->file = std::move(file);
        shared_->fileDay = day;
    } else {
        shared_->failed = true;
        shared_->failure = reason;
    }
    path_ = path;
    running_ = true;
    failing_ = shared_->failed;
    buffer_.clear();
    lastHandOverMs_ = -1;
    rowsAppended_ = rowsDropped_ = droppedSinceFailure_ = 0;
    retryDelayMs_ = FirstRetryMs;
    nextRetryMs_ = -1;
    writer_ = std::thread([shared = shared_] { writerLoop(shared); });
    qCInfo(lcLog) << "logging to" << name;
    return !failing_;
}

void CsvLog::setKeepDays(int days) {
    keepDays_ = days;
    if (shared_) {
        const std::lock_guard lock(shared_->mutex);
        shared_->keepDays = days;
    }
}

QString CsvLog::currentFile() const {
    if (!shared_)
        return {};
    const std::lock_guard lock(shared_->mutex);
    return shared_->fileName;
}

void CsvLog::append(const Sample& s) {
    if (!running_)
        return;
    const qint64 day = dayOf(s.timeMs);
    if (buffer_.empty() || buffer_.back().day != day)
        buffer_.push_back({day, {}, 0});
    buffer_.back().text += csvRow(s);
    ++buffer_.back().rows;
    ++rowsAppended_;
    lastRowWallMs_ = s.timeMs;
}

void CsvLog::tick(qint64 nowMs) {
    if (!running_)
        return;
    if (lastHandOverMs_ < 0)
        lastHandOverMs_ = nowMs;
    if (nowMs - lastHandOverMs_ >= FlushIntervalMs || nowMs < lastHandOverMs_) {
        handOver();
        lastHandOverMs_ = nowMs;
    }
    report();
    if (!failing_)
        return;
    if (nextRetryMs_ < 0) {
        nextRetryMs_ = nowMs + retryDelayMs_;
    } else if (nowMs >= nextRetryMs_) {
        {
            const std::lock_guard lock(shared_->mutex);
            shared_->retry = true;
        }
        shared_->wake.notify_one();
        // A disk that stays away is asked less and less often.
        retryDelayMs_ = std::min(2 * retryDelayMs_, LongestRetryMs);
        nextRetryMs_ = nowMs + retryDelayMs_;
    }
}

void CsvLog::report() {
    Shared& sh = *shared_;
    bool recovered = false;
    bool failed = false;
    QString failure;
    QString file;
    {
        const std::lock_guard lock(sh.mutex);
        recovered = std::exchange(sh.recovered, false);
        failed = std::exchange(sh.failureNew, false) && sh.failed;
        failure = sh.failure;
        file = sh.fileName;
    }
    if (recovered && failing_) {
        failing_ = false;
        retryDelayMs_ = FirstRetryMs;
        nextRetryMs_ = -1;
        QString message = QStringLiteral("The CSV log writes to %1 again (%2 UTC). ")
                              .arg(file, QString::fromLatin1(csvTime(lastRowWallMs_).mid(11, 8)));
        message += droppedSinceFailure_ == 0
                       ? QStringLiteral("The rows of the time it could not write are in the file.")
                       : QStringLiteral("%1 rows of the time it could not write were lost: "
                                        "memory keeps %2 MB of them at most.")
                             .arg(droppedSinceFailure_)
                             .arg(BacklogBytes >> 20);
        qCInfo(lcLog).noquote() << message;
        if (onMessage)
            onMessage(message);
    }
    if (!failed)
        return;
    if (failing_) {
        qCWarning(lcLog).noquote() << "the CSV log still cannot write" << file << ":" << failure;
        return;
    }
    failing_ = true;
    droppedSinceFailure_ = 0;
    const QString message =
        QStringLiteral("The CSV log cannot write %1: %2. It keeps the new rows in memory and "
                       "tries again in %3 s, then less often.")
            .arg(file, failure)
            .arg(retryDelayMs_ / 1000);
    qCWarning(lcLog).noquote() << message;
    if (onMessage)
        onMessage(message);
}

void CsvLog::handOver() {
    if (buffer_.empty())
        return;
    qsizetype bytes = 0;
    qint64 rows = 0;
    for (const Segment& seg : buffer_)
        bytes += seg.text.size(), rows += seg.rows;
    {
        const std::lock_guard lock(shared_->mutex);
        if (shared_->failed && shared_->pendingBytes + bytes > BacklogBytes) {
            rowsDropped_ += rows;
            droppedSinceFailure_ += rows;
        } else {
            for (Segment& seg : buffer_)
                shared_->pending.push_back(std::move(seg));
            shared_->pendingBytes += bytes;
        }
    }
    buffer_.clear();
    shared_->wake.notify_one();
}

void CsvLog::stop(qint64 boundMs) {
    if (!running_)
        return;
    handOver();
    Shared& sh = *shared_;
    bool ended = false;
    {
        std::unique_lock lock(sh.mutex);
        sh.stop = true;
        sh.wake.notify_one();
        ended =
            sh.idle.wait_for(lock, std::chrono::milliseconds(boundMs), [&sh] { return sh.ended; });
        if (!ended) {
            sh.cancel = true;
            qCWarning(lcLog) << "the CSV log writer is stuck; left behind with" << sh.pendingBytes
                             << "bytes";
        } else if (!sh.pending.empty()) {
            qCWarning(lcLog) << "the CSV log stopped while it could not write;" << sh.pendingBytes
                             << "bytes not written";
        }
    }
    if (ended)
        writer_.join();
    else
        writer_.detach();
    running_ = false;
    failing_ = false;
}

void CsvLog::waitForWriter() {
    if (!shared_ || !writer_.joinable())
        return;
    Shared& sh = *shared_;
    std::unique_lock lock(sh.mutex);
    sh.idle.wait(lock, [&sh] {
        return sh.ended || (!sh.busy && (sh.pending.empty() || (sh.failed && !sh.retry)));
    });
}

qint64 CsvLog::rowsWritten() const {
    if (!shared_)
        return 0;
    const std::lock_guard lock(shared_->mutex);
    return shared_->rowsWritten;
}

void CsvLog::writerLoop(const std::shared_ptr<Shared>& shared) {
    Shared& sh = *shared;
    std::unique_lock lock(sh.mutex);
    for (;;) {
        sh.wake.wait(lock, [&sh] {
            return sh.cancel || sh.stop || (!sh.pending.empty() && (!sh.failed || sh.retry));
        });
        if (sh.cancel || sh.pending.empty() || (sh.failed && !sh.retry))
            break;
        // Everything waiting for the same day goes out in one write.
        const qint64 day = sh.pending.front().day;
        QByteArray text;
        qint64 rows = 0;
        std::size_t taken = 0;
        for (; taken < sh.pending.size() && sh.pending[taken].day == day; ++taken) {
            text += sh.pending[taken].text;
            rows += sh.pending[taken].rows;
        }
        const bool retrying = std::exchange(sh.retry, false);
        sh.busy = true;
        lock.unlock();
        const QString failure = sh.write(day, text);
        lock.lock();
        sh.busy = false;
        if (failure.isEmpty()) {
            sh.pending.erase(sh.pending.begin(), sh.pending.begin() + std::ptrdiff_t(taken));
            sh.pendingBytes -= text.size();
            sh.rowsWritten += rows;
            sh.recovered = sh.recovered || (retrying && sh.failed);
            sh.failed = false;
        } else {
            sh.failed = true;
            sh.failureNew = true;
            sh.failure = failure;
        }
        sh.idle.notify_all();
    }
    sh.file.reset();
    sh.ended = true;
    sh.idle.notify_all();
}

} // namespace tarn::telemetry
