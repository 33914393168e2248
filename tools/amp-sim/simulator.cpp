#include "simulator.h"

#include "control.h"

#include <algorithm>
#include <limits>

namespace tarn::sim {

namespace {

QElapsedTimer startedClock() {
    QElapsedTimer clock;
    clock.start();
    return clock;
}

EngineConfig engineConfig(const SimOptions& o) {
    EngineConfig c;
    c.firmware = o.firmware;
    c.bootloaderMs = o.bootloaderMs;
    c.splitMs = o.splitMs;
    c.baudRate = o.baudRate;
    c.seed = o.seed;
    c.sweepMeters = o.sweepMeters;
    return c;
}

// Large enough that a fast line is kept busy, small enough that a slow one loses little of a
// chunk it cannot take.
constexpr qsizetype FloodChunkBytes = 4096;
constexpr qsizetype ReceiveSliceBytes = 4096;

int timerMs(qint64 ms) {
    return int(std::clamp<qint64>(ms, 0, std::numeric_limits<int>::max()));
}

QString verdictNote(ParsedFrame::Verdict verdict) {
    switch (verdict) {
    case ParsedFrame::Verdict::Accepted:
        return {};
    case ParsedFrame::Verdict::BadChecksum:
        return QStringLiteral("bad checksum, ignored");
    case ParsedFrame::Verdict::UnknownCommand:
        return QStringLiteral("unknown command, ignored");
    case ParsedFrame::Verdict::Malformed:
        return QStringLiteral("malformed, ignored");
    }
    return {};
}

} // namespace

Simulator::Simulator(const SimOptions& options, std::unique_ptr<Transport> transport,
                     QObject* parent)
    : QObject(parent), options_(options), clock_(startedClock()), log_(clock_, options.log),
      engine_(engineConfig(options), 0), transport_(std::move(transport)) {
    writeTimer_.setSingleShot(true);
    writeTimer_.setTimerType(Qt::PreciseTimer);
    connect(&writeTimer_, &QTimer::timeout, this, &Simulator::flushDue);
    connect(&txCycleTimer_, &QTimer::timeout, this, [this] {
        auto& amp = engine_.amplifier();
        amp.setTransmitKey(!amp.transmitKey(), now());
    });
    faultTimer_.setSingleShot(true);
    connect(&faultTimer_, &QTimer::timeout, this, &Simulator::nextFaultPhase);
    stallTimer_.setSingleShot(true);
    connect(&stallTimer_, &QTimer::timeout, this, [this] {
        Faults faults = engine_.faults();
        faults.stall = false;
        applyFaults(faults);
    });
    connect(&floodTimer_, &QTimer::timeout, this, &Simulator::floodOnce);

    connect(transport_.get(), &Transport::received, this, &Simulator::onReceived);
    connect(transport_.get(), &Transport::up, this,
            [this] { printLine(transport_->addressLine()); });
    connect(transport_.get(), &Transport::down, this, &Simulator::onLineDown);
    connect(transport_.get(), &Transport::problem, this, [](const QString& message) {
        printError(QStringLiteral("tarn-vq4400-sim: ") + message);
    });
}

Simulator::~Simulator() {
    // The line closes after this object is gone; its last signals must not reach it.
    transport_->disconnect(this);
}

bool Simulator::start(QString& error) {
    Faults faults;
    for (const FaultMode mode : options_.faults) {
        switch (mode) {
        case FaultMode::Silence:
            faults.silence = true;
            break;
        case FaultMode::Garbage:
            faults.garbage = true;
            break;
        case FaultMode::Split:
            faults.split = true;
            break;
        case FaultMode::Double:
            faults.doubled = true;
            break;
        case FaultMode::Stale:
            faults.stale = true;
            break;
        case FaultMode::Stall:
            faults.stall = true;
            break;
        case FaultMode::Flood:
            faults.flood = true;
            break;
        case FaultMode::Trip:
            engine_.amplifier().trip(now());
            break;
        case FaultMode::Normal:
        case FaultMode::Drop:
            break;
        }
    }
    applyFaults(faults);
    if (options_.driftMs > 0)
        engine_.amplifier().startDrift(options_.driftMs, now());
    else if (options_.txCycleMs > 0)
        setTxCycle(options_.txCycleMs);
    else if (options_.tx)
        engine_.amplifier().setTransmitKey(true, now());

    if (!transport_->start(error))
        return false;
    if (options_.randomFaults) {
        scheduler_.emplace(FaultScheduler::Config{options_.seed});
        nextFaultPhase();
    }
    return true;
}

void Simulator::onReceived(const QByteArray& bytes) {
    // The backlog of a stall on a socket can be megabytes of polls. Taken a slice at a time,
    // the answers to one slice are on their way before the next is parsed, and memory stays
    // small; the parser carries a frame cut at a slice's end over to the next.
    for (qsizetype at = 0; at < bytes.size(); at += ReceiveSliceBytes) {
        const Exchange ex = engine_.receive(
            QByteArrayView(bytes).sliced(at, std::min(ReceiveSliceBytes, bytes.size() - at)),
            now());
        if (log_.enabled()) {
            for (const auto& frame : ex.frames)
                log_.frame("RX", frame.raw, verdictNote(frame.verdict));
        }
        queue_.insert(queue_.end(), ex.writes.begin(), ex.writes.end());
        flushDue();
    }
}

void Simulator::flushDue() {
    const qint64 t = now();
    while (!queue_.empty() && queue_.front().atMs <= t) {
        const TimedWrite w = std::move(queue_.front());
        queue_.pop_front();
        const qint64 written = transport_->write(w.bytes);
        if (log_.enabled()) {
            log_.frame(
                "TX", w.bytes,
                written == w.bytes.size()
                    ? QString()
                    : QStringLiteral("line took %1 of %2 bytes").arg(written).arg(w.bytes.size()));
        }
    }
    if (!queue_.empty())
        writeTimer_.start(timerMs(queue_.front().atMs - t));
}

void Simulator::onLineDown() {
    queue_.clear();
    writeTimer_.stop();
    engine_.lineDropped();
}

void Simulator::drop(qint64 ms) {
    if (log_.enabled())
        log_.note(QStringLiteral("line down for %1 ms").arg(ms));
    transport_->dropFor(ms);
    // A line that was already down emits nothing, but stale output must still go.
    onLineDown();
}

void Simulator::setTxCycle(qint64 ms) {
    engine_.amplifier().setTransmitKey(true, now());
    txCycleTimer_.start(timerMs(ms));
}

void Simulator::nextFaultPhase() {
    if (!scheduler_)
        return;
    if (phase_.mode == FaultMode::Trip)
        engine_.amplifier().reset(now());
    phase_ = scheduler_->next(now());
    applyFaults(faultsFor(phase_.mode));
    printError(QStringLiteral("tarn-vq4400-sim: random fault %1 for %2 ms")
                   .arg(faultModeName(phase_.mode))
                   .arg(phase_.durationMs));
    if (phase_.mode == FaultMode::Trip)
        engine_.amplifier().trip(now());
    else if (phase_.mode == FaultMode::Drop)
        drop(phase_.dropMs);
    faultTimer_.start(timerMs(phase_.durationMs));
}

void Simulator::handleControlLine(const QString& line) {
    const ControlParse parsed = parseControlLine(line);
    if (parsed.blank)
        return;
    if (!parsed.command) {
        printLine(QStringLiteral("error ") + parsed.error);
        return;
    }
    using Kind = ControlCommand::Kind;
    const ControlCommand& c = *parsed.command;
    Faults faults = engine_.faults();
    auto& amp = engine_.amplifier();
    switch (c.kind) {
    case Kind::Silence:
        faults.silence = c.on;
        break;
    case Kind::Garbage:
        faults.garbage = c.on;
        break;
    case Kind::Split:
        faults.split = c.on;
        break;
    case Kind::Double:
        faults.doubled = c.on;
        break;
    case Kind::Stale:
        faults.stale = c.on;
        break;
    case Kind::Deaf:
        faults.deaf = c.on;
        break;
    case Kind::Stall:
        faults.stall = c.on;
        // A timed stall ends by itself; any stall command replaces the one before.
        if (c.ms > 0)
            stallTimer_.start(timerMs(c.ms));
        else
            stallTimer_.stop();
        break;
    case Kind::Flood:
        faults.flood = c.on;
        break;
    case Kind::Trip:
        amp.trip(now());
        if (!amp.answering()) {
            printLine(QStringLiteral("error the bootloader is running"));
            return;
        }
        break;
    case Kind::Reset:
        amp.reset(now());
        break;
    case Kind::Operate:
        amp.operateAtFront(now());
        break;
    case Kind::Drop:
        drop(c.ms);
        break;
    case Kind::Tx:
        txCycleTimer_.stop();
        amp.setTransmitKey(c.on, now());
        break;
    case Kind::TxCycle:
        setTxCycle(c.ms);
        break;
    case Kind::Status:
        printLine(QStringLiteral("ok ") + engine_.statusLine(now()));
        return;
    case Kind::Help:
        for (const QString& text : controlHelpText().split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            printLine(text);
        break;
    case Kind::Quit:
        printLine(QStringLiteral("ok"));
        emit quitRequested();
        return;
    }
    applyFaults(faults);
    printLine(QStringLiteral("ok"));
}

void Simulator::applyFaults(const Faults& faults) {
    const Faults before = engine_.faults();
    engine_.setFaults(faults);
    if (faults.stall != before.stall) {
        // Marks where a stall begins and ends among the frames the log shows as received; the
        // first of those may come while the line is switched back on.
        if (log_.enabled())
            log_.note(faults.stall ? QStringLiteral("stall: the line is not read")
                                   : QStringLiteral("stall over: reading the line again"));
        transport_->setReading(!faults.stall);
    }
    if (!faults.stall)
        stallTimer_.stop();
    if (faults.flood && !floodTimer_.isActive())
        floodTimer_.start(0);
    else if (!faults.flood)
        floodTimer_.stop();
}

void Simulator::floodOnce() {
    if (!transport_->isUp())
        return;
    const QByteArray chunk = engine_.floodChunk(FloodChunkBytes, now());
    // A line that took everything is fed again at once; a full one gets a millisecond to drain
    // rather than a core spinning on it.
    floodTimer_.setInterval(transport_->write(chunk) < chunk.size() ? 1 : 0);
}

} // namespace tarn::sim
