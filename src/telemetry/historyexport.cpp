#include "telemetry/historyexport.h"

#include "telemetry/csvlog.h"

#include <QIODevice>
#include <QSaveFile>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tarn::telemetry {

namespace {
constexpr qsizetype PieceBytes = 1 << 20;

QByteArray secondsHeader() {
    static constexpr const char* names[] = {"forward_level", "reflected_level", "swr",
                                            "voltage_v",     "current_a",       "temperature_c"};
    QByteArray text = "time_utc,frames";
    for (const char* name : names)
        text += QByteArray(",") + name + "_min," + name + "_max";
    return text + ",band,transmit,protection,after_gap\n";
}

QByteArray secondsRow(const Bucket& b, qint64 wallOffsetMs) {
    QByteArray text = csvTime(b.startMs + wallOffsetMs) + ',' + QByteArray::number(b.count);
    for (Channel c : AllChannels) {
        const auto i = std::size_t(c);
        if (c == Channel::Swr && b.swrMissing()) {
            text += ",,";
            continue;
        }
        text += ',' + csvNumber(c, b.min[i]) + ',' + csvNumber(c, b.max[i]);
    }
    const auto flag = [&b](std::uint8_t bit) { return (b.flagsAny & bit) ? ",1" : ",0"; };
    return text + ',' + QByteArray::number(b.band) + flag(Sample::Transmit) +
           flag(Sample::Protection) + flag(Sample::AfterGap) + '\n';
}

QByteArray frameRow(Sample s, qint64 wallOffsetMs) {
    const bool afterGap = s.marked(Sample::AfterGap);
    s.timeMs += wallOffsetMs;
    QByteArray row = csvRow(s);
    row.chop(1);
    return row + (afterGap ? ",1\n" : ",0\n");
}
} // namespace

bool writeCsv(const ExportSnapshot& snapshot, QIODevice& out, const std::atomic<bool>* cancelled) {
    const bool frames = snapshot.seconds.empty();
    QByteArray text = frames ? csvHeader().chopped(1) + ",after_gap\n" : secondsHeader();
    text.reserve(PieceBytes + 4096);
    const std::size_t rows = snapshot.rows();
    for (std::size_t i = 0; i < rows; ++i) {
        text += frames ? frameRow(snapshot.frames[i], snapshot.wallOffsetMs)
                       : secondsRow(snapshot.seconds[i], snapshot.wallOffsetMs);
        if (text.size() < PieceBytes)
            continue;
        if ((cancelled && *cancelled) || out.write(text) != text.size())
            return false;
        text.clear();
    }
    return !(cancelled && *cancelled) && out.write(text) == text.size();
}

struct ExportJob::State {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    bool ok = false;
    QString error;
    std::atomic<bool> cancel = false;
};

ExportJob::ExportJob(ExportSnapshot snapshot, const QString& path)
    : state_(std::make_shared<State>()), rows_(snapshot.rows()), path_(path) {
    thread_ = std::thread([state = state_, snapshot = std::move(snapshot), path] {
        QSaveFile file(path);
        bool ok = file.open(QIODevice::WriteOnly) && writeCsv(snapshot, file, &state->cancel);
        // A cancelled or failed export leaves no file, not a part of one.
        ok = ok && !state->cancel && file.commit();
        if (!ok)
            file.cancelWriting();
        const std::lock_guard lock(state->mutex);
        state->ok = ok;
        state->error = state->cancel ? QStringLiteral("cancelled") : file.errorString();
        state->done = true;
        state->ended.notify_all();
    });
}

ExportJob::~ExportJob() {
    finish(0);
}

bool ExportJob::done() const {
    const std::lock_guard lock(state_->mutex);
    return state_->done;
}

void ExportJob::wait() {
    std::unique_lock lock(state_->mutex);
    state_->ended.wait(lock, [this] { return state_->done; });
}

bool ExportJob::finish(qint64 boundMs) {
    if (!thread_.joinable())
        return done();
    bool ended = false;
    {
        std::unique_lock lock(state_->mutex);
        ended = state_->ended.wait_for(lock, std::chrono::milliseconds(boundMs),
                                       [this] { return state_->done; });
    }
    if (ended) {
        thread_.join();
        return true;
    }
    state_->cancel = true;
    thread_.detach();
    return false;
}

bool ExportJob::ok() const {
    const std::lock_guard lock(state_->mutex);
    return state_->ok;
}

QString ExportJob::error() const {
    const std::lock_guard lock(state_->mutex);
    return state_->error;
}

} // namespace tarn::telemetry
