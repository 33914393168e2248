#pragma once

#include <QString>
#include <QStringView>
#include <QtGlobal>
#include <optional>

namespace tarn::sim {

// One line typed at the simulator while it runs.
struct ControlCommand {
    enum class Kind {
        Silence,
        Garbage,
        Split,
        Double,
        Stale,
        Deaf,
        Stall,
        Flood,
        Trip,
        Reset,
        Operate,
        Drop,
        Tx,
        TxCycle,
        Status,
        Help,
        Quit
    };
    Kind kind = Kind::Status;
    bool on = false; // on|off commands
    qint64 ms = 0;   // drop, tx cycle, stall (0: until switched off)
};

struct ControlParse {
    std::optional<ControlCommand> command;
    QString error; // set when the line is not a command
    bool blank = false;
};

ControlParse parseControlLine(QStringView line);

// The commands as --help and `help` list them.
QString controlHelpText();

} // namespace tarn::sim
