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
        case FaultMode::Trip:
            engine_.amplifier().trip(now());
            break;
        case FaultMode::Normal:
        case FaultMode::Drop:
            break;
        }
    }
    engine_.setFaults(faults);
    if (options_.txCycleMs > 0)
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
    const Exchange ex = engine_.receive(bytes, now());
    if (log_.enabled()) {
        for (const auto& frame : ex.frames)
            log_.frame("RX", frame.raw, verdictNote(frame.verdict));
    }
    queue_.insert(queue_.end(), ex.writes.begin(), ex.writes.end());
    flushDue();
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
    engine_.setFaults(faultsFor(phase_.mode));
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
    engine_.setFaults(faults);
    printLine(QStringLiteral("ok"));
}

} // namespace tarn::sim
