#include "telemetry/csvlog.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace tarn::telemetry {

namespace {
Q_LOGGING_CATEGORY(lcLog, "tarn.telemetry")

QByteArray tenths(int tenthsValue) {
    return QByteArray::number(tenthsValue / 10) + '.' + QByteArray::number(tenthsValue % 10);
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

CsvLog::CsvLog() = default;

CsvLog::~CsvLog() {
    stop();
}

bool CsvLog::start(const QString& path, QString* error) {
    stop();
    auto file = std::make_unique<QFile>(path);
    // Unbuffered: each write reaches the system at once, so a full disk shows in its result.
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        if (error)
            *error =
                QStringLiteral("Cannot open the log file %1: %2").arg(path, file->errorString());
        return false;
    }
    path_ = path;
    file_ = std::move(file);
    buffer_ = file_->size() == 0 ? csvHeader() : QByteArray();
    bufferRows_ = 0;
    rowsAppended_ = 0;
    lastHandOverMs_ = 0;
    {
        const std::lock_guard lock(mutex_);
        pending_.clear();
        pendingRows_ = 0;
        rowsWritten_ = 0;
        failure_.clear();
        stopWriter_ = false;
    }
    running_ = true;
    writer_ = std::thread([this] { writerLoop(); });
    qCInfo(lcLog) << "logging to" << path;
    return true;
}

void CsvLog::append(const Sample& s) {
    if (!running_)
        return;
    buffer_ += csvRow(s);
    ++bufferRows_;
    ++rowsAppended_;
    if (lastHandOverMs_ == 0)
        lastHandOverMs_ = s.timeMs;
}

void CsvLog::tick(qint64 nowMs) {
    if (!running_)
        return;
    QString failure;
    {
        const std::lock_guard lock(mutex_);
        failure = failure_;
    }
    if (!failure.isEmpty()) {
        finishWriter();
        running_ = false;
        qCWarning(lcLog) << failure;
        if (onStopped)
            onStopped(failure);
        return;
    }
    if (nowMs - lastHandOverMs_ >= FlushIntervalMs || nowMs < lastHandOverMs_) {
        handOver();
        lastHandOverMs_ = nowMs;
    }
}

void CsvLog::handOver() {
    if (buffer_.isEmpty())
        return;
    {
        const std::lock_guard lock(mutex_);
        pending_ += buffer_;
        pendingRows_ += bufferRows_;
    }
    buffer_.clear();
    bufferRows_ = 0;
    wake_.notify_one();
}

void CsvLog::stop() {
    if (!running_)
        return;
    handOver();
    finishWriter();
    running_ = false;
}

void CsvLog::finishWriter() {
    {
        const std::lock_guard lock(mutex_);
        stopWriter_ = true;
    }
    wake_.notify_one();
    if (writer_.joinable())
        writer_.join();
    file_.reset();
}

void CsvLog::waitForWriter() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] {
        return !writer_.joinable() || (!writing_ && pending_.isEmpty()) || !failure_.isEmpty();
    });
}

qint64 CsvLog::rowsWritten() const {
    const std::lock_guard lock(mutex_);
    return rowsWritten_;
}

void CsvLog::writerLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopWriter_ || !pending_.isEmpty(); });
        if (pending_.isEmpty() && stopWriter_)
            return;
        writing_ = true;
        const QByteArray chunk = std::exchange(pending_, {});
        const qint64 rows = std::exchange(pendingRows_, 0);
        lock.unlock();

        QString failure;
        qint64 done = 0;
        while (done < chunk.size()) {
            const qint64 n = file_->write(chunk.constData() + done, chunk.size() - done);
            if (n <= 0) {
                failure = file_->errorString();
                break;
            }
            done += n;
        }
#ifdef Q_OS_UNIX
        // What was written survives a power cut; once a second costs next to nothing.
        if (failure.isEmpty() && ::fdatasync(file_->handle()) != 0 && errno != EINVAL &&
            errno != EROFS)
            failure = QString::fromLocal8Bit(strerror(errno));
#endif
        // Rows going into a file nobody can open again are lost rows.
        if (failure.isEmpty() && !QFileInfo::exists(path_))
            failure = QStringLiteral("the file or its folder was removed");

        lock.lock();
        writing_ = false;
        idle_.notify_all();
        if (!failure.isEmpty()) {
            failure_ = QStringLiteral("The CSV log stopped: cannot write %1 (%2). The %3 rows "
                                      "written before are kept.")
                           .arg(path_, failure)
                           .arg(rowsWritten_);
            pending_.clear();
            pendingRows_ = 0;
            return;
        }
        rowsWritten_ += rows;
    }
}

} // namespace tarn::telemetry
