#include "engine.h"

#include <algorithm>

namespace tarn::sim {

namespace {
constexpr qint64 MaxGarbageBytes = 8;

// Power, SWR, supply and temperature all step on each frame, each with its own period, so no
// two frames in a row show the same value anywhere.
StatusBody sweptMeters(StatusBody body, std::uint8_t n) {
    const int forward = 1 + n % 14;
    const int reflected = 1 + n % 5;
    body[2] = std::uint8_t((reflected << 4) | forward);
    body[3] = std::uint8_t(10 + n % 90);  // SWR 1.0 .. 9.9
    body[4] = std::uint8_t(100 + n % 40); // 40.0 .. 55.6 V
    body[5] = std::uint8_t(20 + n % 200); // 4.0 .. 43.8 A
    body[6] = std::uint8_t(25 + n % 60);  // 25 .. 84 degrees
    return body;
}

QString bandLabel(int band) {
    static const char* const labels[] = {"1.8", "3.5", "7",  "10", "14", "18",
                                         "21",  "24",  "28", "50", "All"};
    return band >= 1 && band <= 11 ? QString::fromLatin1(labels[band - 1]) : QStringLiteral("?");
}
} // namespace

SimEngine::SimEngine(EngineConfig config, qint64 nowMs)
    : config_(std::move(config)), amplifier_(config_.bootloaderMs, nowMs), rng_(config_.seed) {}

Exchange SimEngine::receive(QByteArrayView bytes, qint64 nowMs) {
    Exchange ex;
    ex.frames = parser_.feed(bytes);
    for (const auto& frame : ex.frames) {
        if (!frame.command)
            continue;
        if (faults_.deaf && *frame.command != Command::Poll && *frame.command != Command::TestSpace)
            continue;
        // While the bootloader runs the command is not taken and nothing is answered.
        amplifier_.apply(*frame.command, nowMs);
        if (!amplifier_.answering())
            continue;
        if (*frame.command == Command::Poll) {
            const std::uint8_t n = frameCounter_++;
            StatusBody body = amplifier_.statusBody(n);
            if (config_.sweepMeters)
                body = sweptMeters(body, n);
            QByteArray answer = buildStatusFrame(body);
            if (faults_.stale) {
                if (!staleBody_)
                    staleBody_ = body;
                answer.prepend(buildStatusFrame(*staleBody_));
            }
            queueAnswer(answer, nowMs, ex.writes);
        } else if (*frame.command == Command::TestSpace)
            queueAnswer(buildFirmwareReport(config_.firmware), nowMs, ex.writes);
    }
    return ex;
}

void SimEngine::setFaults(const Faults& faults) {
    faults_ = faults;
    if (!faults_.stale)
        staleBody_.reset();
}

QByteArray SimEngine::floodChunk(qsizetype size, qint64 nowMs) {
    amplifier_.advanceTo(nowMs);
    const QByteArray frame = buildStatusFrame(amplifier_.statusBody(frameCounter_));
    QByteArray chunk;
    chunk.reserve(size + frame.size() + MaxGarbageBytes);
    while (chunk.size() < size) {
        chunk += frame;
        chunk += garbage();
    }
    return chunk;
}

void SimEngine::lineDropped() {
    parser_.discardPartial();
    lineFreeAtUs_ = 0;
}

QByteArray SimEngine::garbage() {
    QByteArray bytes;
    const auto n = rng_.uniform(1, MaxGarbageBytes);
    for (qint64 i = 0; i < n; ++i)
        bytes.append(char(rng_.byte()));
    return bytes;
}

void SimEngine::queueAnswer(const QByteArray& frame, qint64 nowMs, std::vector<TimedWrite>& out) {
    ++answers_;
    if (faults_.silence)
        return;
    QByteArray payload = frame;
    if (faults_.garbage) {
        switch (rng_.uniform(0, 3)) {
        case 0:
            payload = garbage();
            break;
        case 1:
            payload.prepend(garbage());
            break;
        case 2:
            payload.append(garbage());
            break;
        default:
            payload = garbage() + payload + garbage();
            break;
        }
    }
    if (faults_.doubled)
        payload = payload + payload;

    // Times run in microseconds so a paced line does not gain or lose a fraction of a
    // millisecond on every frame; writes are due at the millisecond the line is free.
    const auto dueMs = [](qint64 us) { return (us + 999) / 1000; };
    const qint64 startUs = std::max(nowMs * 1000, lineFreeAtUs_);
    if (faults_.split && payload.size() >= 2) {
        const auto cut = rng_.uniform(1, payload.size() - 1);
        const qint64 secondUs =
            startUs + lineTimeUs(cut) + std::max<qint64>(0, config_.splitMs) * 1000;
        out.push_back({dueMs(startUs), payload.left(cut)});
        out.push_back({dueMs(secondUs), payload.mid(cut)});
        lineFreeAtUs_ = secondUs + lineTimeUs(payload.size() - cut);
    } else {
        out.push_back({dueMs(startUs), payload});
        lineFreeAtUs_ = startUs + lineTimeUs(payload.size());
    }
}

qint64 SimEngine::lineTimeUs(qsizetype bytes) const {
    if (config_.baudRate <= 0)
        return 0;
    return qint64(bytes) * 10 * 1'000'000 / config_.baudRate;
}

QString SimEngine::statusLine(qint64 nowMs) {
    amplifier_.advanceTo(nowMs);
    const auto& a = amplifier_;
    const auto& t = a.telemetry();
    const Reading r = t.reading();
    const auto& c = parser_.counters();
    const qint64 bootLeft =
        a.bootloaderEndsAtMs() ? std::max<qint64>(0, *a.bootloaderEndsAtMs() - nowMs) : 0;
    return QStringLiteral("operate=%1 protection=%2 auto-band=%3 tx-key=%4 transmitting=%5 "
                          "band=%6 band-mhz=%7 gain=%8 pa=%9 fwd=%10 rev=%11 swr=%12 "
                          "voltage=%13 current=%14 temperature=%15 bootloader-ms=%16 faults=%17 "
                          "rx-frames=%18 bad-checksum=%19 unknown=%20 malformed=%21 skipped=%22 "
                          "answers=%23")
        .arg(int(a.operate()))
        .arg(int(a.tripped()))
        .arg(int(a.autoBand()))
        .arg(int(a.transmitKey()))
        .arg(int(a.transmitting()))
        .arg(a.band())
        .arg(bandLabel(a.band()))
        .arg(a.gain())
        .arg(a.paHigh() ? QStringLiteral("high") : QStringLiteral("low"))
        .arg(r.forwardLevel)
        .arg(r.reflectedLevel)
        .arg(r.swrX10 / 10.0, 0, 'f', 1)
        .arg(r.voltageRaw / 2.5, 0, 'f', 1)
        .arg(r.currentRaw / 5.0, 0, 'f', 1)
        .arg(r.temperatureC)
        .arg(bootLeft)
        .arg(faults_.describe())
        .arg(c.accepted)
        .arg(c.badChecksum)
        .arg(c.unknownCommand)
        .arg(c.malformed)
        .arg(c.skippedBytes)
        .arg(answers_);
}

} // namespace tarn::sim
