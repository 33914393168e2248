#include "control.h"

#include <QStringList>

namespace tarn::sim {

namespace {

// A millisecond count for a line command; the upper bound keeps timers within their range.
std::optional<qint64> parseMs(const QString& text) {
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < 0 || value > 24LL * 3600 * 1000)
        return std::nullopt;
    return value;
}

ControlParse failure(QString error) {
    ControlParse p;
    p.error = std::move(error);
    return p;
}

ControlParse success(ControlCommand::Kind kind, bool on = false, qint64 ms = 0) {
    ControlParse p;
    p.command = ControlCommand{kind, on, ms};
    return p;
}

} // namespace

ControlParse parseControlLine(QStringView line) {
    const QStringList words =
        line.toString().simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty()) {
        ControlParse p;
        p.blank = true;
        return p;
    }
    const QString verb = words.front().toLower();
    const QStringList args = words.mid(1);

    using Kind = ControlCommand::Kind;
    struct Switch {
        const char* name;
        Kind kind;
    };
    static constexpr Switch switches[] = {{"silence", Kind::Silence}, {"garbage", Kind::Garbage},
                                          {"split", Kind::Split},     {"double", Kind::Double},
                                          {"stale", Kind::Stale},     {"stall", Kind::Stall},
                                          {"deaf", Kind::Deaf},       {"flood", Kind::Flood}};
    for (const auto& s : switches) {
        if (verb != QLatin1String(s.name))
            continue;
        if (args.size() == 1 && (args[0] == QLatin1String("on") || args[0] == QLatin1String("off")))
            return success(s.kind, args[0] == QLatin1String("on"));
        if (s.kind == Kind::Stall) {
            const auto ms = args.size() == 1 ? parseMs(args[0]) : std::nullopt;
            if (ms && *ms > 0)
                return success(Kind::Stall, true, *ms);
            return failure(QStringLiteral("usage: stall on|off|MS"));
        }
        return failure(QStringLiteral("usage: %1 on|off").arg(verb));
    }

    struct Plain {
        const char* name;
        Kind kind;
    };
    static constexpr Plain plain[] = {{"trip", Kind::Trip},       {"reset", Kind::Reset},
                                      {"operate", Kind::Operate}, {"status", Kind::Status},
                                      {"help", Kind::Help},       {"quit", Kind::Quit},
                                      {"exit", Kind::Quit}};
    for (const auto& p : plain) {
        if (verb != QLatin1String(p.name))
            continue;
        if (!args.isEmpty())
            return failure(QStringLiteral("usage: %1 takes no argument").arg(verb));
        return success(p.kind);
    }

    if (verb == QLatin1String("drop")) {
        const auto ms = args.size() == 1 ? parseMs(args[0]) : std::nullopt;
        if (!ms)
            return failure(QStringLiteral("usage: drop MS (0..86400000)"));
        return success(Kind::Drop, false, *ms);
    }

    if (verb == QLatin1String("tx")) {
        if (args.size() == 1 && (args[0] == QLatin1String("on") || args[0] == QLatin1String("off")))
            return success(Kind::Tx, args[0] == QLatin1String("on"));
        if (args.size() == 2 && args[0] == QLatin1String("cycle")) {
            const auto ms = parseMs(args[1]);
            if (ms && *ms > 0)
                return success(Kind::TxCycle, true, *ms);
        }
        return failure(QStringLiteral("usage: tx on|off|cycle MS"));
    }

    return failure(QStringLiteral("unknown command '%1' (try help)").arg(verb));
}

QString controlHelpText() {
    return QStringLiteral(
        "Commands on standard input, one per line; each is answered with 'ok' or 'error ...':\n"
        "  silence on|off   stop / resume answering (commands still take effect)\n"
        "  garbage on|off   random bytes before, after or instead of answers\n"
        "  split on|off     every answer in two writes, --split-ms apart\n"
        "  double on|off    every answer twice in one write\n"
        "  stale on|off     every status answer behind an older one in the same write: the\n"
        "                   state of the first answer after 'stale on', then the current one\n"
        "  deaf on|off      polls are answered, every other command is ignored (force\n"
        "                   standby that never takes effect)\n"
        "  stall on|off     stop / resume reading the line (the panel's writes pile up in the\n"
        "                   system); once reading again, every poll read is answered in order\n"
        "  stall MS         stall for MS milliseconds, then read again\n"
        "  flood on|off     status frames and garbage without pause, as fast as the line\n"
        "                   takes them\n"
        "  trip             protection trips: standby until 'reset' or an operate toggle\n"
        "  reset            clear a protection trip\n"
        "  operate          the operator at the amplifier puts it back into operate (into\n"
        "                   the same load: with tx on it transmits at once)\n"
        "  drop MS          the line goes away for MS milliseconds, then comes back\n"
        "                   (pty: new device, new 'PTY <path>' line, --link updated)\n"
        "  tx on|off        key / unkey the exciter (stops a tx cycle)\n"
        "  tx cycle MS      key on and off every MS milliseconds\n"
        "  status           print the state as 'ok key=value ...' on one line\n"
        "  help             this list\n"
        "  quit             end the simulator (so do SIGINT and SIGTERM; end of input does not)\n");
}

} // namespace tarn::sim
