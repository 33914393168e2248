#include "options.h"

#include "control.h"

namespace tarn::sim {

namespace {

constexpr qint64 MaxMs = 24LL * 3600 * 1000;

std::optional<qint64> parseCount(const QString& text, qint64 lo, qint64 hi) {
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < lo || value > hi)
        return std::nullopt;
    return value;
}

// The report is sent unescaped, so a version byte that is a frame byte would break the frame.
bool plainVersion(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7E)
            return false;
    }
    return text.size() <= 5;
}

} // namespace

OptionsParse parseOptions(const QStringList& args) {
    SimOptions o;
    bool linkGiven = false;
    bool bindGiven = false;
    OptionsParse result;
    auto fail = [&result](const QString& message) {
        result.error = message;
        return result;
    };

    for (qsizetype i = 0; i < args.size(); ++i) {
        QString name = args[i];
        std::optional<QString> inlineValue;
        if (const auto eq = name.indexOf(QLatin1Char('='));
            name.startsWith(QLatin1String("--")) && eq > 0) {
            inlineValue = name.mid(eq + 1);
            name = name.left(eq);
        }
        auto value = [&]() -> std::optional<QString> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 < args.size())
                return args[++i];
            return std::nullopt;
        };
        auto flag = [&]() { return !inlineValue; };

        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            o.help = true;
        } else if (name == QLatin1String("--tx") && flag()) {
            o.tx = true;
        } else if (name == QLatin1String("--sweep-meters") && flag()) {
            o.sweepMeters = true;
        } else if (name == QLatin1String("--log") && flag()) {
            o.log = true;
        } else if (name == QLatin1String("--random-faults") && flag()) {
            o.randomFaults = true;
        } else if (name == QLatin1String("--tcp")) {
            const auto v = value();
            const auto port = v ? parseCount(*v, 0, 65535) : std::nullopt;
            if (!port)
                return fail(QStringLiteral("--tcp needs a port number 0..65535"));
            o.tcp = true;
            o.tcpPort = quint16(*port);
        } else if (name == QLatin1String("--bind")) {
            const auto v = value();
            if (!v || v->isEmpty())
                return fail(QStringLiteral("--bind needs an address"));
            o.bindAddress = *v;
            bindGiven = true;
        } else if (name == QLatin1String("--link")) {
            const auto v = value();
            if (!v || v->isEmpty())
                return fail(QStringLiteral("--link needs a path"));
            o.linkPath = *v;
            linkGiven = true;
        } else if (name == QLatin1String("--firmware")) {
            const auto v = value();
            if (!v || !plainVersion(*v))
                return fail(QStringLiteral("--firmware needs up to 5 printable ASCII characters"));
            o.firmware = v->toLatin1().leftJustified(5, ' ');
        } else if (name == QLatin1String("--bootloader-ms")) {
            const auto v = value();
            const auto ms = v ? parseCount(*v, 0, MaxMs) : std::nullopt;
            if (!ms)
                return fail(QStringLiteral("--bootloader-ms needs 0..%1").arg(MaxMs));
            o.bootloaderMs = *ms;
        } else if (name == QLatin1String("--split-ms")) {
            const auto v = value();
            const auto ms = v ? parseCount(*v, 0, 60'000) : std::nullopt;
            if (!ms)
                return fail(QStringLiteral("--split-ms needs 0..60000"));
            o.splitMs = *ms;
        } else if (name == QLatin1String("--baud")) {
            const auto v = value();
            const auto baud = v ? parseCount(*v, 0, 10'000'000) : std::nullopt;
            if (!baud)
                return fail(QStringLiteral("--baud needs 0..10000000"));
            o.baudRate = int(*baud);
        } else if (name == QLatin1String("--tx-cycle")) {
            const auto v = value();
            const auto ms = v ? parseCount(*v, 1, MaxMs) : std::nullopt;
            if (!ms)
                return fail(QStringLiteral("--tx-cycle needs 1..%1").arg(MaxMs));
            o.txCycleMs = *ms;
        } else if (name == QLatin1String("--drift")) {
            const auto v = value();
            const auto ms = v ? parseCount(*v, 1, MaxMs) : std::nullopt;
            if (!ms)
                return fail(QStringLiteral("--drift needs 1..%1").arg(MaxMs));
            o.driftMs = *ms;
        } else if (name == QLatin1String("--seed")) {
            const auto v = value();
            const auto seed = v ? parseCount(*v, 0, 0xFFFFFFFFLL) : std::nullopt;
            if (!seed)
                return fail(QStringLiteral("--seed needs 0..4294967295"));
            o.seed = std::uint32_t(*seed);
        } else if (name == QLatin1String("--fault")) {
            const auto v = value();
            const auto mode = v ? faultModeFromName(*v) : std::nullopt;
            if (!mode || *mode == FaultMode::Normal || *mode == FaultMode::Drop)
                return fail(
                    QStringLiteral("--fault needs one of silence, garbage, split, double, stale, "
                                   "stall, flood, trip"));
            o.faults.push_back(*mode);
        } else {
            return fail(QStringLiteral("unknown option '%1' (try --help)").arg(args[i]));
        }
    }
    if (o.tcp && linkGiven)
        return fail(QStringLiteral("--link belongs to the pty line, not to --tcp"));
    if (!o.tcp && bindGiven)
        return fail(QStringLiteral("--bind needs --tcp"));
    result.options = o;
    return result;
}

QString optionsHelpText(const QString& program) {
    return QStringLiteral(
               "Usage: %1 [options]\n"
               "A simulated TARN VQ4400 amplifier on a pseudo-terminal or a TCP port.\n"
               "The first line on standard output is 'PTY <path>' or 'TCP <addr>:<port>'.\n"
               "\n"
               "Options:\n"
               "  --link PATH          also make PATH a symlink to the pty (replaced on every "
               "drop)\n"
               "  --tcp PORT           serve one TCP client at a time instead (0: any free port);\n"
               "                       a new client takes the line over from the old one\n"
               "  --bind ADDR          TCP listen address (default 127.0.0.1)\n"
               "  --firmware TEXT      version in the firmware report, 5 characters (default '1.27 "
               "')\n"
               "  --bootloader-ms MS   how long the bootloader stays silent (default 40000)\n"
               "  --split-ms MS        gap between the two parts of a split answer (default 60)\n"
               "  --baud N             pace answers as a serial line at N bit/s would (default: "
               "no pacing)\n"
               "  --tx                 start with the exciter keyed\n"
               "  --tx-cycle MS        key on and off every MS milliseconds\n"
               "  --drift MS           operate and keyed; SWR and temperature creep upward over "
               "MS\n"
               "                       milliseconds until the protection trips, then recover\n"
               "  --sweep-meters       every status frame moves power, SWR, supply and "
               "temperature\n"
               "                       (a display that never repeats itself, for load "
               "figures)\n"
               "  --fault NAME         start with a fault on: silence, garbage, split, double, "
               "stale,\n"
               "                       stall, flood, trip\n"
               "                       (repeatable)\n"
               "  --random-faults      switch every 2-6 s at random between normal, silence,\n"
               "                       garbage, split, double, trip and drop\n"
               "  --seed N             seed for garbage, split points and random faults (default "
               "1)\n"
               "  --log                every frame received and sent, in hex, on standard error\n"
               "  -h, --help           this text\n"
               "\n")
               .arg(program) +
           controlHelpText();
}

} // namespace tarn::sim
